#pragma once

#include "Widgets/table/ktablewidgetitembase.h"

#include <QTableWidget>

// A one-column list whose rows are widgets identified by keys. A refresh is resetRows(), one
// addRow() per row in display order, then removeSurplusRows(): row widgets already in place are
// refilled rather than rebuilt, so a refresh neither flickers nor recreates unchanged rows.
// The owning page sets the column count to 1 and the column width.
class KTableWidget : public QTableWidget
{
    Q_OBJECT

public:
    explicit KTableWidget(QWidget* parent = nullptr);

    // Starts a refresh: clears selection and item texts; the rows and their widgets stay.
    void resetRows();
    // Fills the row at the refresh position with a row of `type` and returns its index; -1,
    // with nothing changed, for a kind that has no row class.
    int addRow(const QString& key, const QStringList& texts, KTableWidgetItemBase::ITEMTYPE type);
    // Ends a refresh: deletes the rows not filled since resetRows().
    void removeSurplusRows();

    int fillCursor() const { return m_fillCursor; }
    KTableWidgetItemBase* rowWidget(int row) const;

signals:
    void sigRowRemoved(QString strKey);

public slots:
    // Removes the first row with this key; false when there is none.
    bool onRemoveRow(QString strKey);
    // Refills the first row with this key; false when there is none. `type` is not used.
    bool onUpdateRow(QString strKey, QStringList strText, KTableWidgetItemBase::ITEMTYPE type);

protected:
    // The one place that knows the row classes; null for a kind without one.
    virtual KTableWidgetItemBase* createItem(int type);

private:
    KTableWidgetItemBase* createConnectedItem(int type);

    qint32 m_fillCursor = 0;
};
