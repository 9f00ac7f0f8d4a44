#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// What one status call tells about a path.
struct KFileStatus
{
    bool exists = false;
    // The status could not be read for a reason other than the file's absence (a folder the
    // user may not enter, an I/O error): such a file is not known to be gone.
    bool unreadable = false;
    bool isDir = false;
    bool isFile = false;
    // The owner's write permission; without it the file counts as read-only.
    bool ownerWritable = false;
    qint64 size = 0;
    qint64 modifiedMSecs = 0; // since the epoch
    // Birth time where the file system records it, else the last status change.
    qint64 createdMSecs = 0;
    // Changes when the file is replaced by another one, as by writing a new file and renaming it.
    quint64 inode = 0;

    // Only "no such file" means gone.
    bool isGone() const { return !exists && !unreadable; }
};

// A regular file opened for copying. Its status is taken from the open file, so it describes
// exactly the content a copy will take.
class KCopySource
{
public:
    explicit KCopySource(const QString& path);
    ~KCopySource();

    bool isOpen() const { return m_fd >= 0; }
    const KFileStatus& status() const { return m_status; }

    enum class Result
    {
        Copied,
        Failed,
        // The source was written to, grown, shrunk or emptied while it was copied.
        SourceChanged,
    };

    // Copies the content to `target`, which must not exist yet. The copy keeps the source's
    // permissions plus read and write for its owner, and the source's modification time. It
    // counts only when exactly the content described by status() was read and the source's
    // size and times were the same afterwards; otherwise no file is left behind.
    Result copyTo(const QString& target);

private:
    int m_fd = -1;
    unsigned m_mode = 0;
    bool m_copied = false;
    KFileStatus m_status;
    // The file system's own answers, to tell whether the file changed during the copy.
    qint64 m_rawSize = 0;
    qint64 m_rawModifiedNs = 0;
    qint64 m_rawChangedNs = 0;
    Q_DISABLE_COPY(KCopySource)
};

// File operations done the fast way: one system call where Qt would make several.
namespace KFileOps {

// The status of `path`, as the platform answers it (tests may answer for chosen paths).
KFileStatus status(const QString& path);

// Copies a regular file to `target`, which must not exist yet (see KCopySource::copyTo).
bool copyFile(const QString& source, const QString& target);

// Replaces the file at `path` with `content`: written to a new file beside it, every write
// checked, flushed to disk, and renamed over the old file only when all of that succeeded; the
// folder is flushed too, so that the rename itself survives a power loss. On any failure the
// old file stays as it was, nothing is left beside it, and false is returned. A new file gets
// the permissions of the one it replaces (read and write for everyone, less the umask, when
// there was none).
bool replaceFile(const QString& path, const QByteArray& content);

// Whether `name` is the name of a file that replaceFile() writes beside `fileName` before it
// renames it: "<fileName>." and six letters or digits. One that is left over was abandoned by a
// process that ended during the write.
bool isReplacementFileName(const QString& name, const QString& fileName);

// Writes everything the file system holding `path` keeps in memory to its disk; false when
// that failed or `path` cannot be opened.
bool syncFileSystem(const QString& path);

// Adds the owner's write permission and keeps the owner's read permission: a backup of a
// read-only source must stay readable and become writable for its owner.
bool makeWritableForOwner(const QString& path);

// Sum of the sizes of the regular files below `folder`, recursively, symbolic links skipped;
// with `onlyReadOnly` only files without the owner's write permission count. `afterEach` runs
// after every entry counted or descended into. A missing folder measures 0.
qint64 folderSize(const QString& folder, bool onlyReadOnly, const std::function<void()>& afterEach = {});

// Replaces `target` with a copy of `source` so that the target is never half-written: the copy
// is written in the target's folder as an unnamed file (where the file system has none, under a
// hidden temporary name), given `modifiedMSecs` as its modification time, flushed to disk and
// only then renamed over the target. On any failure, and if the process dies on the way, the
// target stays exactly as it was and no temporary file is left. The new file takes the
// target's permissions, or the source's for a new target, plus read and write for its owner.
// A target that exists as anything but a regular file is never replaced. `afterEachChunk`
// runs after every few megabytes copied.
bool replaceFile(const QString& source, const QString& target, qint64 modifiedMSecs,
    const std::function<void()>& afterEachChunk = {});

} // namespace KFileOps
