#include "Widgets/home/khomewidget.h"

#include "AtriumCommon/atriummessages.h"
#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/home/kdrivename.h"
#include "core/kcommon.h"
#include "core/kconfig.h"
#include "discovery/kdiskfilemanager.h"
#include "platform/kplatform.h"
#include "service/kfileservicemanager.h"
#include "service/koffsiteservice.h"
#include "storage/kdiskinfothread.h"
#include "ui_khomewidget.h"

#include <QPropertyAnimation>
#include <QStyleOptionButton>
#include <QTimer>

#include <algorithm>
#include <atomic>

namespace {

const QString Vaultkeep = QStringLiteral("Vaultkeep");
const QString HomePageText = QStringLiteral("首页");

// Above this many MiB free the backup drive counts as roomy.
constexpr double AmpleFreeMiB = 150;
constexpr int BarAnimationMs = 2000;
constexpr int CounterPadding = 3;
constexpr int DiskTextPadding = 6;
// Between the first sentence and the button beside it.
constexpr int SentenceGap = 12;
// Room for the sentence beside the bar, ending where the form ends it: the row's free width, for
// the longer words of other languages.
constexpr int BottomTipWidth = 500;

// The size the form places the content for.
constexpr QSize DesignedSize(790, 431);
// The activity line's minutes follow the clock.
constexpr int ActivityRefreshMs = 30000;
constexpr qint64 MinuteMs = 60000;

// "5 分钟前" for a time `ago` milliseconds back, "3 分钟后" for one `ahead` milliseconds on.
QString agoText(qint64 ago)
{
    const qint64 minutes = qMax<qint64>(0, ago) / MinuteMs;
    if (minutes < 1)
        return KHomeWidget::tr("刚刚");
    if (minutes < 60)
        return KHomeWidget::tr("%n 分钟前", nullptr, int(minutes));
    if (minutes < 24 * 60)
        return KHomeWidget::tr("%n 小时前", nullptr, int(minutes / 60));
    return KHomeWidget::tr("%n 天前", nullptr, int(minutes / (24 * 60)));
}

QString aheadText(qint64 ahead)
{
    return ahead <= 0 ? KHomeWidget::tr("即将开始")
                      : KHomeWidget::tr("%n 分钟后", nullptr, int((ahead + MinuteMs - 1) / MinuteMs));
}

// The line beside the bar when the backup drive's growth is known.
QString daysUntilFullText(int days)
{
    return days < 1 ? KHomeWidget::tr("按最近7天的增长，备份盘1天内将满")
                    : KHomeWidget::tr("按最近7天的增长，约 %n 天后备份盘将满", nullptr, days);
}

// The first counter update of the process also tells the host the switch's state.
std::atomic<bool> g_firstNumbersUpdate { true };

} // namespace

