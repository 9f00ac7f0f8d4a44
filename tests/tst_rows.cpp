#include "core/krows.h"

#include <QtTest>

namespace {

// A row last backed up on `date` ("yyyy-MM-dd"), in `month`, taking the change `stamp`.
QString row(const QString& path, const QString& date, const QString& month,
    const QString& stamp = QStringLiteral("20240301100000"))
{
    return QStringList { path, QStringLiteral("1"), date, month, stamp }.join(QLatin1Char('|'));
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

const QString March = QStringLiteral("2024年03月");

} // namespace

// The rows of the pages: their order, the days they cover, the search, and how they are paged.
class TestRows : public QObject
{
    Q_OBJECT

private slots:
    void sorted_data();
    void sorted();
    void newerThan_data();
    void newerThan();
    void matching_data();
    void matching();
    void pages_data();
    void pages();
    void fieldsAreSplitFromTheRight();
};

void TestRows::sorted_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("paths");
    const QString d = QStringLiteral("2024-03-01");
    QTest::newRow("newest month of the last backup first, across years") << QStringList {
        row(QStringLiteral("dec"), d, QStringLiteral("2023年12月")), row(QStringLiteral("mar"), d, March),
        row(QStringLiteral("jan"), d, QStringLiteral("2024年01月"))
    } << QStringList { QStringLiteral("mar"), QStringLiteral("jan"), QStringLiteral("dec") };
    QTest::newRow("within a month the latest backup first, and on one day the latest change") << QStringList {
        row(QStringLiteral("older"), QStringLiteral("2024-03-01"), March),
        row(QStringLiteral("morning"), QStringLiteral("2024-03-02"), March, QStringLiteral("20240302090000")),
        row(QStringLiteral("noon"), QStringLiteral("2024-03-02"), March, QStringLiteral("20240302120000"))
    } << QStringList { QStringLiteral("noon"), QStringLiteral("morning"), QStringLiteral("older") };
    QTest::newRow("an unreadable month comes last, an unreadable date last in its month") << QStringList {
        row(QStringLiteral("no month"), d, QString()),
        row(QStringLiteral("no date"), QStringLiteral("soon"), March), row(QStringLiteral("dated"), d, March)
    } << QStringList { QStringLiteral("dated"), QStringLiteral("no date"), QStringLiteral("no month") };
    QTest::newRow("identical and empty rows are dropped") << QStringList { row(QStringLiteral("a"), d, March),
        QStringLiteral("  "), row(QStringLiteral("a"), d, March) }
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
    QTest::newRow("today: backed up today, whatever the kind, the latest change first")
        << 1 << QStringList { QStringLiteral("today at noon"), QStringLiteral("today at nine") };
    QTest::newRow("three days: today and the two days before")
        << 3
        << QStringList { QStringLiteral("today at noon"), QStringLiteral("today at nine"),
               QStringLiteral("the day before yesterday") };
}

void TestRows::newerThan()
{
    QFETCH(int, days);
    QFETCH(QStringList, paths);
    const QDateTime now(QDate(2024, 3, 20), QTime(0, 30));
    std::array<QStringList, 5> kinds;
    kinds[0] << row(QStringLiteral("today at nine"), QStringLiteral("2024-03-20"), March,
        QStringLiteral("20240320090000"))
             << row(QStringLiteral("three days ago"), QStringLiteral("2024-03-17"), March);
    kinds[2] << row(QStringLiteral("the day before yesterday"), QStringLiteral("2024-03-18"), March)
             << row(QStringLiteral("unreadable"), QStringLiteral("x"), March);
    kinds[4] << row(QStringLiteral("today at noon"), QStringLiteral("2024-03-20"), March,
        QStringLiteral("20240320120000"));
    QCOMPARE(pathsOf(KRows::newerThan(kinds, days, now)), paths);
    // As the pages take today's rows: from the recent ones, already in order.
    QCOMPARE(pathsOf(KRows::backedUpWithin(KRows::newerThan(kinds, 3, now), days, now)), paths);
}

void TestRows::matching_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("paths");
    QTest::newRow("any case") << "PRA" << QStringList { QStringLiteral("/home/Ann/预算.pra4") };
    QTest::newRow("the name only, not its folder") << "ann" << QStringList();
    QTest::newRow("no text keeps every row")
        << ""
        << QStringList { QStringLiteral("/home/Ann/预算.pra4"), QStringLiteral("/home/Ann/钢筋.rba24") };
}

void TestRows::matching()
{
    QFETCH(QString, text);
    QFETCH(QStringList, paths);
    const QStringList rows { row(QStringLiteral("/home/Ann/预算.pra4"), QStringLiteral("2024-03-01"), March),
        row(QStringLiteral("/home/Ann/钢筋.rba24"), QStringLiteral("2024-03-01"), March) };
    QCOMPARE(pathsOf(KRows::matching(rows, text)), paths);
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
        all << row(
            QString::number(i), QStringLiteral("2024-03-01"), i < 19 ? March : QStringLiteral("2024年01月"));
    QCOMPARE(KRows::pageCount(rows), pageCount);
    QCOMPARE(linesOf(KRows::page(all, page)), lines);
    // The first page: one header per run of a month, headers not counted.
    if (rows >= 20)
        QCOMPARE(linesOf(KRows::page(all, 1)).filter(QStringLiteral("# ")).size(), 2);
}

void TestRows::fieldsAreSplitFromTheRight()
{
    const KRows::Fields fields
        = KRows::split(QStringLiteral(" a|b.xls |3|2024-03-01|2024年03月|20240229100000"));
    QCOMPARE(fields.path, QStringLiteral(" a|b.xls ")); // "|" and blanks belong to a Linux file name
    QCOMPARE(fields.count, QStringLiteral("3"));
    QCOMPARE(fields.latest, QStringLiteral("2024-03-01"));
    QCOMPARE(fields.month, QStringLiteral("2024年03月"));
    QCOMPARE(fields.stamp, QStringLiteral("20240229100000"));
}

QTEST_GUILESS_MAIN(TestRows)
#include "tst_rows.moc"
