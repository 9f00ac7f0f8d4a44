#include "Widgets/table/ktablewidget.h"

#include "Widgets/table/ktablewidgetdatetimeitem.h"

#include <QCoreApplication>
#include <QEvent>
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
        "QScrollBar {border-right:none;}"
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
}

KTableWidgetItemBase* KTableWidget::createItem(int type)
{
    // Made inside the viewport, where a cell widget lives: moving a styled widget there later
    // would style it all over again.
    QWidget* parent = viewport();
    if (m_rowFactory) {
        if (KTableWidgetItemBase* item = m_rowFactory(type, parent))
            return item;
    }
    return type == KTableWidgetItemBase::ITEM_DATETIME ? new KTableWidgetDateTimeItem(parent) : nullptr;
}

KTableWidgetItemBase* KTableWidget::createConnectedItem(int type)
{
    KTableWidgetItemBase* item = createItem(type);
    if (item) {
        connect(item, &KTableWidgetItemBase::sigRemove, this, &KTableWidget::onRemoveRow);
        m_heights.insert(type, item->height());
    }
    return item;
}

KTableWidgetItemBase* KTableWidget::materialize(int row)
{
    if (auto* existing = qobject_cast<KTableWidgetItemBase*>(cellWidget(row, 0)))
        return existing;
    // Rows live in column 0; a table whose owner has not given it a column yet gets it now.
    if (columnCount() < 1)
        setColumnCount(1);
    Row& data = m_rows[row];
    KTableWidgetItemBase* created = data.made ? data.made.data() : createConnectedItem(data.type);
    data.made = nullptr;
    if (!created)
        return nullptr;
    created->setKey(data.key);
    created->setData(data.texts);
    setCellWidget(row, 0, created);
    return created;
}

void KTableWidget::fitColumn()
{
    if (columnCount() > 0 && columnWidth(0) != viewport()->width())
        setColumnWidth(0, viewport()->width());
}

bool KTableWidget::viewportEvent(QEvent* event)
{
    // The scroll bar coming or going changes the visible width.
    if (event->type() == QEvent::Resize)
        fitColumn();
    return QTableWidget::viewportEvent(event);
}

void KTableWidget::materializeVisibleRows()
{
    insertPendingRows();
    fitColumn();
    if (m_rows.isEmpty())
        return;
    const int first = qMax(0, rowAt(0));
    int last = rowAt(viewport()->height());
    if (last < 0)
        last = m_rows.size() - 1;
    bool made = false;
    for (int row = first; row <= last; ++row) {
        if (!cellWidget(row, 0))
            made |= materialize(row) != nullptr;
    }
    // Each row widget set asks for a layout on a later event, which would paint the whole list
    // again after its first painting.
    if (made && isVisible())
        executeDelayedItemsLayout();
}

KTableWidgetItemBase* KTableWidget::rowWidget(int row) const
{
    if (row < 0 || row >= m_rows.size())
        return nullptr;
    // Making a widget for a row that has one all along in effect changes nothing visible.
    auto* self = const_cast<KTableWidget*>(this);
    self->insertPendingRows();
    return self->materialize(row);
}

QString KTableWidget::rowKey(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).key : QString();
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
    m_refreshing = true;
}

