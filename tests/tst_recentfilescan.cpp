#include "discovery/kledgerbase.h"
#include "discovery/krecentfilescan.h"
#include "ktestenvironment.h"
#include "platform/kregistry.h"

#include <QCoreApplication>
#include <QtTest>

namespace {

const QString Office = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\");

void setValue(const QString& key, const QString& name, const QString& value)
{
    KRegistryKey registryKey(key);
    registryKey.setValue(name, value);
}

} // namespace

class TestRecentFileScan : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void officeMruEntriesLoseTheirFlags();
    void officeVersionsReadTheirOwnLists();
    void aDocumentListedTwiceIsTakenOnce();
    void officeSuiteDocumentsFollowOfficeOnes();
    void drawingsOfKnownReleasesLoseTheirStar();
    void productListsKeepRepeatsAndRegistryOrder();
    void civilModelsSkipTemporaryAndEmptyEntries();
    void civilDatabaseIsReadAgainOnlyWhenItChanges();

private:
    QString writeCivilDatabase(const QStringList& entries);
    QScopedPointer<KTestEnvironment> m_env;
};

void TestRecentFileScan::initTestCase()
{
    m_env.reset(new KTestEnvironment);
    m_env->platform()->setHostExecutablePath(QCoreApplication::applicationFilePath());
    QVERIFY(KLedgerbase::instance()->isLoaded());
}

void TestRecentFileScan::init()
{
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software")).removeKey();
}

void TestRecentFileScan::officeMruEntriesLoseTheirFlags()
{
    setValue(Office + QStringLiteral("16.0\\Word\\User MRU\\ADAL_1A2B\\File MRU"), QStringLiteral("Item 1"),
        QStringLiteral("[F00000000][T01D9A1B2C3D4E5F6][O00000000]*/Home/Ann/报告/Report.DOCX"));
    setValue(Office + QStringLiteral("16.0\\Excel\\User MRU\\LiveId_9\\File MRU"), QStringLiteral("Item 1"),
        QStringLiteral("[F00000000]*/home/ann//sheets/a*b.xlsx"));
    setValue(Office + QStringLiteral("16.0\\Excel\\User MRU\\LiveId_9\\File MRU"), QStringLiteral("Item 2"), QString());

    QStringList list;
    KRecentFileScan().readOfficeDocuments(&list);
    // Linux paths keep their case; a doubled separator collapses; only the first star cuts.
    QCOMPARE(list, (QStringList { QStringLiteral("/Home/Ann/报告/Report.DOCX"), QStringLiteral("/home/ann/sheets/a*b.xlsx") }));
}

void TestRecentFileScan::officeVersionsReadTheirOwnLists()
{
    setValue(Office + QStringLiteral("11.0\\Word\\Recent Files"), QStringLiteral("File1"), QStringLiteral("/d/w11.doc"));
    setValue(Office + QStringLiteral("11.0\\PowerPoint\\Recent File List"), QStringLiteral("File1"), QStringLiteral("/d/p11.ppt"));
    setValue(Office + QStringLiteral("12.0\\Word\\Recent Files"), QStringLiteral("File1"), QStringLiteral("/d/w12.doc"));
    setValue(Office + QStringLiteral("13.0\\Word\\User MRU\\Id\\File MRU"), QStringLiteral("Item 1"), QStringLiteral("*/d/u13.doc"));
    setValue(Office + QStringLiteral("13.0\\Word\\File MRU"), QStringLiteral("Item 1"), QStringLiteral("[F0]*/d/m13.doc"));
    setValue(Office + QStringLiteral("20.0\\PowerPoint\\Reading Locations\\Document 0"), QStringLiteral("File Path"),
        QStringLiteral("/d/r20.pptx"));
    setValue(Office + QStringLiteral("20.0\\PowerPoint\\Reading Locations\\Document 1"), QStringLiteral("File Path"), QString());
    setValue(Office + QStringLiteral("21.0\\Word\\File MRU"), QStringLiteral("Item 1"), QStringLiteral("*/d/m21.doc"));

    QStringList list;
    KRecentFileScan().readOfficeDocuments(&list);
    QCOMPARE(list, (QStringList { QStringLiteral("/d/w11.doc"), QStringLiteral("/d/p11.ppt"), QStringLiteral("/d/m13.doc"),
                       QStringLiteral("/d/r20.pptx") }));
}

