#pragma once

class QWidget;

namespace KDialogPlacement {

// Centres the frameless `dialog` on the window of its parent, kept on that window's screen; a
// dialog without a parent stays where it is. Qt's own placement allows for a title bar the
// dialog would share with its parent, which leaves a frameless one off centre.
void centreOnParent(QWidget* dialog);

} // namespace KDialogPlacement
