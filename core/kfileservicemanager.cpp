#include "core/kfileservicemanager.h"

#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileiconsink.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "core/ktimestamp.h"
#include "platform/kfileops.h"
#include "platform/kplatform.h"
#include "storage/kbackupfoldermove.h"
#include "storage/kdiskinfothread.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

// The order in which lookups and removals ask the collections.
constexpr std::array<int, 5> LookupOrder { 0, 1, 3, 2, 4 };

// A row is "path|count|latest|month". The last three fields never hold "|", so a row is split
// from the right: a path may contain "|" on Linux. The path is not trimmed either, since blanks
// at its ends are part of a Linux file name.
struct RowFields
{
    QString path;
    QString count;
    QString latest;
    QString month;
};

RowFields splitRow(const QString& row)
{
    RowFields fields;
    const int monthAt = row.lastIndexOf(QLatin1Char('|'));
    const int latestAt = monthAt > 0 ? row.lastIndexOf(QLatin1Char('|'), monthAt - 1) : -1;
    const int countAt = latestAt > 0 ? row.lastIndexOf(QLatin1Char('|'), latestAt - 1) : -1;
    if (countAt < 0) {
        fields.path = row;
        return fields;
    }
    fields.path = row.left(countAt);
    fields.count = row.mid(countAt + 1, latestAt - countAt - 1).trimmed();
    fields.latest = row.mid(latestAt + 1, monthAt - latestAt - 1).trimmed();
    fields.month = row.mid(monthAt + 1).trimmed();
    return fields;
}

// "yyyy年MM月" as yyyy * 100 + MM; -1 when it names no month.
int monthKey(const QString& month)
{
    if (month.size() != 8 || month.at(4) != QChar(0x5E74) || month.at(7) != QChar(0x6708))
        return -1;
    bool yearOk = false;
    bool monthOk = false;
    const int year = month.leftRef(4).toInt(&yearOk);
    const int number = month.midRef(5, 2).toInt(&monthOk);
    if (!yearOk || !monthOk || year < 1 || number < 1 || number > 12)
        return -1;
    return year * 100 + number;
}

// A "yyyy-MM-dd hh:mm:ss" text is ordered as its time; anything else never qualifies.
bool isListTime(const QString& text)
{
    return KTimeStamp::isDisplayText(text);
}

// Newest creation month first and, within a month, the most recently modified file first; an
// unreadable month comes last. Rows equal in both keep their path order. Identical rows and
// empty rows are dropped.
QStringList sortRows(const QStringList& rows)
{
    struct Keyed
    {
        int month;
        QString latest;
        const QString* row;
    };
    QVector<Keyed> keyed;
    keyed.reserve(rows.size());
    QSet<QString> seen;
    for (const QString& row : rows) {
        if (row.trimmed().isEmpty() || seen.contains(row))
            continue;
        seen.insert(row);
        const RowFields fields = splitRow(row);
        keyed.append({ monthKey(fields.month), isListTime(fields.latest) ? fields.latest : QString(), &row });
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.month != b.month)
            return a.month > b.month;
        return a.latest > b.latest;
    });
    QStringList sorted;
    sorted.reserve(keyed.size());
    for (const Keyed& entry : qAsConst(keyed))
        sorted.append(*entry.row);
    return sorted;
}

// The rows whose latest backed-up modification lies less than `days` days before now.
QStringList rowsNewerThan(const std::array<QStringList, 5>& existing, int days)
{
    QStringList recent;
    for (const QStringList& rows : existing) {
        const QString threshold = KPlatform::instance()->currentDateTime().addDays(-days).toString(
            QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        for (const QString& row : rows) {
            const QString latest = splitRow(row).latest;
            if (isListTime(latest) && latest > threshold)
                recent.append(row);
        }
    }
    return recent;
}

} // namespace

struct KFileServiceManager::PageRows
{
    int type = 0;
    int page = 1;
    QStringList rows;
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
    saveDatabase();
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
    return m_database.load(collections());
}

bool KFileServiceManager::saveDatabase()
{
    return m_database.save(collections());
}

void KFileServiceManager::onScanBegin()
{
    m_successThisCycle = 0;
    m_failedThisCycle = 0;
    m_changedCollections = 0;
    m_cycleStatus.clear();
}

