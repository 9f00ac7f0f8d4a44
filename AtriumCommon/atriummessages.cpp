#include "AtriumCommon/atriummessages.h"

#include "platform/kplatform.h"
#include "platform/kwindowmessaging.h"

#include <limits>

HWND findWindowByProperty(const QString& name)
{
    return KPlatform::instance()->windowMessaging()->findWindowByProperty(name);
}

bool forceForegroundWindow(HWND window)
{
    KPlatform::instance()->windowMessaging()->forceForegroundWindow(window);
    return true;
}

bool postWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return window && KPlatform::instance()->windowMessaging()->postMessage(window, message, wParam, lParam);
}

bool sendCopyData(HWND window, ULONG_PTR dwData, const QByteArray& data, LRESULT* result)
{
    return window && KPlatform::instance()->windowMessaging()->sendCopyData(window, dwData, data, result);
}

bool postToAtriumMainFrame(UINT message, WPARAM wParam, LPARAM lParam)
{
    const HWND host = findWindowByProperty(QString::fromLatin1(AtriumWindowProperty::AtriumMainFrame));
    return host && postWindowMessage(host, message, wParam, lParam);
}

QByteArray copyDataText(const COPYDATASTRUCT* copyData)
{
    if (!copyData || !copyData->lpData || copyData->cbData == 0)
        return QByteArray();
    const char* bytes = static_cast<const char*>(copyData->lpData);
    return QByteArray(
        bytes, int(qstrnlen(bytes, uint(qMin<DWORD>(copyData->cbData, std::numeric_limits<int>::max())))));
}
