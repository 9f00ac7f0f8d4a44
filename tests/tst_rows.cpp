#include "core/krows.h"

#include <QtTest>

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

// What the pages cannot show on their own: the order of damaged rows, the days window, what a
// search looks at, and where a row's path ends. The pages' tests cover the rest.
class TestRows : public QObject
{
    Q_OBJECT

private slots:
    void rowsKept_data();
    void rowsKept();
    void pageCountRoundsUp();
};

void TestRows::rowsKept_data()
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

void TestRows::rowsKept()
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

void TestRows::pageCountRoundsUp()
{
    QCOMPARE(KRows::pageCount(0), 0);
    QCOMPARE(KRows::pageCount(KRows::PageSize), 1);
    QCOMPARE(KRows::pageCount(KRows::PageSize + 1), 2);
}

QTEST_GUILESS_MAIN(TestRows)
#include "tst_rows.moc"
