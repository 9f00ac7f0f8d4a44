#include "Widgets/main/khostmessagehandler.h"

#include "AtriumCommon/atriummessages.h"
#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/title/ksystemtitle.h"
#include "core/kfiletypemanager.h"
#include "platform/knativemessage.h"
#include "service/kfileservicemanager.h"

#include <QApplication>
#include <QFileInfo>
#include <QTabWidget>

namespace {

void trace(const QString& text)
{
    writeAutoTrace(text, QString(), QStringLiteral("Vaultkeep"));
}

} // namespace

KHostMessageHandler::KHostMessageHandler(
    KFileServiceManager* engine, QWidget* window, QTabWidget* tabs, KSystemTitle* title, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_window(window)
    , m_tabs(tabs)
    , m_title(title)
{ }

bool KHostMessageHandler::handleNativeEvent(const QByteArray& eventType, void* message, long* result)
{
    if (eventType != KNativeMessageEventType || !message)
        return false;
    const MSG* msg = static_cast<const MSG*>(message);
    switch (msg->message) {
    case WM_COPYDATA: {
        const auto* copyData = reinterpret_cast<const COPYDATASTRUCT*>(msg->lParam);
        if (!copyData)
            return false;
        if (copyData->dwData == AtriumMessage::ShowFileVersions) {
            trace(QStringLiteral("收到正常显示窗口消息"));
            bringToFront(MisCodePage);
            const QString path = QString::fromUtf8(copyDataText(copyData));
            const int kind = KFileTypeManager::instance()->fileTypeOfSuffix(QFileInfo(path).suffix());
            if (kind != int(FileTypeKind::Unknown))
                m_engine->onShowPageByType(kind);
            emit sigShowFileVersionDlg(path);
        } else if (copyData->dwData == AtriumMessage::ShowWindow) {
            trace(QStringLiteral("收到显示窗口消息"));
            bringToFront();
        } else if (result) {
            *result = 1;
        }
        return true;
    }
    case AtriumMessage::Quit:
        trace(QStringLiteral("收到退出消息"));
        emit sigClose();
        return true;
    case AtriumMessage::SkinChanged:
        trace(QStringLiteral("收到换肤消息"));
        changeSkin();
        return true;
    case AtriumMessage::Activate:
        trace(QStringLiteral("收到激活Vaultkeep消息"));
        bringToFront();
        return true;
    case AtriumMessage::ShowDeletedFiles:
        trace(QStringLiteral("收到显示误删找回窗口消息"));
        bringToFront(DeletedPage);
        return true;
    case AtriumMessage::BackUpNow:
        trace(QStringLiteral("收到立即备份消息"));
        emit sigBackUpNow();
        return true;
    case AtriumMessage::SetProtection:
        trace(msg->wParam ? QStringLiteral("收到开启保护消息") : QStringLiteral("收到关闭保护消息"));
        emit sigSetProtection(msg->wParam != 0);
        return true;
    default:
        return false;
    }
}

void KHostMessageHandler::bringToFront(int page)
{
    if (!m_window)
        return;
    if (m_window->isHidden())
        m_window->show();
    if (m_window->isMinimized())
        m_window->showNormal();
    if (page != NoPage && m_tabs)
        m_tabs->setCurrentIndex(page);
    forceForegroundWindow(reinterpret_cast<HWND>(m_window->winId()));
}

void KHostMessageHandler::changeSkin()
{
    if (m_title)
        m_title->onChangeSkin();
    // Every other window of the plug-in that has title strips follows the skin too.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window == m_window)
            continue;
        const QList<KSystemTitle*> titles = window->findChildren<KSystemTitle*>();
        for (KSystemTitle* title : titles)
            title->onChangeSkin();
    }
}