KHomeWidget::KHomeWidget(QWidget* parent)
    : QWidget(parent)
    , m_ui(new Ui::KHomeWidget)
{
    m_ui->setupUi(this);

    connect(m_ui->lblMisCodeImage, &KLabel::clicked, this, &KHomeWidget::sigShowMisCodeWidget);
    connect(m_ui->lblDeletedImage, &KLabel::clicked, this, &KHomeWidget::sigShowDeletedWidget);
    connect(m_ui->lblSetting, &KLabel::clicked, this, &KHomeWidget::sigShowSettingDlg);
    // The switch reacts once its click has been handled.
    connect(m_ui->btnOpenClose, &QPushButton::clicked, this, &KHomeWidget::onOpenClose, Qt::QueuedConnection);

    m_ui->lblMisCodeImage->setImages(KCommon::skinImagePath(QStringLiteral("错编恢复01.png")),
        KCommon::skinImagePath(QStringLiteral("错编恢复01a.png")),
        KCommon::skinImagePath(QStringLiteral("错编恢复01.png")), QString());
    m_ui->lblDeletedImage->setImages(KCommon::skinImagePath(QStringLiteral("误删找回02.png")),
        KCommon::skinImagePath(QStringLiteral("误删找回02a.png")),
        KCommon::skinImagePath(QStringLiteral("误删找回02.png")), QString());
    m_ui->btnOpenClose->setText(QString());

    // The drive's text is centred over the bar, whatever its length; the sentence below ends
    // beside the bar.
    m_ui->lblDiskTipText->setGeometry(m_ui->lblTatalSizeBG->geometry());
    m_ui->lblDiskTipText->setAlignment(Qt::AlignCenter);
    const QRect tip = m_ui->lblBottomTip->geometry();
    m_ui->lblBottomTip->setGeometry(QRect(QPoint(tip.right() - BottomTipWidth, tip.y()), tip.bottomRight()));
    m_ui->lblBottomTip->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    flowSentences();
    // A longer caption widens the button to the left: its right edge stays under the switch's.
    m_ui->btnBackupNow->ensurePolished();
    QStyleOptionButton option;
    option.initFrom(m_ui->btnBackupNow);
    const QRect button = m_ui->btnBackupNow->geometry();
    const int frame = button.width()
        - m_ui->btnBackupNow->style()
              ->subElementRect(QStyle::SE_PushButtonContents, &option, m_ui->btnBackupNow)
              .width();
    const int wanted
        = m_ui->btnBackupNow->fontMetrics().horizontalAdvance(m_ui->btnBackupNow->text()) + frame;
    if (wanted > button.width())
        m_ui->btnBackupNow->setGeometry(button.right() + 1 - wanted, button.y(), wanted, button.height());
    const QObjectList children = this->children();
    for (QObject* child : children) {
        if (auto* widget = qobject_cast<QWidget*>(child))
            m_designed.insert(widget, widget->geometry());
    }

    m_activityTimer = new QTimer(this);
    m_activityTimer->setObjectName(QStringLiteral("activityTimer"));
    m_activityTimer->setInterval(ActivityRefreshMs);
    connect(m_activityTimer, &QTimer::timeout, this, &KHomeWidget::onRefreshActivity);
    connect(m_ui->btnBackupNow, &QPushButton::clicked, this, &KHomeWidget::sigBackUpNow);
}

KHomeWidget::~KHomeWidget() = default;

void KHomeWidget::setServices(const KServices& services)
{
    m_services = services;
    m_platform = services.platform;
    connect(services.engine, &KFileServiceManager::sigUpdateHomePage, this, &KHomeWidget::onUpdateNumbers);
    connect(services.monitor, &KDiskInfoThread::sigDaysUntilFull, this, &KHomeWidget::onDaysUntilFull);
    connect(services.monitor, &KDiskInfoThread::sigSetHomeDiskFree, this, &KHomeWidget::onSetDiskInfo);
    if (services.offsite) {
        connect(services.offsite, &KOffsiteService::statusChanged, this, &KHomeWidget::onOffsiteStatus);
        m_offsite = services.offsite->status();
        postOffsite();
    }
    m_openCloseState = services.config->autoBack() ? Open : Closed;
    refreshOpenCloseView();
    onRefreshActivity();
}

void KHomeWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrange();
}

void KHomeWidget::arrange()
{
    // The pictures and counters keep their place in the middle, the free-space row its place
    // at the bottom right, the background fills the page.
    const QSize extra = size() - DesignedSize;
    const QList<QWidget*> bottomRow { m_ui->lblBottomTip, m_ui->lblTatalSizeBG, m_ui->lblFreeDiskBg,
        m_ui->lblDiskTipText, m_ui->lblSetting };
    for (auto it = m_designed.cbegin(); it != m_designed.cend(); ++it) {
        const QPoint offset = bottomRow.contains(it.key()) ? QPoint(extra.width(), extra.height())
                                                           : QPoint(extra.width() / 2, extra.height() / 2);
        it.key()->move(it.value().topLeft() + offset);
    }
    m_ui->lblBG->setGeometry(rect());
    // The bar goes where its reading took it, wherever the track is now.
    if (m_barAnimation)
        m_barAnimation->stop();
    const QRect track = m_ui->lblTatalSizeBG->geometry();
    m_ui->lblFreeDiskBg->setGeometry(
        track.x(), track.y(), m_barWidth >= 0 ? m_barWidth : m_ui->lblFreeDiskBg->width(), track.height());
    flowSentences();
    refreshOffsite();
}

