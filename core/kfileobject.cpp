#include "core/kfileobject.h"

#include "core/kcommon.h"
#include "core/kcopysums.h"
#include "core/klogging.h"
#include "core/ktimestamp.h"
#include "platform/kfileops.h"
#include "platform/kplatform.h"

#include <QFile>
#include <QUuid>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <utility>

namespace {

QStringView stampOf(const QString& fileId)
{
    if (fileId.size() < KFileCopyedObject::StampPosition + KFileCopyedObject::StampLength)
        return QStringView();
    return QStringView(fileId).mid(KFileCopyedObject::StampPosition, KFileCopyedObject::StampLength);
}

// The path as an attribute value in UTF-8; most paths hold nothing to escape.
QByteArray escapedUtf8(const QString& path)
{
    for (const QChar c : path) {
        switch (c.unicode()) {
        case '&':
        case '<':
        case '>':
        case '"':
        case '\t':
        case '\n':
        case '\r':
            return KFileObject::escapeAttribute(path).toUtf8();
        default:
            break;
        }
    }
    return path.toUtf8();
}

// Appends `value` in `digits` decimal digits; every row of every cycle needs a few.
void appendDigits(QString* out, int value, int digits)
{
    QChar text[4];
    for (int i = digits - 1; i >= 0; --i) {
        text[i] = QLatin1Char(char('0' + value % 10));
        value /= 10;
    }
    out->append(text, digits);
}

QDate dateOfStamp(qint64 stamp)
{
    if (stamp < 0)
        return QDate();
    return QDate(int(stamp / 10000000000), int(stamp / 100000000 % 100), int(stamp / 1000000 % 100));
}

// Set once a copy is complete, before its version is recorded; cleared by the flush.
std::atomic<bool> g_unflushedCopies { false };

// Deletes the copies of `versions` for the clean-up `cleanUp`; each one that stays is reported
// (one already gone is not). True when every copy is gone.
bool removeCopies(const QVector<KVersionKey>& versions, const char* cleanUp)
{
    bool removed = true;
    for (const KVersionKey& version : versions) {
        const QString fileId = version.text();
        if (KFileCopyedObject::removeBackupFile(fileId))
            continue;
        removed = false;
        if (KFileCopyedObject::backupFileExists(fileId))
            qCWarning(vkCleanUp, "%s: cannot delete the backup copy %s", cleanUp, qUtf8Printable(fileId));
    }
    return removed;
}

int todayNumber()
{
    const QDate today = KPlatform::instance()->currentDate();
    return today.year() * 10000 + today.month() * 100 + today.day();
}

} // namespace

// ---- KFileCopyedObject ----

KFileCopyedObject::KFileCopyedObject(QObject* parent)
    : QObject(parent)
{ }

bool KFileCopyedObject::createBackup(const QString& sourcePath, const QString& backupDirectory)
{
    return createBackupFile(sourcePath, backupDirectory, &m_fileId);
}

bool KFileCopyedObject::createBackupFile(
    const QString& sourcePath, const QString& backupDirectory, QString* fileId, KContentSum* sum)
{
    // Callers that pass the folder have made sure it exists, once for many files.
    QString folder = backupDirectory;
    if (folder.isEmpty()) {
        folder = KCommon::backupDirectory();
        if (!KFileIO::makeFolder(folder))
            return false;
    }
    // The modification time comes from the opened file, so the name carries the time of the
    // content that is copied; the copy is discarded when the file changed meanwhile.
    KCopySource source(sourcePath);
    const QString modified
        = source.isOpen() ? KTimeStamp::formatMSecs(source.status().modifiedMSecs) : QString();
    *fileId = QUuid::createUuid().toString() + QLatin1Char('_') + modified + QLatin1Char('_')
        + KTimeStamp::todayText();
    if (source.copyTo(folder + *fileId, sum) != KFileIO::CopyResult::Copied)
        return false;
    g_unflushedCopies = true;
    return true;
}

bool KFileCopyedObject::flushNewCopies()
{
    if (!g_unflushedCopies.exchange(false))
        return true;
    if (KFileIO::syncFileSystem(KCommon::backupDirectory()))
        return true;
    g_unflushedCopies = true;
    return false;
}

