#pragma once

#include <QString>

// Reads the civil takeoff product's list of recently opened models from its system database.
class KProductDatabaseReader
{
public:
    // The entries separated by "\r\n"; empty on any failure.
    static QString recentModelList(const QString& systemDatabase);

    static const QString RecordGroup; // "Options"
    static const QString Field; // "RecentOpenedFileList"
};
