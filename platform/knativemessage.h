#pragma once

// The shape of a window message as `nativeEvent` receives it with the event type
// "windows_generic_MSG". On Windows these are the system's own types. Elsewhere the
// message transport of platform/ builds the same structures from what it receives, so the
// handlers of the widgets are one piece of code on both systems.

#include <QtGlobal>

#if defined(Q_OS_WIN)

#include <qt_windows.h>

#else

using HWND = void*;
using UINT = unsigned int;
using WPARAM = quintptr;
using LPARAM = qintptr;
using LRESULT = qintptr;
using DWORD = quint32; // 32 bits, as on Windows
using ULONG_PTR = quintptr;
using PVOID = void*;

struct POINT
{
    qint32 x;
    qint32 y;
};

struct MSG
{
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam; // for WM_COPYDATA: the address of a COPYDATASTRUCT
    DWORD time;
    POINT pt;
};

struct COPYDATASTRUCT
{
    ULONG_PTR dwData;
    DWORD cbData;
    PVOID lpData;
};

constexpr UINT WM_COPYDATA = 0x004A;

#endif

// The event type under which such messages reach QWidget::nativeEvent.
constexpr char KNativeMessageEventType[] = "windows_generic_MSG";
