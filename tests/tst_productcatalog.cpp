#include "core/kfiletypemanager.h"
#include "discovery/kproductcatalog.h"
#include "discovery/kproductinfo.h"
#include "kfiforelease.h"

#include <QtTest>

#include <sys/stat.h>

// The product catalog and the file kinds its products' extensions are registered in.
class TestProductCatalog : public QObject
{
    Q_OBJECT

private slots:
    void classification_data();
    void classification();
    void rootAndContentDecide_data();
    void rootAndContentDecide();
    void fieldsAreReadAsWritten();
    void laterProductOfTheSameNameWins();
    void codeChoosesTheKind_data();
    void codeChoosesTheKind();

private:
    QString write(const QByteArray& content);
    static QByteArray product(
        const QByteArray& name, const QByteArray& code, const QByteArray& children = {});

    QTemporaryDir m_dir;
};

QString TestProductCatalog::write(const QByteArray& content)
{
    static int n = 0;
    const QString path = m_dir.filePath(QStringLiteral("catalog%1.xml").arg(++n));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QString();
    return path;
}

QByteArray TestProductCatalog::product(
    const QByteArray& name, const QByteArray& code, const QByteArray& children)
{
    return "<Product Name=\"" + name + "\" Code=\"" + code + "\">" + children + "</Product>";
}

void TestProductCatalog::classification_data()
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

void TestProductCatalog::classification()
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

void TestProductCatalog::rootAndContentDecide_data()
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

void TestProductCatalog::rootAndContentDecide()
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

void TestProductCatalog::fieldsAreReadAsWritten()
{
    KFileTypeManager kinds;
    KProductCatalog catalog(&kinds);
    QVERIFY(!catalog.load(m_dir.filePath(QStringLiteral("missing.xml"))));
    const QString fifo = m_dir.filePath(QStringLiteral("fifo.xml"));
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

void TestProductCatalog::laterProductOfTheSameNameWins()
{
    KFileTypeManager kinds;
    KProductCatalog catalog(&kinds);
    QVERIFY(
        catalog.load(write("<Products>" + product("same", "PRA4") + product("same", "RBA") + "</Products>")));
    QCOMPARE(catalog.products().size(), 1);
    QCOMPARE(catalog.product(QStringLiteral("same"))->code(), QStringLiteral("RBA"));
}

void TestProductCatalog::codeChoosesTheKind_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<int>("kind");
    QTest::newRow("a code containing PRA4 is pricing") << QStringLiteral("PRA4X") << 0;
    QTest::newRow("PRA3 is other") << QStringLiteral("PRA3") << 4;
    QTest::newRow("codes are compared with their letter case") << QStringLiteral("pra4") << 4;
    QTest::newRow("civil is tested before pricing") << QStringLiteral("PRA4CVA") << 1;
}

void TestProductCatalog::codeChoosesTheKind()
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

QTEST_GUILESS_MAIN(TestProductCatalog)
#include "tst_productcatalog.moc"