QDateTime KFileCopyedObject::modifiedTime() const
{
    return KTimeStamp::parse(stampOf(m_fileId));
}

QDateTime KFileCopyedObject::backupDate() const
{
    const QDate date = KTimeStamp::parseDate(QStringView(m_fileId).right(8));
    return date.isValid() ? QDateTime(date, QTime(0, 0)) : QDateTime();
}

QString KFileCopyedObject::modifiedStamp() const
{
    const QStringView stamp = stampOf(m_fileId);
    return KTimeStamp::isValid(stamp) ? stamp.toString() : QString();
}

bool KFileCopyedObject::isBackedUpToday() const
{
    // A malformed backup date is not today.
    return KVersionId(m_fileId).backupDate() == todayNumber();
}

QString KFileCopyedObject::backupFilePath() const
{
    return KCommon::backupDirectory() + m_fileId;
}

bool KFileCopyedObject::removeBackupFile() const
{
    return removeBackupFile(m_fileId);
}

bool KFileCopyedObject::removeBackupFile(const QString& fileId)
{
    return isSafeFileId(fileId) && QFile::remove(KCommon::backupDirectory() + fileId);
}

qint64 KFileCopyedObject::backupFileSize() const
{
    return backupFileSize(m_fileId);
}

qint64 KFileCopyedObject::backupFileSize(const QString& fileId)
{
    if (!isSafeFileId(fileId))
        return 0;
    return KFileOps::status(KCommon::backupDirectory() + fileId).size;
}

bool KFileCopyedObject::backupFileExists(const QString& fileId)
{
    return isSafeFileId(fileId) && KFileOps::status(KCommon::backupDirectory() + fileId).exists;
}

bool KFileCopyedObject::isSafeFileId(const QString& fileId)
{
    if (fileId.isEmpty() || fileId.contains(QLatin1String("..")))
        return false;
    for (const QChar c : fileId) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c == QLatin1Char(':') || c.unicode() < 0x20
            || c.unicode() == 0x7f) {
            return false;
        }
    }
    return true;
}

QString KFileCopyedObject::toXml() const
{
    return QStringLiteral("  <Version FileID=\"") + m_fileId + QStringLiteral("\"/>");
}

// ---- KFileObject ----

// Ten thousand of them are in memory: with make_shared's count of holders, one takes a 64-byte
// block of the allocator.
static_assert(sizeof(KFileObject) <= 40, "a record outgrew its allocation block");

KFileObject::KFileObject(const QString& fileName, int fileType)
    : m_fileName(fileName)
    , m_fileType(fileType)
{ }

KFileObject::~KFileObject()
{
    if (m_parts)
        qDeleteAll(m_parts->objects);
}

std::shared_mutex& KFileObject::lock() const
{
    // Records are made one after another, so neighbouring addresses take different locks.
    static std::array<std::shared_mutex, 64> locks;
    const auto address = quint64(reinterpret_cast<quintptr>(this));
    return locks[size_t((address * 0x9E3779B97F4A7C15ULL) >> 58)];
}

std::mutex& KFileObject::partsMutex()
{
    static std::mutex mutex;
    return mutex;
}

KFileObject::Parts& KFileObject::parts() const
{
    if (!m_parts)
        m_parts = std::make_unique<Parts>();
    return *m_parts;
}

int KFileObject::versionCount() const
{
    const std::shared_lock<std::shared_mutex> locker(lock());
    return m_versions.size();
}

QVector<KVersionId> KFileObject::versions() const
{
    QVector<KVersionId> versions;
    appendVersionIds(&versions);
    return versions;
}

KContentSum KFileObject::sumOf(const KVersionKey& wanted) const
{
    const std::shared_lock<std::shared_mutex> locker(lock());
    const auto found = std::lower_bound(m_versions.cbegin(), m_versions.cend(), wanted);
    if (found == m_versions.cend() || *found != wanted)
        return KContentSum();
    const auto sum = sumAt(int(found - m_versions.cbegin()));
    return sum != m_sums.cend() ? sumOf(*sum) : KContentSum();
}

