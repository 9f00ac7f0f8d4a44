#include "Widgets/tips/ktipmsgmanager.h"

#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/home/kdrivename.h"
#include "Widgets/tips/ktipuserdialog.h"
#include "Widgets/tips/ktipwidget.h"
#include "core/kcommon.h"
#include "core/kconfig.h"
#include "platform/kdesktopnotifications.h"
#include "platform/kpaths.h"
#include "platform/kplatform.h"
#include "storage/kdiskinfothread.h"

#include <QFileInfo>

#include <utility>

namespace {

const QString Vaultkeep = QStringLiteral("Vaultkeep");
const QString BubblePage = QStringLiteral("右下角冒泡");
const QString DateFormat = QStringLiteral("yyyy-MM-dd");
constexpr int NoAutoHide = -1;
// The action of clicking a notification itself; the buttons' are their positions.
const QString DefaultAction = QStringLiteral("default");

QString skin(const char* name)
{
    return KCommon::skinImagePath(QString::fromUtf8(name));
}

// The close mark and the logo every tip has, kept until it is closed.
KTipContent tipContent()
{
    KTipContent content;
    content.closePicture = skin("tip_close.png");
    content.logoPicture = skin("long_logo.png");
    content.hideDelayMs = NoAutoHide;
    return content;
}

} // namespace

KTipMsgManager::KTipMsgManager(const KServices& services, QObject* parent)
    : QObject(parent)
    , m_services(services)
{
    if (KDesktopNotifications* notifications = m_services.notifications) {
        connect(notifications, &KDesktopNotifications::actionInvoked, this,
            &KTipMsgManager::onNotificationAction);
        connect(notifications, &KDesktopNotifications::failed, this, &KTipMsgManager::onNotificationFailed);
        connect(
            notifications, &KDesktopNotifications::closed, this, [this](quint32 id) { m_sent.remove(id); });
    }
}

// The windows still open go with the module: their code is unloaded with it.
KTipMsgManager::~KTipMsgManager()
{
    deleteWindows();
}

void KTipMsgManager::deleteWindows()
{
    const QList<QPointer<KTipWidget>> tips = std::exchange(m_tips, {});
    for (const QPointer<KTipWidget>& tip : tips)
        delete tip.data();
    delete m_userDialog.data();
    const QList<quint32> sent = std::exchange(m_sent, {}).keys();
    for (quint32 id : sent)
        m_services.notifications->close(id);
}

QList<KTipWidget*> KTipMsgManager::tips() const
{
    QList<KTipWidget*> open;
    for (const QPointer<KTipWidget>& tip : m_tips) {
        if (tip)
            open << tip;
    }
    return open;
}

KTipWidget* KTipMsgManager::createTip()
{
    m_tips.removeAll(QPointer<KTipWidget>());
    auto* tip = new KTipWidget(m_services.platform);
    // Closing the tip, by a button or the close mark, is the end of it.
    tip->setAttribute(Qt::WA_DeleteOnClose);
    connect(tip, &KTipWidget::sigTextClicked, this, &KTipMsgManager::sigShowVaultkeep);
    connect(tip, &KTipWidget::sigLogoClicked, this, &KTipMsgManager::sigShowVaultkeep);
    m_tips << tip;
    return tip;
}

