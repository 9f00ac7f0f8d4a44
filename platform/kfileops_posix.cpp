#include "platform/kfileops.h"

#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
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

bool writeAll(int fd, const char* data, ssize_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool copyContents(int from, int to, off_t size)
{
    // In-kernel copy first; it also lets file systems share extents.
    off_t left = size;
    while (left > 0) {
        const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, size_t(left), 0);
        if (copied < 0) {
            if (errno == EINTR)
                continue;
            if (left == size && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP))
                break; // not supported here: fall back to plain reads and writes
            return false;
        }
        if (copied == 0)
            break; // the source shrank while copying
        left -= copied;
    }
    if (left == 0)
        return true;
    if (left != size)
        return false;

    char buffer[128 * 1024];
    for (;;) {
        const ssize_t got = ::read(from, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return true;
        if (!writeAll(to, buffer, got))
            return false;
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

} // namespace

KCopySource::KCopySource(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    struct statx info;
    if (::statx(fd, "", AT_EMPTY_PATH,
            STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_BTIME, &info)
            != 0
        || !S_ISREG(info.stx_mode)) {
        ::close(fd);
        return;
    }
    m_fd = fd;
    m_status.exists = true;
    m_status.isFile = true;
    m_status.ownerWritable = info.stx_mode & S_IWUSR;
    m_status.size = qint64(info.stx_size);
    m_status.modifiedMSecs = qint64(info.stx_mtime.tv_sec) * 1000 + info.stx_mtime.tv_nsec / 1000000;
    const struct statx_timestamp& created = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_ctime;
    m_status.createdMSecs = qint64(created.tv_sec) * 1000 + created.tv_nsec / 1000000;
    m_status.inode = info.stx_ino;
    m_mode = info.stx_mode;
}

KCopySource::~KCopySource()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool KCopySource::copyTo(const QString& target)
{
    if (m_fd < 0)
        return false;
    const QByteArray targetName = QFile::encodeName(target);
    // Created with its final permissions (less what the user's umask withholds, as for any new
    // file): the source's, without set-id bits, plus read and write for the owner.
    const mode_t mode = (m_mode & 0777) | S_IRUSR | S_IWUSR;
    FileDescriptor to(::open(targetName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (to.get() < 0)
        return false;
    const bool rewound = !m_copied || ::lseek(m_fd, 0, SEEK_SET) == 0;
    m_copied = true;
    const bool copied = rewound && copyContents(m_fd, to.get(), off_t(m_status.size));
    const bool closed = ::close(to.release()) == 0;
    if (copied && closed)
        return true;
    ::unlink(targetName.constData());
    return false;
}

namespace KFileOps {

KFileStatus status(const QString& path)
{
    KFileStatus result;
    if (path.isEmpty())
        return result;
    const QByteArray native = QFile::encodeName(path);
    struct statx info;
    if (::statx(AT_FDCWD, native.constData(), AT_STATX_SYNC_AS_STAT,
            STATX_TYPE | STATX_MODE | STATX_INO | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_BTIME, &info)
        != 0) {
        return result;
    }
    result.exists = true;
    result.isDir = S_ISDIR(info.stx_mode);
    result.isFile = S_ISREG(info.stx_mode);
    result.ownerWritable = info.stx_mode & S_IWUSR;
    result.size = qint64(info.stx_size);
    result.modifiedMSecs = qint64(info.stx_mtime.tv_sec) * 1000 + info.stx_mtime.tv_nsec / 1000000;
    const struct statx_timestamp& created = (info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_ctime;
    result.createdMSecs = qint64(created.tv_sec) * 1000 + created.tv_nsec / 1000000;
    result.inode = info.stx_ino;
    return result;
}

bool copyFile(const QString& source, const QString& target)
{
    KCopySource from(source);
    return from.isOpen() && from.copyTo(target);
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
