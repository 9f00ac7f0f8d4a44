#include "Widgets/table/ktablewidget.h"
#include "Widgets/table/ktablewidgetdatetimeitem.h"
#include "kwidgettest.h"

#include <QPointer>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

using namespace KWidgetTest;

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
    void askToBeRemoved() { emit sigRemove(key()); }

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

QStringList keys(const KTableWidget& table)
{
    QStringList result;
    for (int row = 0; row < table.rowCount(); ++row)
        result.append(table.rowWidget(row) ? table.rowWidget(row)->key() : QStringLiteral("<none>"));
    return result;
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
    void removeRow_data();
    void removeRow();
    void scrollBarHasNoArrowBoxes();
};

void TestTableWidget::refreshReusesRowsOfTheSameKind_data()
{
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");
    // For each row of the second refresh, the row of the first whose widget it keeps; -1: a new one.
    QTest::addColumn<QList<int>>("kept");
    const QStringList five = { QStringLiteral("2024年05月"), QStringLiteral("/home/ann/a.xls"),
        QStringLiteral("/home/ann/b.xls"), QStringLiteral("2024年04月"), QStringLiteral("/home/ann/c.xls") };
    QTest::newRow("the same rows keep their widgets") << five << five << QList<int> { 0, 1, 2, 3, 4 };
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

void TestTableWidget::removeRow_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("removed");
    QTest::addColumn<QStringList>("remaining");
    const QStringList abc = { QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/c") };
    QTest::newRow("an absent key removes nothing") << abc << QStringLiteral("/x") << false << abc;
    QTest::newRow("the row with the key goes")
        << abc << QStringLiteral("/b") << true << QStringList({ QStringLiteral("/a"), QStringLiteral("/c") });
    QTest::newRow("of two rows with one key only the first goes")
        << QStringList({ QStringLiteral("/a"), QStringLiteral("/b"), QStringLiteral("/a") })
        << QStringLiteral("/a") << true << QStringList({ QStringLiteral("/b"), QStringLiteral("/a") });
}

void TestTableWidget::removeRow()
{
    QFETCH(QStringList, rows);
    QFETCH(QString, key);
    QFETCH(bool, removed);
    QFETCH(QStringList, remaining);

    TestTable table;
    refresh(table, rows);
    const auto before = rowWidgets(table);
    QSignalSpy reported(&table, &KTableWidget::sigRowRemoved);

    QCOMPARE(table.onRemoveRow(key), removed);
    QCOMPARE(keys(table), remaining);
    QCOMPARE(reported.count(), removed ? 1 : 0);
    if (removed) {
        QCOMPARE(reported.at(0).at(0).toString(), key);
        QPointer<KTableWidgetItemBase> gone = before.at(rows.indexOf(key));
        QVERIFY(gone && gone->isHidden());
        QTRY_VERIFY(!gone);
    }
}

void TestTableWidget::scrollBarHasNoArrowBoxes()
{
    TestTable table;
    table.resize(637, 200);
    QStringList rows;
    for (int i = 0; i < 40; ++i)
        rows.append(QStringLiteral("/home/ann/%1.xls").arg(i));
    refresh(table, rows);
    table.show();
    QScrollBar* bar = table.verticalScrollBar();
    QVERIFY(bar->isVisible());
    bar->setValue(bar->minimum());
    // With the handle at the top, the end of the track is plain: one colour, no box, no arrow.
    const QImage shot = bar->grab().toImage();
    QSet<QRgb> colours;
    for (int y = shot.height() - 16; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x)
            colours.insert(shot.pixel(x, y));
    }
    QCOMPARE(colours.size(), 1);
}

QTEST_MAIN(TestTableWidget)
#include "tst_tablewidget.moc"
