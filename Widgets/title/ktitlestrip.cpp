#include "Widgets/title/ktitlestrip.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWidget>

namespace KTitleStrip {

bool isAllowedPosition(const QWidget* window, const QPoint& position)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return true;
    const QRect workArea = screen->availableGeometry();
    return position.y() < workArea.bottom() - 20 && position.x() > workArea.left() - window->width() / 2;
}

bool moveBy(QWidget* window, const QPoint& offset)
{
    const QPoint position = window->pos() + offset;
    if (!isAllowedPosition(window, position))
        return false;
    window->move(position);
    return true;
}

void paintShadow(QWidget* strip)
{
    QPainter painter(strip);
    painter.setPen(QPen(QColor(0, 0, 0, 40), 4));
    painter.drawLine(0, strip->height() - 2, strip->width(), strip->height() - 2);
}

void Drag::press(const QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_pressPos = event->pos();
}

void Drag::move(QWidget* window, const QMouseEvent* event) const
{
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        moveBy(window, event->pos() - m_pressPos);
}

} // namespace KTitleStrip
