#include "Widgets/settings/kmovebackfolderwidget.h"

#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/settings/kmovebackedfinishedwidget.h"
#include "core/kcommon.h"
#include "platform/kpaths.h"
#include "platform/kplatform.h"
#include "storage/kbackupfoldermove.h"
#include "storage/kfileoperationthread.h"
#include "ui_kmovebackfolderwidget.h"

#include <QCloseEvent>
#include <QMovie>
#include <QPainter>
#include <QTimer>

namespace {

// "D盘" for "D:\"; a readable name for a Linux drive root.
QString driveText(const QString& root)
{
    return QCoreApplication::translate("KDriveName", "%1盘").arg(KPaths::driveShortName(root));
}

// Long file names and paths break only at blanks; this lets them break after a separator, a
// dash or an underscore too, so that the message box shows them whole.
QString breakable(const QString& text)
{
    QString result;
    result.reserve(text.size() + text.size() / 4);
    for (const QChar c : text) {
        result.append(c);
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char('_') || c == QLatin1Char('-'))
            result.append(QChar(0x200B));
    }
    return result;
}

QPixmap fixedPicture(QLabel* label, const QString& name)
{
    const QPixmap picture(KCommon::skinImagePath(name));
    label->setPixmap(picture);
    label->setFixedSize(picture.size());
    return picture;
}

} // namespace

KMoveBackFolderWidget::KMoveBackFolderWidget(
    KPlatform* platform, const QString& oldPath, const QString& newPath, QWidget* parent)
    : QWidget(parent)
    , m_ui(new Ui::KMoveBackFolderWidget)
    , m_oldPath(oldPath)
    , m_newPath(newPath)
    , m_platform(platform)
    , m_startTime(platform->currentDateTime())
    , m_movie(nullptr)
    , m_minimumTimer(new QTimer(this))
    , m_closeTimer(new QTimer(this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    QPalette white = palette();
    white.setColor(QPalette::Window, QColor(QStringLiteral("#ffffff")));
    setPalette(white);
    setAutoFillBackground(true);
    m_ui->setupUi(this);

    const QSize badge = fixedPicture(m_ui->lbFromBG, QStringLiteral("盘符.png")).size();
    fixedPicture(m_ui->lbToBG, QStringLiteral("盘符.png"));
    fixedPicture(m_ui->lbLeftArrow, QStringLiteral("箭头.png"));
    m_ui->fromDrive->setFixedSize(badge);
    m_ui->toDrive->setFixedSize(badge);
    const QFont face(QStringLiteral("微软雅黑"));
    for (QLabel* label : { m_ui->lblFrom, m_ui->lblTo, m_ui->lblMoving })
        label->setFont(face);
    m_ui->lblFrom->setText(driveText(oldPath));
    m_ui->lblTo->setText(driveText(newPath));

    m_movie = new QMovie(KCommon::skinImagePath(QStringLiteral("转移备份.gif")), QByteArray(), this);
    m_ui->lbMovie->setMovie(m_movie);
    m_ui->lbMovie->setFixedSize(m_movie->jumpToFrame(0) ? m_movie->currentPixmap().size() : QSize(360, 60));
    emit sigSetMovieSpeed();
    m_movie->start();

    m_minimumTimer->setObjectName(QStringLiteral("minimumDisplayTimer"));
    m_minimumTimer->setSingleShot(true);
    connect(m_minimumTimer, &QTimer::timeout, this, &KMoveBackFolderWidget::finished);
    m_closeTimer->setObjectName(QStringLiteral("finishedDisplayTimer"));
    m_closeTimer->setSingleShot(true);
    m_closeTimer->setInterval(FinishedDisplayMs);
    connect(m_closeTimer, &QTimer::timeout, this, &QWidget::close);

    if (parent) {
        coverParent();
        parent->installEventFilter(this);
    }
    QTimer::singleShot(0, this, &KMoveBackFolderWidget::startMove);
}

KMoveBackFolderWidget::~KMoveBackFolderWidget() = default;

void KMoveBackFolderWidget::startMove()
{
    auto* thread = new KFileOperationThread(m_oldPath, m_newPath, this);
    connect(thread, &KFileOperationThread::sigMoveProcess, this, &KMoveBackFolderWidget::onMovedProcess);
    connect(thread, &KFileOperationThread::sigMoveResult, this, &KMoveBackFolderWidget::onMoveResult);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    connect(thread, &QThread::finished, this, &KMoveBackFolderWidget::finished);
    thread->start();
}

void KMoveBackFolderWidget::coverParent()
{
    // The pages below the main window's title strip; the strip stays usable.
    const QWidget* window = parentWidget();
    setGeometry(1, 32, window->width() - 2, window->height() - 33);
}

bool KMoveBackFolderWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize)
        coverParent();
    return QWidget::eventFilter(watched, event);
}

void KMoveBackFolderWidget::onMoveResult(
    bool moved, const QString& backupFolder, int problem, const QString& entry)
{
    m_resultKnown = true;
    m_moved = moved;
    m_backupFolder = backupFolder;
    m_problem = problem;
    m_problemEntry = entry;
}

