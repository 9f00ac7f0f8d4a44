#pragma once

#include "core/kversionid.h"

#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>

struct KContentSum;
struct KFileStatus;

// One backup version of a protected file: a copy in the backup folder whose file name is its
// FileID, "{uuid}_<modified yyyyMMddhhmmss>_<backup date yyyyMMdd>". The two times are read
// back from the FileID; nothing else is stored.
class KFileCopyedObject : public QObject
{
    Q_OBJECT

public:
    explicit KFileCopyedObject(QObject* parent = nullptr);

    QString fileId() const { return m_fileId; }
    void setFileId(const QString& fileId) { m_fileId = fileId; }

    // Copies `sourcePath` into the backup folder under a new FileID, which is set even when the
    // copy fails. `backupDirectory` spares callers that back up many files a settings read.
    [[nodiscard]] bool createBackup(const QString& sourcePath, const QString& backupDirectory = QString());
    // The same without an object: the new FileID goes to `fileId`, the copy's size and content
    // hash to `sum`. The copy carries the source's modification time, and counts only when the
    // source did not change while it was copied.
    [[nodiscard]] static bool createBackupFile(const QString& sourcePath, const QString& backupDirectory,
        QString* fileId, KContentSum* sum = nullptr);
    // Flushes the backup folder's file system to disk when copies were made since the last
    // flush; false when that failed. The database is written only after this, so that no
    // version it lists can lose its content in a power cut.
    [[nodiscard]] static bool flushNewCopies();

    QDateTime modifiedTime() const;
    QDateTime backupDate() const;
    // The modification time as stored, "yyyyMMddhhmmss"; empty when the FileID is malformed.
    QString modifiedStamp() const;
    [[nodiscard]] bool isBackedUpToday() const;

    [[nodiscard]] bool removeBackupFile() const;
    qint64 backupFileSize() const;
    QString backupFilePath() const;
    [[nodiscard]] static bool backupFileExists(const QString& fileId);
    [[nodiscard]] static bool removeBackupFile(const QString& fileId);
    static qint64 backupFileSize(const QString& fileId);

    // A FileID that names a plain file inside the backup folder: no separators, no "..", no
    // drive colon, no control characters. Any other is never used to touch a file.
    [[nodiscard]] static bool isSafeFileId(const QString& fileId);

    QString toXml() const;

    static constexpr int StampPosition = 39;
    static constexpr int StampLength = 14;

private:
    QString m_fileId;
};

// One protected file, keyed by its path, with all its versions. Each record's versions are
// guarded by a lock, so the scanner thread may add versions while the GUI thread reads them.
// Backup copies are deleted outside that lock. (A standard shared mutex rather than
// QReadWriteLock: ThreadSanitizer can see its synchronisation.) The records share a small set of
// such locks, picked by address: a mutex of its own would be the largest part of a record, and
// no record's lock is ever taken while another's is held.
//
// The versions are kept as compact FileIDs; a KFileCopyedObject is made for a version only when
// one is asked for (findVersion, latestVersion, versionsByXmlLine). Such objects belong to the
// record and live as long as it does, even after their version was removed, so that a pointer
// handed out never dangles while the record is held.
//
// Ten thousand records live in memory at once, so a record is no QObject and keeps what only
// some of them need (the row, the objects) behind one pointer.
class KFileObject final
{
public:
    KFileObject(const QString& fileName, int fileType);
    ~KFileObject();

    QString fileName() const { return m_fileName; }
    int fileType() const { return m_fileType; }
    int versionCount() const;
    // The FileIDs in their order.
    QStringList versionIds() const;
    // The versions in the same order, each with its copy's sum where it is known.
    QVector<KVersionId> versions() const;
    // What was recorded of the copy `fileId` when it was made; not known when nothing was.
    KContentSum sumOf(const KVersionKey& version) const;
    // The same, compact, appended to `out`.
    void appendVersionIds(QVector<KVersionId>* out) const;

