#include "Widgets/table/ktablewidgetitembase.h"

#include <QLabel>
#include <QPainter>
#include <QStyleOption>

KTableWidgetItemBase::KTableWidgetItemBase(QWidget* parent)
    : QWidget(parent)
{
    setStyleSheet(QStringLiteral("background: transparent;"));
}

void KTableWidgetItemBase::setHoverBackground(QLabel* background)
{
    m_hoverBackground = background;
}

void KTableWidgetItemBase::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    // The style sheet's background, as a plain QWidget subclass does not draw it by itself.
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);

    painter.setPen(QColor(QStringLiteral("#dfdfdf")));
    const int right = width() - 1;
    const int bottom = height() - 1;
    painter.drawLine(right, 0, right, bottom);
    painter.drawLine(0, bottom, right, bottom);
}

void KTableWidgetItemBase::enterEvent(QEvent* event)
{
    if (m_hoverBackground)
        m_hoverBackground->setStyleSheet(QStringLiteral("background-color:#edf4fd;"));
    QWidget::enterEvent(event);
}

void KTableWidgetItemBase::leaveEvent(QEvent* event)
{
    if (m_hoverBackground)
        m_hoverBackground->setStyleSheet(QStringLiteral("background-color:white;"));
    QWidget::leaveEvent(event);
}
