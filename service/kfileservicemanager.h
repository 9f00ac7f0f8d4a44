#pragma once

#include "core/iobserverbase.h"
#include "core/kcopysums.h"
#include "core/kfilelist.h"
#include "core/kfileobjectmgr.h"
#include "core/kprotectiondatabase.h"
#include "platform/kfileops.h"
#include "service/kfilerestore.h"

#include <QDate>
#include <QHash>
#include <QSet>
#include <QStringList>
#include <QVector>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

class KFileObject;

// Why a file the user asks about has no versions.
struct KUnprotectedReason
{
    enum Reason
    {
        Protected, // it has a record after all
        Missing, // there is no such file
        TypeNotProtected, // no protected kind has its suffix
        ExcludedFolder, // it lies below a folder the settings exclude (`folder`: the pattern)
        NotListed, // no program's recent-file list names it
        NotChangedRecently, // listed, but not changed during the last seven days
        WaitingForBackup, // listed and changed: the next cycle that backs up takes it
    };
    Reason reason = NotListed;
    QString folder;
};

// The engine: hears every scan cycle, backs up the files that changed, keeps the protection
// database in step, and produces what the pages show (rows by kind and recency, label counts,
// the deleted files, the home page numbers) as signals. Also serves page requests and the
// dialogs' maintenance calls.
//
// The database: it is loaded before the first cycle however the engine starts (the scanner's
// thread, or its single pass when protection is off), and a database that was never loaded is
// never saved, so that nothing replaces a file the engine has not read. Every change of the
// records marks it unsaved; the end of each cycle saves it when it is, so a failed save is made
// again at the next cycle. The backup copies it lists are flushed to disk before it is written.
//
// Threads: the cycle runs on the scanner thread; page requests, onUpdate() and the dialogs'
// calls run on the GUI thread, which never waits for a cycle: page requests take the rows under
// a lock held only to copy them, and an onUpdate() that finds a refresh running leaves it to
// that refresh to run once more. The records are guarded by their collections.
class KFileServiceManager : public IObServerBase
{
    Q_OBJECT

public:
    explicit KFileServiceManager(QObject* parent = nullptr);
    ~KFileServiceManager() override;

    static KFileServiceManager* instance();

    static constexpr int PageSize = 20;
    static constexpr int KindCount = 5;

    void onScanBegin() override;
    void onFilesFound(const QStringList* files, int fileType, bool backupAllowed) override;
    void onScanFinished() override;
    bool onScannerStart() override { return loadDatabase(); }
    void onCleanUpRequested() override { autoCleanExpiredVersions(); }

    QString databasePath() const;
    // Adds the database's records to the collections; false when there is no database file.
    // First finishes or undoes a backup folder move that a killed process left behind: every
    // start goes through here before its first cycle.
    [[nodiscard]] bool loadDatabase();
    // Writes the database now; false when it was never loaded or could not be written (the old
    // file then stays, and the next cycle tries again).
    [[nodiscard]] bool saveDatabase();
    // Adds the records of another database file (one brought back from a second copy), with the
    // sums beside it, for the versions whose copies are in the backup folder, and saves. False
    // when the file could not be read: nothing was added. A save that fails is made again later.
    [[nodiscard]] bool importDatabase(const QString& databaseFile);
    bool isDatabaseLoaded() const;

    // The seven-day clean-up, when the setting allows it.
    void autoCleanExpiredVersions();
    // Removes the copies in the backup folder that no record names and that are older than
    // KOrphanCopies::SafetyMarginMSecs. Runs at the end of a cycle once a day and after a
    // clean-up, but never when this start found no database or an unreadable one, while one
    // set aside is kept, or while the backup folder moves. True when it ran and nothing it
    // should have removed stayed.
    [[nodiscard]] bool removeOrphanCopies();

    // `list` is one of KFileList's: the files of a kind, or a list across the kinds.
    void showPage(int list, int page);
    int pageCount(int list) const;
    // As the last scan found them; zero before the first.
    int selfBackupFileCount() const;
    qint64 totalBackupSize() const;
    qint64 backupSizeBeforeToday() const;

    // The record of `path`, held for as long as the caller keeps the pointer.
    KFileObjectPtr findFile(const QString& path) const;
    // Why `path` has no record, from the recent-file lists of the last cycle and the settings.
    KUnprotectedReason whyNotProtected(const QString& path) const;
    [[nodiscard]] bool removeVersion(const QString& fileId);
    [[nodiscard]] bool removeFile(const QString& path);
    [[nodiscard]] bool cleanAll();
    [[nodiscard]] bool cleanBeforeToday();

    KFileObjectMgr* collection(int type) const;

