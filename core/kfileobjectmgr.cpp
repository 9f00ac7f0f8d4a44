#include "core/kfileobjectmgr.h"

#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "core/klogging.h"
#include "platform/kfileops.h"
#include "platform/kpaths.h"

#include <algorithm>
#include <mutex>

KFileObjectMgr::KFileObjectMgr(QObject* parent)
    : QObject(parent)
{ }

KFileObjectMgr::~KFileObjectMgr() = default;

QVector<KFileObjectPtr> KFileObjectMgr::snapshot() const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    const std::lock_guard<std::mutex> ordering(m_orderedMutex);
    if (m_orderedChange == m_change)
        return m_ordered;
    QVector<QPair<QString, KFileObjectPtr>> byPath;
    byPath.reserve(m_records.size());
    for (auto it = m_records.cbegin(); it != m_records.cend(); ++it)
        byPath.append({ it.key(), it.value() });
    std::sort(byPath.begin(), byPath.end(),
        [](const auto& one, const auto& other) { return one.first < other.first; });
    // Built apart and assigned: a caller on another thread may still hold the last list, and
    // Qt's detach test on a shared list is a relaxed load that does not order its reads.
    QVector<KFileObjectPtr> ordered;
    ordered.reserve(byPath.size());
    for (const auto& record : qAsConst(byPath))
        ordered.append(record.second);
    m_ordered = ordered;
    m_orderedChange = m_change;
    return m_ordered;
}

void KFileObjectMgr::takeOrdered(QVector<KFileObjectPtr>* ordered)
{
    ++m_change;
    const std::lock_guard<std::mutex> ordering(m_orderedMutex);
    ordered->swap(m_ordered);
}

void KFileObjectMgr::eraseIfEmpty(const KFileObjectPtr& record)
{
    KFileObjectPtr erased; // released after the lock
    QVector<KFileObjectPtr> ordered;
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    const auto it = m_records.find(record->fileName());
    // A copy made meanwhile keeps the record.
    if (it != m_records.end() && it.value() == record && record->versionCount() == 0) {
        erased = it.value();
        m_records.erase(it);
        takeOrdered(&ordered);
    }
}

bool KFileObjectMgr::addFile(KFileObject* record)
{
    return record && insertRecord(record->fileName(), [record] { return KFileObjectPtr(record); });
}

bool KFileObjectMgr::addFile(const KFileObjectPtr& record)
{
    return record && insertRecord(record->fileName(), [&record] { return record; });
}

bool KFileObjectMgr::insertRecord(const QString& path, const std::function<KFileObjectPtr()>& take)
{
    if (!isStorablePath(path))
        return false;
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    if (m_records.contains(path))
        return false;
    m_records.insert(path, take());
    ++m_change;
    return true;
}

KFileObjectPtr KFileObjectMgr::findFile(const QString& path) const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    return m_records.value(KPaths::foldCase(path));
}

bool KFileObjectMgr::isCurrentStateBackedUp(const QString& path) const
{
    KFileObjectPtr record;
    {
        const std::shared_lock<std::shared_mutex> locker(m_lock);
        record = m_records.value(path);
    }
    return record && record->isCurrentStateBackedUp();
}

bool KFileObjectMgr::isCurrentStateBackedUp(const QString& path, qint64 modifiedMSecs) const
{
    KFileObjectPtr record;
    {
        const std::shared_lock<std::shared_mutex> locker(m_lock);
        record = m_records.value(path);
    }
    return record && record->isCurrentStateBackedUp(modifiedMSecs);
}

KFileObjectPtr KFileObjectMgr::backupFile(const QString& path, int fileType, const QString& backupDirectory)
{
    KFileObjectPtr record;
    {
        const std::shared_lock<std::shared_mutex> locker(m_lock);
        record = m_records.value(path);
    }
    // Copies run outside the collection's lock: a large file must not hold up the pages. The
    // record guards its own versions.
    if (record)
        return record->addNewVersion(backupDirectory) ? record : nullptr;

    const QString key = KPaths::foldCase(path);
    if (!isStorablePath(key))
        return nullptr;
    const auto created = std::make_shared<KFileObject>(key, fileType);
    if (!created->addNewVersion(backupDirectory))
        return nullptr;
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    KFileObjectPtr& slot = m_records[key];
    if (!slot) {
        slot = created;
        ++m_change;
        return created;
    }
    // Another thread took the file under protection meanwhile: its record gets this copy too.
    slot->addVersions(created->versions());
    return slot;
}

bool KFileObjectMgr::removeFile(const QString& path)
{
    const KFileObjectPtr record = findFile(path);
    if (!record || !record->removeAllBackups())
        return false;
    eraseIfEmpty(record);
    return true;
}

bool KFileObjectMgr::removeVersion(const QString& fileId)
{
    const QVector<KFileObjectPtr> records = snapshot();
    for (const KFileObjectPtr& record : records) {
        if (!record->findVersion(fileId))
            continue;
        if (!record->removeVersion(fileId))
            return false;
        eraseIfEmpty(record);
        return true;
    }
    return false;
}

bool KFileObjectMgr::removeAllBackups()
{
    RecordMap records;
    {
        const std::lock_guard<std::shared_mutex> locker(m_lock);
        records.swap(m_records);
        QVector<KFileObjectPtr> ordered;
        takeOrdered(&ordered);
    }
    bool removed = true;
    for (const KFileObjectPtr& record : qAsConst(records)) {
        removed = record->removeAllBackups() && removed;
        KCommon::keepResponsive();
    }
    return removed;
}

