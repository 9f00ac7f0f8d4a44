#pragma once

#include "core/atriumthread.h"

#include <QString>

#include <atomic>
#include <mutex>

// Watches the backup drive: every cycle it rebuilds the drive list, reports the backup drive's
// space, warns when the backup folder has reached the reminder size, and decides whether there
// is room enough to back up. Lives on the GUI thread; its body runs on its own thread.
class KDiskInfoThread : public AtriumThread
{
    Q_OBJECT

public:
    explicit KDiskInfoThread(QObject* parent = nullptr);
    ~KDiskInfoThread() override;

    // The monitor of the process.
    static KDiskInfoThread* instance();

    // The drive record whose root is the configured backup path; false when none is.
    bool backupDriveInfo(QString* root, double* freeMiB, double* totalMiB) const;
    // Whether the backup drive had more than MinimumFreeMiB free at the last check. A shortage
    // holds only for the backup path it was measured on: once the folder has moved, backups go on
    // until the next check has measured the new drive.
    bool hasEnoughSpace() const;
    // Days until the backup drive is full at the growth of the last week, from the daily samples
    // the checks keep in the settings; -1 when there is no estimate.
    int daysUntilFull() const { return m_daysUntilFull; }

    // One cycle of the body, on the calling thread.
    void checkDisks();
    void setCycleInterval(int msecs);

    static constexpr int DefaultCycleIntervalMs = 30000;
    static constexpr double MinimumFreeMiB = 15.0;

signals:
    // Before each sigSetHomeDiskFree: the days of daysUntilFull().
    void sigDaysUntilFull(int days);
    void sigSetHomeDiskFree(const QString& strDisk, double dwFreeSize, double dwTotalSize);
    void sigCurrentDiskFreeNoEnough(qlonglong dwSize, const QString& strFirstDisk);
    void sigBackedFolderTooLarger(qlonglong lSize);
    void sigUpdateDiskFreeSize();

public slots:
    void onUpdateCurrentDiskFree();

protected:
    void doWork() override;

private:
    void setShortOn(const QString& path);
    // Sets and returns m_daysUntilFull for `root`; `record` adds the day's sample first.
    int forecast(const QString& root, double freeMiB, bool record);

    mutable std::mutex m_shortageMutex;
    QString m_shortOnPath; // empty: no shortage

    std::atomic<int> m_daysUntilFull { -1 };
    std::atomic<int> m_cycleIntervalMs { DefaultCycleIntervalMs };

    Q_DISABLE_COPY(KDiskInfoThread)
};
