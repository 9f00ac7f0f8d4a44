#include "core/kcommon.h"
#include "core/krows.h"
#include "core/ktimestamp.h"
#include "platform/kfileops.h"
#include "service/kbackuprules.h"

#include <QDateTime>
#include <QtTest>

#include <cstdlib>
#include <ctime>

using KBackupRules::Decision;
Q_DECLARE_METATYPE(Decision)

// The engine's rules as plain functions: sizes and paths as shown, the stamps (formatted without
// QDateTime for speed, QDateTime the reference), the rows of the pages (what the pages cannot
// show on their own: the order of damaged rows, the days window, what a search looks at, where a
// row's path ends), and what a cycle backs up, decided from a file's status alone.
class TestCoreFunctions : public QObject
{
    Q_OBJECT

private slots:
    void formatSize_data();
    void formatSize();
    void joinPath_data();
    void joinPath();
    void fastTextsAgreeWithQDateTime_data();
    void fastTextsAgreeWithQDateTime();
    void stampNumbersOrderAsTimes();
    void rowsKept_data();
    void rowsKept();
    void pageCountRoundsUp();
    void decide_data();
    void decide();
};

void TestCoreFunctions::formatSize_data()
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

void TestCoreFunctions::formatSize()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(KCommon::formatSize(bytes), text);
}

void TestCoreFunctions::joinPath_data()
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

void TestCoreFunctions::joinPath()
{
    QFETCH(QString, dir);
    QFETCH(QString, name);
    QFETCH(QString, joined);
    QCOMPARE(KCommon::joinPath(dir, name), joined);
}

void TestCoreFunctions::fastTextsAgreeWithQDateTime_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<qint64>("msecs");
    const QList<QByteArray> zones
        = { "UTC", "Europe/Berlin", "America/New_York", "Asia/Shanghai", "Australia/Lord_Howe" };
    const QList<QPair<const char*, qint64>> instants = {
        { "the epoch", 0 },
        { "before the epoch, in the last second of 1969", -1 },
        { "before the epoch, a fraction into a second", -1500 },
        { "a spring change of clocks in Europe", 1711846800000 }, // 2024-03-31 01:00 UTC
        { "an autumn change of clocks in Europe", 1729990800000 }, // 2024-10-27 01:00 UTC
        { "a leap day", 1709251199999 },
        { "far ahead", 4102444800000 },
    };
    for (const QByteArray& zone : zones) {
        for (const auto& instant : instants) {
            // Before 1970 Qt 5 assumes today's offsets while the C library knows history; only
            // the rounding of such instants is checked, where both agree.
            if (instant.second < 0 && zone != "UTC")
                continue;
            QTest::addRow("%s, %s", zone.constData(), instant.first) << zone << instant.second;
        }
    }
}

