#include "katriumwindow.h"

#include "AtriumCommon/atriummessages.h"
#include "platform/kplatform.h"
#include "platform/kregistry.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextStream>
#include <QThread>
#include <QVBoxLayout>

namespace {

const QString SkinKey = QStringLiteral("HKEY_CURRENT_USER\\SoftWare\\Tarsel\\Atrium\\Skin");
// The picture every skin folder holds for the title strips.
const QString SkinPicture = QStringLiteral("title.jpg");

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

} // namespace

KAtriumWindow::KAtriumWindow(const QString& pluginPath, const QString& skinFolder, QWidget* parent)
    : AtriumMsgFrame(parent)
    , m_skinFolder(skinFolder)
{
    setObjectName(QStringLiteral("AtriumWindow"));
    auto* layout = new QVBoxLayout(this);
    auto* menuBar = new QMenuBar(this);
    buildMenu(menuBar->addMenu(QStringLiteral("&Vaultkeep")));
    layout->setMenuBar(menuBar);

    auto* intro = new QLabel(QStringLiteral("The stand-in host of the Vaultkeep plug-in. It shows what the "
                                            "plug-in posts and sends it the host's messages from the menu."),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* form = new QFormLayout;
    auto* plugin = new QLabel(pluginPath, this);
    plugin->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QStringLiteral("Plug-in:"), plugin);
    m_totalLabel = new QLabel(QStringLiteral("not posted yet"), this);
    m_totalLabel->setObjectName(QStringLiteral("totalBackups"));
    form->addRow(QStringLiteral("Backups made in total:"), m_totalLabel);
    m_protectionLabel = new QLabel(QStringLiteral("not posted yet"), this);
    m_protectionLabel->setObjectName(QStringLiteral("protection"));
    form->addRow(QStringLiteral("Protection:"), m_protectionLabel);
    layout->addLayout(form);

    layout->addWidget(new QLabel(QStringLiteral("Messages:"), this));
    m_log = new QPlainTextEdit(this);
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(500);
    layout->addWidget(m_log, 1);

    resize(460, 360);
    updateTitle();
}

bool KAtriumWindow::claimHostProperty(QString* error)
{
    return setWindowProperty(QString::fromLatin1(AtriumWindowProperty::AtriumMainFrame), error);
}

void KAtriumWindow::buildMenu(QMenu* menu)
{
    menu->addAction(QStringLiteral("Show a File's &Versions..."), this, &KAtriumWindow::showFileVersions);
    menu->addAction(QStringLiteral("Show &Deleted Files"), this, [this] {
        postToPlugin(AtriumMessage::ShowDeletedFiles, 0, QStringLiteral("show deleted files (2054)"));
    });
    menu->addAction(QStringLiteral("&Back Up Now"), this,
        [this] { postToPlugin(AtriumMessage::BackUpNow, 0, QStringLiteral("back up now (2055)")); });
    menu->addAction(QStringLiteral("&Activate"), this,
        [this] { postToPlugin(AtriumMessage::Activate, 0, QStringLiteral("activate (2029)")); });
    menu->addAction(QStringLiteral("&Show Window"), this, [this] {
        sendCopyDataToPlugin(
            AtriumMessage::ShowWindow, QByteArray(), QStringLiteral("show window (copy-data 28)"));
    });

    QMenu* skins = menu->addMenu(QStringLiteral("Change S&kin"));
    auto* group = new QActionGroup(this);
    QAction* builtIn
        = skins->addAction(QStringLiteral("Plug-in's Own"), this, [this] { changeSkin(QString()); });
    builtIn->setCheckable(true);
    builtIn->setChecked(true);
    group->addAction(builtIn);
    const QStringList folders = QDir(m_skinFolder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& folder : folders) {
        QAction* action = skins->addAction(folder, this, [this, folder] { changeSkin(folder); });
        action->setCheckable(true);
        group->addAction(action);
    }

    menu->addAction(QStringLiteral("&Hide"), this,
        [this] { postToPlugin(AtriumMessage::Quit, 0, QStringLiteral("hide (2027)")); });
    menu->addSeparator();
    menu->addAction(QStringLiteral("&Quit"), this, &QWidget::close, QKeySequence::Quit);
}

void KAtriumWindow::showFileVersions()
{
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Show the versions of"));
    if (path.isEmpty())
        return;
    sendCopyDataToPlugin(AtriumMessage::ShowFileVersions, path.toUtf8() + '\0',
        QStringLiteral("show the versions of %1 (copy-data 27)").arg(path));
}

bool KAtriumWindow::activateRunningHost()
{
    const HWND host = findWindowByProperty(QString::fromLatin1(AtriumWindowProperty::AtriumMainFrame));
    return host && postWindowMessage(host, AtriumMessage::Activate, 0, 0);
}

void KAtriumWindow::postToPlugin(UINT message, WPARAM wParam, const QString& what)
{
    postTo(AtriumWindowProperty::VaultkeepMainFrame, message, wParam, what);
}

