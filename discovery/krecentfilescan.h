#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <mutex>

// Reads the recent-file lists that desktop programs keep: the office programs' lists in the
// registry, the office suite's, the drawing program's, a product's own registry list, and the
// civil takeoff product's list inside its system database. Each read appends to a list of the
// scanner; nothing here checks whether the files exist.
class KRecentFileScan
{
public:
    // Office documents of versions 8 to 20 (plain lists, File MRU lists per user identity,
    // reading locations) and the office suite's lists, without repeats.
    void readOfficeDocuments(QStringList* list) const;
    // Drawings of the drawing program's releases, without repeats.
    void readCadDrawings(QStringList* list) const;
    // Every value of a registry key, folded, in the registry's order; repeats are kept.
    static void readProductList(const QString& keyPath, QStringList* list);
    // The civil takeoff product's recent models: `recentFile` is "CSIDL_COMMON_DOCUMENTS\" and a
    // path relative to the common documents folder. The database is read again only when its
    // modification time changed.
    void readCivilModels(const QString& recentFile, QStringList* list);

private:
    // The path cached for each civil database: its modification time and the text read then.
    mutable std::mutex m_civilMutex;
    QHash<QString, qint64> m_civilTimes;
    QHash<QString, QString> m_civilTexts;
};