void KMoveBackFolderWidget::onMovedProcess(qulonglong lTotalSize, qulonglong lMovedSize)
{
    const int frames = m_movie->frameCount();
    if (lTotalSize == 0 || frames <= 0)
        return;
    // The last frame is the furthest to go: one step beyond it the animation starts over.
    const qint64 target
        = qMin<qint64>(frames - 1, qint64(quint64(frames) * qMin(lMovedSize, lTotalSize) / lTotalSize));
    for (int steps = 0; steps < frames && m_movie->currentFrameNumber() < target; ++steps) {
        if (!m_movie->jumpToNextFrame())
            break;
    }
}

void KMoveBackFolderWidget::finished()
{
    const qint64 shown = m_startTime.msecsTo(m_platform->currentDateTime());
    if (shown < MinimumDisplayMs) {
        m_minimumTimer->start(int(qBound<qint64>(0, MinimumDisplayMs - shown, MinimumDisplayMs)));
        return;
    }
    // Without a result the thread had nothing to do (no old path) or ended abnormally.
    if (!m_resultKnown && !m_oldPath.isEmpty()) {
        m_problem = int(KBackupFolderMove::Problem::Other);
        m_backupFolder = KCommon::backupDirectory();
    }
    if (m_resultKnown ? m_moved : m_oldPath.isEmpty()) {
        showFinished();
        return;
    }
    m_movie->stop();
    KYMessageBox::showCritical(this, tr("转移备份"), failureText(m_problem, m_problemEntry, m_backupFolder),
        KCommon::skinBackgroundPath(), QStringLiteral(":/Icons/Icons/关闭.png"), 2, tr("确定"), QString(),
        false);
    close();
}

void KMoveBackFolderWidget::showFinished()
{
    m_movie->stop();
    for (QWidget* child : { static_cast<QWidget*>(m_ui->lblFrom), static_cast<QWidget*>(m_ui->lbFromBG),
             static_cast<QWidget*>(m_ui->lbLeftArrow), static_cast<QWidget*>(m_ui->lbToBG),
             static_cast<QWidget*>(m_ui->lblTo), static_cast<QWidget*>(m_ui->lbMovie),
             static_cast<QWidget*>(m_ui->lblMoving) }) {
        child->hide();
    }
    auto* done = new KMoveBackedFinishedWidget(this);
    done->setObjectName(QStringLiteral("finishedWidget"));
    done->setAttribute(Qt::WA_DeleteOnClose);
    done->setGeometry(rect().adjusted(1, 1, -1, -1));
    connect(done, &KMoveBackedFinishedWidget::finish, this, &QWidget::close);
    done->show();
    m_closeTimer->start();
}

QString KMoveBackFolderWidget::failureText(int problem, const QString& entry, const QString& backupFolder)
{
    using Problem = KBackupFolderMove::Problem;
    QString reason;
    switch (Problem(problem)) {
    case Problem::Busy:
        reason = tr("另一次转移还没有结束");
        break;
    case Problem::Conflict:
        // Not named: with the folder's path, a backup's long name would not fit the box.
        reason = tr("新位置已有同名的其他文件");
        break;
    case Problem::NoSpace:
        reason = tr("新位置的磁盘空间不足");
        break;
    case Problem::NotWritable:
        reason = tr("新位置不允许写入");
        break;
    case Problem::DestinationMissing:
        reason = tr("新位置已不存在");
        break;
    case Problem::SourceUnreadable:
        reason = tr("备份文件 %1 无法读取").arg(breakable(entry));
        break;
    case Problem::InUse:
        reason = tr("备份文件 %1 正被其他程序写入").arg(breakable(entry));
        break;
    case Problem::NotMovable:
        reason = tr("%1 不是可以转移的文件").arg(breakable(entry));
        break;
    case Problem::Nested:
        reason = tr("新位置在备份目录之内");
        break;
    case Problem::Cancelled:
        reason = tr("转移被中止");
        break;
    case Problem::FolderUnreadable:
        reason = tr("文件夹 %1 无法读取").arg(breakable(entry));
        break;
    case Problem::Damaged:
        reason = tr("备份文件 %1 在新位置保存后与原件不符").arg(breakable(entry));
        break;
    case Problem::CopyDamaged:
        reason = tr("备份文件 %1 已损坏，与备份时记录的不符").arg(breakable(entry));
        break;
    case Problem::NotFlushed:
        reason = tr("新位置的磁盘写入出错");
        break;
    case Problem::SettingsNotSaved:
        reason = tr("设置无法保存");
        break;
    case Problem::None:
    case Problem::Other:
        reason = tr("转移时出错");
        break;
    }
    return tr("备份没有转移：%1。\n全部备份仍保存在原来的位置：%2").arg(reason, breakable(backupFolder));
}

void KMoveBackFolderWidget::closeEvent(QCloseEvent* event)
{
    if (!m_finishedEmitted) {
        m_finishedEmitted = true;
        emit sigMoveFinished();
    }
    QWidget::closeEvent(event);
}

void KMoveBackFolderWidget::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    QPainter painter(this);
    painter.setPen(QColor(QStringLiteral("#808080")));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
