#include "service/kfileservicemanager.h"

#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kcopysums.h"
#include "core/kfileiconsink.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "core/kfiletypemanager.h"
#include "core/klogging.h"
#include "core/korphancopies.h"
#include "core/krows.h"
#include "core/ktimestamp.h"
#include "discovery/kdesktoprecentfiles.h"
#include "platform/kfilelock.h"
#include "platform/kfileops.h"
#include "platform/kfiletransfer.h"
#include "platform/kpaths.h"
#include "platform/kplatform.h"
#include "service/kbackuprules.h"
#include "storage/kbackupfoldermove.h"
#include "storage/kdiskinfothread.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <utility>

namespace {

// The order in which lookups and removals ask the collections.
constexpr std::array<int, 5> LookupOrder { 0, 1, 3, 2, 4 };

} // namespace

struct KFileServiceManager::PageRows
{
    int type = 0;
    int page = 1;
    QVector<KRows::PageLine> lines;
    int success = 0;
    int failed = 0;
    int pageCount = 0;
};

KFileServiceManager::KFileServiceManager(QObject* parent)
    : IObServerBase(parent)
{
    for (auto& collection : m_collections)
        collection.reset(new KFileObjectMgr);
    // Page requests arrive as queued calls: the object belongs to the GUI thread, whichever
    // thread made it first.
    if (!parent && QCoreApplication::instance())
        moveToThread(QCoreApplication::instance()->thread());
}

KFileServiceManager::~KFileServiceManager()
{
    if (!saveIfChanged(true) && m_loaded)
        qCWarning(vkEngine)
            << "the database could not be saved as the engine ends; its last changes are lost";
    for (auto& collection : m_collections)
        collection->clear();
}

KFileServiceManager* KFileServiceManager::instance()
{
    static KFileServiceManager manager;
    return &manager;
}

KProtectionDatabase::Collections KFileServiceManager::collections() const
{
    KProtectionDatabase::Collections all {};
    for (int t = 0; t < KindCount; ++t)
        all[size_t(t)] = m_collections[size_t(t)].get();
    return all;
}

KFileObjectMgr* KFileServiceManager::collection(int type) const
{
    return type >= 0 && type < KindCount ? m_collections[size_t(type)].get() : nullptr;
}

QString KFileServiceManager::databasePath() const
{
    return m_database.path();
}

bool KFileServiceManager::loadDatabase()
{
    const std::lock_guard<std::mutex> locker(m_loadMutex);
    // A backup folder move that a killed process left is settled first, so that the records
    // find every copy where the backup path points; no move starts until they are read.
    const auto noMoveMeanwhile = KBackupFolderMove::recoverInterruptedMove();
    const KProtectionDatabase::LoadResult result = m_database.load(collections());
    // A file that could neither be read nor be set aside must stay as it is: nothing is saved
    // over it until a later load succeeds.
    m_loaded = result != KProtectionDatabase::LoadResult::Unreadable;
    m_backupsPrivate = false;
    m_listsEveryCopy = result == KProtectionDatabase::LoadResult::Loaded;
    return result != KProtectionDatabase::LoadResult::NoFile;
}

bool KFileServiceManager::isDatabaseLoaded() const
{
    return m_loaded;
}

bool KFileServiceManager::saveDatabase()
{
    if (!m_loaded)
        return false;
    const std::lock_guard<std::mutex> locker(m_saveMutex);
    return saveLocked();
}

bool KFileServiceManager::importDatabase(const QString& databaseFile)
{
    if (!m_loaded)
        static_cast<void>(loadDatabase()); // none yet is fine
    if (!m_loaded)
        return false;
    if (KProtectionDatabase(databaseFile).load(collections()) != KProtectionDatabase::LoadResult::Loaded)
        return false;
    // The sums came with the records: the next save writes them.
    KCopySums::noteNewSum();
    markChanged();
    if (!saveDatabase())
        qCWarning(vkEngine) << "the records brought back are not saved yet; the next cycle saves them";
    return true;
}