void KHomeWidget::onBackupStarted()
{
    m_backingUp = true;
    m_checked = 0;
    m_copied = 0;
    onRefreshActivity();
    postActivity();
}

void KHomeWidget::onBackupProgress(int nChecked, int nCopied)
{
    m_checked = nChecked;
    m_copied = nCopied;
    onRefreshActivity();
}

void KHomeWidget::onBackupFinished(qlonglong finishedMSecs, int nCopied, int nFailed)
{
    m_backingUp = false;
    m_lastBackupAt = finishedMSecs;
    if (nFailed > 0)
        m_problems |= AtriumMessage::CopiesFailed;
    else
        m_problems &= ~AtriumMessage::CopiesFailed;
    // Copies that all landed show there is room again.
    if (nCopied > 0 && nFailed == 0)
        m_problems &= ~AtriumMessage::ShortOfRoom;
    m_activityTimer->start();
    onRefreshActivity();
    postActivity();
}

void KHomeWidget::onNextBackupAt(qlonglong msecs)
{
    m_nextBackupAt = msecs;
    onRefreshActivity();
}

void KHomeWidget::onRefreshActivity()
{
    m_ui->btnBackupNow->setEnabled(!m_backingUp);
    QString line;
    if (m_backingUp) {
        line = tr("正在备份: 已检查 %1 个文件，已备份 %2 个").arg(m_checked).arg(m_copied);
    } else if (m_lastBackupAt >= 0 && m_platform) {
        const qint64 now = m_platform->currentMSecsSinceEpoch();
        line = tr("最近备份: %1").arg(agoText(now - m_lastBackupAt));
        if (m_nextBackupAt >= 0)
            line += tr(" · 下次: %1").arg(aheadText(m_nextBackupAt - now));
    }
    m_ui->lblActivity->setText(line);
    refreshOffsite();
}

void KHomeWidget::onOffsiteStatus(const KOffsiteStatus& status)
{
    m_offsite = status;
    postOffsite();
    // Its minutes follow the clock.
    if (status.state != KOffsiteStatus::State::Off && !m_activityTimer->isActive())
        m_activityTimer->start();
    refreshOffsite();
}

void KHomeWidget::refreshOffsite()
{
    using State = KOffsiteStatus::State;
    const KOffsiteStatus& status = m_offsite;
    const bool running = status.state == State::Running;
    QString line;
    if (status.state == State::NotInstalled) {
        line = offsiteProblemText(KOffsiteProblem::NotInstalled);
    } else if (status.state == State::NeedsPassword) {
        line = offsiteProblemText(KOffsiteProblem::NoPassword);
    } else if (running) {
        line = tr("正在上传到异地备份");
    } else if (status.lastProblem != KOffsiteProblem::None) {
        line = offsiteProblemText(status.lastProblem);
    } else if (status.checkFailed) {
        line = offsiteProblemText(KOffsiteProblem::Damaged);
    } else if (status.state == State::Idle && m_platform) {
        const qint64 now = m_platform->currentMSecsSinceEpoch();
        line = status.lastBackupMSecs < 0
            ? tr("异地备份: 尚未上传")
            : tr("异地备份: %1 · 新增 %2")
                  .arg(agoText(now - status.lastBackupMSecs), KCommon::displaySize(status.lastAddedBytes));
        if (status.nextBackupMSecs >= 0)
            line += tr(" · 下次: %1").arg(aheadText(status.nextBackupMSecs - now));
    }
    m_ui->lblOffsite->setText(line);
    m_ui->lblOffsite->setVisible(status.state != State::Off);
    // A longer line runs on to the right of the page, where nothing else is.
    m_ui->lblOffsite->resize(std::max(m_designed.value(m_ui->lblOffsite).width(),
                                 m_ui->lblOffsite->fontMetrics().horizontalAdvance(line)),
        m_ui->lblOffsite->height());
    m_ui->barOffsite->setVisible(running);
    if (running) {
        // Unknown progress shows as a busy bar.
        m_ui->barOffsite->setRange(0, status.progressPercent < 0 ? 0 : 100);
        m_ui->barOffsite->setValue(qMax(0, status.progressPercent));
        // Right after the words, to the line's end.
        const QRect text = m_ui->lblOffsite->geometry();
        const int left = text.x() + m_ui->lblOffsite->fontMetrics().horizontalAdvance(line) + 8;
        m_ui->barOffsite->setGeometry(left, text.center().y() - 3, text.right() - left, 8);
    }
}