namespace {

constexpr quint64 StoredHashBit = quint64(1) << 62; // above any size

// The first of the sums, ordered by the index of their version, at `at` or after.
template<typename Sums> auto sumsFrom(Sums& sums, int at)
{
    return std::lower_bound(
        sums.begin(), sums.end(), at, [](const auto& sum, int index) { return sum.at < index; });
}

} // namespace

QVector<KFileObject::StoredSum>::const_iterator KFileObject::sumAt(int at) const
{
    const auto found = sumsFrom(m_sums, at);
    return found != m_sums.cend() && found->at == at ? found : m_sums.cend();
}

KFileObject::StoredSum KFileObject::stored(int at, const KContentSum& sum)
{
    return { at, quint64(sum.size) | (sum.hasHash ? StoredHashBit : 0), sum.hash };
}

KContentSum KFileObject::sumOf(const StoredSum& stored)
{
    return { qint64(stored.size & ~StoredHashBit), stored.hash, (stored.size & StoredHashBit) != 0 };
}

bool KFileObject::setSum(const KVersionKey& version, const KContentSum& sum)
{
    const std::lock_guard<std::shared_mutex> locker(lock());
    const auto place = std::lower_bound(m_versions.cbegin(), m_versions.cend(), version);
    if (place == m_versions.cend() || *place != version)
        return false;
    const int at = int(place - m_versions.cbegin());
    const auto found = sumsFrom(m_sums, at);
    const bool held = found != m_sums.end() && found->at == at;
    if (!sum.isKnown()) {
        if (held)
            m_sums.erase(found);
    } else if (held) {
        *found = stored(at, sum);
    } else {
        // The loader gives the sums one at a time, to most records one: room for just one more,
        // where an insert would leave room to grow in each of ten thousand records.
        const int index = int(found - m_sums.begin());
        m_sums.reserve(m_sums.size() + 1);
        m_sums.insert(index, stored(at, sum));
    }
    return true;
}

void KFileObject::clearSums()
{
    const std::lock_guard<std::shared_mutex> locker(lock());
    m_sums.clear();
    m_sums.squeeze();
}

QStringList KFileObject::versionIds() const
{
    const std::shared_lock<std::shared_mutex> locker(lock());
    QStringList ids;
    ids.reserve(m_versions.size());
    for (const KVersionKey& version : m_versions)
        ids.append(version.text());
    return ids;
}

void KFileObject::addVersion(const QString& fileId)
{
    addVersions({ fileId });
}

void KFileObject::addVersions(const QStringList& fileIds)
{
    QVector<KVersionId> added;
    added.reserve(fileIds.size());
    for (const QString& fileId : fileIds)
        added.append(KVersionId(fileId));
    addVersions(std::move(added));
}

void KFileObject::addVersions(QVector<KVersionId> added)
{
    std::sort(added.begin(), added.end());
    const std::lock_guard<std::shared_mutex> locker(lock());
    // A version already here keeps what it has; a new one brings its sum.
    QVector<KVersionKey> merged;
    merged.reserve(m_versions.size() + added.size());
    QVector<StoredSum> sums;
    sums.reserve(m_sums.size());
    int held = 0;
    auto heldSum = m_sums.cbegin();
    const auto keepHeld = [&] {
        if (heldSum != m_sums.cend() && heldSum->at == held)
            sums.append({ merged.size(), heldSum->size, (heldSum++)->hash });
        merged.append(m_versions.at(held++));
    };
    for (const KVersionId& version : qAsConst(added)) {
        while (held < m_versions.size() && m_versions.at(held) < version)
            keepHeld();
        if (held < m_versions.size() && m_versions.at(held) == version) {
            keepHeld();
            continue;
        }
        if (!merged.isEmpty() && merged.constLast() == version)
            continue;
        if (version.sum().isKnown())
            sums.append(stored(merged.size(), version.sum()));
        merged.append(version);
    }
    while (held < m_versions.size())
        keepHeld();
    m_versions = merged;
    m_versions.squeeze();
    m_sums = sums;
    m_sums.squeeze();
    ++m_revision;
}

