#pragma once

#include "Widgets/table/ktablewidgetitembase.h"

#include <QHash>
#include <QPointer>
#include <QTableWidget>
#include <QVector>

#include <functional>

// A one-column list whose rows are widgets identified by keys. A refresh is resetRows(), one
// addRow() per row in display order, then removeSurplusRows(): row widgets already in place are
// refilled rather than rebuilt, so a refresh neither flickers nor recreates unchanged rows.
// The owning page sets the column count to 1 and the column width.
//
// A row's widget is made when the row comes into view (or is asked for with rowWidget()), so a
// list of thousands of rows costs what its visible rows cost; until then the table keeps the
// row's key and texts. Rows new in a refresh join the table together when it ends.
//
// The column is as wide as the list's visible part, scroll bar or not, and its rows with it.
class KTableWidget : public QTableWidget
{
    Q_OBJECT

public:
    // Makes the widget of a row of `type` in `parent`; null for a kind the page does not show.
    using RowFactory = std::function<KTableWidgetItemBase*(int type, QWidget* parent)>;

    explicit KTableWidget(QWidget* parent = nullptr);

    // The owning page's rows. The table makes the month rows (ITEM_DATETIME) itself.
    void setRowFactory(RowFactory factory) { m_rowFactory = std::move(factory); }

    // Starts a refresh: clears selection and item texts; the rows and their widgets stay.
    void resetRows();
    // Fills the row at the refresh position with a row of `type` and returns its index; -1,
    // with nothing changed, for a kind that has no row class.
    int addRow(const QString& key, const QStringList& texts, KTableWidgetItemBase::ITEMTYPE type);
    // Ends a refresh: deletes the rows not filled since resetRows().
    void removeSurplusRows();

    int fillCursor() const { return m_fillCursor; }
    // The row's widget, made now if the row has not been in view yet; null for a bad index.
    KTableWidgetItemBase* rowWidget(int row) const;
    QString rowKey(int row) const;

signals:
    void sigRowRemoved(QString strKey);

public slots:
    // Removes the first row with this key; false when there is none.
    bool onRemoveRow(QString strKey);
    // Refills the first row with this key; false when there is none. `type` is not used.
    bool onUpdateRow(QString strKey, QStringList strText, KTableWidgetItemBase::ITEMTYPE type);

protected:
    // The row factory's widget, else a month row for ITEM_DATETIME; null for any other kind.
    virtual KTableWidgetItemBase* createItem(int type);

    void scrollContentsBy(int dx, int dy) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    struct Row
    {
        QString key;
        QStringList texts;
        int type = 0;
        // A widget made before the row came into view (the first of its kind), not yet shown.
        QPointer<KTableWidgetItemBase> made;
    };

    KTableWidgetItemBase* createConnectedItem(int type);
    KTableWidgetItemBase* materialize(int row);
    // Adds the rows that addRow() took during a refresh to the table.
    void insertPendingRows();
    // Brings the scroll bar in or out for the rows now in the table.
    void settleScrollBar();
    // Makes the widgets of the rows in view.
    void materializeVisibleRows();
    void fitColumn();

    RowFactory m_rowFactory;
    qint32 m_fillCursor = 0;
    bool m_refreshing = false; // between resetRows() and removeSurplusRows()
    QVector<Row> m_rows; // one per table row, then those still to be added
    QHash<int, int> m_heights; // of each kind's rows, learnt from its first widget
};
