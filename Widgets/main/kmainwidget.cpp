#include "Widgets/main/kmainwidget.h"

#include "AtriumCommon/atriummessages.h"
#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/main/khostmessagehandler.h"
#include "Widgets/main/kuilog.h"
#include "Widgets/settings/kcleandlg.h"
#include "Widgets/settings/kmovebackfolderwidget.h"
#include "Widgets/settings/ksettingdlg.h"
#include "Widgets/tips/ktipmsgmanager.h"
#include "core/kcommon.h"
#include "core/kconfig.h"
#include "discovery/kdiskfilemanager.h"
#include "platform/kbackgroundpriority.h"
#include "platform/kplatform.h"
#include "service/kfileservicemanager.h"
#include "service/koffsiteservice.h"
#include "service/ksavewatcher.h"
#include "storage/kbackupfoldermove.h"
#include "storage/kdiskinfothread.h"
#include "ui_kmainwidget.h"

#include <QIcon>
#include <QPointer>
#include <QResizeEvent>
#include <QSizeGrip>
#include <QThread>
#include <QTimer>

namespace {

const QString Vaultkeep = QStringLiteral("Vaultkeep");

KMainWidget* g_window = nullptr;

// The tabs are pictures: normal ("a"), hovered ("b") and selected (the bare name).
QString tabStyleSheet()
{
    const QString rule = QStringLiteral(
        "QTabWidget#tabWidget>QTabBar::tab%1{border-image: url(%2);min-width:161px; min-height:38px;}");
    const struct
    {
        const char* position;
        const char* normal;
        const char* hovered;
        const char* selected;
    } tabs[] = {
        { ":first", "首页a.png", "首页b.png", "首页.png" },
        { ":middle", "错编恢复a.png", "错编恢复b.png", "错编恢复.png" },
        { ":last", "误删找回a.png", "误删找回b.png", "误删找回.png" },
    };
    QString sheet;
    for (const auto& tab : tabs) {
        const QString position = QString::fromLatin1(tab.position);
        sheet += rule.arg(position, KCommon::skinImagePath(QString::fromUtf8(tab.normal)));
        sheet += rule.arg(
            position + QStringLiteral(":hover"), KCommon::skinImagePath(QString::fromUtf8(tab.hovered)));
        sheet += rule.arg(
            position + QStringLiteral(":selected"), KCommon::skinImagePath(QString::fromUtf8(tab.selected)));
    }
    return sheet;
}

} // namespace

KMainWidget* KMainWidget::instance()
{
    if (!g_window)
        g_window = new KMainWidget(KServices::process());
    return g_window;
}

KMainWidget* KMainWidget::existingInstance()
{
    return g_window;
}

