#include "platform/kfileio.h"
#include "platform/kfiletransfer.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
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

} // namespace

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

Error copyFile(const QString& source, const QString& target, KFileStatus* copied, quint64* hash)
{
    KFd from = KFileIO::openRegular(source, KFileIO::Links::DontFollow);
    if (!from.isValid())
        return errno == EINVAL || errno == EISDIR ? Error::NotMovable : Error::SourceUnreadable;
    // Held while copying, so that no other program writes the source underneath.
    const ReadLease lease(from.get());
    if (lease.inUse())
        return Error::SourceInUse;
    KFileStatus before;
    if (!KFileIO::status(from.get(), &before))
        return Error::SourceUnreadable;
    // The group and others never gain access to a backup by its move.
    KContentSum sum;
    switch (KFileIO::copyToNew(from.get(), before, target, before.mode & S_IRWXU, before.modifiedNs, &sum)) {
    case KFileIO::CopyResult::Copied:
        break;
    case KFileIO::CopyResult::SourceChanged:
        return Error::SourceChanged;
    case KFileIO::CopyResult::Failed:
        return errorOf(errno);
    }
    if (copied)
        *copied = before;
    if (hash)
        *hash = sum.hash;
    return Error::None;
}

void readAheadFromDisk(const QString& path)
{
    const KFd file = KFileIO::openRegular(path, KFileIO::Links::DontFollow);
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
    KFileStatus status;
    const KFd file = KFileIO::openRegular(path, KFileIO::Links::DontFollow, &status);
    if (!file.isValid())
        return errno == EINVAL || errno == EISDIR ? Error::Damaged : errorOf(errno);
    if (status.size != size)
        return Error::Damaged;
    KContentSum sum;
    if (!KFileIO::copy(file.get(), -1, -1, &sum))
        return Error::Other;
    return sum.size == size && sum.hash == hash ? Error::None : Error::Damaged;
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
    KFileStatus infoA;
    KFileStatus infoB;
    const KFd a = KFileIO::openRegular(first, KFileIO::Links::DontFollow, &infoA);
    const KFd b = KFileIO::openRegular(second, KFileIO::Links::DontFollow, &infoB);
    if (!a.isValid() || !b.isValid() || infoA.size != infoB.size)
        return false;
    std::vector<char> dataA(BlockSize);
    std::vector<char> dataB(BlockSize);
    for (;;) {
        const qint64 gotA = KFileIO::readFully(a.get(), dataA.data(), qint64(BlockSize));
        const qint64 gotB = KFileIO::readFully(b.get(), dataB.data(), qint64(BlockSize));
        if (gotA < 0 || gotA != gotB || std::memcmp(dataA.data(), dataB.data(), size_t(gotA)) != 0)
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
    const KFileStatus a = KFileIO::status(first);
    const KFileStatus b = KFileIO::status(second);
    return a.exists && b.exists && a.device == b.device;
}

Error makeFolder(const QString& path)
{
    return KFileIO::makeFolder(path) ? Error::None : errorOf(errno);
}

bool restrictFolder(const QString& path)
{
    const KFd folder(::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    struct stat info;
    if (!folder.isValid() || ::fstat(folder.get(), &info) != 0)
        return false;
    return (info.st_mode & (S_IRWXG | S_IRWXO)) == 0 || ::fchmod(folder.get(), info.st_mode & S_IRWXU) == 0;
}

Error removeUnchanged(const QString& path, const KFileStatus& expected)
{
    const QByteArray name = native(path);
    const KFd file(::open(name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isValid())
        return errno == ENOENT ? Error::None : Error::SourceUnreadable;
    const ReadLease lease(file.get());
    if (lease.inUse())
        return Error::SourceInUse;
    KFileStatus info;
    if (!KFileIO::status(file.get(), &info) || !info.isSameState(expected))
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
    const KFd file = KFileIO::openRegular(path, KFileIO::Links::DontFollow);
    return file.isValid() && KFileIO::syncFile(file.get()) && KFileIO::syncFolderOf(path);
}

} // namespace KFileTransfer