void KFileServiceManager::onFilesFound(const QStringList* files, int fileType, bool backupAllowed)
{
    KFileObjectMgr* target = collection(fileType);
    if (!files || !target || !backupAllowed || !KDiskInfoThread::instance()->hasEnoughSpace())
        return;
    // A backup folder move waits for this list's copies before it settles where backups go.
    const std::shared_lock<std::shared_mutex> folderInUse(KBackupFolderMove::backupWriters());
    const QString backupDirectory = KCommon::backupDirectory();
    if (!files->isEmpty() && !QFileInfo::exists(backupDirectory))
        QDir().mkpath(backupDirectory);
    // Files not modified during the last seven days are never backed up: the file's time plus
    // seven days must lie after now, that is, the file's time after now less seven days.
    const qint64 oldestBackedUp = KPlatform::instance()->currentDateTime().addDays(-7).toMSecsSinceEpoch();
    m_cycleStatus.reserve(m_cycleStatus.size() + files->size());
    for (const QString& path : *files) {
        // One status call serves the existence, change and age checks.
        const KFileStatus file = KFileOps::status(path);
        m_cycleStatus.insert(path, file);
        if (!file.exists || target->isCurrentStateBackedUp(path, file.modifiedMSecs))
            continue;
        if (file.modifiedMSecs <= oldestBackedUp)
            continue;
        if (target->backupFile(path, fileType, backupDirectory))
            ++m_successThisCycle;
        else
            ++m_failedThisCycle;
    }
}

void KFileServiceManager::onScanFinished()
{
    const QHash<QString, KFileStatus> known = std::move(m_cycleStatus);
    m_cycleStatus.clear();
    refresh(known);
}

void KFileServiceManager::refresh(const QHash<QString, KFileStatus>& known)
{
    const std::lock_guard<std::mutex> serialised(m_refreshMutex);
    const int success = m_successThisCycle;
    if (success > 0) {
        saveDatabase();
        KConfig* config = KConfig::instance();
        config->setTotalBackupCount(config->totalBackupCount() + success);
    }

    std::array<QStringList, KindCount> existing;
    std::array<QStringList, KindCount> deleted;
    for (int t = 0; t < KindCount; ++t) {
        QStringList present;
        m_collections[size_t(t)]->collectRows(&present, &deleted[size_t(t)], known);
        existing[size_t(t)] = sortRows(present);
    }
    const QStringList today = rowsNewerThan(existing, 1);
    const QStringList recent = rowsNewerThan(existing, 3);

    int type = 0;
    int page = 1;
    {
        const std::lock_guard<std::mutex> locker(m_stateMutex);
        for (int t = 0; t < KindCount; ++t) {
            m_existingRows[size_t(t)] = existing[size_t(t)];
            m_deletedRows[size_t(t)] = deleted[size_t(t)];
            m_existingCount[size_t(t)] = existing[size_t(t)].size();
        }
        m_todayRows = today;
        m_todayCount = today.size();
        m_recentRows = recent;
        m_recentCount = recent.size();
        type = m_currentType;
        page = m_currentPage;
    }

    for (int t = 0; t < KindCount; ++t)
        emit sigSetMiscodeTypeLabelNumber(existing[size_t(t)].size(), t);
    emit sigSetMiscodeTypeLabelNumber(today.size(), TodayPage);
    emit sigSetMiscodeTypeLabelNumber(recent.size(), RecentPage);

    showPage(type, page);

    int existingTotal = 0;
    int deletedTotal = 0;
    emit sigAfxDeletedPreUpdate();
    for (int t = 0; t < KindCount; ++t) {
        existingTotal += existing[size_t(t)].size();
        deletedTotal += deleted[size_t(t)].size();
        for (const QString& row : qAsConst(deleted[size_t(t)])) {
            const QString path = splitRow(row).path;
            if (!path.trimmed().isEmpty())
                emit sigAfxDeletedAddRow(path);
        }
    }
    emit sigAfxDeletedEndUpdate();

    emit sigUpdateHomePage(KConfig::instance()->totalBackupCount(), existingTotal, deletedTotal);
}

int KFileServiceManager::pagesFor(int count)
{
    return count / PageSize + (count % PageSize >= 1 ? 1 : 0);
}

int KFileServiceManager::countOf(int type) const
{
    if (type >= 0 && type < KindCount)
        return m_existingCount[size_t(type)];
    switch (type) {
    case TodayPage:
        return m_todayCount;
    case RecentPage:
        return m_recentCount;
    case SelfBackupPage:
        return m_selfBackupCount;
    default:
        return 0;
    }
}

int KFileServiceManager::pageCount(int type) const
{
    const std::lock_guard<std::mutex> locker(m_stateMutex);
    return pagesFor(countOf(type));
}

