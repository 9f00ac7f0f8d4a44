#pragma once

#include <QPoint>

class QWidget;

// What every title strip of a frameless window shares.
namespace KTitleStrip {

// The drag rule: a window may go anywhere except so low that its top comes within 20 pixels of
// the work area's bottom, or so far left that more than half of it leaves the work area.
bool isAllowedPosition(const QWidget* window, const QPoint& position);
// Moves `window` by `offset` when the rule allows the new position; returns whether it moved.
bool moveBy(QWidget* window, const QPoint& offset);

// A soft shadow along the strip's bottom edge.
void paintShadow(QWidget* strip);

} // namespace KTitleStrip