void KTipMsgManager::showCurrentDiskNotEnough(qlonglong size, const QString& driveWithSpace)
{
    KConfig* config = m_services.config;
    const QString date = m_services.platform->currentDate().toString(DateFormat);
    if (driveWithSpace.isEmpty() || config->diskFreeTipDate() == date)
        return;

    const QString backupPath = config->backUpPath();
    const QString backupDrive = KPaths::driveShortName(backupPath);
    const QString home = m_services.platform->homeFolder();
    const QString moveText = tr("一键更换到%1(空间充足)").arg(KDriveName::of(driveWithSpace, home));
    const QString white = skin("long_button_white.png");
    const QString dark = QStringLiteral("#333333");
    KTipContent content = tipContent();
    content.headline = tr("您的备份盘（%1）空间不足无法备份").arg(KDriveName::of(backupPath, home));
    const int days = m_services.monitor ? m_services.monitor->daysUntilFull() : -1;
    if (days < 0)
        content.secondLine = tr("工程文件正面临错编和误删的风险！建议立即更换备份盘");
    else if (days < 1)
        content.secondLine = tr("按最近7天的增长，备份盘1天内将满！建议立即更换备份盘");
    else
        content.secondLine = tr("按最近7天的增长，约 %n 天后备份盘将满！建议立即更换备份盘", nullptr, days);
    content.iconPicture = skin("cd.png");
    content.size = QSize(522, 133);
    content.strip = KTipContent::Strip::Red;
    content.buttons = { { moveText, skin("short_button.png"), QStringLiteral("#ffffff") },
        { tr("更换到其他盘"), white, dark }, { tr("暂不理会"), white, dark } };
    show(Tip::LowSpace, content, driveWithSpace);

    // Not written (a failure is logged), the tip may come once more after a restart.
    static_cast<void>(config->setDiskFreeTipDate(date));
    writeAutoTrace(QStringLiteral("当前磁盘%1磁盘空间不足%2G,充足磁盘%3-%4G")
                       .arg(backupDrive, QString::number(size), driveWithSpace, date),
        BubblePage, Vaultkeep);
}

void KTipMsgManager::onDiskFreeSizeNotEnoughTipMsgBtnClicked(int index)
{
    const auto* tip = qobject_cast<const KTipWidget*>(sender());
    pressed(Tip::LowSpace, index, tip ? tip->driveText() : QString());
}

void KTipMsgManager::showBackedFolderTooLarge(qlonglong size)
{
    KConfig* config = m_services.config;
    const QString date = m_services.platform->currentDate().toString(DateFormat);
    if (config->folderTooLargeTipDate() == date || !config->isTipWhenDiskSizeIsSmall())
        return;
    const QString gigabytes = QString::number(double(size) * (1.0 / (1024.0 * 1024.0 * 1024.0)), 'g', 2);
    KTipContent content = tipContent();
    content.headline = tr("备份空间已占用%1G，超过了您设置的预警范围").arg(gigabytes);
    content.secondLine = tr("您可以清理Vaultkeep的备份空间了");
    content.iconPicture = skin("broom.png");
    content.size = QSize(422, 132);
    content.strip = KTipContent::Strip::Orange;
    content.buttons = { { tr("快捷清理..."), skin("short_button.png"), QStringLiteral("#ffffff") },
        { tr("查看设置"), skin("long_button_white.png"), QStringLiteral("#333333") } };
    show(Tip::FolderTooLarge, content);

    static_cast<void>(config->setFolderTooLargeTipDateToday()); // as above
    writeAutoTrace(QStringLiteral("备份文件夹太大%1G").arg(gigabytes), BubblePage, Vaultkeep);
}

void KTipMsgManager::showFileTooLarge(const QString& path, qint64 size, qint64 limit)
{
    const QString name = QFileInfo(path).fileName();
    KTipContent content = tipContent();
    content.headline = tr("“%1”超过%2，没有备份").arg(name, KCommon::displaySize(limit));
    content.secondLine = tr("它有%1，大于设置的备份上限。").arg(KCommon::displaySize(size));
    content.iconPicture = skin("提示.png");
    content.size = QSize(422, 132);
    content.strip = KTipContent::Strip::Orange;
    show(Tip::FileTooLarge, content, path);
    writeAutoTrace(QStringLiteral("文件过大未备份%1").arg(KCommon::formatSize(size)), BubblePage, Vaultkeep);
}

