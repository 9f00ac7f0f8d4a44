#include "core/krows.h"

#include <QtTest>

namespace {

QString row(const QString& path, const QString& latest, const QString& month, int count = 1)
{
    return path + QLatin1Char('|') + QString::number(count) + QLatin1Char('|') + latest + QLatin1Char('|')
        + month;
}

// The paths of the rows, in order.
QStringList pathsOf(const QStringList& rows)
{
    QStringList paths;
    for (const QString& text : rows)
        paths << KRows::split(text).path;
    return paths;
}

// A page as "# month" headers and paths.
QStringList linesOf(const QVector<KRows::PageLine>& lines)
{
    QStringList texts;
    for (const KRows::PageLine& line : lines)
        texts << (line.header ? QStringLiteral("# ") + line.text : line.text);
    return texts;
}

} // namespace

// The rows of the pages: their order, the days they cover, and how they are paged.
class TestRows : public QObject
{
    Q_OBJECT

private slots:
    void sorted_data();
    void sorted();
    void newerThan_data();
    void newerThan();
    void pages_data();
    void pages();
    void fieldsAreSplitFromTheRight();
};

void TestRows::sorted_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("paths");
    const QString t = QStringLiteral("2024-03-01 10:00:00");
    QTest::newRow("newest creation month first, across years")
        << QStringList { row(QStringLiteral("dec"), t, QStringLiteral("2023年12月")),
               row(QStringLiteral("mar"), t, QStringLiteral("2024年03月")),
               row(QStringLiteral("jan"), t, QStringLiteral("2024年01月")) }
        << QStringList { QStringLiteral("mar"), QStringLiteral("jan"), QStringLiteral("dec") };
    QTest::newRow("within a month the latest change first") << QStringList {
        row(QStringLiteral("older"), QStringLiteral("2024-03-01 09:59:59"), QStringLiteral("2024年03月")),
        row(QStringLiteral("newer"), QStringLiteral("2024-03-02 00:00:00"), QStringLiteral("2024年03月"))
    } << QStringList { QStringLiteral("newer"), QStringLiteral("older") };
    QTest::newRow("an unreadable month comes last, an unreadable time last in its month")
        << QStringList { row(QStringLiteral("no month"), t, QString()),
               row(QStringLiteral("no time"), QStringLiteral("soon"), QStringLiteral("2024年03月")),
               row(QStringLiteral("timed"), t, QStringLiteral("2024年03月")) }
        << QStringList { QStringLiteral("timed"), QStringLiteral("no time"), QStringLiteral("no month") };
    QTest::newRow("identical and empty rows are dropped")
        << QStringList { row(QStringLiteral("a"), t, QStringLiteral("2024年03月")), QStringLiteral("  "),
               row(QStringLiteral("a"), t, QStringLiteral("2024年03月")) }
        << QStringList { QStringLiteral("a") };
}

void TestRows::sorted()
{
    QFETCH(QStringList, rows);
    QFETCH(QStringList, paths);
    QCOMPARE(pathsOf(KRows::sorted(rows)), paths);
}

void TestRows::newerThan_data()
{
    QTest::addColumn<int>("days");
    QTest::addColumn<QStringList>("paths");
    QTest::newRow("today: less than one day back")
        << 1 << QStringList { QStringLiteral("second short of a day") };
    QTest::newRow("three days: less than three days back")
        << 3 << QStringList { QStringLiteral("second short of a day"), QStringLiteral("one day") };
}

void TestRows::newerThan()
{
    QFETCH(int, days);
    QFETCH(QStringList, paths);
    const QDateTime now(QDate(2024, 3, 20), QTime(12, 0));
    const auto at = [&now](qint64 secondsBack) {
        return now.addSecs(-secondsBack).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    };
    const QString month = QStringLiteral("2024年03月");
    std::array<QStringList, 5> kinds;
    kinds[0] << row(QStringLiteral("second short of a day"), at(86399), month);
    kinds[2] << row(QStringLiteral("one day"), at(86400), month)
             << row(QStringLiteral("unreadable"), QStringLiteral("x"), month);
    kinds[4] << row(QStringLiteral("three days"), at(3 * 86400), month);
    QCOMPARE(pathsOf(KRows::newerThan(kinds, days, now)), paths);
}

void TestRows::pages_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("pageCount");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("no rows, no pages") << 0 << 1 << 0 << QStringList();
    QTest::newRow("twenty rows fill one page") << 20 << 2 << 1 << QStringList();
    QTest::newRow("41 rows: the third page holds one under its header")
        << 41 << 3 << 3 << QStringList { QStringLiteral("# 2024年01月"), QStringLiteral("40") };
    QTest::newRow("a page starts with the header of its first row's month")
        << 25 << 2 << 2
        << QStringList { QStringLiteral("# 2024年01月"), QStringLiteral("20"), QStringLiteral("21"),
               QStringLiteral("22"), QStringLiteral("23"), QStringLiteral("24") };
}

void TestRows::pages()
{
    QFETCH(int, rows);
    QFETCH(int, page);
    QFETCH(int, pageCount);
    QFETCH(QStringList, lines);
    QStringList all;
    for (int i = 0; i < rows; ++i)
        all << row(QString::number(i), QStringLiteral("2024-03-01 10:00:00"),
            i < 19 ? QStringLiteral("2024年03月") : QStringLiteral("2024年01月"));
    QCOMPARE(KRows::pageCount(rows), pageCount);
    QCOMPARE(linesOf(KRows::page(all, page)), lines);
    // The first page: one header per run of a month, headers not counted.
    if (rows >= 20)
        QCOMPARE(linesOf(KRows::page(all, 1)).filter(QStringLiteral("# ")).size(), 2);
}

void TestRows::fieldsAreSplitFromTheRight()
{
    const KRows::Fields fields = KRows::split(QStringLiteral(" a|b.xls |3|2024-03-01 10:00:00|2024年03月"));
    QCOMPARE(fields.path, QStringLiteral(" a|b.xls ")); // "|" and blanks belong to a Linux file name
    QCOMPARE(fields.count, QStringLiteral("3"));
    QCOMPARE(fields.latest, QStringLiteral("2024-03-01 10:00:00"));
    QCOMPARE(fields.month, QStringLiteral("2024年03月"));
}

QTEST_GUILESS_MAIN(TestRows)
#include "tst_rows.moc"