bool KFileServiceManager::saveIfChanged(bool wait)
{
    if (!m_loaded)
        return false;
    std::unique_lock<std::mutex> locker(m_saveMutex, std::defer_lock);
    if (wait)
        locker.lock();
    else if (!locker.try_lock())
        return false;
    return (m_changes.load() == m_savedChanges && !m_database.sumsPending()) || saveLocked();
}

void KFileServiceManager::saveOrLeaveDue(bool wait)
{
    if (!saveIfChanged(wait) && m_loaded)
        qCInfo(vkEngine) << "the database was not saved now; the next cycle's end saves it";
}

bool KFileServiceManager::saveLocked()
{
    const quint64 changes = m_changes.load();
    if (!m_database.save(collections()))
        return false;
    m_savedChanges = changes;
    return true;
}

void KFileServiceManager::markChanged()
{
    ++m_changes;
}

void KFileServiceManager::onScanBegin()
{
    // Whichever way the cycles run, the records on disk are in memory before the first one.
    if (!m_loaded && !loadDatabase())
        qCInfo(vkEngine) << "no database yet at" << databasePath();
    if (!m_backupsPrivate.exchange(true))
        makeBackupsPrivate();
    m_sizeLimit = -1;
    m_successThisCycle = 0;
    m_failedThisCycle = 0;
    m_changedCollections = 0;
    m_backupCycle = false;
    m_checkedThisCycle = 0;
    m_cycleGone.clear();
    m_cycleRecords.clear();
    m_cycleLists = {};
}

void KFileServiceManager::onFilesFound(const QStringList* files, int fileType, bool backupAllowed)
{
    if (files && fileType >= 0 && fileType < KindCount)
        m_cycleLists[size_t(fileType)] = *files;
    KFileObjectMgr* target = collection(fileType);
    if (!files || !target
        || !KBackupRules::cycleBacksUp(backupAllowed, KDiskInfoThread::instance()->hasEnoughSpace())) {
        return;
    }
    if (!m_backupCycle) {
        m_backupCycle = true;
        emit sigBackupStarted();
    }
    // A backup folder move waits for this list's copies before it settles where backups go.
    const std::shared_lock<std::shared_mutex> folderInUse(KBackupFolderMove::backupWriters());
    const QString backupDirectory = KCommon::backupDirectory();
    if (!files->isEmpty() && !KFileIO::makeFolder(backupDirectory))
        qCWarning(vkEngine) << "the backup folder cannot be made:" << backupDirectory;
    const qint64 oldest = KBackupRules::oldestBackedUp(KPlatform::instance()->currentMSecsSinceEpoch());
    m_cycleGone.reserve(m_cycleGone.size() + files->size());
    FoundRecords& found = m_found[size_t(fileType)];
    const quint64 change = target->changeCount();
    const bool sameRecords = found.change == change && found.files == *files;
    if (!sameRecords) {
        found.files = *files;
        found.records = QVector<KFileObjectPtr>(files->size());
    }
    // Set again once every file was looked at; any record added or removed meanwhile, this
    // cycle's own included, moves the collection's count past it.
    found.change = 0;
    const QThread* const thread = QThread::currentThread();
    for (int i = 0; i < files->size(); ++i) {
        const QString& path = files->at(i);
        // The module is going away: the files left wait for its next start.
        if (thread->isInterruptionRequested())
            break;
        // One status call serves the existence, change and age checks.
        const KFileStatus file = KFileOps::status(path);
        KFileObjectPtr& record = found.records[i];
        if (!sameRecords)
            record = target->findFile(path);
        if (record)
            m_cycleGone.insert(record.get(), file.isGone());
        const bool backedUp = file.exists && record && record->isCurrentStateBackedUp(file.modifiedMSecs);
        const KBackupRules::Decision decision = KBackupRules::decide(file, backedUp, oldest);
        ++m_checkedThisCycle;
        switch (decision) {
        case KBackupRules::Decision::BackUp:
            if (m_sizeLimit < 0)
                m_sizeLimit = KConfig::instance()->maxVersionedFileSize();
            if (file.size > m_sizeLimit) {
                if (reportOnce(path)) {
                    qCInfo(vkEngine) << "not versioned, larger than the limit of" << m_sizeLimit
                                     << "bytes:" << path << file.size;
                    emit sigFileTooLarge(path, file.size, m_sizeLimit);
                }
                break;
            }
            if (const KFileObjectPtr made = target->backupFile(path, fileType, backupDirectory)) {
                if (!record) {
                    m_cycleGone.insert(made.get(), false);
                    m_cycleRecords.append(made);
                }
                ++m_successThisCycle;
                markChanged();
            } else {
                ++m_failedThisCycle;
            }
            break;
        case KBackupRules::Decision::Unreadable:
            ++m_failedThisCycle;
            break;
        case KBackupRules::Decision::NotRegular:
            if (reportOnce(path))
                qCInfo(vkEngine) << "skipped, not a regular file:" << path;
            break;
        case KBackupRules::Decision::Missing:
        case KBackupRules::Decision::Unchanged:
        case KBackupRules::Decision::TooOld:
            break;
        }
        // Every copy shows; checks show in steps, and at the end of each list.
        if (decision == KBackupRules::Decision::BackUp || m_checkedThisCycle % ProgressStep == 0
            || i == files->size() - 1) {
            emit sigBackupProgress(m_checkedThisCycle, m_successThisCycle);
        }
        if (i == files->size() - 1)
            found.change = change;
    }
}

