#include "storage/kdiskinfothread.h"

#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/klogging.h"
#include "platform/kplatform.h"
#include "storage/kspaceforecast.h"

KDiskInfoThread::KDiskInfoThread(QObject* parent)
    : AtriumThread(parent)
{
    // Connected here rather than when the body starts, so that a request made before the
    // thread runs is answered too. Queued: the answer is produced on the GUI thread.
    connect(this, &KDiskInfoThread::sigUpdateDiskFreeSize, this, &KDiskInfoThread::onUpdateCurrentDiskFree,
        Qt::QueuedConnection);
}

KDiskInfoThread::~KDiskInfoThread()
{
    stopThread();
}

KDiskInfoThread* KDiskInfoThread::instance()
{
    static KDiskInfoThread monitor;
    return &monitor;
}

bool KDiskInfoThread::backupDriveInfo(QString* root, double* freeMiB, double* totalMiB) const
{
    const QString backupPath = KConfig::instance()->backUpPath();
    const QList<KDriveRecord> list = KCommon::drives();
    for (const KDriveRecord& drive : list) {
        if (drive.root != backupPath)
            continue;
        if (root)
            *root = drive.root;
        if (freeMiB)
            *freeMiB = drive.freeMiB;
        if (totalMiB)
            *totalMiB = drive.totalMiB;
        return true;
    }
    return false;
}

bool KDiskInfoThread::hasEnoughSpace() const
{
    const QString backupPath = KConfig::instance()->backUpPath();
    const std::lock_guard<std::mutex> locker(m_shortageMutex);
    return m_shortOnPath.isEmpty() || m_shortOnPath != backupPath;
}

void KDiskInfoThread::setShortOn(const QString& path)
{
    const std::lock_guard<std::mutex> locker(m_shortageMutex);
    m_shortOnPath = path;
}

void KDiskInfoThread::setCycleInterval(int msecs)
{
    m_cycleIntervalMs = msecs;
}

int KDiskInfoThread::forecast(const QString& root, double freeMiB, bool record)
{
    KConfig* config = KConfig::instance();
    const qint64 now = KPlatform::instance()->currentMSecsSinceEpoch();
    const qint64 freeBytes = qint64(freeMiB * 1024 * 1024);
    const QList<KFreeSpaceSample> samples = KSpaceForecast::fromStrings(config->freeSpaceSamples());
    const QList<KFreeSpaceSample> kept
        = record ? KSpaceForecast::withSample(samples, { root, now, freeBytes }) : samples;
    // Once a day at most; a failed write tries again at the next check.
    if (kept != samples && !config->setFreeSpaceSamples(KSpaceForecast::toStrings(kept)))
        qCWarning(vkEngine) << "cannot keep the free-space sample of" << root;
    const int days = KSpaceForecast::daysUntilFull(kept, root, now, freeBytes);
    m_daysUntilFull = days;
    return days;
}

void KDiskInfoThread::checkDisks()
{
    KCommon::refreshDrives();
    QString root;
    double freeMiB = 0;
    double totalMiB = 0;
    // Only this thread rebuilds the list, so this one lookup also serves the space check below.
    const bool found = backupDriveInfo(&root, &freeMiB, &totalMiB);
    if (found) {
        emit sigDaysUntilFull(forecast(root, freeMiB, true));
        emit sigSetHomeDiskFree(root, freeMiB, totalMiB);
    } else {
        m_daysUntilFull = -1;
    }

    const qint64 folderSize = KCommon::folderSize(KCommon::backupDirectory(), false);
    if (folderSize >= KConfig::instance()->tipSize())
        emit sigBackedFolderTooLarger(folderSize);

    // A backup path that is not a listed drive root (a removable drive, a folder below a root)
    // neither blocks backups nor warns.
    if (!found || freeMiB > MinimumFreeMiB) {
        setShortOn(QString());
        return;
    }
    setShortOn(root);
    emit sigCurrentDiskFreeNoEnough(
        qlonglong(freeMiB) * 1024 * 1024, KCommon::firstDriveWithFreeSpace(qint64(MinimumFreeMiB)));
}

void KDiskInfoThread::onUpdateCurrentDiskFree()
{
    QString root;
    double freeMiB = 0;
    double totalMiB = 0;
    if (backupDriveInfo(&root, &freeMiB, &totalMiB)) {
        emit sigDaysUntilFull(forecast(root, freeMiB, false));
        emit sigSetHomeDiskFree(root, freeMiB, totalMiB);
    }
}

void KDiskInfoThread::doWork()
{
    do {
        checkDisks();
    } while (sleepInterruptibly(m_cycleIntervalMs));
}
