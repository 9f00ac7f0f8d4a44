#include "core/kcommon.h"

#include <QtTest>

class TestCommonHelpers : public QObject
{
    Q_OBJECT

private slots:
    void formatSize_data();
    void formatSize();
    void joinPath_data();
    void joinPath();
};

void TestCommonHelpers::formatSize_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("bytes below one kilobyte stay bytes") << qint64(1023) << QStringLiteral("1023B");
    QTest::newRow("1024 bytes are one kilobyte") << qint64(1024) << QStringLiteral("1KB");
    QTest::newRow("kilobytes drop the fraction before formatting") << qint64(5000) << QStringLiteral("4KB");
    QTest::newRow("just below a megabyte") << qint64(1048575) << QStringLiteral("1023KB");
    QTest::newRow("one megabyte") << qint64(1048576) << QStringLiteral("1MB");
    QTest::newRow("one and a half megabytes keep two decimals")
        << qint64(1572864) << QStringLiteral("1.50MB");
    QTest::newRow("gigabytes use the general format") << qint64(1610612736) << QStringLiteral("1.5GB");
    QTest::newRow("five terabytes stay gigabytes")
        << qint64(5) * 1024 * 1073741824 << QStringLiteral("5120GB");
}

void TestCommonHelpers::formatSize()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(KCommon::formatSize(bytes), text);
}

void TestCommonHelpers::joinPath_data()
{
    QTest::addColumn<QString>("dir");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("joined");
    QTest::newRow("blanks around both parts are kept: file names may end with one")
        << QStringLiteral("/data/dir ") << QStringLiteral(" x ") << QStringLiteral("/data/dir / x ");
    QTest::newRow("backslashes are characters of a name")
        << QStringLiteral("/data") << QStringLiteral("a\\b") << QStringLiteral("/data/a\\b");
    QTest::newRow("four slashes collapse in two passes")
        << QStringLiteral("/data//") << QStringLiteral("/x") << QStringLiteral("/data/x");
}

void TestCommonHelpers::joinPath()
{
    QFETCH(QString, dir);
    QFETCH(QString, name);
    QFETCH(QString, joined);
    QCOMPARE(KCommon::joinPath(dir, name), joined);
}

QTEST_GUILESS_MAIN(TestCommonHelpers)
#include "tst_commonhelpers.moc"