    // Restores a version, or any other copy carrying its own modification time, over `target`,
    // backing up what is there first (service/kfilerestore.h).
    KRestoreResult restoreVersion(
        const QString& fileId, const QString& target, const std::function<void()>& afterEachChunk = {});
    KRestoreResult restoreFile(
        const QString& copyPath, const QString& target, const std::function<void()>& afterEachChunk = {});
    // Backs the regular file at `path` up as a new version, its record made as the scanner would
    // make it, unless a version whose copy is present carries its modification time. True when
    // its current content is in the backup folder and in the saved database.
    [[nodiscard]] bool backUpCurrentState(const QString& path);
    // Backs up `paths` as a cycle that backs up would, on any thread: only files the last cycle
    // listed, by the same rules and through the same copy, then saves once. Returns those of
    // `paths` that got a version.
    [[nodiscard]] QStringList backUpSavedFiles(const QStringList& paths);
    // The files the last cycle listed.
    QStringList listedFiles() const;

    // What was recorded of the copy `fileId` when it was made (size and content hash); not known
    // for a version made before sums were kept.
    KContentSum copySum(const QString& fileId) const;
    // Whether the copy of `version` is known to be damaged: a restore found its content changed,
    // or its size is not the one recorded with the version.
    [[nodiscard]] bool isCopyDamaged(const KVersionId& version) const;
    // The same from the copy's status, read already; safe on any thread.
    [[nodiscard]] bool isCopyDamaged(const KVersionId& version, const KFileStatus& copy) const;
    void markCopyDamaged(const QString& fileId);
    // A whole copy is back in place of a damaged or missing one.
    void markCopyRepaired(const QString& fileId);
    // The pricing product's own backups, found in the user's documents folder.
    static QString selfBackupFolder();
    // Looks for them and keeps what it found for the self-backup page, which never looks at the
    // disk itself. Every cycle does it, on its own thread.
    void scanSelfBackups();
    static constexpr int MaxSelfBackupDepth = 64;

    // Checks, or copies, between two reports of a cycle's progress.
    static constexpr int ProgressStep = 64;

signals:
    void sigAfxMisCodePreUpdate(int nType, int nPageIndex);
    void sigAfxMisCodeAddRow(const QString& strFileName, const QString& strBackedNumber,
        const QString& strLastBackedTime, int rowType, int nPageIndex);
    void sigAfxMisCodeCopyedAddRow(
        const QString& strFileName, const QString& strDateTime, int nType, int nPageIndex, int nTotalPage);
    void sigAfxMisCodeEndUpdate(
        int nType, int nSuccessNumberThisTime, int nFailedNumberThisTime, int nPageIndex, int nTotalPage);
    void sigSetMiscodeTypeLabelNumber(int nNumber, int nType);
    void sigAfxDeletedPreUpdate();
    void sigAfxDeletedAddRow(const QString& strFileName);
    void sigAfxDeletedEndUpdate();
    void sigUpdateHomePage(int nTotalNumber, int nBackedNumber, int nDeletedNumber);
    // Emitted by dialogs that changed backups; the main window connects it to onUpdate().
    void sigUpdate();
    // A restore backed the file up as a new version before replacing it.
    void sigVersionAdded(const QString& strFileName, const QString& strFileId);
    // A cycle that backs up: it began; the files it has checked and copied so far; it ended,
    // at `finishedMSecs` of the platform's clock, with its copies and failures.
    void sigBackupStarted();
    void sigBackupProgress(int nChecked, int nCopied);
    void sigBackupFinished(qlonglong finishedMSecs, int nCopied, int nFailed);
    // A recently used file of `size` bytes is larger than the user's limit and is not versioned;
    // once per file and process.
    void sigFileTooLarge(const QString& strFileName, qint64 size, qint64 limit);
    // A cycle has listed the files it found: listedFiles() gives them.
    void sigListed();

public slots:
    void onShowPage(int nPageIndex);
    void onShowPageByType(int nType);
    void onUpdate();
    // Keeps only the files whose name holds `text` (any case) in the lists and their counts, and
    // shows the first page of the current list.
    void onSearch(const QString& text);

private:
    struct PageRows;
    KProtectionDatabase::Collections collections() const;
    PageRows takePage(int type, int page);
    void emitPage(const PageRows& rows);
    struct SelfBackupFile
    {
        QString path;
        qint64 modifiedMSecs = 0;
    };
    void showSelfBackupPage();
    static QVector<SelfBackupFile> findSelfBackupFiles();
    void markChanged();
    // Saves when anything changed since the last save; without `wait`, gives up at once when
    // another thread is saving (the database then stays marked unsaved).
    [[nodiscard]] bool saveIfChanged(bool wait);
    [[nodiscard]] bool saveLocked();
    // saveIfChanged(); a save not made now stays due for the next cycle's end.
    void saveOrLeaveDue(bool wait);
    // Makes the backup folder and all in it private, once after every load.
    void makeBackupsPrivate();
    // Whether the cycle has said so about `path` already; remembers it.
    bool reportOnce(const QString& path);
    void countBackups(int successes);
    // Refreshes, then once more for every refresh asked for meanwhile; unlocks `serialised`.
    void refreshAndRepeat(
        std::unique_lock<std::mutex>& serialised, const QHash<const KFileObject*, bool>& gone);
    void refresh(const QHash<const KFileObject*, bool>& gone);
    // The lists of the page types 0 to 6 that match `search`.
    using ShownRows = std::array<QStringList, KFileList::of(KListPage::Recent) + 1>;
    ShownRows matchingRows(const QString& search) const; // under m_stateMutex
    void emitCounts(const ShownRows& shown);
    int countOf(int type) const; // under m_stateMutex
    QVector<SelfBackupFile> matchingSelfBackups() const; // under m_stateMutex

