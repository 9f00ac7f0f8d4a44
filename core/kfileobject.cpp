#include "core/kfileobject.h"

#include "core/kcommon.h"
#include "core/ktimestamp.h"
#include "platform/kfileops.h"
#include "platform/kplatform.h"

#include <QDir>
#include <QFile>
#include <QUuid>

#include <cstring>

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

} // namespace

// ---- KFileCopyedObject ----

KFileCopyedObject::KFileCopyedObject(QObject* parent)
    : QObject(parent)
{ }

bool KFileCopyedObject::createBackup(const QString& sourcePath, const QString& backupDirectory)
{
    // Callers that pass the folder have made sure it exists, once for many files.
    QString folder = backupDirectory;
    if (folder.isEmpty()) {
        folder = KCommon::backupDirectory();
        if (!QFileInfo::exists(folder))
            QDir().mkpath(folder);
    }
    // The modification time comes from the opened file, so the name carries the time of the
    // content that is copied.
    KCopySource source(sourcePath);
    const QString modified
        = source.isOpen() ? KTimeStamp::formatMSecs(source.status().modifiedMSecs) : QString();
    m_fileId = QUuid::createUuid().toString() + QLatin1Char('_') + modified + QLatin1Char('_')
        + KTimeStamp::todayText();
    // The copy keeps the source's permissions plus read and write for its owner, so a copy of a
    // read-only source does not stay read-only.
    return source.copyTo(folder + m_fileId);
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
    return m_fileId.size() >= 8 && QStringView(m_fileId).right(8) == KTimeStamp::todayText()
        && backupDate().isValid();
}

QString KFileCopyedObject::backupFilePath() const
{
    return KCommon::backupDirectory() + m_fileId;
}

bool KFileCopyedObject::removeBackupFile() const
{
    return isSafeFileId(m_fileId) && QFile::remove(backupFilePath());
}

qint64 KFileCopyedObject::backupFileSize() const
{
    if (!isSafeFileId(m_fileId))
        return 0;
    return KFileOps::status(backupFilePath()).size;
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

KFileObject::KFileObject(const QString& fileName, int fileType, QObject* parent)
    : QObject(parent)
    , m_fileName(fileName)
    , m_fileType(fileType)
{ }

KFileObject::~KFileObject()
{
    qDeleteAll(m_versions);
}

int KFileObject::versionCount() const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    return m_versions.size();
}

QStringList KFileObject::versionIds() const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    return m_versions.keys();
}

void KFileObject::addVersion(const QString& fileId)
{
    addVersions({ fileId });
}

void KFileObject::addVersions(const QStringList& fileIds)
{
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    for (const QString& fileId : fileIds) {
        auto* version = new KFileCopyedObject;
        version->setFileId(fileId);
        delete m_versions.value(fileId);
        m_versions.insert(fileId, version);
    }
    reindex();
}

void KFileObject::reindex()
{
    m_xmlValid = false;
    m_order.resize(m_versions.size());
    m_ids.resize(m_versions.size());
    m_stampNumbers.resize(m_versions.size());
    int i = 0;
    for (auto it = m_versions.cbegin(); it != m_versions.cend(); ++it, ++i) {
        m_order[i] = it.value();
        m_ids[i] = it.key();
        m_stampNumbers[i] = KTimeStamp::numberOf(stampOf(it.key()));
    }
}

bool KFileObject::addNewVersion(const QString& backupDirectory)
{
    auto* version = new KFileCopyedObject;
    if (!version->createBackup(m_fileName, backupDirectory)) {
        delete version;
        return false;
    }
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    m_versions.insert(version->fileId(), version);
    reindex();
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
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    return m_stampNumbers.contains(current);
}

KFileCopyedObject* KFileObject::latestLocked() const
{
    if (m_order.isEmpty())
        return nullptr;
    // The first version is the pick; a later one with a readable, later time replaces it,
    // unless the pick lies in the future. An unreadable time (-1) is a null time, which any
    // readable time follows.
    const qint64 now = KTimeStamp::numberOfMSecs(KPlatform::instance()->currentMSecsSinceEpoch());
    int pick = 0;
    for (int i = 1; i < m_order.size(); ++i) {
        const qint64 stamp = m_stampNumbers.at(i);
        const qint64 pickStamp = m_stampNumbers.at(pick);
        if (stamp < 0 || pickStamp > now)
            continue;
        if (pickStamp < 0 || stamp > pickStamp)
            pick = i;
    }
    return m_order.at(pick);
}

KFileCopyedObject* KFileObject::latestVersion() const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    return latestLocked();
}

QDateTime KFileObject::latestModifiedTime() const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    const KFileCopyedObject* latest = latestLocked();
    return latest ? latest->modifiedTime() : QDateTime();
}

KFileCopyedObject* KFileObject::findVersion(const QString& fileId) const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    return m_versions.value(fileId);
}

