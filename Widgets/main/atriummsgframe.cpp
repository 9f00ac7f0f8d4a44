#include "Widgets/main/atriummsgframe.h"

#include "platform/kplatform.h"
#include "platform/kwindowmessaging.h"

#include <QPointer>

AtriumMsgFrame::AtriumMsgFrame(QWidget* parent)
    : QFrame(parent)
{ }

AtriumMsgFrame::~AtriumMsgFrame()
{
    // Only a window that was given a native handle can carry properties.
    if (internalWinId())
        KPlatform::instance()->windowMessaging()->removeWindowProperties(
            reinterpret_cast<HWND>(internalWinId()));
}

void AtriumMsgFrame::setHostData(const QVariant& data)
{
    Q_UNUSED(data)
}

void AtriumMsgFrame::onHostCommand(const QString& command)
{
    Q_UNUSED(command)
}

bool AtriumMsgFrame::setWindowProperty(const QString& name, QString* error)
{
    const HWND window = reinterpret_cast<HWND>(winId());
    // Guarded for a frame whose native window was replaced after this call: its properties stay
    // with the old handle until the process ends, and must not reach a destroyed frame.
    const QPointer<AtriumMsgFrame> frame(this);
    KWindowMessaging* messaging = KPlatform::instance()->windowMessaging();
    const bool carried = messaging->setWindowProperty(window, name, [frame](MSG* message, long* result) {
        return frame && frame->nativeEvent(QByteArray(KNativeMessageEventType), message, result);
    });
    if (!carried && error)
        *error = messaging->lastError();
    return carried;
}
