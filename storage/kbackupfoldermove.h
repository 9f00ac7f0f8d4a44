#pragma once

#include "core/kcopysums.h"
#include "platform/kfileio.h"
#include "platform/kfiletransfer.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>

class KFileLock;

// Moves the backup folder from one backup path to another without ever losing a backup.
//
// Within one file system the folder is renamed. Between file systems every entry is copied,
// keeping its modification time and its owner's permissions (the group and others get none);
// once all copies are flushed, each is read back from the disk and checked against the hash of
// what was read from the original. What is read from an original must match the size and hash
// recorded when that backup was made, where they were: a damaged backup stops the move. A file already at the
// destination with the same content counts as moved. Only when every entry has moved and is on disk, and the
// settings that point the backup path to the new folder are on disk too, does the old folder go. When
// anything cannot be moved, what was copied is taken away again, backups made into the new folder meanwhile
// are brought back, and the backup path points to the old folder.
//
// A journal beside the protection database records each move while it runs. A process that
// dies in the middle leaves it behind, and the next start (recoverInterruptedMove(), before
// the database is loaded) finishes the move when everything had been copied, or else undoes it.
// The journal goes only once the settings on disk say where the backups are.
// Moves and that recovery hold a lock shared by every process of the user.
class KBackupFolderMove
{
public:
    enum class Result
    {
        Moved,
        Failed,
        Busy // another move of this process is running; nothing was done
    };

    // Why a move failed; the user is told.
    enum class Problem
    {
        None,
        Busy,
        Conflict, // a same-named entry with other content at the destination
        NoSpace,
        NotWritable,
        DestinationMissing,
        SourceUnreadable,
        InUse, // another program keeps writing a backup file
        NotMovable, // a device, a pipe or a socket in the backup folder
        Nested, // one folder lies inside the other
        Cancelled,
        FolderUnreadable, // a folder could not be listed; the entry is its full path
        Damaged, // a copy read back from the new disk differs from its original
        CopyDamaged, // a backup differs from what was recorded when it was made
        NotFlushed, // the new disk reported an error when the copies were written to it
        SettingsNotSaved, // the settings naming the new folder could not be written
        Other
    };

    KBackupFolderMove(const QString& sourceRoot, const QString& destinationRoot);
    ~KBackupFolderMove();

    // Bytes of all files, bytes moved so far.
    using Progress = std::function<void(quint64 total, quint64 moved)>;
    // Asked between entries while copying; true abandons the move, which is then undone.
    using Cancellation = std::function<bool()>;

    Result run(const Progress& progress = {}, const Cancellation& cancelled = {});

    // After run(): the folder that holds the backups, where the backup path now points.
    QString backupFolder() const { return m_backupFolder; }
    Problem problem() const { return m_problem; }
    // The entry the problem concerns, relative to the backup folder; may be empty.
    QString problemEntry() const { return m_problemEntry; }

    // The backup folder under the backup path `root`, with a trailing separator.
    static QString folderOf(const QString& root);
    static QString journalPath();
    static QString lockPath();

    // Records, before the backup path changes from `sourceRoot` to `destinationRoot`, that the
    // backups are about to move: should the process end before the move has begun, the next
    // start points the backup path back to where they are. Does nothing while a move runs; that
    // move sets the backup path itself when it ends.
    static void prepare(const QString& sourceRoot, const QString& destinationRoot);

    // Finishes or undoes a move that a process which died left behind, so that the database
    // about to be loaded finds every copy where the backup path points. The returned lock keeps
    // moves out until the caller has loaded the database.
    static std::unique_ptr<KFileLock> recoverInterruptedMove();

    // Held shared by every loop that writes new backup copies into the folder it read from the
    // settings. A move takes it exclusively, for a moment, after changing the backup path: once
    // it has it, no backup can still go to the folder the path pointed to before.
    static std::shared_mutex& backupWriters();

    static bool isMoveInProgress();

    // The name prefix of the copies being written; never a backup's name.
    static QString temporaryPrefix();

private:
    struct Journal;