void TestRecentFileScan::aDocumentListedTwiceIsTakenOnce()
{
    setValue(Office + QStringLiteral("16.0\\Word\\File MRU"), QStringLiteral("Item 1"), QStringLiteral("[F00000000]*/w/plan.docx"));
    setValue(Office + QStringLiteral("16.0\\Word\\Reading Locations\\Document 0"), QStringLiteral("File Path"),
        QStringLiteral("/w/plan.docx"));
    setValue(Office + QStringLiteral("15.0\\Word\\User MRU\\Id\\File MRU"), QStringLiteral("Item 3"), QStringLiteral("*/w/plan.docx"));

    QStringList list { QStringLiteral("/already/there.doc") };
    KRecentFileScan().readOfficeDocuments(&list);
    QCOMPARE(list, (QStringList { QStringLiteral("/already/there.doc"), QStringLiteral("/w/plan.docx") }));
}

void TestRecentFileScan::officeSuiteDocumentsFollowOfficeOnes()
{
    const QString wps = QStringLiteral("HKEY_CURRENT_USER\\Software\\Kingsoft\\Office\\6.0\\");
    setValue(Office + QStringLiteral("16.0\\Excel\\File MRU"), QStringLiteral("Item 1"), QStringLiteral("*/w/budget.xls"));
    setValue(wps + QStringLiteral("et\\RecentFiles\\files\\0"), QStringLiteral("path"), QStringLiteral("/w/budget.xls"));
    setValue(wps + QStringLiteral("et\\RecentFiles\\files\\1"), QStringLiteral("path"), QStringLiteral("/w/表格.et"));
    setValue(wps + QStringLiteral("wps\\RecentFiles\\files\\0"), QStringLiteral("path"), QStringLiteral("/w/文档.wps"));
    setValue(wps + QStringLiteral("wps\\RecentFiles\\files\\1"), QStringLiteral("name"), QStringLiteral("no path"));

    QStringList list;
    KRecentFileScan().readOfficeDocuments(&list);
    QCOMPARE(list, (QStringList { QStringLiteral("/w/budget.xls"), QStringLiteral("/w/文档.wps"), QStringLiteral("/w/表格.et") }));
}

void TestRecentFileScan::drawingsOfKnownReleasesLoseTheirStar()
{
    const QString cad = QStringLiteral("HKEY_CURRENT_USER\\Software\\Autodesk\\AutoCAD\\");
    setValue(cad + QStringLiteral("R16.0\\ACAD-201:804\\Recent File List"), QStringLiteral("File1"), QStringLiteral("x*/Dwg/Plan.DWG"));
    setValue(cad + QStringLiteral("R16.0\\ACAD-201:409\\Recent File List"), QStringLiteral("File1"), QStringLiteral("/Dwg/Plan.DWG"));
    setValue(cad + QStringLiteral("R19.0\\ACAD-B001:409\\Recent File List"), QStringLiteral("File1"), QStringLiteral("/Dwg/b.dwg"));
    setValue(cad + QStringLiteral("R16.0\\ACAD-301:804\\Recent File List"), QStringLiteral("File1"), QStringLiteral("/Dwg/wrong-product.dwg"));
    setValue(cad + QStringLiteral("R20.0\\ACAD-E001:804\\Recent File List"), QStringLiteral("File1"), QStringLiteral("/Dwg/unknown-release.dwg"));

    QStringList list;
    KRecentFileScan().readCadDrawings(&list);
    QCOMPARE(list, (QStringList { QStringLiteral("/Dwg/Plan.DWG"), QStringLiteral("/Dwg/b.dwg") }));
}

