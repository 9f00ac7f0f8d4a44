#include "platform/kfileops.h"
#include "platform/kplatform.h"

#include <QFile>
#include <QRandomGenerator>
#include <QThread>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Closes a descriptor when it goes out of scope.
class FileDescriptor
{
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    { }
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
    Q_DISABLE_COPY(FileDescriptor)
};

constexpr unsigned StatusMask
    = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_BTIME;

qint64 msecsOf(const struct statx_timestamp& time)
{
    return qint64(time.tv_sec) * 1000 + time.tv_nsec / 1000000;
}

qint64 nsecsOf(const struct statx_timestamp& time)
{
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

void fillStatus(const struct statx& info, KFileStatus* status)
{
    status->exists = true;
    status->isDir = S_ISDIR(info.stx_mode);
    status->isFile = S_ISREG(info.stx_mode);
    status->ownerWritable = info.stx_mode & S_IWUSR;
    status->size = qint64(info.stx_size);
    status->modifiedMSecs = msecsOf(info.stx_mtime);
    status->createdMSecs = msecsOf((info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_ctime);
    status->inode = info.stx_ino;
}

bool writeAll(int fd, const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

// A copy made on a thread asked to stop (the module being unloaded) ends between two chunks, and
// the part written is deleted: the file waits for the next start.
constexpr qint64 CopyChunk = 8 * 1024 * 1024;

bool stopRequested()
{
    return QThread::currentThread()->isInterruptionRequested();
}

// Copies exactly `size` bytes and then finds the end of the source: a source that ends early or
// goes on past `size` was changed while it was copied.
bool copyContents(int from, int to, qint64 size)
{
    // In-kernel copy first; it also lets file systems share extents.
    qint64 left = size;
    while (left > 0) {
        if (stopRequested())
            return false;
        const ssize_t copied
            = ::copy_file_range(from, nullptr, to, nullptr, size_t(qMin(left, CopyChunk)), 0);
        if (copied < 0) {
            if (errno == EINTR)
                continue;
            if (left == size && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
                break; // not supported here: plain reads and writes below
            return false;
        }
        if (copied == 0)
            return false; // the source ended early
        left -= copied;
    }
    char buffer[128 * 1024];
    while (left > 0) {
        if (stopRequested())
            return false;
        const ssize_t got = ::read(from, buffer, size_t(qMin<qint64>(left, qint64(sizeof buffer))));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0 || !writeAll(to, buffer, got))
            return false;
        left -= got;
    }
    for (;;) {
        char extra = 0;
        const ssize_t got = ::read(from, &extra, 1);
        if (got < 0 && errno == EINTR)
            continue;
        return got == 0;
    }
}

qint64 folderSizeAt(int folderFd, bool onlyReadOnly, const std::function<void()>& afterEach)
{
    DIR* dir = ::fdopendir(folderFd);
    if (!dir) {
        ::close(folderFd);
        return 0;
    }
    qint64 total = 0;
    while (struct dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        struct stat info;
        if (::fstatat(::dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            const int child = ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                total += folderSizeAt(child, onlyReadOnly, afterEach);
        } else if (S_ISREG(info.st_mode)) {
            if (onlyReadOnly && (info.st_mode & S_IWUSR))
                continue;
            total += info.st_size;
        } else {
            continue;
        }
        if (afterEach)
            afterEach();
    }
    ::closedir(dir);
    return total;
}

bool syncFolderOf(const QByteArray& path)
{
    const int slash = path.lastIndexOf('/');
    const QByteArray folder = slash > 0 ? path.left(slash) : QByteArray(slash == 0 ? "/" : ".");
    FileDescriptor fd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems cannot flush a folder at all; they say so with EINVAL.
    return fd.get() >= 0 && (::fsync(fd.get()) == 0 || errno == EINVAL);
}

} // namespace

KCopySource::KCopySource(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct statx info;
    if (::statx(fd, "", AT_EMPTY_PATH, StatusMask, &info) != 0 || !S_ISREG(info.stx_mode)) {
        ::close(fd);
        return;
    }
    m_fd = fd;
    fillStatus(info, &m_status);
    KPlatform::instance()->adjustFileStatus(path, &m_status);
    m_mode = info.stx_mode;
    m_rawSize = qint64(info.stx_size);
    m_rawModifiedNs = nsecsOf(info.stx_mtime);
    m_rawChangedNs = nsecsOf(info.stx_ctime);
}

KCopySource::~KCopySource()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

KCopySource::Result KCopySource::copyTo(const QString& target)
{
    if (m_fd < 0)
        return Result::Failed;
    const QByteArray targetName = QFile::encodeName(target);
    // Created with its final permissions (less what the user's umask withholds, as for any new
    // file): the source's, without set-id bits, plus read and write for the owner.
    const mode_t mode = (m_mode & 0777) | S_IRUSR | S_IWUSR;
    FileDescriptor to(::open(targetName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (to.get() < 0)
        return Result::Failed;
    const bool rewound = !m_copied || ::lseek(m_fd, 0, SEEK_SET) == 0;
    m_copied = true;
    bool copied = rewound && copyContents(m_fd, to.get(), m_rawSize);

    // The source is asked again after the copy: a change in its size or times means that what
    // was read is not the state its status describes.
    struct statx after;
    const bool unchanged = ::statx(m_fd, "", AT_EMPTY_PATH, StatusMask, &after) == 0
        && qint64(after.stx_size) == m_rawSize && nsecsOf(after.stx_mtime) == m_rawModifiedNs
        && nsecsOf(after.stx_ctime) == m_rawChangedNs;
    if (copied && unchanged) {
        // The copy carries the modification time it is recorded under.
        const qint64 modified = m_status.modifiedMSecs;
        const struct timespec times[2]
            = { { 0, UTIME_OMIT }, { time_t(modified / 1000), long(modified % 1000) * 1000000 } };
        copied = ::futimens(to.get(), times) == 0;
    }
    const bool closed = ::close(to.release()) == 0;
    if (copied && unchanged && closed)
        return Result::Copied;
    ::unlink(targetName.constData());
    return copied && !unchanged ? Result::SourceChanged : Result::Failed;
}

namespace KFileOps {

KFileStatus status(const QString& path)
{
    KFileStatus result;
    if (path.isEmpty())
        return result;
    const QByteArray native = QFile::encodeName(path);
    struct statx info;
    if (::statx(AT_FDCWD, native.constData(), AT_STATX_SYNC_AS_STAT, StatusMask, &info) == 0)
        fillStatus(info, &result);
    else
        result.unreadable = errno != ENOENT && errno != ENOTDIR;
    KPlatform::instance()->adjustFileStatus(path, &result);
    return result;
}

bool copyFile(const QString& source, const QString& target)
{
    KCopySource from(source);
    return from.isOpen() && from.copyTo(target) == KCopySource::Result::Copied;
}

bool isReplacementFileName(const QString& name, const QString& fileName)
{
    if (name.size() != fileName.size() + 7 || !name.startsWith(fileName)
        || name.at(fileName.size()) != QLatin1Char('.')) {
        return false;
    }
    for (int i = fileName.size() + 1; i < name.size(); ++i) {
        const ushort c = name.at(i).unicode();
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
    }
    return true;
}

bool replaceFile(const QString& path, const QByteArray& content)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const QByteArray native = QFile::encodeName(path);
    struct stat old;
    const mode_t mode = ::stat(native.constData(), &old) == 0 ? (old.st_mode & 07777) : 0666;
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = native + '.';
        for (int i = 0; i < 6; ++i)
            temporary += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;
    FileDescriptor file(fd);
    // An existing file's permissions are kept whatever the umask says.
    bool written = (mode == 0666 || ::fchmod(fd, mode) == 0)
        && writeAll(fd, content.constData(), content.size()) && ::fsync(fd) == 0;
    written = ::close(file.release()) == 0 && written;
    if (!written || ::rename(temporary.constData(), native.constData()) != 0) {
        ::unlink(temporary.constData());
        return false;
    }
    // The new file is in place; a folder that cannot be flushed only leaves the rename less
    // certain to survive a power loss, which is reported all the same.
    return syncFolderOf(native);
}

bool syncFileSystem(const QString& path)
{
    FileDescriptor fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    return fd.get() >= 0 && ::syncfs(fd.get()) == 0;
}

bool makeWritableForOwner(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info;
    if (::stat(native.constData(), &info) != 0)
        return false;
    return ::chmod(native.constData(), (info.st_mode & 07777) | S_IRUSR | S_IWUSR) == 0;
}

qint64 folderSize(const QString& folder, bool onlyReadOnly, const std::function<void()>& afterEach)
{
    if (folder.isEmpty())
        return 0;
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    return folderSizeAt(fd, onlyReadOnly, afterEach);
}

} // namespace KFileOps

namespace {

// Copies everything `from` still has to `to`, in chunks, running `afterEachChunk` between them.
bool copyInChunks(int from, int to, const std::function<void()>& afterEachChunk)
{
    constexpr size_t Chunk = 8 * 1024 * 1024;
    bool inKernel = true;
    std::unique_ptr<char[]> buffer;
    for (;;) {
        ssize_t copied = -1;
        if (inKernel) {
            copied = ::copy_file_range(from, nullptr, to, nullptr, Chunk, 0);
            if (copied < 0 && errno == EINTR)
                continue;
            if (copied < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                inKernel = false; // not supported here: plain reads and writes from where it stopped
                continue;
            }
        } else {
            if (!buffer)
                buffer.reset(new char[Chunk]);
            copied = ::read(from, buffer.get(), Chunk);
            if (copied < 0 && errno == EINTR)
                continue;
            if (copied > 0 && !writeAll(to, buffer.get(), copied))
                return false;
        }
        if (copied < 0)
            return false;
        if (copied == 0)
            return true;
        if (afterEachChunk)
            afterEachChunk();
    }
}

// The folder part and the name part of a native path.
bool splitPath(const QByteArray& path, QByteArray* folder, QByteArray* name)
{
    const int slash = path.lastIndexOf('/');
    *folder = slash > 0 ? path.left(slash) : slash == 0 ? QByteArray("/") : QByteArray(".");
    *name = path.mid(slash + 1);
    return !name->isEmpty() && *name != "." && *name != "..";
}

} // namespace

namespace KFileOps {

bool replaceFile(const QString& source, const QString& target, qint64 modifiedMSecs,
    const std::function<void()>& afterEachChunk)
{
    QByteArray folder;
    QByteArray name;
    if (!splitPath(QFile::encodeName(target), &folder, &name))
        return false;
    const QByteArray temporary = "." + name + ".vaultkeep-restore";

    const FileDescriptor from(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    struct stat sourceInfo;
    if (from.get() < 0 || ::fstat(from.get(), &sourceInfo) != 0 || !S_ISREG(sourceInfo.st_mode))
        return false;
    const FileDescriptor dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0)
        return false;
    struct stat targetInfo;
    const bool replacing = ::fstatat(dir.get(), name.constData(), &targetInfo, 0) == 0;
    if (replacing && !S_ISREG(targetInfo.st_mode))
        return false;
    const mode_t mode = ((replacing ? targetInfo.st_mode : sourceInfo.st_mode) & 07777) | S_IRUSR | S_IWUSR;

    // A file of the temporary name can only be left by a restore that died between naming its
    // copy and renaming it.
    ::unlinkat(dir.get(), temporary.constData(), 0);
    bool named = false;
    int opened = ::openat(dir.get(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode & 0777);
    if (opened < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        opened = ::openat(
            dir.get(), temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0777);
        named = opened >= 0;
    }
    FileDescriptor to(opened);
    if (to.get() < 0)
        return false;

    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = time_t(modifiedMSecs / 1000);
    times[1].tv_nsec = long(modifiedMSecs % 1000) * 1000000;
    bool written = copyInChunks(from.get(), to.get(), afterEachChunk)
        && (!replacing || ::fchmod(to.get(), mode) == 0) && ::futimens(to.get(), times) == 0
        && ::fsync(to.get()) == 0;
    if (written && !named) {
        // The finished copy gets its temporary name only now; until here a crash leaves nothing.
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(to.get());
        named = ::linkat(AT_FDCWD, self.constData(), dir.get(), temporary.constData(), AT_SYMLINK_FOLLOW) == 0
            || ::linkat(to.get(), "", dir.get(), temporary.constData(), AT_EMPTY_PATH) == 0;
        written = named;
    }
    written = ::close(to.release()) == 0 && written;
    written = written && ::renameat(dir.get(), temporary.constData(), dir.get(), name.constData()) == 0;
    if (!written) {
        if (named)
            ::unlinkat(dir.get(), temporary.constData(), 0);
        return false;
    }
    // The rename itself reaches the disk with the folder.
    ::fsync(dir.get());
    return true;
}

} // namespace KFileOps