bool KFileObjectMgr::removeBackupsBeforeToday()
{
    bool removed = true;
    const QVector<KFileObjectPtr> records = snapshot();
    for (const KFileObjectPtr& record : records) {
        removed = record->removeBackupsBeforeToday() && removed;
        KCommon::keepResponsive();
    }
    return removed;
}

void KFileObjectMgr::appendVersionIds(QVector<KVersionId>* out) const
{
    const QVector<KFileObjectPtr> records = snapshot();
    for (const KFileObjectPtr& record : records)
        record->appendVersionIds(out);
}

bool KFileObjectMgr::dropExpiredVersions()
{
    bool dropped = false;
    const QVector<KFileObjectPtr> records = snapshot();
    for (const KFileObjectPtr& record : records) {
        if (record->dropVersionsOlderThan7Days()) {
            dropped = true;
            eraseIfEmpty(record);
        }
        KCommon::keepResponsive();
    }
    return dropped;
}

qint64 KFileObjectMgr::sumOverRecords(qint64 (KFileObject::*size)() const) const
{
    qint64 total = 0;
    const QVector<KFileObjectPtr> records = snapshot();
    for (const KFileObjectPtr& record : records) {
        total += (record.get()->*size)();
        KCommon::keepResponsive();
    }
    return total;
}

qint64 KFileObjectMgr::totalBackupSize() const
{
    return sumOverRecords(&KFileObject::totalBackupSize);
}

qint64 KFileObjectMgr::backupSizeBeforeToday() const
{
    return sumOverRecords(&KFileObject::backupSizeBeforeToday);
}

QString KFileObjectMgr::toXml() const
{
    QByteArray xml;
    appendXml(&xml);
    return QString::fromUtf8(xml);
}

void KFileObjectMgr::appendXml(QByteArray* out) const
{
    const QVector<KFileObjectPtr> records = snapshot();
    for (const KFileObjectPtr& record : records) {
        if (record->appendXml(out))
            out->append('\n');
    }
}

void KFileObjectMgr::appendSums(
    QByteArray* out, const std::function<void(QByteArray*)>& spill, int chunk) const
{
    const QVector<KFileObjectPtr> records = snapshot();
    for (const KFileObjectPtr& record : records) {
        record->appendSums(out);
        if (spill && out->size() >= chunk)
            spill(out);
    }
}

KContentSum KFileObjectMgr::sumOf(const KVersionId& version) const
{
    const QVector<KFileObjectPtr> records = snapshot();
    for (const KFileObjectPtr& record : records) {
        const KContentSum sum = record->sumOf(version);
        if (sum.isKnown())
            return sum;
    }
    return KContentSum();
}

int KFileObjectMgr::appendElements(
    QByteArray* out, const std::function<void(QByteArray*)>& spill, int chunk) const
{
    int elements = 0;
    const QVector<KFileObjectPtr> records = snapshot();
    for (const KFileObjectPtr& record : records) {
        const int separator = out->size();
        if (elements > 0)
            out->append('\n');
        if (!record->appendXml(out)) {
            out->resize(separator);
            continue;
        }
        ++elements;
        if (spill && out->size() >= chunk)
            spill(out);
    }
    return elements;
}

QStringList KFileObjectMgr::collectRows(QStringList* existing, QStringList* deleted) const
{
    return collectRows(existing, deleted, QHash<const KFileObject*, bool>());
}

QStringList KFileObjectMgr::collectRows(
    QStringList* existing, QStringList* deleted, const QHash<const KFileObject*, bool>& gone) const
{
    QStringList rows;
    const QVector<KFileObjectPtr> records = snapshot();
    rows.reserve(records.size());
    for (const KFileObjectPtr& record : records) {
        const auto known = gone.constFind(record.get());
        const bool isGone
            = known != gone.cend() ? known.value() : KFileOps::status(record->fileName()).isGone();
        const QString row = record->rowText();
        if (row.isEmpty())
            continue; // a record without versions has no row
        rows.append(row);
        QStringList* list = isGone ? deleted : existing;
        if (list)
            list->append(row);
    }
    return rows;
}

quint64 KFileObjectMgr::changeCount() const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    return m_change;
}

void KFileObjectMgr::clear()
{
    RecordMap records;
    {
        const std::lock_guard<std::shared_mutex> locker(m_lock);
        records.swap(m_records);
        QVector<KFileObjectPtr> ordered;
        takeOrdered(&ordered);
    }
    // Released outside the lock, so that the GUI thread keeps answering.
    for (auto it = records.begin(); it != records.end();) {
        it = records.erase(it);
        KCommon::keepResponsive();
    }
}

int KFileObjectMgr::count() const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    return m_records.size();
}

bool KFileObjectMgr::isStorablePath(const QString& path)
{
    if (path.isEmpty())
        return false;
    // XML 1.0 characters: tab, line feed, carriage return, U+0020-U+D7FF, U+E000-U+FFFD and
    // properly paired surrogates.
    for (int i = 0; i < path.size(); ++i) {
        const ushort c = path.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < path.size()
            && QChar::isLowSurrogate(path.at(i + 1).unicode())) {
            ++i;
            continue;
        }
        const bool allowed
            = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD);
        if (!allowed)
            return false;
    }
    return true;
}
