#pragma once

#include <QHash>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>

class KFileObject;
class KVersionId;
struct KContentSum;
struct KFileStatus;

// A record as the engine hands it out: whoever holds one keeps it alive, also after it left its
// collection (removed, cleaned up). A record nobody holds any more is freed.
using KFileObjectPtr = std::shared_ptr<KFileObject>;

// The protected-file records of one kind, keyed by path in plain text order. The scanner thread
// backs files up and cleans up while the GUI thread reads rows, sizes and records, so the map is
// guarded by a read-write lock. It is held only to look up or change the map: long walks copy
// the records and run without it, and backup copies are made and deleted outside it.
//
// Ownership: the collection holds its records. A record refused by addFile() stays with the
// caller, who deletes it.
class KFileObjectMgr final : public QObject
{
    Q_OBJECT

public:
    explicit KFileObjectMgr(QObject* parent = nullptr);
    ~KFileObjectMgr() override;

    // Takes `record` under its path; false, and the caller keeps it, when the path is taken or
    // cannot be stored in the database.
    [[nodiscard]] bool addFile(KFileObject* record);
    [[nodiscard]] bool addFile(const KFileObjectPtr& record);
    KFileObjectPtr findFile(const QString& path) const;
    [[nodiscard]] bool isCurrentStateBackedUp(const QString& path) const;
    // The same for a modification time the caller has just read.
    [[nodiscard]] bool isCurrentStateBackedUp(const QString& path, qint64 modifiedMSecs) const;
    // Copies the file as a new version of its record; a new record is kept only together with
    // its first successful copy. Null on failure. `backupDirectory` spares a settings read.
    KFileObjectPtr backupFile(const QString& path, int fileType, const QString& backupDirectory = QString());

    // Deletes every copy of the file; the record goes only when all copies went.
    [[nodiscard]] bool removeFile(const QString& path);
    // Deletes the version wherever it is; a record left without versions goes.
    [[nodiscard]] bool removeVersion(const QString& fileId);
    // Deletes every copy and forgets every record; false when a copy stayed (it is reported).
    [[nodiscard]] bool removeAllBackups();
    // Deletes the copies not made today; the records and their entries stay. False when a copy
    // stayed (it is reported).
    [[nodiscard]] bool removeBackupsBeforeToday();
    // Drops versions seven or more days old and the records they leave empty; true when any
    // version was dropped.
    [[nodiscard]] bool dropExpiredVersions();

    qint64 totalBackupSize() const;
    qint64 backupSizeBeforeToday() const;
    // The FileIDs of every version, appended to `out` in no particular order.
    void appendVersionIds(QVector<KVersionId>* out) const;

    // The File elements of the records with versions, each followed by a line end.
    QString toXml() const;
    // Appends the same text, in UTF-8, to `out`.
    void appendXml(QByteArray* out) const;
    // Appends the sums file's lines of every version whose sum is known (KCopySums), handing
    // them to `spill` as appendElements() does.
    void appendSums(QByteArray* out, const std::function<void(QByteArray*)>& spill = {}, int chunk = 0) const;
    // The sum recorded for `version` in whichever record holds it; not known when none does.
    KContentSum sumOf(const KVersionId& version) const;
    // Appends the elements, separated by line ends (none after the last; see
    // KFileObject::appendXml), and returns how many there were. With `spill`, whatever gathered
    // in `out` is handed to it each time it passed `chunk` bytes, after an element.
    int appendElements(
        QByteArray* out, const std::function<void(QByteArray*)>& spill = {}, int chunk = 0) const;
    // One "path|count|latest|month" row per record with versions; also sorted into rows of
    // files that may exist and of files that are gone (either list may be null). Only "no such
    // file" counts as gone: a file whose status cannot be read stays with the existing ones.
    QStringList collectRows(QStringList* existing, QStringList* deleted) const;
    // The same, taking whether a record's file is gone from `gone` when it holds the record (the
    // engine's cycle has just read the status of every recently used file).
    QStringList collectRows(
        QStringList* existing, QStringList* deleted, const QHash<const KFileObject*, bool>& gone) const;
    // Moves on whenever a record is added or removed (not when its versions change): records a
    // caller found by path are still the collection's while it stays the same.
    quint64 changeCount() const;

    // Forgets every record; those still held elsewhere live on with their holders.
    void clear();
    int count() const;

    // The database is XML 1.0: a path with a character it cannot carry would make the whole
    // file unreadable, so such a file is never taken under protection.
    static bool isStorablePath(const QString& path);

signals:
    // Part of the collection's interface for observers of single records; the engine refreshes
    // whole lists instead, so nothing here emits them.
    void sigAdded(const KFileObject* record, const QString& strType, bool bSuccess);
    void sigRemove(const QString& strFileName);

private:
    using RecordMap = QHash<QString, KFileObjectPtr>;

    // The records in path order, made again only after the map changed; a copy shares it.
    QVector<KFileObjectPtr> snapshot() const;
    // After a record left the map, under the unique lock: the ordered records go to `ordered`,
    // for the caller to release, so that none outlives its place in the map.
    void takeOrdered(QVector<KFileObjectPtr>* ordered);
    qint64 sumOverRecords(qint64 (KFileObject::*size)() const) const;
    // Takes the record `take` makes under `path` when the path is free and can be stored.
    [[nodiscard]] bool insertRecord(const QString& path, const std::function<KFileObjectPtr()>& take);
    // Erases `record` from the map when it is still there and has no versions left.
    void eraseIfEmpty(const KFileObjectPtr& record);

    mutable std::shared_mutex m_lock;
    RecordMap m_records; // looked up for every listed file in every cycle
    mutable std::mutex m_orderedMutex;
    mutable QVector<KFileObjectPtr> m_ordered;
    mutable quint64 m_orderedChange = 0; // m_change when m_ordered was made
    quint64 m_change = 1; // under m_lock

    Q_DISABLE_COPY(KFileObjectMgr)
};