void KHomeWidget::setProtection(bool on)
{
    if (on != (m_openCloseState == Open))
        onOpenClose();
}

void KHomeWidget::onDiskShortOfRoom()
{
    m_problems |= AtriumMessage::ShortOfRoom;
    postActivity();
}

void KHomeWidget::onOpenClose()
{
    if (m_openCloseState == Open) {
        m_openCloseState = Closed;
        // A failed write is logged and written again with the next change of the settings.
        static_cast<void>(m_services.config->setAutoBack(false));
        m_services.scanner->stopScan();
        writeManualTrace(QStringLiteral("关闭Vaultkeep"), HomePageText, Vaultkeep);
    } else {
        m_openCloseState = Open;
        static_cast<void>(m_services.config->setAutoBack(true));
        m_services.scanner->startScan();
        writeManualTrace(QStringLiteral("打开Vaultkeep"), HomePageText, Vaultkeep);
    }
    refreshOpenCloseView();
}

void KHomeWidget::onSetOpenCloseType(int btnType)
{
    m_openCloseState = btnType;
    if (m_openCloseState == Open)
        m_services.scanner->startScan();
    else
        m_services.scanner->stopScan();
    refreshOpenCloseView();
}

void KHomeWidget::refreshOpenCloseView()
{
    const bool open = m_openCloseState == Open;
    m_ui->btnOpenClose->setPicName(
        KCommon::pictureInUiLanguage(
            open ? QStringLiteral(":/Icons/Icons/已开启.png") : QStringLiteral(":/Icons/Icons/已关闭.png")),
        1);
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

void KHomeWidget::postActivity() const
{
    using namespace AtriumMessage;
    postToAtriumMainFrame(VaultkeepState, StateBackingUp, m_backingUp ? 1 : 0);
    if (m_lastBackupAt >= 0)
        postToAtriumMainFrame(VaultkeepState, StateLastBackup, LPARAM(m_lastBackupAt / 1000));
    postToAtriumMainFrame(VaultkeepState, StateProblem, m_problems);
}

void KHomeWidget::postOffsite() const
{
    using namespace AtriumMessage;
    using State = KOffsiteStatus::State;
    const KOffsiteStatus& status = m_offsite;
    LPARAM state = OffsiteIdle;
    if (status.state == State::Off)
        state = OffsiteOff;
    else if (status.state == State::Running)
        state = qMax(0, status.progressPercent);
    LPARAM problem = OffsiteFine;
    if (status.state == State::NotInstalled)
        problem = OffsiteNotInstalled;
    else if (status.state == State::NeedsPassword || status.lastProblem == KOffsiteProblem::NoPassword)
        problem = OffsiteNeedsPassword;
    else if (status.lastProblem == KOffsiteProblem::WrongPassword)
        problem = OffsiteWrongPassword;
    else if (status.lastProblem == KOffsiteProblem::Unreachable || status.lastProblem == KOffsiteProblem::Busy
        || status.lastProblem == KOffsiteProblem::Stopped)
        problem = OffsiteUnreachable;
    else if (status.lastProblem == KOffsiteProblem::Damaged || status.checkFailed)
        problem = OffsiteDamaged;
    else if (status.lastProblem != KOffsiteProblem::None)
        problem = OffsiteFailed;
    const std::array<qintptr, 3> now { state,
        status.lastBackupMSecs < 0 ? LPARAM(-1) : LPARAM(status.lastBackupMSecs / 1000), problem };
    for (const WPARAM which : { StateOffsiteProblem, StateOffsiteLastBackup, StateOffsite }) {
        const size_t i = which == StateOffsite ? 0 : which == StateOffsiteLastBackup ? 1 : 2;
        if (now[i] != m_offsitePosted[i] && postToAtriumMainFrame(VaultkeepState, which, now[i]))
            m_offsitePosted[i] = now[i];
    }
}

void KHomeWidget::flowSentences()
{
    // Each counter stands in a sentence whose pieces the form places for one font and short
    // numbers; set side by side at their own widths, no piece cuts or covers another.
    const QList<QList<QLabel*>> sentences {
        { m_ui->lblTitle0, m_ui->lblTotalBackedTime, m_ui->lblTitle1 },
        { m_ui->lblTitle2, m_ui->lblBackedNumber, m_ui->label_2 },
        { m_ui->lblTitle2_2, m_ui->lblDeletedNumber, m_ui->label_4 },
    };
    for (const QList<QLabel*>& sentence : sentences) {
        int x = sentence.first()->x();
        for (QLabel* piece : sentence) {
            const bool counter = piece->alignment() & Qt::AlignHCenter;
            const int width = piece->sizeHint().width() + (counter ? 2 * CounterPadding : 0);
            piece->setGeometry(x, piece->y(), width, piece->height());
            x += width;
        }
    }
    // A longer first sentence moves the switch and the button beside it to the right.
    const int overrun = m_ui->lblTitle1->geometry().right() + SentenceGap - m_ui->btnBackupNow->x();
    if (overrun > 0) {
        for (QWidget* control :
            { static_cast<QWidget*>(m_ui->btnOpenClose), static_cast<QWidget*>(m_ui->btnBackupNow) })
            control->move(control->x() + overrun, control->y());
    }
}

void KHomeWidget::onUpdateNumbers(int nTotalNumber, int nBackedNumber, int nDeletedNumber)
{
    m_ui->lblTotalBackedTime->setText(QString::number(nTotalNumber));
    m_ui->lblBackedNumber->setText(QString::number(nBackedNumber));
    m_ui->lblDeletedNumber->setText(QString::number(nDeletedNumber));
    flowSentences();
    postToAtriumMainFrame(AtriumMessage::VaultkeepState, AtriumMessage::StateTotalBackups, nTotalNumber);
    if (g_firstNumbersUpdate.exchange(false)) {
        postState();
        writeAutoTrace(m_openCloseState == Open ? QStringLiteral("Vaultkeep处于开启状态")
                                                : QStringLiteral("Vaultkeep处于关闭状态"),
            HomePageText, Vaultkeep);
    }
}

void KHomeWidget::onDaysUntilFull(int days)
{
    m_daysUntilFull = days;
}

void KHomeWidget::onSetDiskInfo(QString strDisk, double dwFreeSize, double dwTotalSize)
{
    const QString drive = KDriveName::of(strDisk, m_platform ? m_platform->homeFolder() : QString());
    const QString freeGiB = QString::number(dwFreeSize * (1.0 / 1024), 'f', 1);
    const QString pattern = tr("%1,剩余%2G");
    QString text = pattern.arg(drive, freeGiB);
    // A long folder name is shortened in its middle to keep the text on the bar.
    const QFontMetrics metrics = m_ui->lblDiskTipText->fontMetrics();
    const int room = m_ui->lblTatalSizeBG->width() - 2 * DiskTextPadding;
    if (metrics.horizontalAdvance(text) > room) {
        const int driveRoom = room - metrics.horizontalAdvance(pattern.arg(QString(), freeGiB));
        text = pattern.arg(metrics.elidedText(drive, Qt::ElideMiddle, qMax(0, driveRoom)), freeGiB);
    }
    m_ui->lblDiskTipText->setText(text);

    // A zero or unreadable total shows no bar; more free than total shows a full one.
    const QRect track = m_ui->lblTatalSizeBG->geometry();
    const double fraction = dwTotalSize > 0 ? qBound(0.0, dwFreeSize / dwTotalSize, 1.0) : 0.0;
    const int width = int(fraction * track.width());
    m_barWidth = width;
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
        m_ui->lblBottomTip->setText(
            m_daysUntilFull < 0 ? tr("备份盘空间充足，可以放心使用") : daysUntilFullText(m_daysUntilFull));
    } else {
        // Light enough for the dark text over it.
        m_ui->lblFreeDiskBg->setStyleSheet(QStringLiteral(
            "QLabel#lblFreeDiskBg{background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 "
            "#F28C8C, stop: 1.0 #E36464);border-radius:10px;}"));
        m_ui->lblBottomTip->setText(tr("              备份盘空间不足"));
    }
}
