#pragma once

#include <QPoint>

class QMouseEvent;
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

// Drags a window with the left button, under the rule above.
class Drag
{
public:
    void press(const QMouseEvent* event);
    void release() { m_dragging = false; }
    void move(QWidget* window, const QMouseEvent* event) const;

private:
    bool m_dragging = false;
    QPoint m_pressPos;
};

} // namespace KTitleStrip
