#include "core/kfiletypemanager.h"
#include "discovery/kledgerbase.h"
#include "discovery/kproductcatalog.h"
#include "discovery/kproductdatabasereader.h"
#include "discovery/kproductinfo.h"
#include "discovery/krecentfilescan.h"
#include "kfiforelease.h"
#include "ktestenvironment.h"
#include "platform/kregistry.h"

#include <QtTest>

#include <sys/stat.h>

namespace {

const QString Office = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\");
const QString CivilRecentFile = QStringLiteral("CSIDL_COMMON_DOCUMENTS\\Tarsel\\土建\\System.ldb");

void setValue(const QString& key, const QString& name, const QString& value)
{
    KRegistryKey(key).setValue(name, value);
}

} // namespace

// The lists of recently used files (the registry's and the civil product's system database), and
// the product catalog that names them with the file kinds its products' extensions are registered in.
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
    void classification_data();
    void classification();
    void rootAndContentDecide_data();
    void rootAndContentDecide();
    void fieldsAreReadAsWritten();
    void laterProductOfTheSameNameWins();
    void codeChoosesTheKind_data();
    void codeChoosesTheKind();

private:
    QString writeCivilDatabase(const QStringList& entries);
    // A product catalog file of `content`.
    QString write(const QByteArray& content);
    static QByteArray product(
        const QByteArray& name, const QByteArray& code, const QByteArray& children = {});

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

QString TestRecentFileScan::write(const QByteArray& content)
{
    static int n = 0;
    const QString path = m_env.path(QStringLiteral("catalog%1.xml").arg(++n));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

QByteArray TestRecentFileScan::product(
    const QByteArray& name, const QByteArray& code, const QByteArray& children)
{
    return "<Product Name=\"" + name + "\" Code=\"" + code + "\">" + children + "</Product>";
}

void TestRecentFileScan::classification_data()
{
    // Extensions registered per kind 0 to 4, then a suffix and its kind.
    QTest::addColumn<QStringList>("registered");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("kind");
    const QStringList office { QString(), QString(), QString(), QString(), QStringLiteral("docx,dwg") };
    QTest::newRow("letter case is ignored") << office << QStringLiteral("DOCX") << 4;
    QTest::newRow("the suffix is trimmed") << office << QStringLiteral(" dwg ") << 4;
    QTest::newRow("an unregistered suffix is not protected") << office << QStringLiteral("exe") << 8;
    QTest::newRow("the empty suffix is not protected") << office << QString() << 8;
    const QStringList shared { QStringLiteral("pra4"), QStringLiteral("pra4,cva24,rba24"),
        QStringLiteral("rba24,ina24"), QStringLiteral("ina24"), QStringLiteral("rba24") };
    QTest::newRow("pricing wins over everything") << shared << QStringLiteral("pra4") << 0;
    QTest::newRow("an extension only civil holds stays civil") << shared << QStringLiteral("cva24") << 1;
    QTest::newRow("other wins over civil and rebar") << shared << QStringLiteral("rba24") << 4;
    QTest::newRow("rebar wins over installation") << shared << QStringLiteral("ina24") << 2;
}

void TestRecentFileScan::classification()
{
    QFETCH(QStringList, registered);
    QFETCH(QString, suffix);
    QFETCH(int, kind);
    KFileTypeManager kinds;
    for (int i = 0; i < registered.size(); ++i)
        QVERIFY(kinds.addFileExts(i, registered.at(i)));
    // Only the five kinds take extensions.
    for (const int other : { -1, 5, 8 }) {
        QVERIFY(!kinds.addFileExts(other, suffix));
        QVERIFY(kinds.fileExts(other).isEmpty());
    }
    QCOMPARE(kinds.fileTypeOfSuffix(suffix), kind);
}

void TestRecentFileScan::rootAndContentDecide_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("products");
    QTest::newRow("products at any depth below the root count")
        << "<Products>" + product("a", "PRA4") + "<Group>" + product("b", "RBA") + "</Group></Products>" << 3;
    QTest::newRow("a lower-case root gives no products")
        << "<products>" + product("a", "PRA4") + "</products>" << 1;
    QTest::newRow("content that does not parse gives no products")
        << "<Products>" + product("a", "PRA4") << 1;
    QTest::newRow("fifty thousand unclosed elements give no products, and no crash")
        << "<Products>" + product("a", "PRA4") + QByteArray("<Group>").repeated(50000) << 1;
    QTest::newRow("nesting deeper than any catalog gives no products") << "<Products>"
            + QByteArray("<Group>").repeated(20) + product("a", "PRA4") + QByteArray("</Group>").repeated(20)
            + "</Products>" << 1;
    QByteArray laughs = "<!DOCTYPE Products [<!ENTITY l0 \"ha\">";
    for (int i = 1; i < 30; ++i)
        laughs += QStringLiteral("<!ENTITY l%1 \"&l%2;&l%2;\">").arg(i).arg(i - 1).toUtf8();
    QTest::newRow("entities that expand a billion times give no products")
        << laughs + "]><Products>" + product("&l29;", "PRA4") + "</Products>" << 1;
}

