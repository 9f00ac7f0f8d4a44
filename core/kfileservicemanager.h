#pragma once

#include "core/iobserverbase.h"
#include "core/kfilerestore.h"
#include "core/kprotectiondatabase.h"
#include "platform/kfileops.h"

#include <QHash>
#include <QStringList>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

class KFileObject;
class KFileObjectMgr;

// The engine: hears every scan cycle, backs up the files that changed, keeps the protection
// database in step, and produces what the pages show (rows by kind and recency, label counts,
// the deleted files, the home page numbers) as signals. Also serves page requests and the
// dialogs' maintenance calls.
//
// Threads: the cycle runs on the scanner thread; page requests, onUpdate() and the dialogs'
// calls run on the GUI thread. The records are guarded by their collections; the rows, counts,
// current page and cycle counters by this object's state lock, and the signals of a refresh are
// emitted from a copy taken under it, never while holding it.
class KFileServiceManager : public IObServerBase
{
    Q_OBJECT

public:
    explicit KFileServiceManager(QObject* parent = nullptr);
    ~KFileServiceManager() override;

    static KFileServiceManager* instance();

    static constexpr int PageSize = 20;
    static constexpr int KindCount = 5;
    enum PageType
    {
        TodayPage = 5,
        RecentPage = 6,
        SelfBackupPage = 7,
        NoPage = 8
    };

    void onScanBegin() override;
    void onFilesFound(const QStringList* files, int fileType, bool backupAllowed) override;
    void onScanFinished() override;

    QString databasePath() const;
    bool loadDatabase();
    bool saveDatabase();

    // The seven-day clean-up, when the setting allows it.
    void autoCleanExpiredVersions();

    void showPage(int type, int page);
    int pageCount(int type) const;
    int selfBackupFileCount() const;
    qint64 totalBackupSize() const;
    qint64 backupSizeBeforeToday() const;

    KFileObject* findFile(const QString& path) const;
    bool removeVersion(const QString& fileId);
    bool removeFile(const QString& path);
    bool cleanAll();
    bool cleanBeforeToday();

    KFileObjectMgr* collection(int type) const;

    // Restores a version, or any other copy carrying its own modification time, over `target`,
    // backing up what is there first (core/kfilerestore.h).
    KRestoreResult restoreVersion(
        const QString& fileId, const QString& target, const std::function<void()>& afterEachChunk = {});
    KRestoreResult restoreFile(
        const QString& copyPath, const QString& target, const std::function<void()>& afterEachChunk = {});
    // The pricing product's own backups, found in the user's documents folder.
    static QString selfBackupFolder();

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

public slots:
    void onShowPage(int nPageIndex);
    void onShowPageByType(int nType);
    void onUpdate();

private:
    struct PageRows;
    KProtectionDatabase::Collections collections() const;
    PageRows takePage(int type, int page);
    void emitPage(const PageRows& rows);
    void showSelfBackupPage();
    static QStringList findSelfBackupFiles();
    static int pagesFor(int count);
    void refresh(const QHash<QString, KFileStatus>& known);
    int countOf(int type) const; // under m_stateMutex

    std::array<std::unique_ptr<KFileObjectMgr>, KindCount> m_collections;
    KProtectionDatabase m_database;

    // Serialises whole refreshes: the scanner's end of cycle and the GUI's onUpdate().
    std::mutex m_refreshMutex;

    mutable std::mutex m_stateMutex;
    std::array<QStringList, KindCount> m_existingRows;
    std::array<QStringList, KindCount> m_deletedRows;
    std::array<int, KindCount> m_existingCount {};
    QStringList m_todayRows;
    int m_todayCount = 0;
    QStringList m_recentRows;
    int m_recentCount = 0;
    QStringList m_selfBackupFiles { QString() };
    int m_selfBackupCount = 0;
    int m_currentType = TodayPage;
    int m_currentPage = 1;

    std::atomic<int> m_successThisCycle { 0 };
    std::atomic<int> m_failedThisCycle { 0 };
    int m_changedCollections = 0; // scanner thread only
    // The status of every file the cycle looked at, so that its rows need not ask again.
    // Only the thread that runs the cycle touches it.
    QHash<QString, KFileStatus> m_cycleStatus;
};