void TestRecentFileScan::productListsKeepRepeatsAndRegistryOrder()
{
    const QString key = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Rebar\\RecentFiles");
    setValue(key, QStringLiteral("File2"), QStringLiteral("/p/b.rba"));
    setValue(key, QStringLiteral("File10"), QStringLiteral("/p/a.rba"));
    setValue(key, QStringLiteral("File1"), QStringLiteral("/p/a.rba"));
    setValue(key, QStringLiteral("File3"), QString());

    QStringList list;
    KRecentFileScan::readProductList(key, &list);
    KRecentFileScan::readProductList(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Missing"), &list);
    QCOMPARE(list, (QStringList { QStringLiteral("/p/a.rba"), QStringLiteral("/p/a.rba"), QStringLiteral("/p/b.rba") }));
}

QString TestRecentFileScan::writeCivilDatabase(const QStringList& entries)
{
    const QString database = m_env->platform()->commonDocumentsFolder() + QStringLiteral("/Tarsel/土建/System.ldb");
    QDir().mkpath(QFileInfo(database).absolutePath());
    if (!KLedgerbase::instance()->writeField(database, QStringLiteral("Options"), QStringLiteral("RecentOpenedFileList"), entries))
        return QString();
    return database;
}

void TestRecentFileScan::civilModelsSkipTemporaryAndEmptyEntries()
{
    QVERIFY(!writeCivilDatabase({ QStringLiteral("/m/A.cva"), QString(), QStringLiteral("/m/b.tmp"),
                                    QStringLiteral("/m/c.TMP"), QStringLiteral("/m/A.cva") })
                 .isEmpty());
    QStringList list;
    KRecentFileScan scan;
    scan.readCivilModels(QStringLiteral("CSIDL_COMMON_DOCUMENTS\\Tarsel\\土建\\System.ldb"), &list);
    QCOMPARE(list, (QStringList { QStringLiteral("/m/A.cva"), QStringLiteral("/m/c.TMP"), QStringLiteral("/m/A.cva") }));

    QStringList nothing;
    scan.readCivilModels(QStringLiteral("CSIDL_COMMON_DOCUMENTS\\Tarsel\\Missing.ldb"), &nothing);
    scan.readCivilModels(QStringLiteral("CSIDL_COMMON_DOCUMENTS\\Tarsel"), &nothing); // a folder
    QVERIFY(nothing.isEmpty());
}

void TestRecentFileScan::civilDatabaseIsReadAgainOnlyWhenItChanges()
{
    const QString recentFile = QStringLiteral("CSIDL_COMMON_DOCUMENTS\\Tarsel\\土建\\System.ldb");
    const QString database = writeCivilDatabase({ QStringLiteral("/m/first.cva") });
    const QDateTime stamp = QDateTime::currentDateTime().addSecs(-100);
    QVERIFY(KTestEnvironment::setModified(database, stamp));
    KRecentFileScan scan;
    QStringList list;
    scan.readCivilModels(recentFile, &list);
    QCOMPARE(list, QStringList { QStringLiteral("/m/first.cva") });

    // New content under the same modification time is not read.
    writeCivilDatabase({ QStringLiteral("/m/second.cva") });
    QVERIFY(KTestEnvironment::setModified(database, stamp));
    list.clear();
    scan.readCivilModels(recentFile, &list);
    QCOMPARE(list, QStringList { QStringLiteral("/m/first.cva") });

    QVERIFY(KTestEnvironment::setModified(database, stamp.addSecs(1)));
    list.clear();
    scan.readCivilModels(recentFile, &list);
    QCOMPARE(list, QStringList { QStringLiteral("/m/second.cva") });
}

QTEST_GUILESS_MAIN(TestRecentFileScan)
#include "tst_recentfilescan.moc"