bool KFileServiceManager::reportOnce(const QString& path)
{
    if (m_reported.contains(path))
        return false;
    m_reported.insert(path);
    return true;
}

void KFileServiceManager::makeBackupsPrivate()
{
    const QString folder = KCommon::backupDirectory();
    if (!KFileOps::status(folder).isDir)
        return;
    QStringList refused;
    if (KFileIO::makePrivateTree(folder, &refused))
        return;
    qCWarning(vkEngine).noquote() << refused.size() << "backups could not be made private to the user, first:"
                                  << refused.mid(0, 10).join(QLatin1String(", "));
}

void KFileServiceManager::onScanFinished()
{
    // On the cycle's thread, so that no page request waits for the disk.
    scanSelfBackups();
    const QHash<const KFileObject*, bool> gone = std::move(m_cycleGone);
    const QVector<KFileObjectPtr> held = std::move(m_cycleRecords);
    m_cycleGone.clear();
    m_cycleRecords.clear();
    if (m_cycleLists != m_listedLists) {
        QHash<QString, Listed> listed;
        for (int kind = 0; kind < KindCount; ++kind) {
            for (const QString& path : qAsConst(m_cycleLists[size_t(kind)]))
                listed.insert(KPaths::foldCase(path), { kind, path });
        }
        {
            const std::lock_guard<std::mutex> locker(m_stateMutex);
            std::swap(m_listed, listed);
        }
        m_listedLists = m_cycleLists;
    }
    m_cycleLists = {};
    emit sigListed();
    // The thread running the cycle may wait here for a refresh the GUI thread started.
    std::unique_lock<std::mutex> serialised(m_refreshMutex);
    // The cycle's copies reach the database (after they are flushed to disk), and the counter,
    // once each; what failed is tried again at the next cycle's end.
    saveOrLeaveDue(true);
    countBackups(m_successThisCycle);
    // Once a day, and at the end of the cycle after a clean-up.
    const QDate today = KPlatform::instance()->currentDate();
    if (m_orphanSweepDue.exchange(false) || today != m_lastOrphanSweep) {
        m_lastOrphanSweep = today;
        if (!removeOrphanCopies())
            qCInfo(vkCleanUp) << "unlisted copies are left for a later cycle";
    }
    refreshAndRepeat(serialised, gone);
    if (m_backupCycle) {
        emit sigBackupFinished(
            KPlatform::instance()->currentMSecsSinceEpoch(), m_successThisCycle, m_failedThisCycle);
    }
}

