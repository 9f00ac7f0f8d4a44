#include "Widgets/table/ktablewidget.h"
#include "Widgets/table/ktablewidgetdatetimeitem.h"

#include <QPointer>
#include <QtTest>

namespace {

using Type = KTableWidgetItemBase::ITEMTYPE;
constexpr Type Title = KTableWidgetItemBase::ITEM_DATETIME;
constexpr Type File = KTableWidgetItemBase::ITEM_FILE;

// A second kind of row, 50 pixels high, for the cases where a row's kind changes. The real file
// rows come with the recovery pages; the table's own rules do not depend on them.
class TestFileRow final : public KTableWidgetItemBase
{
public:
    explicit TestFileRow(QWidget* parent)
        : KTableWidgetItemBase(parent)
    {
        setItemType(ITEM_FILE);
        resize(637, 50);
    }
    void setData(const QStringList& texts) override { m_texts = texts; }

    QStringList m_texts;
};

// The page's rows as a page hands them to its table.
struct TestTable final : KTableWidget
{
    TestTable()
    {
        setColumnCount(1);
        setRowFactory([](int type, QWidget* parent) -> KTableWidgetItemBase* {
            return type == KTableWidgetItemBase::ITEM_FILE ? new TestFileRow(parent) : nullptr;
        });
    }
};

QList<QPointer<KTableWidgetItemBase>> rowWidgets(const KTableWidget& table)
{
    QList<QPointer<KTableWidgetItemBase>> widgets;
    for (int row = 0; row < table.rowCount(); ++row)
        widgets.append(table.rowWidget(row));
    return widgets;
}

// One refresh of the list: month titles and file rows (keys that start with a slash).
void refresh(KTableWidget& table, const QStringList& keys)
{
    table.resetRows();
    for (const QString& key : keys) {
        const int position = table.fillCursor();
        QCOMPARE(table.addRow(key, { key, QStringLiteral("3"), QStringLiteral("2024-05-01 10:00:00") },
                     key.startsWith(QLatin1Char('/')) ? File : Title),
            position);
    }
    table.removeSurplusRows();
}

} // namespace

class TestTableWidget : public QObject
{
    Q_OBJECT

private slots:
    void refreshReusesRowsOfTheSameKind_data();
    void refreshReusesRowsOfTheSameKind();
};

void TestTableWidget::refreshReusesRowsOfTheSameKind_data()
{
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");
    // For each row of the second refresh, the row of the first whose widget it keeps; -1: a new one.
    QTest::addColumn<QList<int>>("kept");
    const QStringList five = { QStringLiteral("2024年05月"), QStringLiteral("/home/ann/a.xls"),
        QStringLiteral("/home/ann/b.xls"), QStringLiteral("2024年04月"), QStringLiteral("/home/ann/c.xls") };
    QTest::newRow("other keys of the same kinds refill the widgets")
        << five
        << QStringList { QStringLiteral("2024年03月"), QStringLiteral("/d.xls"), QStringLiteral("/e.xls"),
               QStringLiteral("2024年02月"), QStringLiteral("/f.xls") }
        << QList<int> { 0, 1, 2, 3, 4 };
    QTest::newRow("fewer rows delete exactly the surplus")
        << five << QStringList(five.mid(0, 2)) << QList<int> { 0, 1 };
    QTest::newRow("no rows delete them all") << five << QStringList() << QList<int>();
    QTest::newRow("a month title where a file row was gets a new widget")
        << QStringList { QStringLiteral("/a"), QStringLiteral("/b") }
        << QStringList { QStringLiteral("2024年05月"), QStringLiteral("/b") } << QList<int> { -1, 1 };
    QTest::newRow("a file row where a month title was gets a new widget")
        << QStringList { QStringLiteral("2024年05月"), QStringLiteral("/b") }
        << QStringList { QStringLiteral("/a"), QStringLiteral("/b") } << QList<int> { -1, 1 };
}

void TestTableWidget::refreshReusesRowsOfTheSameKind()
{
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    QFETCH(QList<int>, kept);

    TestTable table;
    refresh(table, first);
    const auto before = rowWidgets(table);
    table.selectRow(0);

    refresh(table, second);
    QCOMPARE(table.rowCount(), second.size());
    QVERIFY(table.selectedItems().isEmpty() && !table.selectionModel()->hasSelection());
    for (int row = 0; row < second.size(); ++row) {
        KTableWidgetItemBase* widget = table.rowWidget(row);
        const bool file = second.at(row).startsWith(QLatin1Char('/'));
        if (kept.at(row) >= 0)
            QCOMPARE(widget, before.at(kept.at(row)).data());
        else
            QVERIFY(!before.contains(widget));
        QCOMPARE(widget->itemType(), int(file ? File : Title));
        QCOMPARE(widget->key(), second.at(row));
        QCOMPARE(table.rowHeight(row), file ? 50 : 30);
        if (file)
            QCOMPARE(static_cast<TestFileRow*>(widget)->m_texts.value(0), second.at(row));
        else
            QCOMPARE(static_cast<KTableWidgetDateTimeItem*>(widget)->title(), second.at(row));
    }
    // The widgets not kept are deleted at once, not later.
    for (int row = 0; row < before.size(); ++row)
        QCOMPARE(!before.at(row).isNull(), kept.contains(row));
}

QTEST_MAIN(TestTableWidget)
#include "tst_tablewidget.moc"
