#pragma once

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVector>

struct KFileStatus;

#include <mutex>
#include <shared_mutex>

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
    bool createBackup(const QString& sourcePath, const QString& backupDirectory = QString());

    QDateTime modifiedTime() const;
    QDateTime backupDate() const;
    // The modification time as stored, "yyyyMMddhhmmss"; empty when the FileID is malformed.
    QString modifiedStamp() const;
    bool isBackedUpToday() const;

    bool removeBackupFile() const;
    qint64 backupFileSize() const;
    QString backupFilePath() const;
    static bool backupFileExists(const QString& fileId);

    // A FileID that names a plain file inside the backup folder: no separators, no "..", no
    // drive colon, no control characters. Any other is never used to touch a file.
    static bool isSafeFileId(const QString& fileId);

    QString toXml() const;

    static constexpr int StampPosition = 39;
    static constexpr int StampLength = 14;

private:
    QString m_fileId;
};

// One protected file, keyed by its path, with all its versions. Each record guards its own
// version map, so the scanner thread may add versions while the GUI thread reads them. (A
// standard shared mutex rather than QReadWriteLock: ThreadSanitizer can see its synchronisation.)
class KFileObject : public QObject
{
    Q_OBJECT

public:
    KFileObject(const QString& fileName, int fileType, QObject* parent = nullptr);
    ~KFileObject() override;

    QString fileName() const { return m_fileName; }
    int fileType() const { return m_fileType; }
    int versionCount() const;
    QStringList versionIds() const;

    // Adds a version read from the database; the copy is expected to exist.
    void addVersion(const QString& fileId);
    // Adds several at once (the database loader), indexing them once.
    void addVersions(const QStringList& fileIds);
    // Copies the file's current state as a new version; false when the copy failed.
    bool addNewVersion(const QString& backupDirectory = QString());

    // True when some version carries the file's current modification time, to the second.
    bool isCurrentStateBackedUp() const;
    // The same for a modification time the caller has just read.
    bool isCurrentStateBackedUp(qint64 modifiedMSecs) const;
    QDateTime latestModifiedTime() const;
    KFileCopyedObject* latestVersion() const;
    KFileCopyedObject* findVersion(const QString& fileId) const;

    // Deletes the copy; the version goes only when that succeeded.
    bool removeVersion(const QString& fileId);
    // Deletes every copy and forgets every version; false when any copy could not be deleted.
    bool removeAllBackups();
    // Deletes the copies not made today and keeps their entries; false when any deletion failed.
    bool removeBackupsBeforeToday();
    // Drops the versions whose file modification lies seven or more midnights away; true when
    // any was dropped.
    bool dropVersionsOlderThan7Days();

    qint64 totalBackupSize() const;
    qint64 backupSizeBeforeToday() const;

    QMap<QString, KFileCopyedObject*> versionsByXmlLine() const;
    // Path, version count, latest modification "yyyy-MM-dd hh:mm:ss", creation month "yyyy年MM月".
    QStringList rowTexts() const;
    // The same texts joined with "|", for the file's status `file`; empty without versions.
    QString rowText(const KFileStatus& file) const;
    QString toXml() const;
    // Appends the same element, in UTF-8, to `out`; false when there is none (no versions).
    // Saving writes the whole database this way, without a text copy per record.
    bool appendXml(QByteArray* out) const;

    // The path as an XML attribute value.
    static QString escapeAttribute(const QString& text);

private:
    KFileCopyedObject* latestLocked() const;
    void writeXml(QByteArray* out) const; // under m_lock
    // Rebuilds the flat copy of the versions' times after the map changed; under the write lock.
    void reindex();

    const QString m_fileName;
    const int m_fileType;
    mutable std::shared_mutex m_lock;
    QMap<QString, KFileCopyedObject*> m_versions;
    // The versions in map order with their FileIDs and modification times as numbers (-1 when
    // unreadable): every cycle asks each record for its latest version and whether its file
    // changed, and every save writes the FileIDs; flat arrays answer that far faster than
    // walking the map and reading the names again.
    QVector<KFileCopyedObject*> m_order;
    QVector<QString> m_ids;
    QVector<qint64> m_stampNumbers;
    // The element as the database writes it, made at the first save after a change: a save
    // rewrites every record while few changed since the last one. Readers that find it missing
    // build it under m_xmlMutex; a change clears it under the write lock.
    mutable std::mutex m_xmlMutex;
    mutable QByteArray m_xml;
    mutable bool m_xmlValid = false;
};