KMainWidget::KMainWidget(const KServices& services, QWidget* parent)
    : AtriumMsgFrame(services.platform->windowMessaging(), parent)
    , m_services(services)
    , m_ui(new Ui::KMainWidget)
{
    // A second window made while the first one is being built is the same window.
    g_window = this;
    m_ui->setupUi(this);

    m_ui->home->setServices(m_services);
    m_ui->miscodeWidget->setServices(m_services);
    m_ui->deleted->setServices(m_services);

    m_messages = new KHostMessageHandler(m_services.engine, this, m_ui->tabWidget, m_ui->systemTitle, this);
    connect(m_messages, &KHostMessageHandler::sigClose, this, &KMainWidget::onClose);
    connect(
        m_messages, &KHostMessageHandler::sigShowFileVersionDlg, this, &KMainWidget::sigShowFileVersionDlg);

    KTipMsgManager* tips = m_tips = new KTipMsgManager(m_services, this);
    tips->setObjectName(QStringLiteral("tips"));
    KDiskInfoThread* monitor = m_services.monitor;
    KFileServiceManager* engine = m_services.engine;
    KDiskFileManager* scanner = m_services.scanner;
    connect(m_ui->systemTitle, &KSystemTitle::sigCloseClicked, this, &KMainWidget::onClose);
    connect(m_ui->home, &KHomeWidget::sigShowMisCodeWidget, this, &KMainWidget::onShowMisCodeWidget);
    connect(m_ui->home, &KHomeWidget::sigShowDeletedWidget, this, &KMainWidget::onShowDeletedWidget);
    connect(m_ui->home, &KHomeWidget::sigShowSettingDlg, this, &KMainWidget::onShowSettingDlg);
    connect(m_ui->systemTitle, &KSystemTitle::settingClicked, this, &KMainWidget::onShowSettingDlg);
    connect(tips, &KTipMsgManager::sigDiskFreeSizeNotEnoughTipMsgBtnClicked, this,
        &KMainWidget::onDiskFreeSizeNotEnoughTipMsgBtnClicked);
    connect(monitor, &KDiskInfoThread::sigBackedFolderTooLarger, this, &KMainWidget::onBackedFolderTooLarger,
        Qt::QueuedConnection);
    connect(monitor, &KDiskInfoThread::sigCurrentDiskFreeNoEnough, this,
        &KMainWidget::onShowCurrentDiskNoEnough, Qt::QueuedConnection);
    connect(tips, &KTipMsgManager::sigFolderToolLargeTipMsgBtnClicked, this,
        &KMainWidget::onFolderToLargeTipMsgBtnClicked, Qt::QueuedConnection);
    connect(tips, &KTipMsgManager::sigShowVaultkeep, this, &KMainWidget::onShowMisCodeWidgetEx);
    connect(engine, &KFileServiceManager::sigUpdate, engine, &KFileServiceManager::onUpdate);
    // Heard by the window, so that a window made again in the process does not tell it twice.
    connect(
        engine, &KFileServiceManager::sigFileTooLarge, this,
        [tips](const QString& path, qint64 size, qint64 limit) { tips->showFileTooLarge(path, size, limit); },
        Qt::QueuedConnection);
    // After the form selected the first page, so that start-up leaves no trace of a page shown.
    connect(m_ui->tabWidget, &QTabWidget::currentChanged, this, &KMainWidget::onCurrentChanged);
    // Queued: a host's request first switches the page to the file's kind.
    connect(this, &KMainWidget::sigShowFileVersionDlg, m_ui->miscodeWidget,
        &KMisCodeWidget::onShowFileVersionDlg, Qt::QueuedConnection);

    // What the backups are doing, from the scanner's thread; and backing up at once.
    KHomeWidget* home = m_ui->home;
    connect(engine, &KFileServiceManager::sigBackupStarted, home, &KHomeWidget::onBackupStarted);
    connect(engine, &KFileServiceManager::sigBackupProgress, home, &KHomeWidget::onBackupProgress);
    connect(engine, &KFileServiceManager::sigBackupFinished, home, &KHomeWidget::onBackupFinished);
    connect(engine, &KFileServiceManager::sigBackupFinished, this, &KMainWidget::onBackupFinished);
    connect(scanner, &KDiskFileManager::sigNextBackupAt, home, &KHomeWidget::onNextBackupAt);
    connect(home, &KHomeWidget::sigBackUpNow, scanner, &KDiskFileManager::backUpNow);
    connect(m_messages, &KHostMessageHandler::sigBackUpNow, scanner, &KDiskFileManager::backUpNow);
    connect(m_messages, &KHostMessageHandler::sigSetProtection, home, &KHomeWidget::setProtection);
    connect(monitor, &KDiskInfoThread::sigCurrentDiskFreeNoEnough, home, &KHomeWidget::onDiskShortOfRoom,
        Qt::QueuedConnection);

    m_sizeGrip = new QSizeGrip(this);
    m_sizeGrip->setObjectName(QStringLiteral("sizeGrip"));
    m_sizeGrip->resize(m_sizeGrip->sizeHint());
    m_sizeSaveTimer = new QTimer(this);
    m_sizeSaveTimer->setSingleShot(true);
    m_sizeSaveTimer->setInterval(SizeSaveDelayMs);
    connect(m_sizeSaveTimer, &QTimer::timeout, this, &KMainWidget::saveSize);

    applyWindowStyle();
    m_ui->systemTitle->setTitle(KCommon::productName());
    setWindowTitle(KCommon::productName());
    const QSize stored = m_services.config->mainWindowSize();
    if (stored.isValid())
        resize(stored.expandedTo(minimumSize()));

    startThreads();
}