bool KFileServiceManager::removeOrphanCopies()
{
    if (!m_listsEveryCopy)
        return false;
    // A database set aside as unreadable may still be repaired: the copies it lists stay.
    const QFileInfo database(databasePath());
    if (!QDir(database.path()).entryList({ database.fileName() + QStringLiteral(".unreadable-*") }).isEmpty())
        return false;
    const KFileLock noMove(KBackupFolderMove::lockPath(), KFileLock::DontWait);
    if (!noMove.isLocked() || QFileInfo::exists(KBackupFolderMove::journalPath()))
        return false;
    // Listed after the records were taken: a copy made in between is younger than the margin.
    QVector<KVersionId> named;
    for (const auto& collection : m_collections)
        collection->appendVersionIds(&named);
    std::sort(named.begin(), named.end());
    const KOrphanCopies::Result result = KOrphanCopies::remove(KCommon::backupDirectory(), named,
        KPlatform::instance()->currentMSecsSinceEpoch() - KOrphanCopies::SafetyMarginMSecs);
    return result.failed == 0;
}

QStringList KFileServiceManager::listedFiles() const
{
    const std::lock_guard<std::mutex> locker(m_stateMutex);
    QStringList paths;
    paths.reserve(m_listed.size());
    for (const Listed& file : m_listed)
        paths << file.path;
    return paths;
}

QStringList KFileServiceManager::backUpSavedFiles(const QStringList& paths)
{
    QStringList backedUp;
    if (!m_loaded || !KConfig::instance()->autoBack()
        || !KBackupRules::cycleBacksUp(true, KDiskInfoThread::instance()->hasEnoughSpace())) {
        return backedUp;
    }
    {
        const std::shared_lock<std::shared_mutex> folderInUse(KBackupFolderMove::backupWriters());
        const QString backupDirectory = KCommon::backupDirectory();
        bool folderMade = false;
        const qint64 oldest = KBackupRules::oldestBackedUp(KPlatform::instance()->currentMSecsSinceEpoch());
        for (const QString& path : paths) {
            Listed listed;
            {
                const std::lock_guard<std::mutex> locker(m_stateMutex);
                const auto it = m_listed.constFind(KPaths::foldCase(path));
                if (it == m_listed.cend())
                    continue;
                listed = it.value();
            }
            KFileObjectMgr* target = collection(listed.kind);
            if (!target)
                continue;
            const KFileStatus file = KFileOps::status(listed.path);
            const bool current
                = file.exists && target->isCurrentStateBackedUp(listed.path, file.modifiedMSecs);
            if (KBackupRules::decide(file, current, oldest) == KBackupRules::Decision::BackUp
                && file.size <= KConfig::instance()->maxVersionedFileSize()
                && (folderMade || (folderMade = KFileIO::makeFolder(backupDirectory)))
                && target->backupFile(listed.path, listed.kind, backupDirectory)) {
                backedUp << path;
            }
        }
    }
    if (backedUp.isEmpty())
        return backedUp;
    markChanged();
    if (!KConfig::instance()->addToTotalBackupCount(backedUp.size()))
        m_counterUnsaved = true;
    // One save for the whole burst: at 100,000 records each save writes the whole database.
    saveOrLeaveDue(false);
    return backedUp;
}

void KFileServiceManager::countBackups(int successes)
{
    KConfig* config = KConfig::instance();
    if (successes > 0) {
        // A failed write stays pending in this process, so the sum is never added twice.
        m_counterUnsaved = !config->addToTotalBackupCount(successes);
    } else if (m_counterUnsaved) {
        m_counterUnsaved = !config->retryPendingWrites();
    }
}

void KFileServiceManager::refreshAndRepeat(
    std::unique_lock<std::mutex>& serialised, const QHash<const KFileObject*, bool>& gone)
{
    refresh(gone);
    for (;;) {
        while (m_refreshAgain.exchange(false))
            refresh({});
        serialised.unlock();
        // One asked for after the last look and refused the lock just before it was released.
        if (!m_refreshAgain.load() || !serialised.try_lock())
            return;
    }
}