KFileServiceManager::PageRows KFileServiceManager::takePage(int type, int page)
{
    PageRows result;
    result.type = type;
    result.page = page;
    const std::lock_guard<std::mutex> locker(m_stateMutex);
    m_currentType = type;
    m_currentPage = page;
    const QStringList* source = nullptr;
    if (type >= 0 && type < KindCount)
        source = &m_existingRows[size_t(type)];
    else if (type == TodayPage)
        source = &m_todayRows;
    else if (type == RecentPage)
        source = &m_recentRows;
    const int first = (page - 1) * PageSize;
    if (source && page >= 1 && first < source->size())
        result.rows = source->mid(first, PageSize);
    result.success = m_successThisCycle;
    result.failed = m_failedThisCycle;
    result.pageCount = pagesFor(countOf(type));
    return result;
}

void KFileServiceManager::emitPage(const PageRows& rows)
{
    emit sigAfxMisCodePreUpdate(rows.type, rows.page);
    QString header;
    for (const QString& row : rows.rows) {
        const RowFields fields = splitRow(row);
        if (fields.month != header) {
            header = fields.month;
            emit sigAfxMisCodeAddRow(header, QString(), QString(), 1, rows.page);
        }
        emit sigAfxMisCodeAddRow(fields.path, fields.count, fields.latest, 0, rows.page);
    }
    emit sigAfxMisCodeEndUpdate(rows.type, rows.success, rows.failed, rows.page, rows.pageCount);
}

void KFileServiceManager::showPage(int type, int page)
{
    if (type == SelfBackupPage) {
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

QStringList KFileServiceManager::findSelfBackupFiles()
{
    QStringList found;
    const std::function<void(const QString&)> search = [&](const QString& folder) {
        const QFileInfoList entries = QDir(folder).entryInfoList(
            QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
        for (const QFileInfo& entry : entries) {
            if (entry.isDir())
                search(entry.absoluteFilePath());
            else if (entry.suffix().compare(QLatin1String("PRA4"), Qt::CaseInsensitive) == 0)
                found.append(entry.absoluteFilePath());
        }
    };
    search(selfBackupFolder());
    return found;
}

int KFileServiceManager::selfBackupFileCount() const
{
    return findSelfBackupFiles().size();
}

void KFileServiceManager::showSelfBackupPage()
{
    const QStringList files = findSelfBackupFiles();
    int type = 0;
    int page = 1;
    int pages = 0;
    {
        const std::lock_guard<std::mutex> locker(m_stateMutex);
        m_selfBackupFiles = files;
        m_selfBackupCount = files.size();
        type = m_currentType;
        page = m_currentPage;
        pages = pagesFor(countOf(type));
    }
    emit sigSetMiscodeTypeLabelNumber(files.size(), SelfBackupPage);
    emit sigAfxMisCodePreUpdate(type, page);
    emit sigAfxMisCodeAddRow(
        QStringLiteral("计价自备份(%1)").arg(files.size()), QString(), QString(), 1, page);
    const int first = (page - 1) * PageSize;
    const QStringList shown = page >= 1 && first < files.size() ? files.mid(first, PageSize) : QStringList();
    for (const QString& path : shown) {
        KFileIconSink::registerFile(path);
        const QString modified = KTimeStamp::displayTextOfMSecs(KFileOps::status(path).modifiedMSecs);
        emit sigAfxMisCodeCopyedAddRow(path, modified, type, page, pages);
    }
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

void KFileServiceManager::onUpdate()
{
    // Runs on the GUI thread: it never touches the scanner's cycle state.
    refresh({});
}

void KFileServiceManager::autoCleanExpiredVersions()
{
    if (!KConfig::instance()->autoClean7Days())
        return;
    for (int t : LookupOrder) {
        if (m_collections[size_t(t)]->dropExpiredVersions())
            ++m_changedCollections;
    }
    if (m_changedCollections >= 1) {
        saveDatabase();
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

KFileObject* KFileServiceManager::findFile(const QString& path) const
{
    for (int t : LookupOrder) {
        if (KFileObject* record = m_collections[size_t(t)]->findFile(path))
            return record;
    }
    return nullptr;
}

bool KFileServiceManager::removeVersion(const QString& fileId)
{
    for (int t : LookupOrder) {
        if (m_collections[size_t(t)]->removeVersion(fileId))
            return true;
    }
    return false;
}

bool KFileServiceManager::removeFile(const QString& path)
{
    for (int t : LookupOrder) {
        if (m_collections[size_t(t)]->removeFile(path))
            return true;
    }
    return false;
}

bool KFileServiceManager::cleanAll()
{
    bool cleaned = true;
    for (const auto& collection : m_collections)
        cleaned = collection->removeAllBackups() && cleaned;
    saveDatabase();
    return cleaned;
}

bool KFileServiceManager::cleanBeforeToday()
{
    bool cleaned = true;
    for (const auto& collection : m_collections)
        cleaned = collection->removeBackupsBeforeToday() && cleaned;
    saveDatabase();
    return cleaned;
}