bool KFileObject::addNewVersion(const QString& backupDirectory)
{
    QString fileId;
    KContentSum sum;
    if (!KFileCopyedObject::createBackupFile(m_fileName, backupDirectory, &fileId, &sum))
        return false;
    const KVersionId version(KVersionKey(fileId), sum);
    KCopySums::noteNewSum();
    const std::lock_guard<std::shared_mutex> locker(lock());
    const int at = int(std::lower_bound(m_versions.begin(), m_versions.end(), version) - m_versions.begin());
    m_versions.insert(at, version);
    const auto later = sumsFrom(m_sums, at);
    for (auto it = later; it != m_sums.end(); ++it)
        ++it->at;
    if (sum.isKnown())
        m_sums.insert(later, stored(at, sum));
    ++m_revision;
    return true;
}

bool KFileObject::isCurrentStateBackedUp() const
{
    return isCurrentStateBackedUp(KFileOps::status(m_fileName).modifiedMSecs);
}

bool KFileObject::isCurrentStateBackedUp(qint64 modifiedMSecs) const
{
    // Equal numbers are equal times to the second; an unreadable time (-1) never matches.
    const qint64 current = KTimeStamp::numberOfMSecs(modifiedMSecs);
    const std::shared_lock<std::shared_mutex> locker(lock());
    return std::any_of(m_versions.cbegin(), m_versions.cend(),
        [current](const KVersionKey& version) { return version.stamp() == current; });
}

int KFileObject::latestIndex() const
{
    if (m_versions.isEmpty())
        return -1;
    // The first version is the pick; a later one with a readable, later time replaces it,
    // unless the pick lies in the future. An unreadable time (-1) is a null time, which any
    // readable time follows.
    const qint64 now = KTimeStamp::numberOfMSecs(KPlatform::instance()->currentMSecsSinceEpoch());
    int pick = 0;
    for (int i = 1; i < m_versions.size(); ++i) {
        const qint64 stamp = m_versions.at(i).stamp();
        const qint64 pickStamp = m_versions.at(pick).stamp();
        if (stamp < 0 || pickStamp > now)
            continue;
        if (pickStamp < 0 || stamp > pickStamp)
            pick = i;
    }
    return pick;
}

KFileCopyedObject* KFileObject::objectFor(const KVersionKey& version) const
{
    const QString fileId = version.text();
    const std::lock_guard<std::mutex> locker(partsMutex());
    KFileCopyedObject*& object = parts().objects[fileId];
    if (!object) {
        object = new KFileCopyedObject;
        object->setFileId(fileId);
    }
    return object;
}

KFileCopyedObject* KFileObject::latestVersion() const
{
    const std::shared_lock<std::shared_mutex> locker(lock());
    const int latest = latestIndex();
    return latest < 0 ? nullptr : objectFor(m_versions.at(latest));
}

QDateTime KFileObject::latestModifiedTime() const
{
    const std::shared_lock<std::shared_mutex> locker(lock());
    const int latest = latestIndex();
    const qint64 stamp = latest < 0 ? -1 : m_versions.at(latest).stamp();
    if (stamp < 0)
        return QDateTime();
    return QDateTime(
        dateOfStamp(stamp), QTime(int(stamp / 10000 % 100), int(stamp / 100 % 100), int(stamp % 100)));
}

KFileCopyedObject* KFileObject::findVersion(const QString& fileId) const
{
    const KVersionKey wanted(fileId);
    const std::shared_lock<std::shared_mutex> locker(lock());
    const auto found = std::lower_bound(m_versions.cbegin(), m_versions.cend(), wanted);
    return found != m_versions.cend() && *found == wanted ? objectFor(wanted) : nullptr;
}

