#pragma once

#include "core/isubjectbase.h"
#include "discovery/kdesktoprecentfiles.h"
#include "discovery/kproductcatalog.h"
#include "discovery/krecentfilescan.h"
#include "storage/atriumthread.h"

#include <QStringList>

#include <array>
#include <atomic>
#include <mutex>

class KFileServiceManager;

// The recent-file scanner. Its thread loads the product catalog and the protection database,
// then every ten seconds reads the recent-file lists of the office programs, the office suite,
// the drawing program, the catalog's products and the desktop itself, sorts the paths into the
// five file kinds and hands them to its observers. The first cycle after a start, and every
// 31st after it, allows backups.
class KDiskFileManager : public AtriumThread, public ISubjectBase
{
    Q_OBJECT

public:
    // `service` is the engine whose database and clean-up the thread drives; null means the
    // process-wide one.
    explicit KDiskFileManager(KFileServiceManager* service = nullptr, QObject* parent = nullptr);
    ~KDiskFileManager() override;

    static KDiskFileManager* instance();

    [[nodiscard]] bool loadProductCatalog(const QString& path);
    const KProductCatalog& catalog() const { return m_catalog; }

    // Starts the thread unless it runs; a stop requested earlier is forgotten.
    void startScan();
    // The thread ends after its current cycle, once its wait has run out.
    void stopScan();
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
        Full
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

protected:
    void doWork() override;

private:
    void scan();
    void registerIcons();
    void notifyCycle(bool backupAllowed);

    KFileServiceManager* service() const;

    KFileServiceManager* m_service;
    KProductCatalog m_catalog;
    KRecentFileScan m_recentFiles;
    KDesktopRecentFiles m_desktopRecentFiles;
    mutable std::mutex m_listsMutex;
    std::array<QStringList, 5> m_lists;
    std::atomic<bool> m_stopRequested { false };
    std::atomic<bool> m_autoCleanRequested { true };
    // Starts full, so the first cycle after loading allows backups; then every 31st does.
    int m_cycleCounter = 300;
    std::atomic<int> m_cycleIntervalMs { CycleIntervalMs };
};