void KAtriumWindow::postTo(const char* property, UINT message, WPARAM wParam, const QString& what)
{
    const HWND window = findWindowByProperty(QString::fromLatin1(property));
    if (!window) {
        log(QStringLiteral("no window carries %1: %2 not sent").arg(QString::fromLatin1(property), what));
        return;
    }
    const bool posted = postWindowMessage(window, message, wParam, 0);
    log(posted ? QStringLiteral("posted: %1").arg(what) : QStringLiteral("could not post: %1").arg(what));
}

void KAtriumWindow::sendCopyDataToPlugin(ULONG_PTR id, const QByteArray& block, const QString& what)
{
    const HWND window = findWindowByProperty(QString::fromLatin1(AtriumWindowProperty::VaultkeepMainFrame));
    if (!window) {
        log(QStringLiteral("no window carries %1: %2 not sent")
                .arg(QString::fromLatin1(AtriumWindowProperty::VaultkeepMainFrame), what));
        return;
    }
    auto answer = std::make_shared<LRESULT>(0);
    auto delivered = std::make_shared<bool>(false);
    QThread* sender = QThread::create([window, id, block, answer, delivered] {
        *delivered = sendCopyData(window, id, block, answer.get());
    });
    const QPointer<KAtriumWindow> self(this);
    connect(sender, &QThread::finished, this, [self, sender, what, answer, delivered] {
        sender->deleteLater();
        if (self) {
            self->log(*delivered ? QStringLiteral("sent: %1, answered %2").arg(what).arg(*answer)
                                 : QStringLiteral("no answer to: %1").arg(what));
        }
    });
    sender->start();
}

void KAtriumWindow::changeSkin(const QString& skin)
{
    KRegistryKey key(SkinKey);
    if (skin.isEmpty()) {
        key.removeValue(QStringLiteral("Path"));
        key.removeValue(QStringLiteral("Name"));
    } else {
        key.setValue(QStringLiteral("Path"), QDir(m_skinFolder).filePath(skin));
        key.setValue(QStringLiteral("Name"), SkinPicture);
    }
    // A hive that cannot be written leaves the plug-in on the skin it had; it is told all the same.
    static_cast<void>(key.sync());
    postTo(AtriumWindowProperty::SkinSyncWithAtrium, AtriumMessage::SkinChanged, 0,
        QStringLiteral("skin changed to %1 (2025)")
            .arg(skin.isEmpty() ? QStringLiteral("the plug-in's own") : skin));
}

bool KAtriumWindow::nativeEvent(const QByteArray& eventType, void* message, long* result)
{
    if (eventType != KNativeMessageEventType || !message)
        return AtriumMsgFrame::nativeEvent(eventType, message, result);
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message == AtriumMessage::Activate) {
        log(QStringLiteral("received: another start asks for the plug-in's window"));
        emit sigActivateRequested();
        return true;
    }
    if (msg->message != AtriumMessage::VaultkeepState) {
        log(QStringLiteral("received message %1 (%2, %3), not one for the host")
                .arg(msg->message)
                .arg(msg->wParam)
                .arg(msg->lParam));
        return AtriumMsgFrame::nativeEvent(eventType, message, result);
    }
    if (msg->wParam == AtriumMessage::StateTotalBackups) {
        m_totalBackups = int(msg->lParam);
        m_totalLabel->setText(QString::number(m_totalBackups));
        log(QStringLiteral("received: %1 backups made in total").arg(m_totalBackups));
        updateTitle();
        emit sigTotalBackups(m_totalBackups);
    } else if (msg->wParam == AtriumMessage::StateProtection) {
        m_protection = msg->lParam ? 1 : 0;
        m_protectionLabel->setText(m_protection ? QStringLiteral("on") : QStringLiteral("off"));
        log(QStringLiteral("received: protection is %1")
                .arg(m_protection ? QStringLiteral("on") : QStringLiteral("off")));
        updateTitle();
    } else {
        log(QStringLiteral("received: state %1 is %2").arg(msg->wParam).arg(msg->lParam));
    }
    emit sigPluginState(msg->wParam, msg->lParam);
    return true;
}

void KAtriumWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit sigClosing();
}

void KAtriumWindow::log(const QString& line)
{
    m_log->appendPlainText(QStringLiteral("%1  %2").arg(
        KPlatform::instance()->currentDateTime().toString(QStringLiteral("hh:mm:ss")), line));
    out() << "atrium: " << line << Qt::endl;
}

void KAtriumWindow::updateTitle()
{
    QString title = QStringLiteral("Atrium");
    if (m_totalBackups >= 0)
        title += QStringLiteral(" - Vaultkeep: %1 backups").arg(m_totalBackups);
    if (m_protection >= 0)
        title += m_protection ? QStringLiteral(", protection on") : QStringLiteral(", protection off");
    setWindowTitle(title);
}
