#include "Widgets/home/khomewidget.h"

#include "AtriumCommon/atriummessages.h"
#include "AtriumCommon/atriumuserdatalogutils.h"
#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileservicemanager.h"
#include "discovery/kdiskfilemanager.h"
#include "platform/kpaths.h"
#include "storage/kdiskinfothread.h"
#include "ui_khomewidget.h"

#include <QPropertyAnimation>

#include <atomic>

namespace {

const QString Vaultkeep = QStringLiteral("Vaultkeep");
const QString HomePageText = QStringLiteral("首页");

// Above this many MiB free the backup drive counts as roomy.
constexpr double AmpleFreeMiB = 150;
constexpr int BarAnimationMs = 2000;

// The first counter update of the process also tells the host the switch's state.
std::atomic<bool> g_firstNumbersUpdate { true };

} // namespace

KHomeWidget::KHomeWidget(QWidget* parent)
    : QWidget(parent)
    , m_ui(new Ui::KHomeWidget)
{
    m_ui->setupUi(this);

    connect(KFileServiceManager::instance(), &KFileServiceManager::sigUpdateHomePage, this,
        &KHomeWidget::onUpdateNumbers);
    connect(m_ui->lblMisCodeImage, &KLabel::clicked, this, &KHomeWidget::sigShowMisCodeWidget);
    connect(m_ui->lblDeletedImage, &KLabel::clicked, this, &KHomeWidget::sigShowDeletedWidget);
    connect(m_ui->lblSetting, &KLabel::clicked, this, &KHomeWidget::sigShowSettingDlg);
    connect(
        KDiskInfoThread::instance(), &KDiskInfoThread::sigSetHomeDiskFree, this, &KHomeWidget::onSetDiskInfo);
    // The switch reacts once its click has been handled.
    connect(m_ui->btnOpenClose, &QPushButton::clicked, this, &KHomeWidget::onOpenClose, Qt::QueuedConnection);

    m_ui->lblMisCodeImage->setImages(KCommon::skinImagePath(QStringLiteral("错编恢复01.png")),
        KCommon::skinImagePath(QStringLiteral("错编恢复01a.png")),
        KCommon::skinImagePath(QStringLiteral("错编恢复01.png")), QString());
    m_ui->lblDeletedImage->setImages(KCommon::skinImagePath(QStringLiteral("误删找回02.png")),
        KCommon::skinImagePath(QStringLiteral("误删找回02a.png")),
        KCommon::skinImagePath(QStringLiteral("误删找回02.png")), QString());
    m_ui->btnOpenClose->setText(QString());

    m_openCloseState = KConfig::instance()->autoBack() ? Open : Closed;
    refreshOpenCloseView();
}

KHomeWidget::~KHomeWidget() = default;

void KHomeWidget::onOpenClose()
{
    if (m_openCloseState == Open) {
        m_openCloseState = Closed;
        KConfig::instance()->setAutoBack(false);
        KDiskFileManager::instance()->stopScan();
        writeManualTrace(QStringLiteral("关闭Vaultkeep"), HomePageText, Vaultkeep);
    } else {
        m_openCloseState = Open;
        KConfig::instance()->setAutoBack(true);
        KDiskFileManager::instance()->startScan();
        writeManualTrace(QStringLiteral("打开Vaultkeep"), HomePageText, Vaultkeep);
    }
    refreshOpenCloseView();
}

void KHomeWidget::onSetOpenCloseType(int btnType)
{
    m_openCloseState = btnType;
    if (m_openCloseState == Open)
        KDiskFileManager::instance()->startScan();
    else
        KDiskFileManager::instance()->stopScan();
    refreshOpenCloseView();
}

void KHomeWidget::refreshOpenCloseView()
{
    const bool open = m_openCloseState == Open;
    m_ui->btnOpenClose->setPicName(
        open ? QStringLiteral(":/Icons/Icons/已开启.png") : QStringLiteral(":/Icons/Icons/已关闭.png"), 1);
    m_ui->lblImageLogo->setPixmap(QPixmap(
        open ? QStringLiteral(":/Icons/Icons/绿色图标.png") : QStringLiteral(":/Icons/Icons/红色图标.png")));
    m_ui->lblTipImage->setPixmap(QPixmap(KCommon::skinImagePath(
        open ? QStringLiteral("首页提示图_Open.png") : QStringLiteral("首页提示图_Close.png"))));
    m_ui->btnOpenClose->repaint();
    postState();
}

void KHomeWidget::postState() const
{
    postToAtriumMainFrame(
        AtriumMessage::VaultkeepState, AtriumMessage::StateProtection, m_openCloseState == Open ? 1 : 0);
}

void KHomeWidget::onUpdateNumbers(int nTotalNumber, int nBackedNumber, int nDeletedNumber)
{
    m_ui->lblTotalBackedTime->setText(QString::number(nTotalNumber));
    m_ui->lblBackedNumber->setText(QString::number(nBackedNumber));
    m_ui->lblDeletedNumber->setText(QString::number(nDeletedNumber));
    postToAtriumMainFrame(AtriumMessage::VaultkeepState, AtriumMessage::StateTotalBackups, nTotalNumber);
    if (g_firstNumbersUpdate.exchange(false)) {
        postState();
        writeAutoTrace(m_openCloseState == Open ? QStringLiteral("Vaultkeep处于开启状态")
                                                : QStringLiteral("Vaultkeep处于关闭状态"),
            HomePageText, Vaultkeep);
    }
}

void KHomeWidget::onSetDiskInfo(QString strDisk, double dwFreeSize, double dwTotalSize)
{
    const QString drive = KPaths::driveShortName(strDisk);
    const QString freeGiB = QString::number(dwFreeSize * (1.0 / 1024), 'f', 1);
    m_ui->lblDiskTipText->setText(QStringLiteral("%1盘,剩余%2G").arg(drive, freeGiB));

    // A zero or unreadable total shows no bar; more free than total shows a full one.
    const QRect track = m_ui->lblTatalSizeBG->geometry();
    const double fraction = dwTotalSize > 0 ? qBound(0.0, dwFreeSize / dwTotalSize, 1.0) : 0.0;
    const int width = int(fraction * track.width());
    // One animation at a time: a new reading takes the bar on from where it is.
    if (m_barAnimation)
        m_barAnimation->stop();
    m_barAnimation = new QPropertyAnimation(m_ui->lblFreeDiskBg, "geometry", this);
    m_barAnimation->setDuration(BarAnimationMs);
    m_barAnimation->setStartValue(m_ui->lblFreeDiskBg->geometry());
    m_barAnimation->setEndValue(QRect(track.x(), track.y(), width, track.height()));
    m_barAnimation->start(QAbstractAnimation::DeleteWhenStopped);

    if (dwFreeSize > AmpleFreeMiB) {
        m_ui->lblFreeDiskBg->setStyleSheet(QStringLiteral(
            "QLabel#lblFreeDiskBg{background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,stop: 0 "
            "#8ED820, stop: 1.0 #66AF2F);border-radius:10px;}"));
        m_ui->lblBottomTip->setText(QStringLiteral("备份盘空间充足，可以放心使用"));
    } else {
        m_ui->lblFreeDiskBg->setStyleSheet(QStringLiteral(
            "QLabel#lblFreeDiskBg{background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 "
            "#E14747, stop: 1.0 #C81010);border-radius:10px;}"));
        m_ui->lblBottomTip->setText(QStringLiteral("              备份盘空间不足"));
    }
}