void TestRecentFileScan::rootAndContentDecide()
{
    QFETCH(QByteArray, content);
    QFETCH(int, products);
    KFileTypeManager kinds;
    KProductCatalog catalog(&kinds);
    QVERIFY(catalog.load(write("<Products>" + product("earlier", "INA") + "</Products>")));
    QVERIFY(catalog.load(write(content))); // true whatever the content
    QCOMPARE(catalog.products().size(), products);
    QVERIFY(catalog.product(QStringLiteral("earlier"))); // the table is kept as it was
}

void TestRecentFileScan::fieldsAreReadAsWritten()
{
    KFileTypeManager kinds;
    KProductCatalog catalog(&kinds);
    QVERIFY(!catalog.load(m_env.path(QStringLiteral("missing.xml"))));
    const QString fifo = m_env.path(QStringLiteral("fifo.xml"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const KFifoRelease release({ fifo });
    QVERIFY(!catalog.load(fifo)); // at once, without waiting for a writer
    QVERIFY(!release.released());
    QVERIFY(catalog.load(
        write("\xEF\xBB\xBF<Products>\r\n\t<Product Name=\"N\" Code=\"C\">\r\n"
              "\t\t<RecentFile>RF</RecentFile><Visible>True</Visible><CanInstall>true</CanInstall>"
              "<FileExt> a , ,A, b </FileExt>\r\n\t</Product>\r\n</Products>\r\n")));
    const KProductInfo* p = catalog.product(QStringLiteral("N"));
    QVERIFY(p);
    QCOMPARE(QStringList({ p->code(), p->recentFile() }),
        QStringList({ QStringLiteral("C"), QStringLiteral("RF") }));
    QVERIFY(p->visible());
    QVERIFY(!p->canInstall()); // only "True" is true
    // Trimmed, and held once in the first spelling.
    QCOMPARE(kinds.fileExts(4), (QStringList { QStringLiteral("a"), QStringLiteral("b") }));
}

void TestRecentFileScan::laterProductOfTheSameNameWins()
{
    KFileTypeManager kinds;
    KProductCatalog catalog(&kinds);
    QVERIFY(
        catalog.load(write("<Products>" + product("same", "PRA4") + product("same", "RBA") + "</Products>")));
    QCOMPARE(catalog.products().size(), 1);
    QCOMPARE(catalog.product(QStringLiteral("same"))->code(), QStringLiteral("RBA"));
}

void TestRecentFileScan::codeChoosesTheKind_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("kind");
    QTest::newRow("a code containing PRA4 is pricing") << QStringLiteral("PRA4X") << 0;
    QTest::newRow("PRA3 is other") << QStringLiteral("PRA3") << 4;
    QTest::newRow("codes are compared with their letter case") << QStringLiteral("pra4") << 4;
    QTest::newRow("civil is tested before pricing") << QStringLiteral("PRA4CVA") << 1;
}

void TestRecentFileScan::codeChoosesTheKind()
{
    QFETCH(QString, code);
    QFETCH(int, kind);
    KFileTypeManager kinds;
    KProductCatalog catalog(&kinds);
    QVERIFY(catalog.load(
        write("<Products>" + product("p", code.toUtf8(), "<FileExt>zz1</FileExt>") + "</Products>")));
    QCOMPARE(kinds.fileTypeOfSuffix(QStringLiteral("zz1")), kind);
    QCOMPARE(KProductCatalog::kindOfCode(code), kind);
}

QTEST_GUILESS_MAIN(TestRecentFileScan)
#include "tst_recentfilescan.moc"
