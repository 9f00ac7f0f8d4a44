#include "Widgets/dialogs/kskindialog.h"

#include "Widgets/dialogs/kcustomdlgtitlewidget.h"
#include "Widgets/dialogs/kdialogplacement.h"
#include "platform/knativemessage.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QShowEvent>
#include <QVBoxLayout>

KSkinDialog::KSkinDialog(const QString& title, const QString& backgroundImage, const QString& closePicture,
    int closeFrames, int width, int height, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags | Qt::FramelessWindowHint)
    , m_content(nullptr)
    , m_titleWidget(nullptr)
{
    setAttribute(Qt::WA_NoSystemBackground);
    resize(width, height);
    // What the task bar and the window switcher show, rather than the host's name.
    setWindowTitle(title.isEmpty() ? QStringLiteral("TarselVaultkeep") : title);

    m_titleWidget = new KCustomDlgTitleWidget(title, backgroundImage, closePicture, closeFrames, this);
    m_titleWidget->setObjectName(QStringLiteral("titleWidget"));
    m_titleWidget->setFixedHeight(30);
    m_titleWidget->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_titleWidget->titleLayout()->insertSpacing(1, 10);

    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("content"));
    m_content->setStyleSheet(QStringLiteral("background-color:%1").arg(QStringLiteral("#F9F9F9")));
    m_content->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->addWidget(m_titleWidget);
    layout->addWidget(m_content);

    connect(m_titleWidget, &KCustomDlgTitleWidget::signalClickClose, this, &KSkinDialog::slotClose);
}

void KSkinDialog::slotClose()
{
    // Closed first, so that a running exec() ends (rejected) before the native window goes.
    close();
    destroy(true, true);
}

void KSkinDialog::onHostSkinChanged()
{ }

void KSkinDialog::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        KDialogPlacement::centreOnParent(this);
    QDialog::showEvent(event);
}

void KSkinDialog::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.setPen(QColor(QStringLiteral("#1f2375")));
        painter.drawRect(0, 0, width() - 1, height() - 1);
    }
    QWidget::paintEvent(event);
}

bool KSkinDialog::nativeEvent(const QByteArray& eventType, void* message, long* result)
{
    if (eventType != KNativeMessageEventType || !message)
        return QDialog::nativeEvent(eventType, message, result);
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_COPYDATA) {
        const auto* copyData = reinterpret_cast<const COPYDATASTRUCT*>(msg->lParam);
        if (copyData && copyData->lpData && copyData->cbData > 0) {
            const char* bytes = static_cast<const char*>(copyData->lpData);
            const QString text = QString::fromLatin1(bytes, int(qstrnlen(bytes, copyData->cbData)));
            if (text.contains(QLatin1String("SkinChanged")))
                m_titleWidget->slotChangeSkin(text.section(QLatin1Char(':'), 1));
        }
        // Handled whether or not it carried a skin.
        return true;
    }
    if (msg->message == HostSkinChangedMessage) {
        onHostSkinChanged();
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}