void KFileServiceManager::refresh(const QHash<const KFileObject*, bool>& gone)
{
    // Most cycles change nothing: rows collected as the last refresh collected them keep its
    // order, and the day lists stay until a row or the date changes.
    std::array<QStringList, KindCount> existing;
    std::array<QStringList, KindCount> deleted;
    bool sameRows = true;
    for (int t = 0; t < KindCount; ++t) {
        QStringList present;
        m_collections[size_t(t)]->collectRows(&present, &deleted[size_t(t)], gone);
        if (present == m_collectedRows[size_t(t)]) {
            existing[size_t(t)] = m_existingRows[size_t(t)];
            continue;
        }
        sameRows = false;
        existing[size_t(t)] = KRows::sorted(present);
        m_collectedRows[size_t(t)] = std::move(present);
    }
    const QDateTime now = KPlatform::instance()->currentDateTime();
    QStringList recent = m_recentRows;
    QStringList today = m_todayRows;
    if (!sameRows || now.date() != m_rowsDate) {
        m_rowsDate = now.date();
        recent = KRows::newerThan(existing, 3, now);
        today = KRows::backedUpWithin(recent, 1, now);
    }

    int type = 0;
    int page = 1;
    QVector<QStringList> replaced;
    ShownRows shown;
    {
        // The lists replaced are released after the lock: freeing thousands of rows must not
        // hold up a page request.
        const std::lock_guard<std::mutex> locker(m_stateMutex);
        for (int t = 0; t < KindCount; ++t) {
            replaced.append(std::exchange(m_existingRows[size_t(t)], existing[size_t(t)]));
            replaced.append(std::exchange(m_deletedRows[size_t(t)], deleted[size_t(t)]));
        }
        replaced.append(std::exchange(m_todayRows, today));
        replaced.append(std::exchange(m_recentRows, recent));
        shown = matchingRows(m_search);
        for (QStringList& rows : m_shownRows)
            replaced.append(std::move(rows));
        m_shownRows = shown;
        type = m_currentType;
        page = m_currentPage;
    }
    replaced.clear();

    emitCounts(shown);
    showPage(type, page);

    int existingTotal = 0;
    int deletedTotal = 0;
    emit sigAfxDeletedPreUpdate();
    for (int t = 0; t < KindCount; ++t) {
        existingTotal += existing[size_t(t)].size();
        deletedTotal += deleted[size_t(t)].size();
        for (const QString& row : qAsConst(deleted[size_t(t)])) {
            const QString path = KRows::split(row).path;
            if (!path.trimmed().isEmpty())
                emit sigAfxDeletedAddRow(path);
        }
    }
    emit sigAfxDeletedEndUpdate();

    emit sigUpdateHomePage(KConfig::instance()->totalBackupCount(), existingTotal, deletedTotal);
}

KFileServiceManager::ShownRows KFileServiceManager::matchingRows(const QString& search) const
{
    ShownRows shown;
    for (int t = 0; t < KindCount; ++t)
        shown[size_t(t)] = KRows::matching(m_existingRows[size_t(t)], search);
    shown[KFileList::of(KListPage::Today)] = KRows::matching(m_todayRows, search);
    shown[KFileList::of(KListPage::Recent)] = KRows::matching(m_recentRows, search);
    return shown;
}

void KFileServiceManager::emitCounts(const ShownRows& shown)
{
    for (int type = 0; type < int(shown.size()); ++type)
        emit sigSetMiscodeTypeLabelNumber(shown[size_t(type)].size(), type);
}

int KFileServiceManager::countOf(int type) const
{
    if (type >= 0 && type < int(m_shownRows.size()))
        return m_shownRows[size_t(type)].size();
    if (type == KFileList::of(KListPage::SelfBackup))
        return matchingSelfBackups().size();
    return 0;
}

int KFileServiceManager::pageCount(int type) const
{
    const std::lock_guard<std::mutex> locker(m_stateMutex);
    return KRows::pageCount(countOf(type));
}

KFileServiceManager::PageRows KFileServiceManager::takePage(int type, int page)
{
    PageRows result;
    result.type = type;
    result.page = page;
    const std::lock_guard<std::mutex> locker(m_stateMutex);
    m_currentType = type;
    m_currentPage = page;
    if (type >= 0 && type < int(m_shownRows.size()))
        result.lines = KRows::page(m_shownRows[size_t(type)], page);
    result.success = m_successThisCycle;
    result.failed = m_failedThisCycle;
    result.pageCount = KRows::pageCount(countOf(type));
    return result;
}

