#include "platform/kfileio.h"
#include "platform/kfiletransfer.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t BlockSize = 128 * 1024;

QByteArray native(const QString& path)
{
    return QFile::encodeName(path);
}

qint64 nsecsOf(const struct timespec& time)
{
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

KEntryStatus statusOf(const struct stat& info)
{
    KEntryStatus status;
    if (S_ISREG(info.st_mode))
        status.kind = KEntryStatus::File;
    else if (S_ISDIR(info.st_mode))
        status.kind = KEntryStatus::Folder;
    else if (S_ISLNK(info.st_mode))
        status.kind = KEntryStatus::SymLink;
    else
        status.kind = KEntryStatus::Other;
    status.size = qint64(info.st_size);
    status.modifiedNSecs = nsecsOf(info.st_mtim);
    status.changedNSecs = nsecsOf(info.st_ctim);
    status.device = quint64(info.st_dev);
    status.inode = quint64(info.st_ino);
    return status;
}

// A read lease on an open file: while it is held, no other program can open the file for
// writing (its open waits), and taking it fails when one already has. The notice that another
// program wants to write comes as a signal whose default action is to ignore it; the usual one
// would end the process. A file system without leases gives no lease and no answer.
class ReadLease
{
public:
    explicit ReadLease(int fd)
        : m_fd(fd)
    {
        if (::fcntl(fd, F_SETSIG, SIGURG) != 0)
            return;
        if (::fcntl(fd, F_SETLEASE, F_RDLCK) == 0)
            m_held = true;
        else if (errno == EAGAIN)
            m_inUse = true;
    }
    ~ReadLease()
    {
        if (m_held)
            ::fcntl(m_fd, F_SETLEASE, F_UNLCK);
    }
    bool inUse() const { return m_inUse; }

private:
    int m_fd;
    bool m_held = false;
    bool m_inUse = false;
    ReadLease(const ReadLease&) = delete;
    ReadLease& operator=(const ReadLease&) = delete;
};

std::vector<char>& buffer(int which)
{
    thread_local std::vector<char> buffers[2];
    std::vector<char>& chosen = buffers[which];
    if (chosen.size() < BlockSize)
        chosen.resize(BlockSize);
    return chosen;
}

ssize_t readSome(int fd, char* data, size_t size)
{
    for (;;) {
        const ssize_t got = ::read(fd, data, size);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

// Reads exactly `size` bytes at `offset`, fewer only at the end of the file.
ssize_t readAt(int fd, char* data, size_t size, off_t offset)
{
    size_t done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, data + done, size - done, offset + off_t(done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += size_t(got);
    }
    return ssize_t(done);
}

bool syncDirectory(const QString& path)
{
    const KFd folder(::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.isValid() && ::fsync(folder.get()) == 0;
}

bool syncFolderOf(const QString& path)
{
    return syncDirectory(QFileInfo(path).absolutePath());
}

} // namespace

bool KEntryStatus::isSameState(const KEntryStatus& other) const
{
    return kind == other.kind && size == other.size && modifiedNSecs == other.modifiedNSecs
        && changedNSecs == other.changedNSecs && device == other.device && inode == other.inode;
}

namespace KFileTransfer {

Error errorOf(int systemError)
{
    switch (systemError) {
    case 0:
        return Error::None;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return Error::NoSpace;
    case EACCES:
    case EPERM:
    case EROFS:
        return Error::NotWritable;
    case ENOENT:
    case ENOTDIR:
        return Error::TargetMissing;
    case EEXIST:
    case ENOTEMPTY:
        return Error::TargetExists;
    default:
        return Error::Other;
    }
}

KEntryStatus entryStatus(const QString& path)
{
    struct stat info;
    if (path.isEmpty() || ::lstat(native(path).constData(), &info) != 0)
        return KEntryStatus();
    return statusOf(info);
}

bool entryNames(const QString& folder, QStringList* names)
{
    names->clear();
    DIR* dir = ::opendir(native(folder).constData());
    if (!dir)
        return false;
    while (const struct dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        names->append(QFile::decodeName(name));
    }
    ::closedir(dir);
    std::sort(names->begin(), names->end());
    return true;
}

Error copyFile(const QString& source, const QString& target, KEntryStatus* copied, quint64* hash)
{
    const KFd from(::open(native(source).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!from.isValid())
        return Error::SourceUnreadable;
    // Held while copying, so that no other program writes the source underneath.
    const ReadLease lease(from.get());
    if (lease.inUse())
        return Error::SourceInUse;
    struct stat before;
    if (::fstat(from.get(), &before) != 0)
        return Error::SourceUnreadable;
    if (!S_ISREG(before.st_mode))
        return Error::NotMovable;
    KContentHasher hasher;
    if (!hasher.isValid())
        return Error::Other;

    const QByteArray targetName = native(target);
    KFd to(::open(
        targetName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR));
    if (!to.isValid())
        return errorOf(errno);

    Error error = Error::None;
    char* data = buffer(0).data();
    off_t offset = 0;
    for (;;) {
        const ssize_t got = readSome(from.get(), data, BlockSize);
        if (got < 0) {
            error = Error::SourceUnreadable;
            break;
        }
        if (got == 0)
            break;
        if (!KFileIO::writeAll(to.get(), data, got)) {
            error = errorOf(errno);
            break;
        }
        hasher.add(data, got);
        offset += got;
    }

    struct stat after;
    if (error == Error::None
        && (::fstat(from.get(), &after) != 0 || offset != before.st_size
            || !statusOf(after).isSameState(statusOf(before)))) {
        error = Error::SourceChanged;
    }
    if (error == Error::None) {
        // The group and others never gain access to a backup by its move.
        const struct timespec times[2] = { before.st_atim, before.st_mtim };
        if (::fchmod(to.get(), before.st_mode & S_IRWXU) != 0 || ::futimens(to.get(), times) != 0)
            error = errorOf(errno);
    }
    if (!to.close() && error == Error::None)
        error = errorOf(errno);
    if (error != Error::None) {
        ::unlink(targetName.constData());
        return error;
    }
    if (copied)
        *copied = statusOf(before);
    if (hash)
        *hash = hasher.sum().hash;
    return Error::None;
}

void readAheadFromDisk(const QString& path)
{
    const KFd file(::open(native(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isValid())
        return;
    // Once flushed, its pages in memory are clean and can be dropped, so that what is read next
    // comes from the disk. (A file system held in memory has nowhere else to read from.) Reads
    // asked for many files at once cost the disk a fraction of the same reads one after another.
    ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_DONTNEED);
    ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_WILLNEED);
}

Error verifyCopy(const QString& path, qint64 size, quint64 hash)
{
    const KFd file(::open(native(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info;
    if (!file.isValid() || ::fstat(file.get(), &info) != 0)
        return errorOf(errno);
    if (!S_ISREG(info.st_mode) || info.st_size != size)
        return Error::Damaged;
    KContentHasher hasher;
    if (!hasher.isValid())
        return Error::Other;
    char* data = buffer(1).data();
    qint64 total = 0;
    for (;;) {
        const ssize_t got = readSome(file.get(), data, BlockSize);
        if (got < 0)
            return Error::Other;
        if (got == 0)
            break;
        hasher.add(data, got);
        total += got;
    }
    return total == size && hasher.sum().hash == hash ? Error::None : Error::Damaged;
}

Error copySymLink(const QString& source, const QString& target)
{
    char link[4096];
    const ssize_t length = ::readlink(native(source).constData(), link, sizeof link - 1);
    if (length < 0)
        return Error::SourceUnreadable;
    link[length] = '\0';
    return ::symlink(link, native(target).constData()) == 0 ? Error::None : errorOf(errno);
}

bool sameContent(const QString& first, const QString& second)
{
    const KFd a(::open(native(first).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    const KFd b(::open(native(second).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat infoA;
    struct stat infoB;
    if (!a.isValid() || !b.isValid() || ::fstat(a.get(), &infoA) != 0 || ::fstat(b.get(), &infoB) != 0
        || !S_ISREG(infoA.st_mode) || !S_ISREG(infoB.st_mode) || infoA.st_size != infoB.st_size) {
        return false;
    }
    char* dataA = buffer(0).data();
    char* dataB = buffer(1).data();
    for (off_t offset = 0;; offset += off_t(BlockSize)) {
        const ssize_t gotA = readAt(a.get(), dataA, BlockSize, offset);
        const ssize_t gotB = readAt(b.get(), dataB, BlockSize, offset);
        if (gotA < 0 || gotA != gotB || std::memcmp(dataA, dataB, size_t(gotA)) != 0)
            return false;
        if (gotA == 0)
            return true;
    }
}

Error renameNoReplace(const QString& from, const QString& to)
{
    const QByteArray fromName = native(from);
    const QByteArray toName = native(to);
    if (::renameat2(AT_FDCWD, fromName.constData(), AT_FDCWD, toName.constData(), RENAME_NOREPLACE) == 0)
        return Error::None;
    if (errno != EINVAL)
        return errorOf(errno);
    // A file system that cannot refuse a replacing rename itself.
    struct stat info;
    if (::lstat(toName.constData(), &info) == 0)
        return Error::TargetExists;
    return ::rename(fromName.constData(), toName.constData()) == 0 ? Error::None : errorOf(errno);
}

Error replace(const QString& from, const QString& to)
{
    return ::rename(native(from).constData(), native(to).constData()) == 0 ? Error::None : errorOf(errno);
}

bool sameFileSystem(const QString& first, const QString& second)
{
    struct stat a;
    struct stat b;
    return ::stat(native(first).constData(), &a) == 0 && ::stat(native(second).constData(), &b) == 0
        && a.st_dev == b.st_dev;
}

Error makeFolder(const QString& path)
{
    const QByteArray name = native(path);
    struct stat info;
    if (::stat(name.constData(), &info) == 0)
        return S_ISDIR(info.st_mode) ? Error::None : Error::TargetExists;
    if (errno != ENOENT)
        return errorOf(errno);
    const QString parent = QFileInfo(QFileInfo(path).absoluteFilePath()).path();
    if (parent == path || parent.isEmpty())
        return Error::TargetMissing;
    const Error made = makeFolder(parent);
    if (made != Error::None)
        return made;
    if (::mkdir(name.constData(), S_IRWXU) != 0)
        return errno == EEXIST ? Error::None : errorOf(errno);
    // The mode as asked for, whatever the process's mask took from it.
    const KFd folder(::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return folder.isValid() && ::fchmod(folder.get(), S_IRWXU) == 0 ? Error::None : errorOf(errno);
}

bool restrictFolder(const QString& path)
{
    const KFd folder(::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info;
    if (!folder.isValid() || ::fstat(folder.get(), &info) != 0)
        return false;
    return (info.st_mode & (S_IRWXG | S_IRWXO)) == 0 || ::fchmod(folder.get(), info.st_mode & S_IRWXU) == 0;
}

Error removeUnchanged(const QString& path, const KEntryStatus& expected)
{
    const QByteArray name = native(path);
    const KFd file(::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isValid())
        return errno == ENOENT ? Error::None : Error::SourceUnreadable;
    const ReadLease lease(file.get());
    if (lease.inUse())
        return Error::SourceInUse;
    struct stat info;
    if (::fstat(file.get(), &info) != 0 || !statusOf(info).isSameState(expected))
        return Error::SourceChanged;
    return ::unlink(name.constData()) == 0 ? Error::None : errorOf(errno);
}

bool removeFile(const QString& path)
{
    return ::unlink(native(path).constData()) == 0 || errno == ENOENT;
}

bool removeEmptyFolder(const QString& path)
{
    return ::rmdir(native(path).constData()) == 0 || errno == ENOENT;
}

bool syncFile(const QString& path)
{
    const KFd file(::open(native(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    return file.isValid() && ::fsync(file.get()) == 0 && syncFolderOf(path);
}

bool syncFolder(const QString& path)
{
    return syncDirectory(path);
}

} // namespace KFileTransfer
