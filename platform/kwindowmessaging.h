#pragma once

#include "platform/knativemessage.h"

#include <QByteArray>
#include <QString>

#include <functional>

// Receives the messages sent to one window, shaped as nativeEvent receives them with the event
// type "windows_generic_MSG": true when handled, with the answer in `result`.
using KWindowMessageHandler = std::function<bool(MSG* message, long* result)>;

// Window properties and window messages between the top-level windows of the user's programs:
// a window carries named properties, other programs find it by one and post it messages or
// send it copy-data.
//
// Every call is made on the GUI thread, except sendCopyData(), which may also come from another
// thread of a program whose own GUI thread stays free to answer.
class KWindowMessaging
{
public:
    virtual ~KWindowMessaging();

    // Lets `window` carry the property `name`; messages sent to it reach `handler`, on the thread
    // of this call. False when another live window carries it already: the first one keeps it.
    virtual bool setWindowProperty(HWND window, const QString& name, KWindowMessageHandler handler) = 0;
    // Takes every property off `window`; no message reaches it afterwards.
    virtual void removeWindowProperties(HWND window) = 0;
    // A live window carrying `name`, or null.
    virtual HWND findWindowByProperty(const QString& name) = 0;
    // Where a window found by findWindowByProperty() is reached, for people to read.
    virtual QString windowAddress(HWND window) const = 0;

    // Queues a message for the window and returns at once; false when it could not be handed over.
    virtual bool postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // Sends a copy-data message and waits for the window's answer; false when none came.
    virtual bool sendCopyData(HWND window, ULONG_PTR dwData, const QByteArray& data, LRESULT* result) = 0;

    // Shows the window, raises it above the others and gives it the keyboard focus, even while
    // another program's window is in front.
    virtual bool forceForegroundWindow(HWND window) = 0;

    // Why the last call of this thread that failed did so, for people to read (naming the folder
    // or the window concerned); empty after a call that succeeded.
    virtual QString lastError() const = 0;

protected:
    KWindowMessaging() = default;

private:
    KWindowMessaging(const KWindowMessaging&) = delete;
    KWindowMessaging& operator=(const KWindowMessaging&) = delete;
};