void TestCoreFunctions::fastTextsAgreeWithQDateTime()
{
    QFETCH(QByteArray, zone);
    QFETCH(qint64, msecs);
    const QByteArray previous = qgetenv("TZ");
    qputenv("TZ", zone);
    tzset();
    const QDateTime reference = QDateTime::fromMSecsSinceEpoch(msecs);
    QCOMPARE(KTimeStamp::formatMSecs(msecs), reference.toString(QStringLiteral("yyyyMMddhhmmss")));
    QCOMPARE(
        KTimeStamp::displayTextOfMSecs(msecs), reference.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    QCOMPARE(KTimeStamp::monthTextOfMSecs(msecs), reference.toString(QStringLiteral("yyyy年MM月")));
    QCOMPARE(KTimeStamp::numberOfMSecs(msecs), KTimeStamp::formatMSecs(msecs).toLongLong());
    QVERIFY(KTimeStamp::isDisplayText(KTimeStamp::displayTextOfMSecs(msecs)));
    if (previous.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", previous);
    tzset();
}

void TestCoreFunctions::stampNumbersOrderAsTimes()
{
    QCOMPARE(KTimeStamp::numberOf(u"20240105093012"), Q_INT64_C(20240105093012));
    QVERIFY(KTimeStamp::numberOf(u"20240105093012") < KTimeStamp::numberOf(u"20240105093013"));
    QVERIFY(KTimeStamp::numberOf(u"20231231235959") < KTimeStamp::numberOf(u"20240101000000"));
    for (const char16_t* invalid :
        { u"20240230000000", u"2024010509301", u"2024010509301x", u"20241301000000", u"" })
        QCOMPARE(KTimeStamp::numberOf(invalid), Q_INT64_C(-1));
    QVERIFY(!KTimeStamp::isDisplayText(u"2024-01-05 24:00:00"));
    QVERIFY(!KTimeStamp::isDisplayText(u"2024/01/05 09:30:12"));
}

namespace {

// A row last backed up on `date` ("yyyy-MM-dd"), in `month`, taking the change `stamp`.
QString row(const QString& path, const QString& date, const QString& month = QStringLiteral("2024年03月"),
    const QString& stamp = QStringLiteral("20240301100000"))
{
    return QStringList { path, QStringLiteral("1"), date, month, stamp }.join(QLatin1Char('|'));
}

QStringList pathsOf(const QStringList& rows)
{
    QStringList paths;
    for (const QString& text : rows)
        paths << KRows::split(text).path;
    return paths;
}

} // namespace

void TestCoreFunctions::rowsKept_data()
{
    QTest::addColumn<QString>("take"); // "sorted", "days N" (from 2024-03-20 00:30), "name TEXT"
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("paths");
    const QString d = QStringLiteral("2024-03-01");
    QTest::newRow("an unreadable month comes last, an unreadable date last in its month")
        << "sorted"
        << QStringList { row(QStringLiteral("no month"), d, QString()),
               row(QStringLiteral("no date"), QStringLiteral("soon")), row(QStringLiteral("dated"), d) }
        << QStringList { QStringLiteral("dated"), QStringLiteral("no date"), QStringLiteral("no month") };
    QTest::newRow("identical and empty rows are dropped")
        << "sorted"
        << QStringList { row(QStringLiteral("a"), d), QStringLiteral("  "), row(QStringLiteral("a"), d) }
        << QStringList { QStringLiteral("a") };
    QTest::newRow("a path keeps its bars and blanks: the fields are split from the right")
        << "sorted" << QStringList { row(QStringLiteral(" a|b.xls "), d) }
        << QStringList { QStringLiteral(" a|b.xls ") };
    const QStringList days { row(QStringLiteral("today"), QStringLiteral("2024-03-20")),
        row(QStringLiteral("the day before yesterday"), QStringLiteral("2024-03-18")),
        row(QStringLiteral("three days ago"), QStringLiteral("2024-03-17")),
        row(QStringLiteral("unreadable"), QStringLiteral("x")) };
    QTest::newRow("today: backed up on today's date, half an hour after midnight")
        << "days 1" << days << QStringList { QStringLiteral("today") };
    QTest::newRow("three days: today and the two days before")
        << "days 3" << days
        << QStringList { QStringLiteral("today"), QStringLiteral("the day before yesterday") };
    QTest::newRow("a search looks at the file's name, not its folder")
        << "name ann" << QStringList { row(QStringLiteral("/home/Ann/预算.pra4"), d) } << QStringList();
}

void TestCoreFunctions::rowsKept()
{
    QFETCH(QString, take);
    QFETCH(QStringList, rows);
    QFETCH(QStringList, paths);
    const QString argument = take.section(QLatin1Char(' '), 1);
    if (take == QLatin1String("sorted")) {
        QCOMPARE(pathsOf(KRows::sorted(rows)), paths);
    } else if (take.startsWith(QLatin1String("days"))) {
        const QDateTime now(QDate(2024, 3, 20), QTime(0, 30));
        std::array<QStringList, 5> kinds;
        kinds[2] = rows;
        QCOMPARE(pathsOf(KRows::newerThan(kinds, argument.toInt(), now)), paths);
        // As the pages take today's rows: from the recent ones, already in order.
        QCOMPARE(
            pathsOf(KRows::backedUpWithin(KRows::newerThan(kinds, 3, now), argument.toInt(), now)), paths);
    } else {
        QCOMPARE(pathsOf(KRows::matching(rows, argument)), paths);
    }
}

void TestCoreFunctions::pageCountRoundsUp()
{
    QCOMPARE(KRows::pageCount(0), 0);
    QCOMPARE(KRows::pageCount(KRows::PageSize), 1);
    QCOMPARE(KRows::pageCount(KRows::PageSize + 1), 2);
}

namespace {

const QDateTime Now(QDate(2024, 4, 2), QTime(10, 0));

} // namespace

void TestCoreFunctions::decide_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("unreadable");
    QTest::addColumn<QDateTime>("modified");
    QTest::addColumn<bool>("backedUp");
    QTest::addColumn<Decision>("decision");
    const QDateTime weekAgo = Now.addDays(-7);
    QTest::newRow("a changed file of the last hour is backed up")
        << true << false << Now.addSecs(-3600) << false << Decision::BackUp;
    QTest::newRow("a file whose time a version carries is not")
        << true << false << Now.addSecs(-3600) << true << Decision::Unchanged;
    QTest::newRow("a second short of seven days is backed up")
        << true << false << weekAgo.addSecs(1) << false << Decision::BackUp;
    QTest::newRow("seven days exactly is too old") << true << false << weekAgo << false << Decision::TooOld;
    QTest::newRow("an old file already backed up stays unchanged")
        << true << false << weekAgo.addSecs(-1) << true << Decision::Unchanged;
    QTest::newRow("a time ahead of the clock is backed up")
        << true << false << Now.addSecs(3600) << false << Decision::BackUp;
    QTest::newRow("a missing file is left alone") << false << false << Now << false << Decision::Missing;
    QTest::newRow("a file whose folder cannot be entered is a failure")
        << false << true << Now << false << Decision::Unreadable;
}

void TestCoreFunctions::decide()
{
    QFETCH(bool, exists);
    QFETCH(bool, unreadable);
    QFETCH(QDateTime, modified);
    QFETCH(bool, backedUp);
    QFETCH(Decision, decision);
    KFileStatus file;
    file.exists = exists;
    file.isFile = exists;
    file.unreadable = unreadable;
    file.modifiedMSecs = modified.toMSecsSinceEpoch();
    QCOMPARE(KBackupRules::decide(file, backedUp, KBackupRules::oldestBackedUp(Now.toMSecsSinceEpoch())),
        decision);
}

QTEST_GUILESS_MAIN(TestCoreFunctions)
#include "tst_corefunctions.moc"
