#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QFile;

// What one status call tells about a path.
struct KFileStatus
{
    enum Kind
    {
        Missing,
        File,
        Folder,
        SymLink,
        Other // devices, pipes, sockets
    };

    bool exists = false;
    // The status could not be read for a reason other than the file's absence (a folder the
    // user may not enter, an I/O error): such a file is not known to be gone.
    bool unreadable = false;
    bool isDir = false;
    bool isFile = false;
    // Only where links are not followed.
    bool isLink = false;
    // Owned by the user the process runs as.
    bool isOwn = false;
    // The owner's write permission; without it the file counts as read-only.
    bool ownerWritable = false;
    unsigned mode = 0; // the permission bits
    qint64 size = 0;
    qint64 modifiedMSecs = 0; // since the epoch
    // Birth time where the file system records it, else the last status change.
    qint64 createdMSecs = 0;
    // Changes when the file is replaced by another one, as by writing a new file and renaming it.
    quint64 inode = 0;
    quint64 device = 0;
    // The file system's own times, to the nanosecond, to tell whether a file changed.
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    // Only "no such file" means gone.
    [[nodiscard]] bool isGone() const { return !exists && !unreadable; }
    [[nodiscard]] Kind kind() const;
    // The same file, not changed since this status was taken: a write or a permission change
    // moves its change time.
    [[nodiscard]] bool isSameState(const KFileStatus& other) const;
};

// A file's size and the xxHash3 (64 bits) of its content, taken while it was copied.
struct KContentSum
{
    qint64 size = -1; // -1: not known
    quint64 hash = 0;
    bool hasHash = false;

    [[nodiscard]] bool isKnown() const { return size >= 0; }
    // Whether `actual`, taken from a whole file, shows the content this sum records: the same
    // size, and the same hash where one is recorded. A sum not known admits anything.
    [[nodiscard]] bool admits(const KContentSum& actual) const;
};

// Sums bytes as they pass: their count and their xxHash3 (64 bits).
class KContentHasher
{
public:
    KContentHasher();
    ~KContentHasher();
    void add(const char* data, qint64 size);
    // False when the hasher could not be made (out of memory).
    [[nodiscard]] bool isValid() const { return m_state != nullptr; }
    KContentSum sum() const;

private:
    void* m_state;
    qint64 m_size = 0;
    KContentHasher(const KContentHasher&) = delete;
    KContentHasher& operator=(const KContentHasher&) = delete;
};

// Owns one file descriptor and closes it when it goes away.
class KFd
{
public:
    KFd() = default;
    explicit KFd(int fd)
        : m_fd(fd)
    { }
    KFd(KFd&& other) noexcept
        : m_fd(other.release())
    { }
    KFd& operator=(KFd&& other) noexcept;
    ~KFd();

    [[nodiscard]] bool isValid() const { return m_fd >= 0; }
    int get() const { return m_fd; }
    int release();
    // Closes now; false when the close itself failed (a write the disk refused shows here).
    [[nodiscard]] bool close();

private:
    int m_fd = -1;
    KFd(const KFd&) = delete;
    KFd& operator=(const KFd&) = delete;
};

// What replacing a file with a backup copy came to.
enum class KReplaceResult
{
    Replaced,
    Failed,
    // A symbolic link is at the target: it is neither followed nor replaced.
    TargetIsLink,
    // The copy read is not the content recorded for it.
    SourceDamaged,
};

