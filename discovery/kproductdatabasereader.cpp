#include "discovery/kproductdatabasereader.h"

#include "discovery/kledgerbase.h"

const QString KProductDatabaseReader::RecordGroup = QStringLiteral("Options");
const QString KProductDatabaseReader::Field = QStringLiteral("RecentOpenedFileList");

QString KProductDatabaseReader::recentModelList(const QString& systemDatabase)
{
    QString text;
    if (!KLedgerbase::instance()->readField(systemDatabase, RecordGroup, Field, &text))
        return QString();
    return text;
}