void KTipMsgManager::showTipUserDialog()
{
    KTipContent content;
    content.headline = tr("第一个工程文件已备份成功！");
    content.secondLine = tr("文件改错了、误删了，都可以在Vaultkeep里恢复以前的版本。");
    content.buttons = { { tr("打开Vaultkeep"), QString(), QString() } };
    show(Tip::FirstBackup, content);
    static_cast<void>(m_services.config->setShowTipBackedMsgStatus(1)); // as above
    writeAutoTrace(QStringLiteral("第一次备份成功"), BubblePage, Vaultkeep);
}

void KTipMsgManager::showFirstBackupWindow()
{
    auto* dialog = new KTipUserDialog(skin("tipOpenVaultkeepBg.png"));
    m_userDialog = dialog;
    dialog->setActionButton(skin("打开Vaultkeep_按钮.png"), 2);
    connect(dialog, &KTipUserDialog::leftBtnClicked, this, &KTipMsgManager::sigShowVaultkeep,
        Qt::QueuedConnection);
    connect(dialog, &KTipUserDialog::leftBtnClicked, dialog, &QWidget::close, Qt::QueuedConnection);
    dialog->show();
}

void KTipMsgManager::show(Tip tip, const KTipContent& content, const QString& carried)
{
    KDesktopNotifications* notifications = m_services.notifications;
    // A server that shows no actions would take the buttons away.
    if (!notifications || !notifications->showsActions() || !m_services.config->tipsAsNotifications()) {
        showPanel(tip, content, carried);
        return;
    }
    KDesktopNotifications::Notification notification { content.headline, content.secondLine, {} };
    notification.actions << KDesktopNotifications::Action { DefaultAction, tr("打开Vaultkeep") };
    for (int i = 0; i < content.buttons.size(); ++i)
        notification.actions << KDesktopNotifications::Action { QString::number(i),
            content.buttons.at(i).text };
    m_sent.insert(notifications->notify(notification), { tip, content, carried });
}

void KTipMsgManager::showPanel(Tip tip, const KTipContent& content, const QString& carried)
{
    if (tip == Tip::FirstBackup) {
        showFirstBackupWindow();
        return;
    }
    KTipWidget* widget = createTip();
    widget->setContent(content);
    if (tip == Tip::LowSpace) {
        widget->setDriveText(carried);
        connect(widget, &KTipWidget::clicked, this, &KTipMsgManager::onDiskFreeSizeNotEnoughTipMsgBtnClicked);
    } else if (tip == Tip::FolderTooLarge) {
        connect(widget, &KTipWidget::clicked, this, &KTipMsgManager::sigFolderToolLargeTipMsgBtnClicked);
    } else {
        widget->setToolTip(carried);
    }
    widget->show();
}

void KTipMsgManager::pressed(Tip tip, int index, const QString& drive)
{
    switch (tip) {
    case Tip::LowSpace:
        writeAutoTrace(QStringLiteral("点击右下角冒泡"), BubblePage, Vaultkeep);
        emit sigDiskFreeSizeNotEnoughTipMsgBtnClicked(index, drive);
        break;
    case Tip::FolderTooLarge:
        emit sigFolderToolLargeTipMsgBtnClicked(index);
        break;
    case Tip::FirstBackup:
        emit sigShowVaultkeep();
        break;
    case Tip::FileTooLarge:
        break;
    }
}

void KTipMsgManager::onNotificationAction(quint32 id, const QString& key)
{
    const auto found = m_sent.constFind(id);
    if (found == m_sent.constEnd())
        return;
    bool isButton = false;
    const int index = key.toInt(&isButton);
    if (isButton && index >= 0 && index < found->content.buttons.size())
        pressed(found->tip, index, found->carried);
    else if (key == DefaultAction)
        emit sigShowVaultkeep();
}

void KTipMsgManager::onNotificationFailed(quint32 id)
{
    const auto found = m_sent.constFind(id);
    if (found == m_sent.constEnd())
        return;
    const Sent sent = *found;
    m_sent.erase(found);
    showPanel(sent.tip, sent.content, sent.carried);
}