void KFileServiceManager::emitPage(const PageRows& rows)
{
    emit sigAfxMisCodePreUpdate(rows.type, rows.page);
    for (const KRows::PageLine& line : rows.lines) {
        if (line.header)
            emit sigAfxMisCodeAddRow(line.text, QString(), QString(), 1, rows.page);
        else
            emit sigAfxMisCodeAddRow(line.text, line.count, line.latest, 0, rows.page);
    }
    emit sigAfxMisCodeEndUpdate(rows.type, rows.success, rows.failed, rows.page, rows.pageCount);
}

void KFileServiceManager::showPage(int type, int page)
{
    if (type == KFileList::of(KListPage::SelfBackup)) {
        {
            const std::lock_guard<std::mutex> locker(m_stateMutex);
            m_currentType = type;
            m_currentPage = page;
        }
        showSelfBackupPage();
        return;
    }
    emitPage(takePage(type, page));
}

QString KFileServiceManager::selfBackupFolder()
{
    return KPlatform::instance()->documentsFolder() + QStringLiteral("/Tarsel Projects/PRA4");
}

QVector<KFileServiceManager::SelfBackupFile> KFileServiceManager::findSelfBackupFiles()
{
    QVector<SelfBackupFile> found;
    // Nothing below the folder is reached through a link, and no folder twice (a bind mount):
    // a link back up would otherwise repeat the tree without end.
    QSet<QPair<quint64, quint64>> visited;
    KFileIO::WalkVisitor visitor;
    visitor.byName = true;
    visitor.visit = [&](const KFileIO::WalkEntry& entry) {
        const QString name = entry.fileName();
        const KFileStatus& status = entry.status;
        if (name.startsWith(QLatin1Char('.')))
            return KFileIO::WalkStep::Skip;
        if (status.kind() == KFileStatus::Folder) {
            if (entry.depth >= MaxSelfBackupDepth || visited.contains({ status.device, status.inode }))
                return KFileIO::WalkStep::Skip;
            visited.insert({ status.device, status.inode });
        } else if (status.kind() == KFileStatus::File
            && QFileInfo(name).suffix().compare(QLatin1String("PRA4"), Qt::CaseInsensitive) == 0) {
            const QString path = entry.path();
            found.append({ path, KFileOps::status(path).modifiedMSecs });
            KFileIconSink::registerFile(path);
        }
        return KFileIO::WalkStep::Enter;
    };
    visitor.failed = [](const QString&, const QString&, int) {
        return true;
    };
    // The folder itself may be reached through links, as a documents folder kept on another disk.
    const QString folder = selfBackupFolder();
    const KFileStatus root = KFileIO::status(folder);
    if (root.kind() == KFileStatus::Folder) {
        visited.insert({ root.device, root.inode });
        static_cast<void>(KFileIO::walk(folder, visitor, KFileIO::Links::Follow));
    }
    return found;
}

void KFileServiceManager::scanSelfBackups()
{
    QVector<SelfBackupFile> files = findSelfBackupFiles();
    int shown = 0;
    {
        const std::lock_guard<std::mutex> locker(m_stateMutex);
        std::swap(m_selfBackupFiles, files);
        shown = countOf(KFileList::of(KListPage::SelfBackup));
    }
    emit sigSetMiscodeTypeLabelNumber(shown, KFileList::of(KListPage::SelfBackup));
}

int KFileServiceManager::selfBackupFileCount() const
{
    const std::lock_guard<std::mutex> locker(m_stateMutex);
    return countOf(KFileList::of(KListPage::SelfBackup));
}

QVector<KFileServiceManager::SelfBackupFile> KFileServiceManager::matchingSelfBackups() const
{
    QVector<SelfBackupFile> found;
    for (const SelfBackupFile& file : m_selfBackupFiles) {
        if (KRows::nameMatches(file.path, m_search))
            found.append(file);
    }
    return found;
}

