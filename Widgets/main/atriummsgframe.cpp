#include "Widgets/main/atriummsgframe.h"

#include "platform/kplatform.h"
#include "platform/kwindowmessaging.h"

#include <QPointer>

AtriumMsgFrame::AtriumMsgFrame(KWindowMessaging* messaging, QWidget* parent)
    : QFrame(parent)
    , m_messaging(messaging)
{ }

AtriumMsgFrame::AtriumMsgFrame(QWidget* parent)
    : AtriumMsgFrame(KPlatform::instance()->windowMessaging(), parent)
{ }

AtriumMsgFrame::~AtriumMsgFrame()
{
    // Only a window that was given a native handle can carry properties.
    if (internalWinId())
        m_messaging->removeWindowProperties(reinterpret_cast<HWND>(internalWinId()));
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
    const bool carried = m_messaging->setWindowProperty(window, name, [frame](MSG* message, long* result) {
        return frame && frame->nativeEvent(QByteArray(KNativeMessageEventType), message, result);
    });
    if (!carried && error)
        *error = m_messaging->lastError();
    return carried;
}
