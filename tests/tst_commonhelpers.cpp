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
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<QString>("joined");
    const QChar backslash = QLatin1Char('\\');
    const QChar slash = QLatin1Char('/');
    QTest::newRow("a drive root's trailing backslash collapses")
        << QStringLiteral("D:\\") << QStringLiteral("x") << backslash << QStringLiteral("D:\\x");
    QTest::newRow("three backslashes become two in one pass")
        << QStringLiteral("a\\\\") << QStringLiteral("b") << backslash << QStringLiteral("a\\\\b");
    QTest::newRow("double slashes become a backslash")
        << QStringLiteral("a//b") << QStringLiteral("c") << backslash << QStringLiteral("a\\b\\c");
    QTest::newRow("blanks around both parts are kept: file names may end with one")
        << QStringLiteral("/data/dir ") << QStringLiteral(" x ") << slash << QStringLiteral("/data/dir / x ");
    QTest::newRow("a Linux path keeps backslashes as characters")
        << QStringLiteral("/data") << QStringLiteral("a\\b") << slash << QStringLiteral("/data/a\\b");
    QTest::newRow("four slashes collapse in two passes")
        << QStringLiteral("/data//") << QStringLiteral("/x") << slash << QStringLiteral("/data/x");
}

void TestCommonHelpers::joinPath()
{
    QFETCH(QString, dir);
    QFETCH(QString, name);
    QFETCH(QChar, separator);
    QFETCH(QString, joined);
    QCOMPARE(KCommon::joinPath(dir, name, separator), joined);
}

QTEST_GUILESS_MAIN(TestCommonHelpers)
#include "tst_commonhelpers.moc"