QVector<KVersionKey> KFileObject::takeVersions(const std::function<bool(const KVersionKey&)>& which)
{
    QVector<KVersionKey> taken;
    const std::lock_guard<std::shared_mutex> locker(lock());
    QVector<KVersionKey> kept;
    QVector<StoredSum> keptSums;
    auto sum = m_sums.cbegin();
    for (int i = 0; i < m_versions.size(); ++i) {
        const bool summed = sum != m_sums.cend() && sum->at == i;
        if (which(m_versions.at(i))) {
            taken.append(m_versions.at(i));
        } else {
            if (summed)
                keptSums.append({ kept.size(), sum->size, sum->hash });
            kept.append(m_versions.at(i));
        }
        if (summed)
            ++sum;
    }
    if (taken.isEmpty())
        return taken;
    m_versions = kept;
    m_sums = keptSums;
    ++m_revision;
    return taken;
}

bool KFileObject::removeVersion(const QString& fileId)
{
    const KVersionKey wanted(fileId);
    {
        const std::shared_lock<std::shared_mutex> locker(lock());
        if (!std::binary_search(m_versions.cbegin(), m_versions.cend(), wanted))
            return false;
    }
    // The copy is deleted without holding the record: readers are not kept waiting on the disk.
    if (!KFileCopyedObject::removeBackupFile(fileId))
        return false;
    takeVersions([&wanted](const KVersionKey& version) { return version == wanted; });
    return true;
}

bool KFileObject::removeAllBackups()
{
    return removeCopies(takeVersions([](const KVersionKey&) { return true; }), "clean-up of all backups");
}

QStringList KFileObject::idsNotBackedUpToday() const
{
    const int today = todayNumber();
    QStringList ids;
    const std::shared_lock<std::shared_mutex> locker(lock());
    for (const KVersionKey& version : m_versions) {
        if (version.backupDate() != today)
            ids.append(version.text());
    }
    return ids;
}

bool KFileObject::removeBackupsBeforeToday()
{
    const QStringList before = idsNotBackedUpToday();
    QVector<KVersionKey> versions;
    versions.reserve(before.size());
    for (const QString& fileId : before)
        versions.append(KVersionKey(fileId));
    return removeCopies(versions, "clean-up of the backups before today");
}

bool KFileObject::dropVersionsOlderThan7Days()
{
    const QDate today = KPlatform::instance()->currentDate();
    const QVector<KVersionKey> dropped = takeVersions([&today](const KVersionKey& version) {
        // Counted in midnights between the recorded modification and today; an unreadable
        // time counts as today, so it is never dropped.
        const QDate modified = dateOfStamp(version.stamp());
        const qint64 days = modified.isValid() ? modified.daysTo(today) : 0;
        return days < -6 || days > 6;
    });
    // A copy that stays is no version any more: the sweep of unlisted copies takes it later.
    removeCopies(dropped, "seven-day clean-up");
    return !dropped.isEmpty();
}

void KFileObject::appendVersionIds(QVector<KVersionId>* out) const
{
    const std::shared_lock<std::shared_mutex> locker(lock());
    out->reserve(out->size() + m_versions.size());
    auto sum = m_sums.cbegin();
    for (int i = 0; i < m_versions.size(); ++i) {
        const bool summed = sum != m_sums.cend() && sum->at == i;
        out->append(KVersionId(m_versions.at(i), summed ? sumOf(*sum++) : KContentSum()));
    }
}

qint64 KFileObject::totalBackupSize() const
{
    const QStringList ids = versionIds();
    qint64 total = 0;
    for (const QString& fileId : ids)
        total += KFileCopyedObject::backupFileSize(fileId);
    return total;
}

qint64 KFileObject::backupSizeBeforeToday() const
{
    const QStringList before = idsNotBackedUpToday();
    qint64 total = 0;
    for (const QString& fileId : qAsConst(before))
        total += KFileCopyedObject::backupFileSize(fileId);
    return total;
}

QMap<QString, KFileCopyedObject*> KFileObject::versionsByXmlLine() const
{
    const std::shared_lock<std::shared_mutex> locker(lock());
    QMap<QString, KFileCopyedObject*> lines;
    for (const KVersionKey& version : m_versions) {
        KFileCopyedObject* object = objectFor(version);
        lines.insert(object->toXml(), object);
    }
    return lines;
}

