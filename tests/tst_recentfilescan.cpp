#include "discovery/kledgerbase.h"
#include "discovery/kproductdatabasereader.h"
#include "discovery/krecentfilescan.h"
#include "ktestenvironment.h"
#include "platform/kregistry.h"

#include <QtTest>

namespace {

const QString Office = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\");
const QString CivilRecentFile = QStringLiteral("CSIDL_COMMON_DOCUMENTS\\Tarsel\\土建\\System.ldb");

void setValue(const QString& key, const QString& name, const QString& value)
{
    KRegistryKey(key).setValue(name, value);
}

} // namespace

// The lists of recently used files: the registry's and the civil product's system database.
class TestRecentFileScan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void officeVersionsReadTheirOwnLists();
    void civilModelsSkipTemporaryEntriesAndAreReadAgainOnlyWhenChanged();
    void databaseFieldsComeBackJoinedByLineBreaks_data();
    void databaseFieldsComeBackJoinedByLineBreaks();

private:
    QString writeCivilDatabase(const QStringList& entries);

    KTestEnvironment m_env;
};

void TestRecentFileScan::initTestCase()
{
    m_env.platform()->setHostExecutablePath(QCoreApplication::applicationFilePath());
    QVERIFY(KLedgerbase::instance()->isLoaded());
    // The engine is found beside the host.
    QCOMPARE(QFileInfo(KLedgerbase::instance()->libraryPath()).canonicalFilePath(),
        QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/libLedgerbase.so"))
            .canonicalFilePath());
}

void TestRecentFileScan::init()
{
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software")).removeKey();
}

QString TestRecentFileScan::writeCivilDatabase(const QStringList& entries)
{
    const QString database
        = m_env.makeFolder(m_env.platform()->commonDocumentsFolder() + QStringLiteral("/Tarsel/土建"))
        + QStringLiteral("System.ldb");
    return KLedgerbase::instance()->writeField(
               database, KProductDatabaseReader::RecordGroup, KProductDatabaseReader::Field, entries)
        ? database
        : QString();
}

void TestRecentFileScan::officeVersionsReadTheirOwnLists()
{
    // Each value as "key|name|value", the key below the office folder.
    for (const QString& value : { QStringLiteral("11.0\\Word\\Recent Files|File1|/d/w11.doc"),
             QStringLiteral("11.0\\PowerPoint\\Recent File List|File1|/d/p11.ppt"),
             QStringLiteral("12.0\\Word\\Recent Files|File1|/d/w12.doc"),
             QStringLiteral("13.0\\Word\\User MRU\\Id\\File MRU|Item 1|*/d/u13.doc"),
             QStringLiteral("13.0\\Word\\File MRU|Item 1|[F0]*/d/m13.doc"),
             QStringLiteral("13.0\\Excel\\File MRU|Item 1|*/d/ends with a blank.xls "),
             QStringLiteral("20.0\\PowerPoint\\Reading Locations\\Document 0|File Path|/d/r20.pptx"),
             QStringLiteral("20.0\\PowerPoint\\Reading Locations\\Document 1|File Path|"),
             QStringLiteral("21.0\\Word\\File MRU|Item 1|*/d/m21.doc") }) {
        const QStringList parts = value.split(QLatin1Char('|'));
        setValue(Office + parts.at(0), parts.at(1), parts.at(2));
    }
    QStringList list;
    KRecentFileScan().readOfficeDocuments(&list);
    QCOMPARE(list,
        (QStringList { QStringLiteral("/d/w11.doc"), QStringLiteral("/d/p11.ppt"),
            QStringLiteral("/d/m13.doc"), QStringLiteral("/d/ends with a blank.xls "),
            QStringLiteral("/d/r20.pptx") }));
}

void TestRecentFileScan::civilModelsSkipTemporaryEntriesAndAreReadAgainOnlyWhenChanged()
{
    const QString database = writeCivilDatabase({ QStringLiteral("/m/A.cva"), QString(),
        QStringLiteral("/m/b.tmp"), QStringLiteral("/m/c.TMP"), QStringLiteral("/m/A.cva") });
    const QDateTime stamp = QDateTime::currentDateTime().addSecs(-100);
    QVERIFY(KTestEnvironment::setModified(database, stamp));
    KRecentFileScan scan;
    QStringList list;
    scan.readCivilModels(CivilRecentFile, &list);
    QCOMPARE(list,
        (QStringList { QStringLiteral("/m/A.cva"), QStringLiteral("/m/c.TMP"), QStringLiteral("/m/A.cva") }));

    // New content under the same modification time is not read.
    writeCivilDatabase({ QStringLiteral("/m/second.cva") });
    QVERIFY(KTestEnvironment::setModified(database, stamp));
    list.clear();
    scan.readCivilModels(CivilRecentFile, &list);
    QCOMPARE(list.size(), 3);
    QVERIFY(KTestEnvironment::setModified(database, stamp.addSecs(1)));
    list.clear();
    scan.readCivilModels(CivilRecentFile, &list);
    QCOMPARE(list, QStringList { QStringLiteral("/m/second.cva") });

    QStringList nothing;
    scan.readCivilModels(QStringLiteral("CSIDL_COMMON_DOCUMENTS\\Tarsel\\Missing.ldb"), &nothing);
    scan.readCivilModels(QStringLiteral("CSIDL_COMMON_DOCUMENTS\\Tarsel"), &nothing); // a folder
    QVERIFY(nothing.isEmpty());
}

void TestRecentFileScan::databaseFieldsComeBackJoinedByLineBreaks_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("text");
    QTest::newRow("an empty list") << QStringList() << QString();
    const QString longEntry(5000, QLatin1Char('x'));
    QTest::newRow("longer than the first read buffer")
        << QStringList { longEntry, longEntry } << longEntry + QStringLiteral("\r\n") + longEntry;
}

void TestRecentFileScan::databaseFieldsComeBackJoinedByLineBreaks()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, text);
    const QString database = writeCivilDatabase(entries);
    QVERIFY(KLedgerbase::instance()->writeField(
        database, KProductDatabaseReader::RecordGroup, QStringLiteral("Other"), { QStringLiteral("z") }));
    QCOMPARE(KProductDatabaseReader::recentModelList(database), text);
}

QTEST_GUILESS_MAIN(TestRecentFileScan)
#include "tst_recentfilescan.moc"