    std::array<std::unique_ptr<KFileObjectMgr>, KindCount> m_collections;
    KProtectionDatabase m_database;
    std::mutex m_loadMutex;
    std::atomic<bool> m_loaded { false };
    std::atomic<bool> m_backupsPrivate { false };
    // The records came from a database file, so that a copy they do not name is an orphan.
    std::atomic<bool> m_listsEveryCopy { false };
    std::atomic<bool> m_orphanSweepDue { false };
    QDate m_lastOrphanSweep; // scanner thread only
    std::mutex m_saveMutex;
    // Changes of the records, counted; the database is unsaved while they differ.
    std::atomic<quint64> m_changes { 0 };
    quint64 m_savedChanges = 0; // under m_saveMutex

    // Serialises whole refreshes: the scanner's end of cycle and the GUI's onUpdate().
    std::mutex m_refreshMutex;
    std::atomic<bool> m_refreshAgain { false };
    // The rows the last refresh collected, in the records' order, and the date it took the day
    // lists for; under m_refreshMutex. The sorted lists below are written only by a refresh.
    std::array<QStringList, KindCount> m_collectedRows;
    QDate m_rowsDate;
    // The registry counter could not be written; it is written again at the next cycle's end.
    std::atomic<bool> m_counterUnsaved { false };

    mutable std::mutex m_stateMutex;
    std::array<QStringList, KindCount> m_existingRows;
    std::array<QStringList, KindCount> m_deletedRows;
    QStringList m_todayRows;
    QStringList m_recentRows;
    // What the page types 0 to 6 show: their rows whose names match the search.
    ShownRows m_shownRows;
    QString m_search;
    QVector<SelfBackupFile> m_selfBackupFiles; // all the last cycle found
    // The paths the last cycle's lists named (case folded), with their kinds and as listed; the
    // cycle collects them in m_cycleListed, on its own thread.
    struct Listed
    {
        int kind = 0;
        QString path;
    };
    QHash<QString, Listed> m_listed;
    // The lists the cycle was handed by kind, and those m_listed was made from: most cycles
    // find the same files, and m_listed is made again only when they differ.
    std::array<QStringList, KindCount> m_cycleLists;
    std::array<QStringList, KindCount> m_listedLists;
    int m_currentType = KFileList::of(KListPage::Today);
    int m_currentPage = 1;

    std::atomic<int> m_successThisCycle { 0 };
    std::atomic<int> m_failedThisCycle { 0 };
    int m_changedCollections = 0; // scanner thread only
    // The cycle backs up, and what it has checked so far; only the thread running it touches them.
    bool m_backupCycle = false;
    int m_checkedThisCycle = 0;
    // Whether the file of each record the cycle looked at is gone, so that its rows need not
    // ask again; the records are held meanwhile (in m_found, and those it made in
    // m_cycleRecords), so that none removed lends its address to a new one. Only the thread that
    // runs the cycle touches them, and the next two.
    QHash<const KFileObject*, bool> m_cycleGone;
    QVector<KFileObjectPtr> m_cycleRecords;
    // By kind, the list a cycle was handed and the record it found for each of its files, with
    // the collection's changeCount() then: the next cycle handed the same list over the same
    // records takes them from here instead of looking each up.
    struct FoundRecords
    {
        QStringList files;
        QVector<KFileObjectPtr> records;
        quint64 change = 0;
    };
    std::array<FoundRecords, KindCount> m_found;
    // The files the cycles skipped and said so.
    QSet<QString> m_reported;
    // The largest file versioned; read once per cycle, when a file is about to be copied.
    qint64 m_sizeLimit = -1;

    mutable std::mutex m_damagedMutex;
    QSet<QString> m_damaged;
};
