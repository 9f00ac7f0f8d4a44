#include "Widgets/tips/ktipmsgmanager.h"

#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/home/kdrivename.h"
#include "Widgets/tips/ktipuserdialog.h"
#include "Widgets/tips/ktipwidget.h"
#include "core/kcommon.h"
#include "core/kconfig.h"
#include "platform/kpaths.h"
#include "platform/kplatform.h"

#include <QFileInfo>

#include <utility>

namespace {

const QString Vaultkeep = QStringLiteral("Vaultkeep");
const QString BubblePage = QStringLiteral("右下角冒泡");
const QString DateFormat = QStringLiteral("yyyy-MM-dd");
constexpr int NoAutoHide = -1;

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

QString today()
{
    return KPlatform::instance()->currentDate().toString(DateFormat);
}

} // namespace

KTipMsgManager::KTipMsgManager(QObject* parent)
    : QObject(parent)
{ }

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
}

KTipMsgManager* KTipMsgManager::instance()
{
    static KTipMsgManager manager;
    return &manager;
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
    auto* tip = new KTipWidget;
    // Closing the tip, by a button or the close mark, is the end of it.
    tip->setAttribute(Qt::WA_DeleteOnClose);
    connect(tip, &KTipWidget::sigTextClicked, this, &KTipMsgManager::sigShowVaultkeep);
    connect(tip, &KTipWidget::sigLogoClicked, this, &KTipMsgManager::sigShowVaultkeep);
    m_tips << tip;
    return tip;
}

void KTipMsgManager::showCurrentDiskNotEnough(qlonglong size, const QString& driveWithSpace)
{
    const QString date = today();
    if (driveWithSpace.isEmpty() || KConfig::instance()->diskFreeTipDate() == date)
        return;
    KTipWidget* tip = createTip();
    tip->setDriveText(driveWithSpace);

    const QString backupPath = KConfig::instance()->backUpPath();
    const QString backupDrive = KPaths::driveShortName(backupPath);
    const QString home = KPlatform::instance()->homeFolder();
    const QString moveText = tr("一键更换到%1(空间充足)").arg(KDriveName::of(driveWithSpace, home));
    const QString white = skin("long_button_white.png");
    const QString dark = QStringLiteral("#333333");
    KTipContent content = tipContent();
    content.headline = tr("您的备份盘（%1）空间不足无法备份").arg(KDriveName::of(backupPath, home));
    content.secondLine = QStringLiteral("工程文件正面临错编和误删的风险！建议立即更换备份盘");
    content.iconPicture = skin("cd.png");
    content.size = QSize(522, 133);
    content.strip = KTipContent::Strip::Red;
    content.buttons = { { moveText, skin("short_button.png"), QStringLiteral("#ffffff") },
        { QStringLiteral("更换到其他盘"), white, dark }, { QStringLiteral("暂不理会"), white, dark } };
    tip->setContent(content);
    connect(tip, &KTipWidget::clicked, this, &KTipMsgManager::onDiskFreeSizeNotEnoughTipMsgBtnClicked);
    tip->show();

    // Not written (a failure is logged), the tip may come once more after a restart.
    static_cast<void>(KConfig::instance()->setDiskFreeTipDate(date));
    writeAutoTrace(QStringLiteral("当前磁盘%1磁盘空间不足%2G,充足磁盘%3-%4G")
                       .arg(backupDrive, QString::number(size), driveWithSpace, date),
        BubblePage, Vaultkeep);
}

void KTipMsgManager::onDiskFreeSizeNotEnoughTipMsgBtnClicked(int index)
{
    writeAutoTrace(QStringLiteral("点击右下角冒泡"), BubblePage, Vaultkeep);
    const auto* tip = qobject_cast<const KTipWidget*>(sender());
    emit sigDiskFreeSizeNotEnoughTipMsgBtnClicked(index, tip ? tip->driveText() : QString());
}

void KTipMsgManager::showBackedFolderTooLarge(qlonglong size)
{
    KConfig* config = KConfig::instance();
    if (config->folderTooLargeTipDate() == today() || !config->isTipWhenDiskSizeIsSmall())
        return;
    KTipWidget* tip = createTip();
    const QString gigabytes = QString::number(double(size) * (1.0 / (1024.0 * 1024.0 * 1024.0)), 'g', 2);
    KTipContent content = tipContent();
    content.headline = QStringLiteral("备份空间已占用%1G，超过了您设置的预警范围").arg(gigabytes);
    content.secondLine = QStringLiteral("您可以清理Vaultkeep的备份空间了");
    content.iconPicture = skin("broom.png");
    content.size = QSize(422, 132);
    content.strip = KTipContent::Strip::Orange;
    content.buttons
        = { { QStringLiteral("快捷清理..."), skin("short_button.png"), QStringLiteral("#ffffff") },
              { QStringLiteral("查看设置"), skin("long_button_white.png"), QStringLiteral("#333333") } };
    tip->setContent(content);
    connect(tip, &KTipWidget::clicked, this, &KTipMsgManager::sigFolderToolLargeTipMsgBtnClicked);
    tip->show();

    static_cast<void>(config->setFolderTooLargeTipDateToday()); // as above
    writeAutoTrace(QStringLiteral("备份文件夹太大%1G").arg(gigabytes), BubblePage, Vaultkeep);
}

void KTipMsgManager::showFileTooLarge(const QString& path, qint64 size, qint64 limit)
{
    KTipWidget* tip = createTip();
    const QString name = QFileInfo(path).fileName();
    KTipContent content = tipContent();
    content.headline = tr("“%1”超过%2，没有备份").arg(name, KCommon::formatSize(limit));
    content.secondLine = tr("它有%1，大于设置的备份上限。").arg(KCommon::formatSize(size));
    content.iconPicture = skin("提示.png");
    content.size = QSize(422, 132);
    content.strip = KTipContent::Strip::Orange;
    tip->setContent(content);
    tip->setToolTip(path);
    tip->show();
    writeAutoTrace(QStringLiteral("文件过大未备份%1").arg(KCommon::formatSize(size)), BubblePage, Vaultkeep);
}

void KTipMsgManager::showTipUserDialog()
{
    auto* dialog = new KTipUserDialog(skin("tipOpenVaultkeepBg.png"));
    m_userDialog = dialog;
    dialog->setActionButton(skin("打开Vaultkeep_按钮.png"), 2);
    connect(dialog, &KTipUserDialog::leftBtnClicked, this, &KTipMsgManager::sigShowVaultkeep,
        Qt::QueuedConnection);
    connect(dialog, &KTipUserDialog::leftBtnClicked, dialog, &QWidget::close, Qt::QueuedConnection);
    dialog->show();
    static_cast<void>(KConfig::instance()->setShowTipBackedMsgStatus(1)); // as above
    writeAutoTrace(QStringLiteral("第一次备份成功"), BubblePage, Vaultkeep);
}