KMainWidget::~KMainWidget()
{
    if (m_saveWatchThread) {
        m_saveWatchThread->quit();
        m_saveWatchThread->wait();
    }
    if (m_sizeSaveTimer->isActive())
        saveSize();
    if (g_window == this)
        g_window = nullptr;
}

void KMainWidget::saveSize()
{
    m_sizeSaveTimer->stop();
    // Maximised is a state of the window, not a size the user chose.
    if (!isMaximized() && !m_services.config->setMainWindowSize(size()))
        qCWarning(vkUi) << "the window's size could not be stored";
}

void KMainWidget::applyWindowStyle()
{
    setWindowTitle(KCommon::productName());
    setWindowIcon(QIcon(KCommon::skinImagePath(QStringLiteral("VaultkeepA.ico"))));
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint
        | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
    m_ui->tabWidget->setStyleSheet(tabStyleSheet());
    m_ui->tabWidget->setDocumentMode(true);
}

void KMainWidget::startThreads()
{
    m_services.monitor->start(QThread::InheritPriority);
    KDiskFileManager* scanner = m_services.scanner;
    KFileServiceManager* engine = m_services.engine;
    // A window made again in the same process finds the engine listening already.
    if (!scanner->isAttached(engine))
        scanner->attach(engine);

    if (m_services.config->showTipBackedMsgStatus() == 0) {
        m_tipUserTimer = new QTimer(this);
        m_tipUserTimer->setObjectName(QStringLiteral("tipUserDialogTimer"));
        m_tipUserTimer->setSingleShot(true);
        connect(m_tipUserTimer, &QTimer::timeout, this, &KMainWidget::onShowTipUserDlg);
        m_tipUserTimer->start(TipUserDialogDelayMs);
    }

    // Other programs find the window by these properties to follow the host's skin and to send
    // it their messages.
    setWindowProperty(QString::fromLatin1(AtriumWindowProperty::SkinSyncWithAtrium));
    setWindowProperty(QString::fromLatin1(AtriumWindowProperty::VaultkeepMainFrame));
    setAttribute(Qt::WA_DeleteOnClose);

    if (m_services.offsite)
        m_services.offsite->start();
    m_saveWatchThread = new QThread(this);
    m_saveWatchThread->setObjectName(QStringLiteral("saveWatch"));
    auto* saves = new KSaveWatcher(engine, m_services.platform);
    saves->moveToThread(m_saveWatchThread);
    connect(m_saveWatchThread, &QThread::finished, saves, &QObject::deleteLater);
    // Backups after saves give way to the window, as the cycles do.
    connect(m_saveWatchThread, &QThread::started, saves, &KBackgroundPriority::lowerCallingThread);
    connect(engine, &KFileServiceManager::sigListed, saves, &KSaveWatcher::followListedFiles);
    m_saveWatchThread->start();
    if (m_services.config->autoBack())
        scanner->startScan();
    else
        scanner->scanOnce();
}

void KMainWidget::resizeEvent(QResizeEvent* event)
{
    // Inside the one-pixel border.
    m_ui->systemTitle->setGeometry(1, 1, width() - 2, m_ui->systemTitle->height());
    m_ui->tabWidget->setGeometry(1, 32, width() - 2, height() - 33);
    m_sizeGrip->move(width() - m_sizeGrip->width() - 1, height() - m_sizeGrip->height() - 1);
    m_sizeGrip->raise();
    // The first resize is the window showing at the size it was given.
    if (event->oldSize().isValid())
        m_sizeSaveTimer->start();
    AtriumMsgFrame::resizeEvent(event);
}

bool KMainWidget::nativeEvent(const QByteArray& eventType, void* message, long* result)
{
    return m_messages->handleNativeEvent(eventType, message, result)
        || AtriumMsgFrame::nativeEvent(eventType, message, result);
}

void KMainWidget::onShowHomeWidget()
{
    m_ui->tabWidget->setCurrentIndex(KHostMessageHandler::HomePage);
}

void KMainWidget::onShowMisCodeWidget()
{
    m_ui->tabWidget->setCurrentIndex(KHostMessageHandler::MisCodePage);
}

void KMainWidget::onShowDeletedWidget()
{
    m_ui->tabWidget->setCurrentIndex(KHostMessageHandler::DeletedPage);
}

