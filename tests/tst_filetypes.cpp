#include "discovery/kfiletypemanager.h"

#include <QtTest>

class TestFileTypes : public QObject
{
    Q_OBJECT

private slots:
    void classification_data();
    void classification();
    void extensionsAreHeldOnceInTheirFirstSpelling();
    void onlyTheFiveKindsTakeExtensions();
};

void TestFileTypes::classification_data()
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

void TestFileTypes::classification()
{
    QFETCH(QStringList, registered);
    QFETCH(QString, suffix);
    QFETCH(int, kind);
    KFileTypeManager kinds;
    for (int i = 0; i < registered.size(); ++i)
        QVERIFY(kinds.addFileExts(i, registered.at(i)));
    QCOMPARE(kinds.fileTypeOfSuffix(suffix), kind);
}

void TestFileTypes::extensionsAreHeldOnceInTheirFirstSpelling()
{
    KFileTypeManager kinds;
    QVERIFY(kinds.addFileExts(2, QStringLiteral(" RBA24 , ,rba24,Rbt24,, rbt24 ")));
    QVERIFY(kinds.addFileExts(2, QStringLiteral("rbt24,rbf24")));
    QCOMPARE(kinds.fileExts(2),
        (QStringList { QStringLiteral("RBA24"), QStringLiteral("Rbt24"), QStringLiteral("rbf24") }));
    QVERIFY(kinds.addFileExts(3, QString()));
    QVERIFY(kinds.fileExts(3).isEmpty());
}

void TestFileTypes::onlyTheFiveKindsTakeExtensions()
{
    KFileTypeManager kinds;
    for (const int kind : { -1, 5, 8 }) {
        QVERIFY(!kinds.addFileExts(kind, QStringLiteral("abc")));
        QVERIFY(kinds.fileExts(kind).isEmpty());
    }
    QCOMPARE(kinds.fileTypeOfSuffix(QStringLiteral("abc")), 8);
}

QTEST_GUILESS_MAIN(TestFileTypes)
#include "tst_filetypes.moc"