int KFileObject::latestBackupIndex() const
{
    // The last backup made: the latest backup date, and on that day the latest state taken.
    // A version without a readable date comes before any with one.
    const auto key = [this](int i) {
        return std::make_pair(m_versions.at(i).backupDate(), m_versions.at(i).stamp());
    };
    int pick = m_versions.isEmpty() ? -1 : 0;
    for (int i = 1; i < m_versions.size(); ++i) {
        if (key(i) > key(pick))
            pick = i;
    }
    return pick;
}

QString KFileObject::rowText() const
{
    QString row;
    const std::shared_lock<std::shared_mutex> locker(lock());
    if (m_versions.isEmpty())
        return row;
    // Every refresh asks for every row, and a row changes only with the versions.
    const std::lock_guard<std::mutex> partsLocker(partsMutex());
    Parts& cached = parts();
    if (cached.rowRevision == m_revision && !cached.row.isNull())
        return cached.row;
    const KVersionKey& latest = m_versions.at(latestBackupIndex());
    const int date = latest.backupDate();
    row.reserve(m_fileName.size() + 48);
    row.append(m_fileName).append(QLatin1Char('|')).append(QString::number(m_versions.size()));
    row.append(QLatin1Char('|'));
    if (date > 0) {
        appendDigits(&row, date / 10000, 4);
        row.append(QLatin1Char('-'));
        appendDigits(&row, date / 100 % 100, 2);
        row.append(QLatin1Char('-'));
        appendDigits(&row, date % 100, 2);
        row.append(QLatin1Char('|'));
        appendDigits(&row, date / 10000, 4);
        row.append(QChar(0x5E74)); // 年
        appendDigits(&row, date / 100 % 100, 2);
        row.append(QChar(0x6708)); // 月
    } else {
        row.append(QLatin1Char('|'));
    }
    row.append(QLatin1Char('|'));
    if (latest.stamp() >= 0)
        row.append(QString::number(latest.stamp()));
    cached.rowRevision = m_revision;
    cached.row = row;
    return row;
}

QString KFileObject::escapeAttribute(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + 16);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&':
            escaped += QLatin1String("&amp;");
            break;
        case '<':
            escaped += QLatin1String("&lt;");
            break;
        case '>':
            escaped += QLatin1String("&gt;");
            break;
        case '"':
            escaped += QLatin1String("&quot;");
            break;
        // Attribute values lose literal line breaks and tabs when read back; references keep them.
        case '\t':
            escaped += QLatin1String("&#9;");
            break;
        case '\n':
            escaped += QLatin1String("&#10;");
            break;
        case '\r':
            escaped += QLatin1String("&#13;");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString KFileObject::toXml() const
{
    QByteArray xml;
    appendXml(&xml);
    return QString::fromUtf8(xml);
}

bool KFileObject::appendXml(QByteArray* out) const
{
    const std::shared_lock<std::shared_mutex> locker(lock());
    if (m_versions.isEmpty())
        return false;
    writeElement(out);
    return true;
}

void KFileObject::appendSums(QByteArray* out) const
{
    const std::shared_lock<std::shared_mutex> locker(lock());
    for (const StoredSum& sum : m_sums)
        KCopySums::appendLine(out, KVersionId(m_versions.at(sum.at), sumOf(sum)));
}

void KFileObject::writeElement(QByteArray* out) const
{
    out->append("<File FileName=\"").append(escapedUtf8(m_fileName)).append("\" Type=\"");
    out->append(QByteArray::number(m_fileType)).append("\">");
    // A FileID needs no escaping: the loader refuses one that would. Each line of the engine's
    // own FileIDs is made in one piece.
    static const char opening[] = "\n  <Version FileID=\"";
    static const char closing[] = "\"/>";
    constexpr int openingLength = sizeof opening - 1;
    char line[openingLength + KVersionId::TextLength + sizeof closing - 1];
    memcpy(line, opening, openingLength);
    memcpy(line + openingLength + KVersionId::TextLength, closing, sizeof closing - 1);
    for (const KVersionKey& version : m_versions) {
        if (version.writeText(line + openingLength) > 0) {
            out->append(line, int(sizeof line));
        } else {
            out->append(opening);
            version.appendText(out);
            out->append(closing);
        }
    }
    out->append("\n </File>");
}
