#include "Widgets/dialogs/kdialogplacement.h"

#include <QScreen>
#include <QWidget>

namespace KDialogPlacement {

void centreOnParent(QWidget* dialog)
{
    const QWidget* owner = dialog->parentWidget() ? dialog->parentWidget()->window() : nullptr;
    if (!owner || !owner->isVisible())
        return;
    QRect placed(QPoint(0, 0), dialog->size());
    placed.moveCenter(owner->frameGeometry().center());
    if (const QScreen* screen = owner->screen()) {
        const QRect room = screen->availableGeometry();
        placed.moveLeft(
            qBound(room.left(), placed.left(), qMax(room.left(), room.right() - placed.width() + 1)));
        placed.moveTop(
            qBound(room.top(), placed.top(), qMax(room.top(), room.bottom() - placed.height() + 1)));
    }
    dialog->move(placed.topLeft());
}

} // namespace KDialogPlacement