bool KFileObject::removeVersion(const QString& fileId)
{
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    KFileCopyedObject* version = m_versions.value(fileId);
    if (!version || !version->removeBackupFile())
        return false;
    m_versions.remove(fileId);
    reindex();
    delete version;
    return true;
}

bool KFileObject::removeAllBackups()
{
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    bool removed = true;
    for (KFileCopyedObject* version : qAsConst(m_versions)) {
        removed = version->removeBackupFile() && removed;
        delete version;
    }
    m_versions.clear();
    reindex();
    return removed;
}

bool KFileObject::removeBackupsBeforeToday()
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    bool removed = true;
    for (const KFileCopyedObject* version : qAsConst(m_versions)) {
        if (!version->isBackedUpToday())
            removed = version->removeBackupFile() && removed;
    }
    return removed;
}

bool KFileObject::dropVersionsOlderThan7Days()
{
    const QDate today = KPlatform::instance()->currentDate();
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    bool dropped = false;
    for (auto it = m_versions.begin(); it != m_versions.end();) {
        // Counted in midnights between the recorded modification and today; an unreadable
        // time counts as today, so it is never dropped.
        const QDate modified = it.value()->modifiedTime().date();
        const qint64 days = modified.isValid() ? modified.daysTo(today) : 0;
        if (days >= -6 && days <= 6) {
            ++it;
            continue;
        }
        it.value()->removeBackupFile();
        delete it.value();
        it = m_versions.erase(it);
        dropped = true;
    }
    if (dropped)
        reindex();
    return dropped;
}

qint64 KFileObject::totalBackupSize() const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    qint64 total = 0;
    for (const KFileCopyedObject* version : qAsConst(m_versions))
        total += version->backupFileSize();
    return total;
}

qint64 KFileObject::backupSizeBeforeToday() const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    qint64 total = 0;
    for (const KFileCopyedObject* version : qAsConst(m_versions)) {
        if (!version->isBackedUpToday())
            total += version->backupFileSize();
    }
    return total;
}

QMap<QString, KFileCopyedObject*> KFileObject::versionsByXmlLine() const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    QMap<QString, KFileCopyedObject*> lines;
    for (KFileCopyedObject* version : qAsConst(m_versions))
        lines.insert(version->toXml(), version);
    return lines;
}

QStringList KFileObject::rowTexts() const
{
    QString latest;
    int count = 0;
    {
        const std::shared_lock<std::shared_mutex> locker(m_lock);
        count = m_versions.size();
        if (const KFileCopyedObject* version = latestLocked())
            latest = KTimeStamp::toDisplayText(stampOf(version->fileId()));
    }
    const KFileStatus file = KFileOps::status(m_fileName);
    const QString month = file.exists ? KTimeStamp::monthTextOfMSecs(file.createdMSecs) : QString();
    return { m_fileName, QString::number(count), latest, month };
}

QString KFileObject::rowText(const KFileStatus& file) const
{
    QString row;
    {
        const std::shared_lock<std::shared_mutex> locker(m_lock);
        if (m_versions.isEmpty())
            return row;
        row.reserve(m_fileName.size() + 40);
        row.append(m_fileName).append(QLatin1Char('|')).append(QString::number(m_versions.size()));
        row.append(QLatin1Char('|'));
        if (const KFileCopyedObject* version = latestLocked())
            row.append(KTimeStamp::toDisplayText(stampOf(version->fileId())));
    }
    row.append(QLatin1Char('|'));
    if (file.exists)
        row.append(KTimeStamp::monthTextOfMSecs(file.createdMSecs));
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
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    if (m_versions.isEmpty())
        return false;
    const std::lock_guard<std::mutex> xmlLocker(m_xmlMutex);
    if (!m_xmlValid) {
        m_xml.clear();
        writeXml(&m_xml);
        m_xml.squeeze();
        m_xmlValid = true;
    }
    out->append(m_xml);
    return true;
}

void KFileObject::writeXml(QByteArray* out) const
{
    out->append("<File FileName=\"").append(escapedUtf8(m_fileName)).append("\" Type=\"");
    out->append(QByteArray::number(m_fileType)).append("\">");
    // A FileID needs no escaping (the loader refuses one that would); it is ASCII unless a hand
    // edited it, and ASCII is copied straight into the buffer.
    static const char opening[] = "\n  <Version FileID=\"";
    static const char closing[] = "\"/>";
    for (const QString& fileId : m_ids) {
        const int length = fileId.size();
        const int at = out->size();
        out->resize(at + int(sizeof opening - 1) + length + int(sizeof closing - 1));
        char* target = out->data() + at;
        memcpy(target, opening, sizeof opening - 1);
        target += sizeof opening - 1;
        const ushort* source = fileId.utf16();
        ushort wide = 0;
        for (int i = 0; i < length; ++i) {
            wide |= source[i];
            target[i] = char(source[i]);
        }
        memcpy(target + length, closing, sizeof closing - 1);
        if (wide >= 0x80) {
            out->resize(at);
            out->append(opening).append(fileId.toUtf8()).append(closing);
        }
    }
    out->append("\n </File>");
}