    // Adds a version read from the database; the copy is expected to exist.
    void addVersion(const QString& fileId);
    // Adds several at once (the database loader).
    void addVersions(const QStringList& fileIds);
    void addVersions(QVector<KVersionId> versions);
    // Copies the file's current state as a new version; false when the copy failed or the file
    // changed while it was copied (then nothing is recorded and no copy is left).
    [[nodiscard]] bool addNewVersion(const QString& backupDirectory = QString());

    // True when some version carries the file's current modification time, to the second.
    [[nodiscard]] bool isCurrentStateBackedUp() const;
    // The same for a modification time the caller has just read.
    [[nodiscard]] bool isCurrentStateBackedUp(qint64 modifiedMSecs) const;
    QDateTime latestModifiedTime() const;
    KFileCopyedObject* latestVersion() const;
    KFileCopyedObject* findVersion(const QString& fileId) const;

    // Deletes the copy; the version goes only when that succeeded.
    [[nodiscard]] bool removeVersion(const QString& fileId);
    // Deletes every copy and forgets every version; false when any copy could not be deleted.
    [[nodiscard]] bool removeAllBackups();
    // Deletes the copies not made today and keeps their entries; false when any deletion failed.
    [[nodiscard]] bool removeBackupsBeforeToday();
    // Drops the versions whose file modification lies seven or more midnights away; true when
    // any was dropped.
    [[nodiscard]] bool dropVersionsOlderThan7Days();

    qint64 totalBackupSize() const;
    qint64 backupSizeBeforeToday() const;

    QMap<QString, KFileCopyedObject*> versionsByXmlLine() const;
    // The row of the lists, "path|count|date|month|stamp": the version count, the last backup's
    // date "yyyy-MM-dd" and month "yyyy年MM月", and the modification it took as yyyyMMddhhmmss
    // (which orders backups made on one day); empty without versions.
    QString rowText() const;
    QString toXml() const;
    // Appends the same element, in UTF-8, to `out`; false when there is none (no versions).
    bool appendXml(QByteArray* out) const;
    // Appends the sums file's lines of the versions whose sums are known (KCopySums).
    void appendSums(QByteArray* out) const;
    // Records `sum` for the copy of `version`; false, changing nothing, when the record has no
    // such version. The database loader's way of giving versions their sums.
    bool setSum(const KVersionKey& version, const KContentSum& sum);
    // Forgets every sum (the loader's, when the sums file turned out damaged).
    void clearSums();

    // The path as an XML attribute value.
    static QString escapeAttribute(const QString& text);

private:
    int latestIndex() const; // under lock(); -1 without versions
    int latestBackupIndex() const; // under lock(); -1 without versions
    QStringList idsNotBackedUpToday() const;
    KFileCopyedObject* objectFor(const KVersionKey& version) const;
    QVector<KVersionKey> takeVersions(const std::function<bool(const KVersionKey&)>& which);

    void writeElement(QByteArray* out) const; // under lock()

    std::shared_mutex& lock() const;

    const QString m_fileName;
    const int m_fileType;
    // Under lock(); counts the changes of the versions. Beside the type, so that a record and
    // its count of holders fit in 64 bytes (a row shown after exactly 2^32 changes would be
    // the one cached before them).
    quint32 m_revision = 0;
    QVector<KVersionKey> m_versions; // in FileID order
    // The sums of the versions that have one, by their index in m_versions, in that order: most
    // versions of an older database have none. 20 bytes each.
#pragma pack(push, 4)
    struct StoredSum
    {
        int at;
        quint64 size; // the size, and KVersionId's flag of a hash
        quint64 hash;
    };
#pragma pack(pop)
    QVector<StoredSum> m_sums;
    // Under lock().
    QVector<StoredSum>::const_iterator sumAt(int at) const;
    static StoredSum stored(int at, const KContentSum& sum);
    static KContentSum sumOf(const StoredSum& stored);
    // What is made only when asked for, under one mutex all records share (nothing is locked
    // while it is held).
    struct Parts
    {
        quint32 rowRevision = 0; // the revision the row shows
        QString row;
        QHash<QString, KFileCopyedObject*> objects;
    };
    Parts& parts() const; // under partsMutex()
    static std::mutex& partsMutex();
    mutable std::unique_ptr<Parts> m_parts;

    Q_DISABLE_COPY(KFileObject)
};