// The small file-I/O layer every other part uses: descriptors, reads that only ever touch regular
// files, copies that sum what they copy, flushes, private modes, files replaced whole and one walk
// of a folder tree.
namespace KFileIO {

// Everything the product writes in the user's data is for the user's eyes only.
constexpr unsigned PrivateFileMode = 0600;
constexpr unsigned PrivateFolderMode = 0700;

enum class Links
{
    Follow, // a document named through a link is still the document
    DontFollow,
};

// Opens `path` for reading only when it is a regular file. The open itself never blocks (a FIFO
// or a device named in a list would otherwise stop the caller for good): it is made
// non-blocking, the opened descriptor's type is checked, and only then is the flag cleared.
// Returns an invalid descriptor otherwise, with errno set (EINVAL for anything but a regular file).
// The status taken of the opened file goes to `status` when it is given.
KFd openRegular(const QString& path, Links links = Links::Follow, KFileStatus* status = nullptr);

// The same, as a QFile open for reading, for parsers that stream from a QIODevice. A file larger
// than `maxSize` bytes is not opened (errno EFBIG), so that no list can flood memory.
std::unique_ptr<QFile> openRegularFile(const QString& path, qint64 maxSize, Links links = Links::Follow);

// The status of an open file; false when it cannot be read.
[[nodiscard]] bool status(int fd, KFileStatus* status);
// The status of `path` as the file system answers it.
KFileStatus status(const QString& path, Links links = Links::Follow);
// A folder opened to look names up in, for many lookups without building their paths.
KFd openFolder(const QString& path);
// The status of `name` in the open `folder`, links followed.
KFileStatus statusIn(const KFd& folder, const char* name);

// Writes all `size` bytes, resuming after interruptions; false on any failure, including a write
// that makes no progress. Zero bytes succeed.
[[nodiscard]] bool writeAll(int fd, const char* data, qint64 size);
// Reads up to `size` bytes, resuming after interruptions and short reads: the number read, less
// than `size` only at the end of the file, or -1 on an error.
qint64 readFully(int fd, char* data, qint64 size);

// Copies from `from`'s position to `to`'s in one pass, summing what passes into `sum` when it is
// given: exactly `size` bytes, after which the source must end, or with `size` -1 all there is.
// With `to` -1 the content is only read and summed. `afterEachChunk` runs after every few
// mebibytes; the copy stops when it returns false. False on any error (errno tells which), on a
// source of another length, when stopped, and when the thread is asked to stop (the module being
// unloaded).
[[nodiscard]] bool copy(int from, int to, qint64 size, KContentSum* sum = nullptr,
    const std::function<bool()>& afterEachChunk = {});

// Sets the modification time of an open file, to the nanosecond since the epoch.
[[nodiscard]] bool setModified(int fd, qint64 modifiedNs);

// Flushes the file, the folder `path`, the folder holding `path`, or the whole file system
// holding `path` to disk. A file system that cannot flush a folder at all counts as flushed.
[[nodiscard]] bool syncFile(int fd);
// Asks the kernel to start writing `length` bytes of the file from `offset` to disk without
// waiting, so that a later syncFile() of a file written in parts has less left to wait for. It
// makes nothing durable by itself; where the kernel cannot, it does nothing.
void startWriteOut(int fd, qint64 offset, qint64 length);
[[nodiscard]] bool syncFolder(const QString& path);
[[nodiscard]] bool syncFolderOf(const QString& path);
[[nodiscard]] bool syncFileSystem(const QString& path);

// Creates `folder` with the parents it lacks, each private (0700, set on the created folder
// itself); true when it is a folder afterwards. An existing folder is left as it is; errno tells
// why it failed (EEXIST: something else is there).
[[nodiscard]] bool makeFolder(const QString& folder);
// Makes the folder or regular file at `path` private: folders 0700, files 0600, set on a
// descriptor; a link is neither followed nor changed (false). A missing file is left missing.
[[nodiscard]] bool makePrivate(const QString& path);
// The same for `folder` and everything below it; what cannot be changed is named in `refused`.
// True when nothing was refused.
[[nodiscard]] bool makePrivateTree(const QString& folder, QStringList* refused);

// A new file written beside `path` that takes its place only once it is whole: given its
// permissions and times on the descriptor, flushed, renamed over `path`, and the folder flushed. Destroyed
// without a commit, or should the commit fail, it leaves nothing behind and `path` as it was.
class KReplacement
{
public:
    enum class Naming
    {
        // "<name>.XXXXXX", six random letters or digits, from the start: see
        // isReplacementFileName().
        Random,
        // Unnamed until it is whole where the file system allows it, then (or from the start
        // where it does not) ".<name>.vaultkeep-restore"; one a killed process left is removed.
        Hidden,
    };
    KReplacement(const QString& path, Naming naming);
    ~KReplacement();

    [[nodiscard]] bool isOpen() const { return m_fd.isValid(); }
    int fd() const { return m_fd.get(); }
    // What is at `path` now, links not followed.
    const KFileStatus& existing() const { return m_existing; }

    // True once the file is in place. `modifiedNs` < 0 leaves the time of the write. Without
    // `syncFolder` the rename is left for a later flush of the folder to make durable.
    [[nodiscard]] bool commit(unsigned mode, qint64 modifiedNs = -1, bool syncFolder = true);
    // Whether the commit's rename was flushed to disk with its folder.
    [[nodiscard]] bool isFolderSynced() const { return m_folderSynced; }

private:
    [[nodiscard]] bool nameTemporary();
    void discard();

