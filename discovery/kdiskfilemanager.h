#pragma once

#include "core/atriumthread.h"
#include "core/isubjectbase.h"
#include "discovery/kdesktoprecentfiles.h"
#include "discovery/kproductcatalog.h"
#include "discovery/krecentfilescan.h"

#include <QStringList>

#include <array>
#include <atomic>
#include <mutex>

// The recent-file scanner. Its thread loads the product catalog and has its observers load the
// protection database, then every ten seconds reads the recent-file lists of the office programs,
// the office suite, the drawing program, the catalog's products and the desktop itself, sorts the
// paths into the five file kinds and hands them to its observers. The first cycle after a start,
// and every 31st after it, allows backups.
class KDiskFileManager : public AtriumThread, public ISubjectBase
{
    Q_OBJECT

public:
    explicit KDiskFileManager(QObject* parent = nullptr);
    ~KDiskFileManager() override;

    static KDiskFileManager* instance();

    [[nodiscard]] bool loadProductCatalog(const QString& path);
    const KProductCatalog& catalog() const { return m_catalog; }

    // Starts the thread unless it runs; a stop requested earlier is forgotten.
    void startScan();
    // The thread ends after its current cycle, once its wait has run out.
    void stopScan();
    // A cycle that backs up runs at once: the running thread stops waiting for it, and a thread
    // that does not run (protection is off) is started for that one cycle. The next cycle that
    // backs up on its own comes a whole round later.
    void backUpNow();
    // The engine's seven-day clean-up runs in the next cycle.
    void requestAutoClean();
    // One scan and one round of notifications on the caller's thread, never allowing backups.
    // Must not overlap a running scanner thread.
    void scanOnce();

    // One pass of the thread's loop, without its wait: scan, learn icons, run a requested
    // clean-up, notify. The cycle counter decides whether backups are allowed, unless the pass
    // is asked to be a full one (benchmarks measure full passes without waiting for them).
    enum class CycleKind
    {
        Counted,
        Full,
        // Full, and the round of cycles starts again.
        Requested
    };
    void runCycle(CycleKind kind = CycleKind::Counted);

    // The files of kind 0 to 4 found by the last scan.
    QStringList foundFiles(int kind) const;
    // The desktop's own recent-file lists, which add to the files of kind 4.
    const KDesktopRecentFiles& desktopRecentFiles() const { return m_desktopRecentFiles; }

    static constexpr int CycleIntervalMs = 10000;
    // Tests shorten the wait between cycles.
    void setCycleInterval(int msecs) { m_cycleIntervalMs = msecs; }

signals:
    void sigScanFinished();
    // When the next cycle that backs up is due, in milliseconds since the epoch of the
    // platform's clock; -1 once the thread has stopped and none is.
    void sigNextBackupAt(qlonglong msecs);

protected:
    void doWork() override;

private:
    void scan();
    void registerIcons();
    void notifyCycle(bool backupAllowed);
    // Whether the loop runs another cycle; when not, it is marked as ending, so that a later
    // start or backUpNow() starts the thread anew.
    bool keepRunning();
    // Marks the loop as running and starts the thread unless it already loops.
    void startLoop();
    qint64 nextBackupAt() const;

    KProductCatalog m_catalog;
    KRecentFileScan m_recentFiles;
    KDesktopRecentFiles m_desktopRecentFiles;
    mutable std::mutex m_listsMutex;
    std::array<QStringList, 5> m_lists;
    std::atomic<bool> m_stopRequested { false };
    std::atomic<bool> m_autoCleanRequested { true };
    std::atomic<bool> m_backupNowRequested { false };
    // Between a start and the loop's decision to end; guarded by m_loopMutex.
    std::mutex m_loopMutex;
    bool m_looping = false;
    // Starts full, so the first cycle after loading allows backups; then every 31st does.
    int m_cycleCounter = 300;
    std::atomic<int> m_cycleIntervalMs { CycleIntervalMs };
};
