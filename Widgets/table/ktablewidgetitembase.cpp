#include "Widgets/table/ktablewidgetitembase.h"

#include <QLabel>
#include <QPainter>
#include <QVariant>

KTableWidgetItemBase::KTableWidgetItemBase(QWidget* parent)
    : QWidget(parent)
{
    // Transparent as a plain child widget is; a style sheet here would style every control in the row.
}

namespace {

// What a file name keeps at the narrowest.
constexpr int NarrowestName = 40;

bool isFileName(const QWidget* child)
{
    const QString name = child->objectName();
    return name == QLatin1String("lblFileName") || name == QLatin1String("lblName")
        || name == QLatin1String("lblPath");
}

} // namespace

void KTableWidgetItemBase::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitWidth();
}

void KTableWidgetItemBase::fitWidth()
{
    // Rows laid out by a layout follow by themselves.
    if (layout())
        return;
    if (m_designed.isEmpty()) {
        const QList<QWidget*> children = findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        for (QWidget* child : children) {
            m_designed.insert(child, child->geometry());
            m_designedWidth = qMax(m_designedWidth, child->geometry().right() + 1);
        }
    }
    int nameEnd = m_designedWidth;
    int nameWidth = m_designedWidth;
    for (auto it = m_designed.cbegin(); it != m_designed.cend(); ++it) {
        if (isFileName(it.key())) {
            nameEnd = qMin(nameEnd, it.value().right() + 1);
            nameWidth = qMin(nameWidth, it.value().width());
        }
    }
    const int extra = qMax(width() - m_designedWidth, NarrowestName - nameWidth);
    for (auto it = m_designed.cbegin(); it != m_designed.cend(); ++it) {
        QRect place = it.value();
        if (place.x() == 0 && place.width() == m_designedWidth)
            place.setWidth(width()); // the background
        else if (isFileName(it.key()))
            place.setWidth(place.width() + extra);
        else if (place.x() >= nameEnd)
            place.translate(extra, 0);
        it.key()->setGeometry(place);
        // A name is shortened again for its new width, from the whole text its label keeps.
        auto* label = qobject_cast<QLabel*>(it.key());
        if (!label || !isFileName(label))
            continue;
        const QVariant whole = label->property("Text4GTF");
        const QString text = whole.isValid() ? whole.toString() : label->toolTip();
        if (!text.isEmpty())
            label->setText(label->fontMetrics().elidedText(text, Qt::ElideMiddle, label->width()));
    }
}

void KTableWidgetItemBase::setHoverBackground(QLabel* background)
{
    m_hoverBackground = background;
    // Filled from its palette rather than a style sheet, which each hover would have to parse again.
    background->setStyleSheet(QString());
    background->setAutoFillBackground(true);
    // Inside a list's viewport a child would fill with the base colour.
    background->setBackgroundRole(QPalette::Window);
    showHover(false);
}

void KTableWidgetItemBase::paintHoverBackground()
{
    m_paintsBackground = true;
    // No child spans the form any more: its width is what the row widens from.
    m_designedWidth = width();
}

namespace {

QColor hoverColor(bool hovered)
{
    return hovered ? QColor(0xed, 0xf4, 0xfd) : QColor(Qt::white);
}

} // namespace

void KTableWidgetItemBase::showHover(bool hovered)
{
    m_hovered = hovered;
    if (m_paintsBackground) {
        update();
        return;
    }
    QPalette fill = m_hoverBackground->palette();
    fill.setColor(QPalette::Window, hoverColor(hovered));
    m_hoverBackground->setPalette(fill);
}

void KTableWidgetItemBase::setTextColor(QWidget* widget, const QColor& color)
{
    // Inside a list's viewport a label writes in the text colour, not the window text colour.
    QPalette ink = widget->palette();
    for (QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        ink.setColor(role, color);
    widget->setPalette(ink);
}

void KTableWidgetItemBase::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    if (m_paintsBackground) {
        painter.fillRect(rect(), hoverColor(m_hovered));
        return;
    }
    painter.setPen(QColor(QStringLiteral("#dfdfdf")));
    const int right = width() - 1;
    const int bottom = height() - 1;
    painter.drawLine(right, 0, right, bottom);
    painter.drawLine(0, bottom, right, bottom);
}

void KTableWidgetItemBase::enterEvent(QEvent* event)
{
    if (m_hoverBackground || m_paintsBackground)
        showHover(true);
    QWidget::enterEvent(event);
}

void KTableWidgetItemBase::leaveEvent(QEvent* event)
{
    if (m_hoverBackground || m_paintsBackground)
        showHover(false);
    QWidget::leaveEvent(event);
}