void KFileServiceManager::showSelfBackupPage()
{
    int type = 0;
    int page = 1;
    int pages = 0;
    int count = 0;
    QVector<SelfBackupFile> shown;
    {
        const std::lock_guard<std::mutex> locker(m_stateMutex);
        const QVector<SelfBackupFile> files = matchingSelfBackups();
        type = m_currentType;
        page = m_currentPage;
        count = files.size();
        pages = KRows::pageCount(count);
        const int first = (page - 1) * PageSize;
        if (page >= 1 && first < files.size())
            shown = files.mid(first, PageSize);
    }
    emit sigSetMiscodeTypeLabelNumber(count, KFileList::of(KListPage::SelfBackup));
    emit sigAfxMisCodePreUpdate(type, page);
    emit sigAfxMisCodeAddRow(tr("计价自备份(%1)").arg(count), QString(), QString(), 1, page);
    for (const SelfBackupFile& file : qAsConst(shown))
        emit sigAfxMisCodeCopyedAddRow(
            file.path, KTimeStamp::displayTextOfMSecs(file.modifiedMSecs), type, page, pages);
    emit sigAfxMisCodeEndUpdate(type, 0, 0, page, pages);
}

void KFileServiceManager::onShowPage(int nPageIndex)
{
    int type = 0;
    {
        const std::lock_guard<std::mutex> locker(m_stateMutex);
        m_currentPage = nPageIndex;
        type = m_currentType;
    }
    showPage(type, nPageIndex);
}

void KFileServiceManager::onShowPageByType(int nType)
{
    showPage(nType, 1);
}

void KFileServiceManager::onSearch(const QString& text)
{
    ShownRows shown;
    int selfBackupsShown = 0;
    int type = 0;
    {
        const std::lock_guard<std::mutex> locker(m_stateMutex);
        if (text == m_search)
            return;
        m_search = text;
        shown = matchingRows(text);
        m_shownRows = shown;
        selfBackupsShown = countOf(KFileList::of(KListPage::SelfBackup));
        type = m_currentType;
    }
    emitCounts(shown);
    emit sigSetMiscodeTypeLabelNumber(selfBackupsShown, KFileList::of(KListPage::SelfBackup));
    showPage(type, 1);
}

void KFileServiceManager::onUpdate()
{
    // Runs on the GUI thread, which never waits for the scanner: a refresh running there is
    // asked to run once more instead, and a save running there leaves this one to the next cycle.
    std::unique_lock<std::mutex> serialised(m_refreshMutex, std::try_to_lock);
    if (!serialised.owns_lock()) {
        m_refreshAgain = true;
        return;
    }
    saveOrLeaveDue(false);
    refreshAndRepeat(serialised, {});
}

KUnprotectedReason KFileServiceManager::whyNotProtected(const QString& path) const
{
    KUnprotectedReason why;
    if (findFile(path)) {
        why.reason = KUnprotectedReason::Protected;
        return why;
    }
    const KFileStatus file = KFileOps::status(path);
    bool listed = false;
    {
        const std::lock_guard<std::mutex> locker(m_stateMutex);
        listed = m_listed.contains(KPaths::foldCase(path));
    }
    if (file.isGone())
        why.reason = KUnprotectedReason::Missing;
    else if (KFileTypeManager::instance()->fileTypeOfSuffix(QFileInfo(path).suffix())
        == int(FileTypeKind::Unknown))
        why.reason = KUnprotectedReason::TypeNotProtected;
    else if (listed)
        why.reason = KBackupRules::decide(file, false,
                         KBackupRules::oldestBackedUp(KPlatform::instance()->currentMSecsSinceEpoch()))
                == KBackupRules::Decision::TooOld
            ? KUnprotectedReason::NotChangedRecently
            : KUnprotectedReason::WaitingForBackup;
    if (why.reason != KUnprotectedReason::NotListed)
        return why;
    const QString home = KPlatform::instance()->homeFolder();
    const QStringList excluded = KConfig::instance()->recentExcludedFolders();
    for (const QString& pattern : excluded) {
        if (KDesktopRecentFiles::matchesFolderPattern(path, pattern, home)) {
            why.reason = KUnprotectedReason::ExcludedFolder;
            why.folder = pattern;
            break;
        }
    }
    return why;
}