    // Settles a journal a process that died left behind; false when it could not be settled. A
    // journal of the copying of `next`'s own move is taken over by it instead.
    [[nodiscard]] static bool settleJournal(KBackupFolderMove* next = nullptr);
    void recover(const Journal& journal);
    [[nodiscard]] bool writeJournal(const QString& state) const;
    void fail(Problem problem, const QString& entry = QString());
    [[nodiscard]] bool check(KFileTransfer::Error error, const QString& entry);

    // The three steps of run(): checking both folders and recording the move (a result when it
    // ends there), moving every entry, and making the new folder the backup folder or undoing.
    std::optional<Result> preflight();
    [[nodiscard]] bool transfer();
    Result commit(bool moved);

    // A walk that ends at the first folder it cannot read, the move failing for it.
    KFileIO::WalkVisitor walkEveryFolder();
    [[nodiscard]] bool listPresent();
    [[nodiscard]] bool findConflicts();
    [[nodiscard]] bool transferFolder();
    KFileIO::WalkStep transferEntry(const QString& relative, const KFileStatus& source);
    [[nodiscard]] bool transferFile(const QString& relative, const KFileStatus& source);
    KFileTransfer::Error copyInto(
        const QString& from, const QString& to, KFileStatus* matched, quint64* hash) const;
    void advance(qint64 bytes);
    // Flushes what the move wrote to the destination and checks every copy read back from it.
    [[nodiscard]] bool secureMoved();
    [[nodiscard]] bool verifyCopied(const QString& relative);

    void finish();
    Result failBeforeCopying();
    Result undo(); // rolls back what was copied
    [[nodiscard]] bool restrictDestination();
    void removeSources();
    [[nodiscard]] bool removeMovedSources(); // one round; true when the old folder was cleared
    [[nodiscard]] bool settleSourceFile(const QString& relative);
    [[nodiscard]] bool rollback();
    [[nodiscard]] bool bringBack(bool* copiedBack);
    [[nodiscard]] bool takeAwayCopies();

    // False when the settings naming `root` could not be put on disk.
    [[nodiscard]] bool pointBackupPathTo(const QString& root) const;
    [[nodiscard]] bool syncRenamed() const;
    QString sourcePath(const QString& relative) const;
    QString destinationPath(const QString& relative) const;
    static QString temporaryFor(const QString& path);
    static bool isTemporary(const QString& relative);

    const QString m_sourceRoot;
    const QString m_destinationRoot;
    const QString m_sourceFolder;
    const QString m_destinationFolder;
    bool m_rename = false;
    bool m_destinationExisted = false;
    bool m_destinationThere = false; // when this run began
    bool m_wholeFolder = false; // renamed as one folder, to where none was
    bool m_renamedWhole = false;
    // The journal on disk already records this move's copying.
    bool m_journalled = false;
    // What the destination folder held before the move, relative paths: never taken away.
    QSet<QString> m_present;
    bool m_presentComplete = true; // every folder there could be listed
    // Each file copied, with the state of the source the copy matches and the hash of what was
    // read from it, `unchecked` until the copy has been read back from the disk.
    struct Copied
    {
        KFileStatus source;
        quint64 hash = 0;
        bool unchecked = false;
    };
    QHash<QString, Copied> m_copied;
    // The sums recorded beside the database when the backups were made, for moves that copy.
    KCopySums m_recorded;
    QSet<QString> m_unchecked; // while rolling back: the copies never read back whole
    // Folders copies were written into, flushed before any original goes.
    QSet<QString> m_filledFolders;
    // Folders whose entries were renamed, written to disk before the old folder goes.
    QSet<QString> m_renamedIn;

    Progress m_progress;
    Cancellation m_cancelled;
    quint64 m_total = 0;
    quint64 m_moved = 0;
    QElapsedTimer m_sinceReport;

    QString m_backupFolder;
    Problem m_problem = Problem::None;
    QString m_problemEntry;

    KBackupFolderMove(const KBackupFolderMove&) = delete;
    KBackupFolderMove& operator=(const KBackupFolderMove&) = delete;
};