void KMainWidget::onShowMisCodeWidgetEx()
{
    m_messages->bringToFront(KHostMessageHandler::MisCodePage);
}

void KMainWidget::onCurrentChanged(int index)
{
    static const char* const shown[] = { "显示首页", "显示错编恢复页面", "显示误删找回页面" };
    if (index >= KHostMessageHandler::HomePage && index <= KHostMessageHandler::DeletedPage)
        writeAutoTrace(QString::fromUtf8(shown[index]), QString(), Vaultkeep);
}

void KMainWidget::onClose()
{
    hide();
    writeManualTrace(QStringLiteral("关闭Vaultkeep"), QString(), Vaultkeep);
}

void KMainWidget::onShowTipUserDlg()
{
    m_tips->showTipUserDialog();
}

void KMainWidget::onBackupFinished(qlonglong finishedMSecs, int nCopied, int nFailed)
{
    Q_UNUSED(finishedMSecs)
    Q_UNUSED(nFailed)
    KConfig* config = m_services.config;
    if (nCopied > 0 && config->showTipBackedMsgStatus() == -1) {
        static_cast<void>(config->setShowTipBackedMsgStatus(0)); // a failure is logged
        onShowTipUserDlg();
    }
}

void KMainWidget::onBackedFolderTooLarger(qlonglong size)
{
    m_tips->showBackedFolderTooLarge(size);
}

void KMainWidget::onShowCurrentDiskNoEnough(qlonglong lSize, const QString& strDiskEnough)
{
    m_tips->showCurrentDiskNotEnough(lSize, strDiskEnough);
}

void KMainWidget::onShowSettingDlg()
{
    KConfig* config = m_services.config;
    const QString oldPath = config->backUpPath();
    // Made on the heap: should the window go while the dialog runs (the host releases the plug-in
    // from an event the dialog's loop delivers), the dialog goes with it, and nothing here is left.
    QPointer<KSettingDlg> dialog = new KSettingDlg(m_services, this);
    const int result = dialog->exec();
    if (!dialog)
        return;
    delete dialog;
    if (result != QDialog::Accepted)
        return;
    const QString newPath = config->backUpPath();
    writeManualTrace(QStringLiteral("点击设置确定按钮"), QString(), Vaultkeep);
    if (newPath != oldPath)
        moveBackupFolder(oldPath, newPath);
}

void KMainWidget::onDiskFreeSizeNotEnoughTipMsgBtnClicked(int index, const QString& disk)
{
    if (index == 0) {
        KConfig* config = m_services.config;
        const QString oldPath = config->backUpPath();
        moveBackupFolder(oldPath, disk);
        // The path changes at once; the journal lets the next start undo it should the process
        // end before the move has begun.
        KBackupFolderMove::prepare(oldPath, disk);
        // Should this write fail, the move writes it again and does not go on without it.
        static_cast<void>(config->setBackUpPath(disk));
    } else if (index == 1) {
        onShowSettingDlg();
    }
}

void KMainWidget::onMoveFolderFinished()
{
    m_ui->tabWidget->setEnabled(true);
    m_ui->systemTitle->setButtonsEnabled(true);
    // The new drive's space is measured now, not at the end of the monitor's wait.
    m_services.monitor->wakeUp();
    emit m_services.monitor->sigUpdateDiskFreeSize();
}

void KMainWidget::onFolderToLargeTipMsgBtnClicked(int index)
{
    m_messages->bringToFront();
    if (index == 0) {
        // On the heap, as the settings dialog: the window may go while it runs.
        QPointer<KCleanDlg> dialog = new KCleanDlg(m_services, this);
        dialog->exec();
        delete dialog;
    } else if (index == 1) {
        onShowSettingDlg();
    }
}

void KMainWidget::moveBackupFolder(QString oldPath, QString newPath)
{
    auto* panel = new KMoveBackFolderWidget(m_services.platform, oldPath, newPath, this);
    panel->show();
    m_ui->tabWidget->setEnabled(false);
    m_ui->systemTitle->setButtonsEnabled(false);
    connect(panel, &KMoveBackFolderWidget::sigMoveFinished, this, &KMainWidget::onMoveFolderFinished);
}
