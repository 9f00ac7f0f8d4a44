#include "Widgets/title/kwindowdrag.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace KWindowDrag {

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

} // namespace KWindowDrag
