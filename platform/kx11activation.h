#pragma once

#include <QtGlobal>

// Asks the X11 window manager of the display in $DISPLAY to show `window` (an X11 window id),
// raise it and give it the focus: a map request, a raise request and the window manager's
// _NET_ACTIVE_WINDOW request, sent as a pager sends it for a user's direct choice, so that
// focus-stealing prevention lets it through. False when there is no display or no such window.
bool kActivateX11Window(quint32 window);

// Whether the application's windows are X11 windows, so that their ids mean something to the
// display server.
bool kApplicationUsesX11();
