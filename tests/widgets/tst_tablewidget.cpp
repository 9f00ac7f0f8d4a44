#include "Widgets/table/ktablewidget.h"
#include "Widgets/table/ktablewidgetdatetimeitem.h"
#include "kwidgettest.h"

#include <QLabel>
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
        , m_name(new QLabel(this))
    {
        setItemType(ITEM_FILE);
        resize(637, 50);
        m_name->setObjectName(QStringLiteral("lblName"));
        m_name->setGeometry(10, 10, 300, 20);
    }
    void setData(const QStringList& texts) override
    {
        m_texts = texts;
        m_name->setToolTip(texts.value(0));
        m_name->setText(texts.value(0));
    }
    bool isAtRest() const override { return m_atRest; }

    QStringList m_texts;
    bool m_atRest = true;

private:
    QLabel* m_name;
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
    void paintedRowsHaveAWidgetWhereTheMouseIs();
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

void TestTableWidget::paintedRowsHaveAWidgetWhereTheMouseIs()
{
    TestTable table;
    table.setPaintedRows();
    table.resize(400, 200);
    table.show();
    refresh(table, { QStringLiteral("/a"), QStringLiteral("/bb"), QStringLiteral("/ccc") });
    const QImage painted = table.viewport()->grab().toImage();
    QCOMPARE(table.viewport()->findChildren<TestFileRow*>().size(), 1); // the one that paints them
    const auto moveTo = [&](int row) {
        KWidgetTest::sendMouse(table.viewport(), QEvent::MouseMove,
            QPoint(20, table.rowViewportPosition(row) + 5), Qt::NoButton, Qt::NoButton);
    };
    const auto rowsWithWidgets = [&] {
        QList<int> rows;
        for (int row = 0; row < table.rowCount(); ++row) {
            if (auto* widget = dynamic_cast<TestFileRow*>(table.cellWidget(row, 0)))
                rows << (widget->key() == table.rowKey(row) ? row : -1);
        }
        return rows;
    };

    moveTo(1);
    QCOMPARE(rowsWithWidgets(), QList<int> { 1 });
    QCOMPARE(table.viewport()->grab().toImage(), painted);
    // Left while it shows more than its texts, the widget stays until it is at rest.
    QPointer<TestFileRow> second = static_cast<TestFileRow*>(table.cellWidget(1, 0));
    second->m_atRest = false;
    moveTo(2);
    QCOMPARE(rowsWithWidgets(), (QList<int> { 1, 2 }));
    second->m_atRest = true;
    table.rowWidget(2); // asked for: kept for the caller
    moveTo(0);
    QCOMPARE(rowsWithWidgets(), (QList<int> { 0, 2 }));
    QTRY_VERIFY(second.isNull());
}

QTEST_MAIN(TestTableWidget)
#include "tst_tablewidget.moc"