    KFd m_folder;
    KFd m_fd;
    QByteArray m_name;
    QByteArray m_temporary;
    Naming m_naming;
    bool m_named = false;
    bool m_folderSynced = false;
    KFileStatus m_existing;
    KReplacement(const KReplacement&) = delete;
    KReplacement& operator=(const KReplacement&) = delete;
};

// Replaces the file at `path` with `content` through a KReplacement, with permissions `mode`.
// Without `syncFolder`, a file replaced just before another one in the same folder shares that
// one's flush of the folder.
[[nodiscard]] bool replaceContents(
    const QString& path, const QByteArray& content, unsigned mode, bool syncFolder = true);

// Whether `name` is the name of a Random replacement of `fileName` left by a process that ended
// during its write: "<fileName>." and six letters or digits.
[[nodiscard]] bool isReplacementFileName(const QString& name, const QString& fileName);

// Creates the regular file `path` for writing, which must not exist yet, with permissions `mode`
// set on the descriptor; a link at `path` is never followed. Invalid on failure.
KFd createNew(const QString& path, unsigned mode);

enum class CopyResult
{
    Copied,
    Failed, // errno tells why
    // The source was written to, grown, shrunk or emptied while it was copied.
    SourceChanged,
};

// Copies the regular file open as `from`, in the state `source`, from its start to `target`, which
// must not exist yet: created with permissions `mode`, given the modification time `modifiedNs`,
// its content summed into `sum` on the way (read once). It counts only when exactly the content
// `source` describes was read and the source is in that state afterwards. The copy is not flushed;
// nothing is left at `target` unless it was copied.
//
// Where the file systems allow, the kernel makes the copy: a clone sharing the source's extents
// until either changes (btrfs, XFS with reflink), else copy_file_range; the source is then read
// once to sum it. A pair of file systems that has no such way is not asked again.
[[nodiscard]] CopyResult copyToNew(int from, const KFileStatus& source, const QString& target, unsigned mode,
    qint64 modifiedNs, KContentSum* sum = nullptr);

// Replaces `target` with a copy of `source` so that the target is never half-written: the copy
// is written in the target's folder as an unnamed file (where the file system has none, under a
// hidden temporary name), given its modification time, flushed to disk and only then renamed over
// the target. On any failure, and if the process dies on the way, the target stays exactly as it
// was and no temporary file is left. The new file takes the target's permissions, or the
// source's for a new target, plus read and write for its owner; all of it is set on the new
// file's descriptor. A target that is a symbolic link is refused, one that is anything else but
// a regular file of the user's, too.
//
// `modifiedNs` is the new file's modification time, -1 for the source's own, to the nanosecond.
// The content is summed as it is copied; when it is not what `recorded` admits, the target is
// left as it was. `afterEachChunk` runs after every few megabytes copied.
[[nodiscard]] KReplaceResult replaceFile(const QString& source, const QString& target, qint64 modifiedNs,
    const KContentSum& recorded = KContentSum(), const std::function<void()>& afterEachChunk = {});

// One entry met by walk().
struct WalkEntry
{
    QString folder; // the path of the folder that holds it
    QString folderRelative; // that folder below the walk's root, empty for the root itself
    QByteArray name; // as the file system spells it
    int folderFd = -1; // the open folder that holds it, for calls relative to it
    int depth = 0; // 0 for the entries of the root itself
    KFileStatus status; // links not followed; Missing when it went meanwhile

    QString fileName() const;
    QString path() const;
    // Below the walk's root, '/' between names.
    QString relative() const;
};

enum class WalkStep
{
    Enter, // go into the entry when it is a folder, and go on
    Skip, // leave what the entry holds, and go on
    Stop, // end the walk
};

// What walk() does with what it meets.
struct WalkVisitor
{
    std::function<WalkStep(const WalkEntry&)> visit;
    // After the entries of a folder `visit` entered, or after `failed` when it could not be read;
    // false ends the walk.
    std::function<bool(const WalkEntry&)> leave;
    // A folder that could not be opened or listed (the root too, with an empty relative path),
    // with errno's value; true goes on with the next entry. Without it, the walk ends there.
    std::function<bool(const QString& path, const QString& relative, int error)> failed;
    // Entries in the order of their names, letter case ignored first; otherwise as the folder lists them.
    bool byName = false;
};

// Walks the tree below `root`, depth first: every entry is visited, each folder's entries only
// once all its names have been read, so that a visitor may remove or add entries. No link below
// the root is ever followed: folders are opened through their parent's descriptor, never through
// a link. `links` says whether a link at the root itself is. False when the walk was ended.
[[nodiscard]] bool walk(const QString& root, const WalkVisitor& visitor, Links links = Links::DontFollow);

// Sum of the sizes of the regular files below `folder` (a link there followed), links below
// skipped; with `onlyReadOnly` only files without the owner's write permission count.
// `afterEach` runs after every file counted and every folder entered. A missing folder measures 0.
qint64 folderSize(const QString& folder, bool onlyReadOnly, const std::function<void()>& afterEach = {});

// Removes everything below `folder`: links themselves, never what they name. What stays is named
// in `refused`; true when nothing did.
[[nodiscard]] bool removeContents(const QString& folder, QStringList* refused);

} // namespace KFileIO