void KFileServiceManager::autoCleanExpiredVersions()
{
    if (!KConfig::instance()->autoClean7Days())
        return;
    for (int t : LookupOrder) {
        if (m_collections[size_t(t)]->dropExpiredVersions())
            ++m_changedCollections;
    }
    // A copy it could not delete is listed by no record now: the sweep takes it.
    m_orphanSweepDue = true;
    if (m_changedCollections >= 1) {
        markChanged();
        saveOrLeaveDue(true);
        m_changedCollections = 0;
    }
}

qint64 KFileServiceManager::totalBackupSize() const
{
    qint64 total = 0;
    for (const auto& collection : m_collections)
        total += collection->totalBackupSize();
    return total;
}

qint64 KFileServiceManager::backupSizeBeforeToday() const
{
    qint64 total = 0;
    for (const auto& collection : m_collections)
        total += collection->backupSizeBeforeToday();
    return total;
}

KContentSum KFileServiceManager::copySum(const QString& fileId) const
{
    const KVersionId version(fileId);
    for (const auto& collection : m_collections) {
        const KContentSum sum = collection->sumOf(version);
        if (sum.isKnown())
            return sum;
    }
    return KContentSum();
}

bool KFileServiceManager::isCopyDamaged(const KVersionId& version) const
{
    const QString fileId = version.text();
    const bool checkable = version.sum().isKnown() && KFileCopyedObject::isSafeFileId(fileId);
    return isCopyDamaged(
        version, checkable ? KFileOps::status(KCommon::backupDirectory() + fileId) : KFileStatus());
}

bool KFileServiceManager::isCopyDamaged(const KVersionId& version, const KFileStatus& copy) const
{
    {
        const std::lock_guard<std::mutex> locker(m_damagedMutex);
        if (m_damaged.contains(version.text()))
            return true;
    }
    const KContentSum recorded = version.sum();
    return recorded.isKnown() && copy.isFile && copy.size != recorded.size;
}

void KFileServiceManager::markCopyDamaged(const QString& fileId)
{
    qCWarning(vkEngine) << "a backup copy is damaged:" << fileId;
    const std::lock_guard<std::mutex> locker(m_damagedMutex);
    m_damaged.insert(fileId);
}

void KFileServiceManager::markCopyRepaired(const QString& fileId)
{
    const std::lock_guard<std::mutex> locker(m_damagedMutex);
    m_damaged.remove(fileId);
}

KFileObjectPtr KFileServiceManager::findFile(const QString& path) const
{
    for (int t : LookupOrder) {
        if (KFileObjectPtr record = m_collections[size_t(t)]->findFile(path))
            return record;
    }
    return nullptr;
}

bool KFileServiceManager::removeVersion(const QString& fileId)
{
    for (int t : LookupOrder) {
        if (m_collections[size_t(t)]->removeVersion(fileId)) {
            markChanged();
            return true;
        }
    }
    return false;
}

bool KFileServiceManager::removeFile(const QString& path)
{
    for (int t : LookupOrder) {
        KFileObjectMgr& collection = *m_collections[size_t(t)];
        if (!collection.findFile(path))
            continue;
        const bool removed = collection.removeFile(path);
        // The versions leave the record before their copies: a copy left is listed by nothing.
        if (!removed)
            m_orphanSweepDue = true;
        markChanged();
        return removed;
    }
    return false;
}

// Both clean-ups save at once unless a save runs on the scanner thread: then the next cycle's
// end saves them, and the GUI thread does not wait.
bool KFileServiceManager::cleanAll()
{
    bool cleaned = true;
    for (const auto& collection : m_collections)
        cleaned = collection->removeAllBackups() && cleaned;
    markChanged();
    saveOrLeaveDue(false);
    if (!cleaned)
        m_orphanSweepDue = true;
    return cleaned;
}

bool KFileServiceManager::cleanBeforeToday()
{
    bool cleaned = true;
    for (const auto& collection : m_collections)
        cleaned = collection->removeBackupsBeforeToday() && cleaned;
    markChanged();
    saveOrLeaveDue(false);
    return cleaned;
}
