#pragma once

#include <QPoint>

class QWidget;

// The drag rule of every frameless window: a window may go anywhere except so low that its top
// comes within 20 pixels of the work area's bottom, or so far left that more than half of it
// leaves the work area.
namespace KWindowDrag {

bool isAllowedPosition(const QWidget* window, const QPoint& position);
// Moves `window` by `offset` when the rule allows the new position; returns whether it moved.
bool moveBy(QWidget* window, const QPoint& offset);

} // namespace KWindowDrag