int KTableWidget::addRow(const QString& key, const QStringList& texts, KTableWidgetItemBase::ITEMTYPE type)
{
    const int row = m_fillCursor;
    if (row < rowCount()) {
        Row& data = m_rows[row];
        if (data.made && data.type != type)
            delete data.made.data();
        data.key = key;
        data.texts = texts;
        data.type = type;
        auto* current = qobject_cast<KTableWidgetItemBase*>(cellWidget(row, 0));
        if (current && current->itemType() == type) {
            current->setKey(key);
            current->setData(texts);
            ++m_fillCursor;
            return row;
        }
        // A row of another kind: its widget goes at once and the new one comes with the view.
        const QPointer<QWidget> replaced = cellWidget(row, 0);
        if (replaced)
            removeCellWidget(row, 0);
        delete replaced.data();
    } else {
        // New rows join the table together at the end of a refresh: a view on screen lays all
        // its rows out again after every row inserted.
        m_rows.append({ key, texts, type, nullptr });
        if (!m_refreshing)
            insertPendingRows();
    }
    // The first row of a kind is made at once, to learn the height of its kind; its widget
    // waits for the row to come into view.
    if (!m_heights.contains(type)) {
        KTableWidgetItemBase* made = createConnectedItem(type);
        if (!made) {
            if (row < rowCount())
                removeRow(row);
            m_rows.remove(row);
            return -1;
        }
        made->hide();
        m_rows[row].made = made;
    }
    if (row < rowCount() && rowHeight(row) != m_heights.value(type))
        setRowHeight(row, m_heights.value(type));
    ++m_fillCursor;
    return row;
}

void KTableWidget::insertPendingRows()
{
    const int first = rowCount();
    if (m_rows.size() <= first)
        return;
    // Rows of the kind of the first one take the header's default height and need no call each.
    const int usual = m_heights.value(m_rows.at(first).type);
    if (first == 0 && usual > 0)
        verticalHeader()->setDefaultSectionSize(usual);
    setRowCount(m_rows.size());
    for (int row = first; row < m_rows.size(); ++row) {
        const int height = m_heights.value(m_rows.at(row).type);
        if (rowHeight(row) != height)
            setRowHeight(row, height);
    }
}

void KTableWidget::removeSurplusRows()
{
    QVector<QPointer<QWidget>> surplus;
    for (int row = m_fillCursor; row < rowCount(); ++row) {
        surplus.append(cellWidget(row, 0));
        surplus.append(m_rows.at(row).made.data());
    }
    if (m_fillCursor < rowCount()) {
        setRowCount(m_fillCursor);
        m_rows.resize(m_fillCursor);
    }
    for (const QPointer<QWidget>& widget : qAsConst(surplus))
        delete widget.data();
    insertPendingRows();
    m_refreshing = false;
    settleScrollBar();
    materializeVisibleRows();
}

void KTableWidget::settleScrollBar()
{
    // The view lays its rows out, and shows or hides its scroll bar, on later events: by then the
    // rows in view would have been made and painted at the former width, and would be again.
    if (!isVisible())
        return;
    executeDelayedItemsLayout();
    QEvent request(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(this, &request);
}

bool KTableWidget::onRemoveRow(QString strKey)
{
    insertPendingRows();
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).key != strKey)
            continue;
        emit sigRowRemoved(strKey);
        QWidget* widget = cellWidget(row, 0);
        if (widget) {
            removeCellWidget(row, 0);
            widget->hide();
        }
        removeRow(row);
        delete m_rows.at(row).made.data();
        m_rows.remove(row);
        // During a refresh the rows still to be filled moved up by one.
        if (row < m_fillCursor)
            --m_fillCursor;
        // Usually the row itself asked, from inside its own signal: it goes once that returned.
        if (widget)
            widget->deleteLater();
        materializeVisibleRows();
        return true;
    }
    return false;
}

bool KTableWidget::onUpdateRow(QString strKey, QStringList strText, KTableWidgetItemBase::ITEMTYPE type)
{
    Q_UNUSED(type)
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).key != strKey)
            continue;
        m_rows[row].texts = strText;
        if (auto* widget = qobject_cast<KTableWidgetItemBase*>(cellWidget(row, 0)))
            widget->setData(strText);
        return true;
    }
    return false;
}

void KTableWidget::scrollContentsBy(int dx, int dy)
{
    QTableWidget::scrollContentsBy(dx, dy);
    materializeVisibleRows();
}

void KTableWidget::resizeEvent(QResizeEvent* event)
{
    QTableWidget::resizeEvent(event);
    materializeVisibleRows();
}

void KTableWidget::showEvent(QShowEvent* event)
{
    QTableWidget::showEvent(event);
    materializeVisibleRows();
}
