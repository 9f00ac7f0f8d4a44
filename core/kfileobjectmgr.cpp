#include "core/kfileobjectmgr.h"

#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "platform/kfileops.h"
#include "platform/kpaths.h"

#include <mutex>

KFileObjectMgr::KFileObjectMgr(QObject* parent)
    : QObject(parent)
{ }

// The members delete the records; no events are pumped during destruction.
KFileObjectMgr::~KFileObjectMgr() = default;

QVector<KFileObjectMgr::Record> KFileObjectMgr::snapshot() const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    QVector<Record> records;
    records.reserve(m_records.size());
    for (const Record& record : m_records)
        records.append(record);
    return records;
}

KFileObjectMgr::RecordMap::iterator KFileObjectMgr::retire(RecordMap::iterator it)
{
    m_retired.append(it.value());
    return m_records.erase(it);
}

bool KFileObjectMgr::addFile(KFileObject* record)
{
    if (!record || !isStorablePath(record->fileName()))
        return false;
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    if (m_records.contains(record->fileName()))
        return false;
    m_records.insert(record->fileName(), Record(record));
    return true;
}

KFileObject* KFileObjectMgr::findFile(const QString& path) const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    return m_records.value(KPaths::foldCase(path)).get();
}

bool KFileObjectMgr::isCurrentStateBackedUp(const QString& path) const
{
    Record record;
    {
        const std::shared_lock<std::shared_mutex> locker(m_lock);
        record = m_records.value(path);
    }
    return record && record->isCurrentStateBackedUp();
}

bool KFileObjectMgr::isCurrentStateBackedUp(const QString& path, qint64 modifiedMSecs) const
{
    Record record;
    {
        const std::shared_lock<std::shared_mutex> locker(m_lock);
        record = m_records.value(path);
    }
    return record && record->isCurrentStateBackedUp(modifiedMSecs);
}

KFileObject* KFileObjectMgr::backupFile(const QString& path, int fileType, const QString& backupDirectory)
{
    Record record;
    {
        const std::shared_lock<std::shared_mutex> locker(m_lock);
        record = m_records.value(path);
    }
    // Copies run outside the collection's lock: a large file must not hold up the pages. The
    // record guards its own versions.
    if (record)
        return record->addNewVersion(backupDirectory) ? record.get() : nullptr;

    const QString key = KPaths::foldCase(path);
    if (!isStorablePath(key))
        return nullptr;
    const auto created = std::make_shared<KFileObject>(key, fileType);
    if (!created->addNewVersion(backupDirectory))
        return nullptr;
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    Record& slot = m_records[key];
    if (!slot) {
        slot = created;
        return created.get();
    }
    // Another thread took the file under protection meanwhile: its record gets this copy too.
    slot->addVersion(created->versionIds().constFirst());
    return slot.get();
}

bool KFileObjectMgr::removeFile(const QString& path)
{
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    const auto it = m_records.find(KPaths::foldCase(path));
    if (it == m_records.end() || !it.value()->removeAllBackups())
        return false;
    retire(it);
    return true;
}

bool KFileObjectMgr::removeVersion(const QString& fileId)
{
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    for (auto it = m_records.begin(); it != m_records.end(); ++it) {
        KFileObject* record = it.value().get();
        if (!record->findVersion(fileId))
            continue;
        if (!record->removeVersion(fileId))
            return false;
        if (record->versionCount() == 0)
            retire(it);
        return true;
    }
    return false;
}

bool KFileObjectMgr::removeAllBackups()
{
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    for (const Record& record : qAsConst(m_records)) {
        record->removeAllBackups();
        m_retired.append(record);
    }
    m_records.clear();
    return true;
}

bool KFileObjectMgr::removeBackupsBeforeToday()
{
    const QVector<Record> records = snapshot();
    for (const Record& record : records) {
        record->removeBackupsBeforeToday();
        KCommon::keepResponsive();
    }
    return true;
}

bool KFileObjectMgr::dropExpiredVersions()
{
    bool dropped = false;
    QVector<Record> emptied;
    const QVector<Record> records = snapshot();
    for (const Record& record : records) {
        if (record->dropVersionsOlderThan7Days()) {
            dropped = true;
            if (record->versionCount() == 0)
                emptied.append(record);
        }
        KCommon::keepResponsive();
    }
    if (emptied.isEmpty())
        return dropped;
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    for (const Record& record : qAsConst(emptied)) {
        const auto it = m_records.find(record->fileName());
        // A copy made since the walk keeps the record.
        if (it != m_records.end() && it.value() == record && record->versionCount() == 0)
            retire(it);
    }
    return dropped;
}

qint64 KFileObjectMgr::sumOverRecords(qint64 (KFileObject::*size)() const) const
{
    qint64 total = 0;
    const QVector<Record> records = snapshot();
    for (const Record& record : records) {
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
    const QVector<Record> records = snapshot();
    for (const Record& record : records) {
        if (record->appendXml(out))
            out->append('\n');
    }
}

QStringList KFileObjectMgr::collectRows(QStringList* existing, QStringList* deleted) const
{
    return collectRows(existing, deleted, QHash<QString, KFileStatus>());
}

QStringList KFileObjectMgr::collectRows(
    QStringList* existing, QStringList* deleted, const QHash<QString, KFileStatus>& known) const
{
    QStringList rows;
    const QVector<Record> records = snapshot();
    rows.reserve(records.size());
    for (const Record& record : records) {
        const auto status = known.constFind(record->fileName());
        const KFileStatus file
            = status != known.cend() ? status.value() : KFileOps::status(record->fileName());
        const QString row = record->rowText(file);
        if (row.isEmpty())
            continue; // a record without versions has no row
        rows.append(row);
        QStringList* list = file.exists ? existing : deleted;
        if (list)
            list->append(row);
    }
    return rows;
}

void KFileObjectMgr::clear()
{
    QVector<Record> records;
    {
        const std::lock_guard<std::shared_mutex> locker(m_lock);
        records.reserve(m_records.size() + m_retired.size());
        for (const Record& record : qAsConst(m_records))
            records.append(record);
        records += m_retired;
        m_records.clear();
        m_retired.clear();
    }
    // Released one by one, outside the lock, so that the GUI thread keeps answering.
    while (!records.isEmpty()) {
        records.removeLast();
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
