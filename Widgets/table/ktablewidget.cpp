#include "Widgets/table/ktablewidget.h"

#include "Widgets/table/ktablewidgetdatetimeitem.h"

#include <QHeaderView>
#include <QPointer>
#include <QScrollBar>

KTableWidget::KTableWidget(QWidget* parent)
    : QTableWidget(parent)
{
    setColumnCount(0);
    setFocusPolicy(Qt::NoFocus);
    horizontalHeader()->setFixedHeight(0);
    verticalHeader()->setVisible(false);
    // A thin handle on a plain track: no arrow boxes at the ends.
    verticalScrollBar()->setStyleSheet(QStringLiteral(
        "QScrollBar::handle:vertical {background: #a3a3a3;border: 0px solid "
        "grey;border-radius:3px;max-width: "
        "8px;min-height: 50px;}QScrollBar::vertical {border:0px solid grey;width: "
        "8px;margin:0px 1px 0px 0px}"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical {height: 0px; border: none; "
        "background: none;}"
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical {background: none;}"));
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setShowGrid(false);
    setStyleSheet(QStringLiteral("border-right:none"));
}

KTableWidgetItemBase* KTableWidget::createItem(int type)
{
    switch (type) {
    case KTableWidgetItemBase::ITEM_DATETIME:
        return new KTableWidgetDateTimeItem(this);
    default:
        return nullptr;
    }
}

KTableWidgetItemBase* KTableWidget::createConnectedItem(int type)
{
    KTableWidgetItemBase* item = createItem(type);
    if (item)
        connect(item, &KTableWidgetItemBase::sigRemove, this, &KTableWidget::onRemoveRow);
    return item;
}

KTableWidgetItemBase* KTableWidget::rowWidget(int row) const
{
    return qobject_cast<KTableWidgetItemBase*>(cellWidget(row, 0));
}

void KTableWidget::resetRows()
{
    // Not clearContents(): a model reset would release every row widget.
    clearSelection();
    for (int row = 0; row < rowCount(); ++row) {
        for (int column = 0; column < columnCount(); ++column) {
            if (QTableWidgetItem* cell = item(row, column))
                cell->setText(QString());
        }
    }
    m_fillCursor = 0;
}

int KTableWidget::addRow(const QString& key, const QStringList& texts, KTableWidgetItemBase::ITEMTYPE type)
{
    const int row = m_fillCursor;
    KTableWidgetItemBase* current = row < rowCount() ? rowWidget(row) : nullptr;
    if (current && current->itemType() == type) {
        current->setKey(key);
        current->setData(texts);
        ++m_fillCursor;
        return row;
    }

    KTableWidgetItemBase* created = createConnectedItem(type);
    if (!created)
        return -1;
    created->setKey(key);
    created->setData(texts);
    if (row >= rowCount())
        insertRow(row);
    const QPointer<QWidget> replaced = cellWidget(row, 0);
    setRowHeight(row, created->height());
    setCellWidget(row, 0, created);
    // Deleted at once; the view may also have scheduled it, which its destruction cancels.
    delete replaced.data();
    ++m_fillCursor;
    return row;
}

void KTableWidget::removeSurplusRows()
{
    for (int row = rowCount() - 1; row >= m_fillCursor; --row) {
        const QPointer<QWidget> widget = cellWidget(row, 0);
        removeRow(row);
        delete widget.data();
    }
}

bool KTableWidget::onRemoveRow(QString strKey)
{
    for (int row = 0; row < rowCount(); ++row) {
        KTableWidgetItemBase* widget = rowWidget(row);
        if (!widget || widget->key() != strKey)
            continue;
        emit sigRowRemoved(strKey);
        removeCellWidget(row, 0);
        widget->hide();
        removeRow(row);
        // During a refresh the rows still to be filled moved up by one.
        if (row < m_fillCursor)
            --m_fillCursor;
        // Usually the row itself asked, from inside its own signal: it goes once that returned.
        widget->deleteLater();
        return true;
    }
    return false;
}

bool KTableWidget::onUpdateRow(QString strKey, QStringList strText, KTableWidgetItemBase::ITEMTYPE type)
{
    Q_UNUSED(type)
    for (int row = 0; row < rowCount(); ++row) {
        KTableWidgetItemBase* widget = rowWidget(row);
        if (widget && widget->key() == strKey) {
            widget->setData(strText);
            return true;
        }
    }
    return false;
}
