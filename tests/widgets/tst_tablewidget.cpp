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

class TestTable final : public KTableWidget
{
public:
    TestTable() { setColumnCount(1); }

protected:
    KTableWidgetItemBase* createItem(int type) override
    {
        if (type == KTableWidgetItemBase::ITEM_FILE)
            return new TestFileRow(this);
        return KTableWidget::createItem(type);
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

// One refresh of the list: month titles and file rows, keyed by their first text.
void refresh(KTableWidget& table, const QVector<QPair<Type, QString>>& rows)
{
    table.resetRows();
    for (const auto& row : rows) {
        const int position = table.fillCursor();
        QCOMPARE(table.addRow(row.second,
                     { row.second, QStringLiteral("3"), QStringLiteral("2024-05-01 10:00:00") }, row.first),
            position);
    }
    table.removeSurplusRows();
}

} // namespace

class TestTableWidget : public QObject
{
    Q_OBJECT

private slots:
    void refreshWithTheSameRowsKeepsTheRowWidgets();
    void refreshWithFewerRowsDeletesExactlyTheSurplus();
    void rowWhoseKindChangesGetsANewWidget();
    void removeRow_data();
    void removeRow();
    void scrollBarHasNoArrowBoxes();
};

void TestTableWidget::refreshWithTheSameRowsKeepsTheRowWidgets()
{
    TestTable table;
    const QVector<QPair<Type, QString>> rows = {
        { Title, QStringLiteral("2024年05月") },
        { File, QStringLiteral("/home/ann/a.xls") },
        { File, QStringLiteral("/home/ann/b.xls") },
        { Title, QStringLiteral("2024年04月") },
        { File, QStringLiteral("/home/ann/c.xls") },
    };
    refresh(table, rows);
    QCOMPARE(table.rowCount(), 5);
    for (int row = 0; row < 5; ++row)
        QCOMPARE(table.rowHeight(row), rows.at(row).first == Title ? 30 : 50);
    const auto before = rowWidgets(table);
    table.selectRow(2);

    refresh(table, rows);
    QCOMPARE(rowWidgets(table), before);
    QVERIFY(table.selectedItems().isEmpty() && !table.selectionModel()->hasSelection());

    // Same kinds with other keys and texts still reuse the widgets, refilled.
    refresh(table,
        { { Title, QStringLiteral("2024年03月") }, { File, QStringLiteral("/d.xls") },
            { File, QStringLiteral("/e.xls") }, { Title, QStringLiteral("2024年02月") },
            { File, QStringLiteral("/f.xls") } });
    QCOMPARE(rowWidgets(table), before);
    QCOMPARE(static_cast<TestFileRow*>(table.rowWidget(1))->m_texts.at(0), QStringLiteral("/d.xls"));
    QCOMPARE(
        static_cast<KTableWidgetDateTimeItem*>(table.rowWidget(0))->title(), QStringLiteral("2024年03月"));
}

void TestTableWidget::refreshWithFewerRowsDeletesExactlyTheSurplus()
{
    TestTable table;
    refresh(table,
        { { Title, QStringLiteral("m") }, { File, QStringLiteral("/a") }, { File, QStringLiteral("/b") },
            { File, QStringLiteral("/c") } });
    const auto before = rowWidgets(table);

    refresh(table, { { Title, QStringLiteral("m") }, { File, QStringLiteral("/a") } });
    QCOMPARE(table.rowCount(), 2);
    QCOMPARE(rowWidgets(table), before.mid(0, 2));
    QVERIFY(!before.at(2) && !before.at(3)); // deleted at once, not later

    refresh(table, {});
    QCOMPARE(table.rowCount(), 0);
    QVERIFY(!before.at(0) && !before.at(1));
}

void TestTableWidget::rowWhoseKindChangesGetsANewWidget()
{
    TestTable table;
    refresh(table, { { File, QStringLiteral("/a") }, { File, QStringLiteral("/b") } });
    const auto before = rowWidgets(table);
    QCOMPARE(table.rowHeight(0), 50);

    // A month title arrives where a file row was.
    refresh(table, { { Title, QStringLiteral("2024年05月") }, { File, QStringLiteral("/b") } });
    QVERIFY(!before.at(0));
    QCOMPARE(table.rowWidget(1), before.at(1).data());
    QVERIFY(qobject_cast<KTableWidgetDateTimeItem*>(table.rowWidget(0)));
    QCOMPARE(table.rowHeight(0), 30);
    QCOMPARE(table.rowWidget(0)->key(), QStringLiteral("2024年05月"));

    refresh(table, { { File, QStringLiteral("/a") }, { File, QStringLiteral("/b") } });
    QCOMPARE(table.rowWidget(0)->itemType(), int(File));
    QCOMPARE(table.rowHeight(0), 50);
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
    QVector<QPair<Type, QString>> fill;
    for (const QString& row : rows)
        fill.append({ File, row });
    refresh(table, fill);
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
    QVector<QPair<Type, QString>> rows;
    for (int i = 0; i < 40; ++i)
        rows.append({ File, QStringLiteral("/home/ann/%1.xls").arg(i) });
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
