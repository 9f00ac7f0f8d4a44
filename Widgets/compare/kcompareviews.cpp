#include "Widgets/compare/kcompareviews.h"

#include <QPainter>

namespace {

const QColor RemovedGround(0xfd, 0xee, 0xee);
const QColor AddedGround(0xea, 0xf7, 0xe6);
const QColor RemovedMark(0xf5, 0xb8, 0xb8);
const QColor AddedMark(0xa9, 0xe0, 0x9f);
const QColor SkippedGround(0xf6, 0xf6, 0xf6);
const QColor Grey(0x8a, 0x8a, 0x8a);
const QColor Rule(0xdf, 0xdf, 0xdf);
// Where QStyledItemDelegate starts a cell's text, so that marks and text line up.
constexpr int TextMargin = 4;

QString shown(const QString& text)
{
    // Tabs as single blanks keep the marks on their characters.
    QString line = text;
    line.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return line;
}

} // namespace

void KDiffModel::setLines(QVector<KDiffLine> lines)
{
    beginResetModel();
    m_lines = std::move(lines);
    endResetModel();
}

int KDiffModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_lines.size();
}

int KDiffModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant KDiffModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const KDiffLine& line = m_lines.at(index.row());
    const bool skipped = line.op == KDiffLine::Skipped;
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == Text)
            return skipped ? tr("⋯ %1 行相同内容未显示").arg(line.oldNumber) : shown(line.text);
        if (skipped)
            return QString();
        if (index.column() == OldNumber)
            return line.oldNumber > 0 ? QString::number(line.oldNumber) : QString();
        return line.newNumber > 0 ? QString::number(line.newNumber) : QString();
    case Qt::BackgroundRole:
        return line.op == KDiffLine::Removed ? RemovedGround
            : line.op == KDiffLine::Added    ? AddedGround
            : skipped                        ? SkippedGround
                                             : QVariant();
    case Qt::ForegroundRole:
        return index.column() != Text || skipped ? QVariant(Grey) : QVariant();
    case Qt::TextAlignmentRole:
        return index.column() == Text ? int(Qt::AlignLeft | Qt::AlignVCenter)
                                      : int(Qt::AlignRight | Qt::AlignVCenter);
    default:
        return {};
    }
}

void KDiffDelegate::paint(
    QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const auto* model = qobject_cast<const KDiffModel*>(index.model());
    if (!model || index.column() != KDiffModel::Text) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    painter->save();
    const KDiffLine& line = model->line(index.row());
    if (line.marks.isEmpty()) {
        QStyledItemDelegate::paint(painter, option, index);
    } else {
        const QString text = shown(line.text);
        painter->fillRect(option.rect, index.data(Qt::BackgroundRole).value<QColor>());
        const QFontMetrics metrics(option.font);
        const QColor mark = line.op == KDiffLine::Removed ? RemovedMark : AddedMark;
        for (const KSpan& span : line.marks) {
            const int x = option.rect.x() + TextMargin + metrics.horizontalAdvance(text.left(span.start));
            const int width = metrics.horizontalAdvance(text.mid(span.start, span.length));
            painter->fillRect(QRect(x, option.rect.y() + 1, width, option.rect.height() - 2), mark);
        }
        painter->setFont(option.font);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(option.rect.adjusted(TextMargin, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, text);
    }
    // The line numbers end at a rule.
    painter->setPen(Rule);
    painter->drawLine(option.rect.topLeft(), option.rect.bottomLeft());
    painter->restore();
}

void KCellModel::setChanges(QVector<KCellChange> changes)
{
    beginResetModel();
    m_changes = std::move(changes);
    endResetModel();
}

int KCellModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_changes.size();
}

int KCellModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant KCellModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const KCellChange& change = m_changes.at(index.row());
    const QString& value = index.column() == 2 ? change.before : change.after;
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() < 2)
            return index.column() == 0 ? change.sheet : change.cell;
        return value.isEmpty() ? tr("（空）") : QString(value).replace(QLatin1Char('\n'), QLatin1Char(' '));
    case Qt::ToolTipRole:
        return index.column() >= 2 ? value : QVariant();
    case Qt::BackgroundRole:
        return index.column() == 2 ? RemovedGround : index.column() == 3 ? AddedGround : QVariant();
    case Qt::ForegroundRole:
        return index.column() >= 2 && value.isEmpty() ? QVariant(Grey) : QVariant();
    default:
        return {};
    }
}

QVariant KCellModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case 0:
        return tr("工作表");
    case 1:
        return tr("单元格");
    case 2:
        return tr("此前");
    default:
        return tr("此后");
    }
}

void KPictureView::setImage(const QImage& image)
{
    m_image = image;
    updateGeometry();
    update();
}

int KPictureView::heightForWidth(int width) const
{
    return m_image.isNull() ? 0
                            : m_image.size()
                                  .scaled(width, QWIDGETSIZE_MAX, Qt::KeepAspectRatio)
                                  .boundedTo(m_image.size())
                                  .height();
}

void KPictureView::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (m_image.isNull())
        return;
    QPainter painter(this);
    const QSize size = m_image.size().scaled(this->size(), Qt::KeepAspectRatio).boundedTo(m_image.size());
    // At the top, under its caption.
    const QRect area(QPoint((width() - size.width()) / 2, 0), size);
    QPixmap chequer(16, 16);
    chequer.fill(Qt::white);
    {
        QPainter tile(&chequer);
        tile.fillRect(0, 0, 8, 8, QColor(0xe6, 0xe6, 0xe6));
        tile.fillRect(8, 8, 8, 8, QColor(0xe6, 0xe6, 0xe6));
    }
    painter.fillRect(area, QBrush(chequer));
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(area, m_image);
    painter.setPen(QColor(0xdf, 0xdf, 0xdf));
    painter.drawRect(area.adjusted(0, 0, -1, -1));
}
