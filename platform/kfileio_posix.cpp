#include "platform/kfileio.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <map>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>
#include <xxhash.h>

namespace {

Q_LOGGING_CATEGORY(vkFileIO, "vaultkeep.fileio", QtInfoMsg)

constexpr unsigned StatusMask
    = STATX_TYPE | STATX_MODE | STATX_UID | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_BTIME | STATX_INO;

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
    status->isLink = S_ISLNK(info.stx_mode);
    static const uid_t user = ::geteuid(); // a status call must not cost a second one
    status->isOwn = info.stx_uid == user;
    status->ownerWritable = info.stx_mode & S_IWUSR;
    status->mode = info.stx_mode & 07777;
    status->size = qint64(info.stx_size);
    status->modifiedMSecs = msecsOf(info.stx_mtime);
    status->createdMSecs = msecsOf((info.stx_mask & STATX_BTIME) ? info.stx_btime : info.stx_ctime);
    status->inode = info.stx_ino;
    status->device = makedev(info.stx_dev_major, info.stx_dev_minor);
    status->modifiedNs = nsecsOf(info.stx_mtime);
    status->changedNs = nsecsOf(info.stx_ctime);
}

KFileStatus statusAt(int folder, const char* name, int flags)
{
    KFileStatus result;
    struct statx info;
    if (::statx(folder, name, flags | AT_STATX_SYNC_AS_STAT, StatusMask, &info) == 0)
        fillStatus(info, &result);
    else
        result.unreadable = errno != ENOENT && errno != ENOTDIR;
    return result;
}

struct timespec timespecOf(qint64 ns)
{
    // Floor division, so that times before the epoch keep a nanosecond part in range.
    qint64 seconds = ns / 1000000000;
    qint64 rest = ns % 1000000000;
    if (rest < 0) {
        --seconds;
        rest += 1000000000;
    }
    return { time_t(seconds), long(rest) };
}

// The folder part and the name part of a native path.
bool splitPath(const QByteArray& path, QByteArray* folder, QByteArray* name)
{
    const int slash = path.lastIndexOf('/');
    *folder = slash > 0 ? path.left(slash) : slash == 0 ? QByteArray("/") : QByteArray(".");
    *name = path.mid(slash + 1);
    return !name->isEmpty() && *name != "." && *name != "..";
}

// A copy ends between two chunks when its thread is asked to stop (the module being unloaded).
constexpr qint64 ChunkBytes = 8 * 1024 * 1024;
constexpr qint64 MaxBuffer = 1024 * 1024;

bool stopRequested()
{
    return QThread::currentThread()->isInterruptionRequested();
}

// The ways a copy can be made without passing its bytes through the process.
enum InKernelWay : unsigned
{
    Clone = 1, // the copy shares the source's extents until either changes
    CopyRange = 2, // copy_file_range: a clone, a copy on the server or in the page cache
};

// Which in-kernel ways each pair of file systems (source, target) refused as unsupported, so that
// a disk that cannot clone costs one failed call per process, not one per file. Only answers
// about the file systems count: a refusal of one file (EINVAL for a file that may not share its
// extents) is not remembered.
class RefusedWays
{
public:
    bool has(quint64 from, quint64 to, InKernelWay way) const
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        const auto found = m_refused.find({ from, to });
        return found != m_refused.end() && (found->second & way);
    }
    void add(quint64 from, quint64 to, InKernelWay way, int error)
    {
        qCDebug(vkFileIO) << (way == Clone ? "no clones" : "no in-kernel copies") << "from device" << from
                          << "to device" << to << ':' << qt_error_string(error);
        const std::lock_guard<std::mutex> locker(m_mutex);
        m_refused[{ from, to }] |= way;
    }

private:
    mutable std::mutex m_mutex;
    std::map<std::pair<quint64, quint64>, unsigned> m_refused;
};

RefusedWays& refusedWays()
{
    static RefusedWays ways;
    return ways;
}

// The file system has no such call at all, or not between these two.
bool isUnsupported(int error)
{
    return error == EOPNOTSUPP || error == ENOTTY || error == ENOSYS || error == EXDEV;
}

enum class InKernel
{
    Copied,
    NotCopied, // `to` is still empty: copy through a buffer
    Failed, // errno tells why
};

// Copies the `size` bytes of `from` into the empty `to` without reading them into the process: a
// clone where both file systems share extents, else copy_file_range.
InKernel copyInKernel(int from, int to, quint64 fromDevice, qint64 size)
{
    struct stat target;
    if (size <= 0 || ::fstat(to, &target) != 0)
        return InKernel::NotCopied;
    RefusedWays& refused = refusedWays();
    const quint64 toDevice = target.st_dev;
    if (!refused.has(fromDevice, toDevice, Clone)) {
        if (::ioctl(to, FICLONE, from) == 0)
            return InKernel::Copied;
        const int error = errno;
        if (isUnsupported(error))
            refused.add(fromDevice, toDevice, Clone, error);
        else if (::ftruncate(to, 0) != 0) // a clone that failed midway may have left a part
            return InKernel::Failed;
    }
    if (refused.has(fromDevice, toDevice, CopyRange))
        return InKernel::NotCopied;
    loff_t in = 0;
    loff_t out = 0;
    while (out < size) {
        if (stopRequested()) {
            errno = ECANCELED;
            return InKernel::Failed;
        }
        const ssize_t copied
            = ::copy_file_range(from, &in, to, &out, size_t(qMin<qint64>(size - out, ChunkBytes)), 0);
        if (copied > 0 || (copied < 0 && errno == EINTR))
            continue;
        const int error = copied < 0 ? errno : 0;
        // The target's own errors (no space left, an I/O error) are the copy's, whichever way.
        if (error != 0 && error != EINVAL && !isUnsupported(error))
            return InKernel::Failed;
        if (isUnsupported(error))
            refused.add(fromDevice, toDevice, CopyRange, error);
        // Otherwise the file was refused, or ended early: a source that shrank, which the caller
        // finds out, or a file system that copies nothing this way, never told from it.
        return out == 0 || ::ftruncate(to, 0) == 0 ? InKernel::NotCopied : InKernel::Failed;
    }
    return InKernel::Copied;
}

// Copies the content of `from`, in the state `source`, into the empty `to`: in the kernel where
// the file systems allow, the source then read once to sum it, else through the buffer.
bool copyContent(int from, const KFileStatus& source, int to, KContentSum* sum,
    const std::function<bool()>& afterEachChunk = {})
{
    const InKernel inKernel = copyInKernel(from, to, source.device, source.size);
    if (inKernel == InKernel::Failed)
        return false;
    errno = 0;
    return ::lseek(from, 0, SEEK_SET) == 0
        && KFileIO::copy(from, inKernel == InKernel::Copied ? -1 : to, source.size, sum, afterEachChunk);
}

// Opens `name` in `folder` without following a link so that its mode can be changed on the
// descriptor, whatever its own permissions allow; never blocks on a FIFO.
KFd openToChange(int folder, const char* name, int typeFlags)
{
    const int common = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | typeFlags;
    KFd fd(::openat(folder, name, O_RDONLY | common));
    if (!fd.isValid() && errno == EACCES && !(typeFlags & O_DIRECTORY))
        fd = KFd(::openat(folder, name, O_WRONLY | common));
    return fd;
}

// Sets `mode` on `name` in `folder`, the type checked on the opened descriptor. A file whose own
// mode refuses every open is changed through a path-only descriptor of the same inode.
bool changeMode(int folder, const char* name, bool wantFolder, unsigned mode)
{
    KFd fd = openToChange(folder, name, wantFolder ? O_DIRECTORY : 0);
    bool pathOnly = false;
    if (!fd.isValid() && errno == EACCES) {
        fd = KFd(::openat(folder, name, O_PATH | O_NOFOLLOW | O_CLOEXEC));
        pathOnly = true;
    }
    struct stat info;
    if (!fd.isValid() || ::fstat(fd.get(), &info) != 0)
        return false;
    if (wantFolder ? !S_ISDIR(info.st_mode) : !S_ISREG(info.st_mode)) {
        errno = EINVAL;
        return false;
    }
    if ((info.st_mode & 07777) == mode)
        return true;
    if (!pathOnly)
        return ::fchmod(fd.get(), mode) == 0;
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(fd.get());
    return ::chmod(self.constData(), mode) == 0;
}

// "<name>." and six random letters or digits.
QByteArray randomNameBeside(const QByteArray& name)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray random = name + '.';
    for (int i = 0; i < 6; ++i)
        random += letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))];
    return random;
}

bool isDotOrDotDot(const char* name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

QString joined(const QString& folder, const QString& name)
{
    if (folder.isEmpty())
        return name;
    return folder + QLatin1Char('/') + name;
}

// Reads every name in the open folder `fd`, which it takes; false, with errno, when it cannot.
bool readNames(int fd, std::vector<QByteArray>* names, KFd* folder)
{
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return false;
    }
    // The folder stays open for the calls relative to it; the listing's own descriptor goes.
    *folder = KFd(::fcntl(::dirfd(dir), F_DUPFD_CLOEXEC, 0));
    if (!folder->isValid()) {
        const int error = errno;
        ::closedir(dir);
        errno = error;
        return false;
    }
    for (;;) {
        errno = 0;
        const struct dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        if (!isDotOrDotDot(entry->d_name))
            names->emplace_back(entry->d_name);
    }
    const int error = errno;
    ::closedir(dir);
    errno = error;
    return error == 0;
}

void sortByName(std::vector<QByteArray>* names)
{
    std::vector<std::pair<QString, QByteArray>> decoded;
    decoded.reserve(names->size());
    for (QByteArray& name : *names)
        decoded.emplace_back(QFile::decodeName(name), std::move(name));
    std::sort(decoded.begin(), decoded.end(), [](const auto& a, const auto& b) {
        const int folded = a.first.compare(b.first, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : a.first < b.first;
    });
    for (size_t i = 0; i < decoded.size(); ++i)
        (*names)[i] = std::move(decoded[i].second);
}

struct Walk
{
    const KFileIO::WalkVisitor& visitor;

    bool failed(const QString& path, const QString& relative, int error) const
    {
        return visitor.failed && visitor.failed(path, relative, error);
    }

    // Walks the folder open as `fd`, which it takes; false when the walk is to end.
    bool below(int fd, const QString& path, const QString& relative, int depth) const
    {
        std::vector<QByteArray> names;
        KFd folder;
        if (!readNames(fd, &names, &folder))
            return failed(path, relative, errno);
        if (visitor.byName)
            sortByName(&names);
        KFileIO::WalkEntry entry;
        entry.folder = path;
        entry.folderRelative = relative;
        entry.folderFd = folder.get();
        entry.depth = depth;
        for (QByteArray& name : names) {
            entry.name = std::move(name);
            entry.status = statusAt(folder.get(), entry.name.constData(), AT_SYMLINK_NOFOLLOW);
            const KFileIO::WalkStep step = visitor.visit(entry);
            if (step == KFileIO::WalkStep::Stop)
                return false;
            if (step == KFileIO::WalkStep::Skip || !entry.status.isDir)
                continue;
            const int child = ::openat(
                folder.get(), entry.name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            const int error = errno;
            const bool goOn = child >= 0 ? below(child, entry.path(), entry.relative(), depth + 1)
                                         : failed(entry.path(), entry.relative(), error);
            if (!goOn || (visitor.leave && !visitor.leave(entry)))
                return false;
        }
        return true;
    }
};

} // namespace

KContentHasher::KContentHasher()
    : m_state(XXH3_createState())
{
    if (m_state)
        XXH3_64bits_reset(static_cast<XXH3_state_t*>(m_state));
}

KContentHasher::~KContentHasher()
{
    XXH3_freeState(static_cast<XXH3_state_t*>(m_state));
}

void KContentHasher::add(const char* data, qint64 size)
{
    if (m_state)
        XXH3_64bits_update(static_cast<XXH3_state_t*>(m_state), data, size_t(size));
    m_size += size;
}

KContentSum KContentHasher::sum() const
{
    if (!m_state)
        return { m_size, 0, false };
    return { m_size, XXH3_64bits_digest(static_cast<XXH3_state_t*>(m_state)), true };
}

KFileStatus::Kind KFileStatus::kind() const
{
    if (!exists)
        return Missing;
    return isFile ? File : isDir ? Folder : isLink ? SymLink : Other;
}

bool KFileStatus::isSameState(const KFileStatus& other) const
{
    return kind() == other.kind() && size == other.size && modifiedNs == other.modifiedNs
        && changedNs == other.changedNs && device == other.device && inode == other.inode;
}

bool KContentSum::admits(const KContentSum& actual) const
{
    if (!isKnown())
        return true;
    return actual.size == size && (!hasHash || (actual.hasHash && actual.hash == hash));
}

KFd& KFd::operator=(KFd&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

KFd::~KFd()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int KFd::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

bool KFd::close()
{
    // Linux releases the descriptor even when close reports an error: never close it twice.
    return m_fd < 0 || ::close(release()) == 0;
}

namespace KFileIO {

KFd openRegular(const QString& path, Links links, KFileStatus* status)
{
    if (path.isEmpty()) {
        errno = ENOENT;
        return KFd();
    }
    const int flags
        = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (links == Links::DontFollow ? O_NOFOLLOW : 0);
    KFd fd(::open(QFile::encodeName(path).constData(), flags));
    if (!fd.isValid())
        return fd;
    KFileStatus opened;
    if (!KFileIO::status(fd.get(), &opened))
        return KFd();
    if (!opened.isFile) {
        errno = opened.isDir ? EISDIR : EINVAL;
        return KFd();
    }
    // Of the flags given, only O_NONBLOCK is a status flag: clearing them all clears just it.
    if (::fcntl(fd.get(), F_SETFL, 0) != 0)
        return KFd();
    if (status)
        *status = opened;
    return fd;
}

std::unique_ptr<QFile> openRegularFile(const QString& path, qint64 maxSize, Links links)
{
    KFileStatus opened;
    KFd fd = openRegular(path, links, &opened);
    if (!fd.isValid())
        return nullptr;
    if (opened.size > maxSize) {
        errno = EFBIG;
        return nullptr;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return nullptr;
    fd.release();
    return file;
}

bool status(int fd, KFileStatus* status)
{
    struct statx info;
    if (::statx(fd, "", AT_EMPTY_PATH, StatusMask, &info) != 0)
        return false;
    *status = KFileStatus();
    fillStatus(info, status);
    return true;
}

KFileStatus status(const QString& path, Links links)
{
    if (path.isEmpty())
        return KFileStatus();
    return statusAt(
        AT_FDCWD, QFile::encodeName(path).constData(), links == Links::DontFollow ? AT_SYMLINK_NOFOLLOW : 0);
}

KFd openFolder(const QString& path)
{
    return KFd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

KFileStatus statusIn(const KFd& folder, const char* name)
{
    return folder.isValid() ? statusAt(folder.get(), name, 0) : KFileStatus();
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

qint64 readFully(int fd, char* data, qint64 size)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, data + done, size_t(size - done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

bool copy(int from, int to, qint64 size, KContentSum* sum, const std::function<bool()>& afterEachChunk)
{
    // Through a buffer rather than in the kernel, so that the content is summed as it passes:
    // checking a copy later must not cost a second read of the source. One read beyond the
    // expected size finds the source's end.
    qint64 expected = size;
    struct stat info;
    if (expected < 0 && ::fstat(from, &info) == 0)
        expected = info.st_size;
    const qint64 bufferSize = qBound<qint64>(4096, expected + 1, MaxBuffer);
    const std::unique_ptr<char[]> buffer(new char[size_t(bufferSize)]);
    KContentHasher hasher;
    if (!hasher.isValid())
        return false;
    qint64 copied = 0;
    qint64 sinceChunk = 0;
    for (;;) {
        if (stopRequested())
            return false;
        const qint64 wanted = size < 0 ? bufferSize : qMin(bufferSize, size - copied + 1);
        const qint64 got = readFully(from, buffer.get(), wanted);
        if (got < 0)
            return false;
        if (size >= 0 && copied + got > size)
            return false; // the source goes on past the size it had
        if (got > 0) {
            hasher.add(buffer.get(), got);
            if (to >= 0 && !writeAll(to, buffer.get(), got))
                return false;
            copied += got;
            sinceChunk += got;
        }
        if (got < wanted)
            break; // the end of the source
        if (sinceChunk >= ChunkBytes) {
            sinceChunk = 0;
            if (afterEachChunk && !afterEachChunk())
                return false;
        }
    }
    if (size >= 0 && copied != size)
        return false; // the source ended early
    if (afterEachChunk && sinceChunk > 0 && !afterEachChunk())
        return false;
    if (sum)
        *sum = hasher.sum();
    return true;
}

KFd createNew(const QString& path, unsigned mode)
{
    KFd fd(::open(QFile::encodeName(path).constData(),
        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode_t(mode)));
    // The process's umask may have taken bits away; the caller's mode is meant as it is. Most
    // often it has not, and a change of mode costs a metadata update of its own.
    struct stat created;
    if (fd.isValid()
        && (::fstat(fd.get(), &created) != 0
            || ((created.st_mode & 07777) != mode && ::fchmod(fd.get(), mode_t(mode)) != 0))) {
        return KFd();
    }
    return fd;
}

bool setModified(int fd, qint64 modifiedNs)
{
    const struct timespec times[2] = { { 0, UTIME_OMIT }, timespecOf(modifiedNs) };
    return ::futimens(fd, times) == 0;
}

bool syncFile(int fd)
{
    return ::fsync(fd) == 0;
}

void startWriteOut(int fd, qint64 offset, qint64 length)
{
    // Only a hint: the flush that makes the file durable comes later and reports any error.
    (void)::sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE);
}

bool syncFolder(const QString& path)
{
    const KFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems cannot flush a folder at all; they say so with EINVAL.
    return fd.isValid() && (::fsync(fd.get()) == 0 || errno == EINVAL);
}

bool syncFolderOf(const QString& path)
{
    QByteArray folder;
    QByteArray name;
    splitPath(QFile::encodeName(path), &folder, &name);
    return syncFolder(QFile::decodeName(folder));
}

bool syncFileSystem(const QString& path)
{
    const KFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    return fd.isValid() && ::syncfs(fd.get()) == 0;
}

bool makeFolder(const QString& folder)
{
    const QByteArray native = QFile::encodeName(folder);
    struct stat info;
    if (native.isEmpty()) {
        errno = ENOENT;
        return false;
    }
    if (::stat(native.constData(), &info) == 0) {
        errno = S_ISDIR(info.st_mode) ? 0 : EEXIST;
        return S_ISDIR(info.st_mode);
    }
    if (errno != ENOENT)
        return false;
    QByteArray parent;
    QByteArray name;
    splitPath(native, &parent, &name);
    if (parent == native || (parent != "/" && parent != "." && !makeFolder(QFile::decodeName(parent))))
        return false;
    if (::mkdir(native.constData(), PrivateFolderMode) != 0)
        return errno == EEXIST;
    // The mode as asked for, whatever the process's mask took from it.
    const KFd fd(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    return fd.isValid() && ::fchmod(fd.get(), PrivateFolderMode) == 0;
}

bool makePrivate(const QString& path)
{
    QByteArray folder;
    QByteArray name;
    if (!splitPath(QFile::encodeName(path), &folder, &name))
        return false;
    const KFd folderFd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info;
    if (!folderFd.isValid())
        return false;
    if (::fstatat(folderFd.get(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT;
    const bool isFolder = S_ISDIR(info.st_mode);
    return changeMode(
        folderFd.get(), name.constData(), isFolder, isFolder ? PrivateFolderMode : PrivateFileMode);
}

bool makePrivateTree(const QString& folder, QStringList* refused)
{
    QString root = folder;
    while (root.size() > 1 && root.endsWith(QLatin1Char('/')))
        root.chop(1);
    if (!makePrivate(root)) {
        refused->append(folder);
        return false;
    }
    const int before = refused->size();
    WalkVisitor visitor;
    visitor.visit = [refused](const WalkEntry& entry) {
        const unsigned mode = entry.status.isDir ? PrivateFolderMode : PrivateFileMode;
        if ((entry.status.isDir || entry.status.isFile) && entry.status.mode != mode
            && !changeMode(entry.folderFd, entry.name.constData(), entry.status.isDir, mode)) {
            refused->append(entry.path());
        }
        return WalkStep::Enter;
    };
    visitor.failed = [refused, &folder](const QString& path, const QString& relative, int) {
        refused->append(relative.isEmpty() ? folder : path);
        return true;
    };
    static_cast<void>(walk(root, visitor));
    return refused->size() == before;
}

KReplacement::KReplacement(const QString& path, Naming naming)
    : m_naming(naming)
{
    QByteArray folder;
    if (!splitPath(QFile::encodeName(path), &folder, &m_name))
        return;
    m_folder = KFd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!m_folder.isValid())
        return;
    m_existing = statusAt(m_folder.get(), m_name.constData(), AT_SYMLINK_NOFOLLOW);
    if (naming == Naming::Hidden) {
        // A file of this name can only be left by a process that died between naming its
        // replacement and renaming it.
        m_temporary = "." + m_name + ".vaultkeep-restore";
        ::unlinkat(m_folder.get(), m_temporary.constData(), 0);
    }
    // A restore's file in the user's folder has no name until it is whole, so that a killed
    // process leaves nothing there. The product's own files are named from the start: one a
    // killed save leaves is removed by the next load (isReplacementFileName()).
    if (naming == Naming::Hidden)
        m_fd = KFd(::openat(m_folder.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, PrivateFileMode));
    if (!m_fd.isValid()
        && (naming == Naming::Random || errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        for (int attempt = 0; attempt < 100 && !m_fd.isValid(); ++attempt) {
            if (naming == Naming::Random)
                m_temporary = randomNameBeside(m_name);
            m_fd = KFd(::openat(m_folder.get(), m_temporary.constData(),
                O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, PrivateFileMode));
            if (!m_fd.isValid() && (errno != EEXIST || naming == Naming::Hidden))
                break;
        }
        m_named = m_fd.isValid();
    }
}

KReplacement::~KReplacement()
{
    discard();
}

void KReplacement::discard()
{
    if (m_named)
        ::unlinkat(m_folder.get(), m_temporary.constData(), 0);
    m_named = false;
    m_fd = KFd();
}

bool KReplacement::nameTemporary()
{
    // The finished file gets its temporary name only now; until here a crash leaves nothing.
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(m_fd.get());
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (m_naming == Naming::Random)
            m_temporary = randomNameBeside(m_name);
        if (::linkat(AT_FDCWD, self.constData(), m_folder.get(), m_temporary.constData(), AT_SYMLINK_FOLLOW)
                == 0
            || ::linkat(m_fd.get(), "", m_folder.get(), m_temporary.constData(), AT_EMPTY_PATH) == 0) {
            m_named = true;
            return true;
        }
        if (errno != EEXIST || m_naming == Naming::Hidden)
            return false;
    }
    return false;
}

bool KReplacement::commit(unsigned mode, qint64 modifiedNs, bool syncFolder)
{
    if (!m_fd.isValid())
        return false;
    bool written = ::fchmod(m_fd.get(), mode) == 0 && (modifiedNs < 0 || setModified(m_fd.get(), modifiedNs));
    written = written && syncFile(m_fd.get()) && (m_named || nameTemporary());
    written = m_fd.close() && written;
    if (!written
        || ::renameat(m_folder.get(), m_temporary.constData(), m_folder.get(), m_name.constData()) != 0) {
        discard();
        return false;
    }
    m_named = false;
    m_folderSynced = syncFolder && (::fsync(m_folder.get()) == 0 || errno == EINVAL);
    return true;
}

bool replaceContents(const QString& path, const QByteArray& content, unsigned mode, bool syncFolder)
{
    KReplacement replacement(path, KReplacement::Naming::Random);
    // A folder that cannot be flushed leaves the rename less certain to survive a power loss,
    // which is reported all the same.
    return replacement.isOpen() && writeAll(replacement.fd(), content.constData(), content.size())
        && replacement.commit(mode, -1, syncFolder) && (replacement.isFolderSynced() || !syncFolder);
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

QString WalkEntry::fileName() const
{
    return QFile::decodeName(name);
}

QString WalkEntry::path() const
{
    if (folder == QLatin1String("/"))
        return folder + fileName();
    return folder + QLatin1Char('/') + fileName();
}

QString WalkEntry::relative() const
{
    return joined(folderRelative, fileName());
}

bool walk(const QString& root, const WalkVisitor& visitor, Links links)
{
    QString path = root;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    const Walk walk { visitor };
    const int fd = ::open(QFile::encodeName(path).constData(),
        O_RDONLY | O_DIRECTORY | O_CLOEXEC | (links == Links::DontFollow ? O_NOFOLLOW : 0));
    if (path.isEmpty() || fd < 0)
        return walk.failed(root, QString(), path.isEmpty() ? ENOENT : errno);
    return walk.below(fd, path, QString(), 0);
}

qint64 folderSize(const QString& folder, bool onlyReadOnly, const std::function<void()>& afterEach)
{
    qint64 total = 0;
    WalkVisitor visitor;
    visitor.visit = [&](const WalkEntry& entry) {
        const KFileStatus& status = entry.status;
        if (status.isFile && !(onlyReadOnly && status.ownerWritable))
            total += status.size;
        if ((status.isFile || status.isDir) && afterEach)
            afterEach();
        return WalkStep::Enter;
    };
    visitor.failed = [](const QString&, const QString&, int) {
        return true;
    };
    static_cast<void>(walk(folder, visitor, Links::Follow));
    return total;
}

bool removeContents(const QString& folder, QStringList* refused)
{
    const int before = refused->size();
    const auto remove = [refused](const WalkEntry& entry) {
        if (::unlinkat(entry.folderFd, entry.name.constData(), entry.status.isDir ? AT_REMOVEDIR : 0) != 0
            && errno != ENOENT) {
            refused->append(entry.path());
        }
        return true;
    };
    WalkVisitor visitor;
    visitor.visit = [&remove](const WalkEntry& entry) {
        if (!entry.status.isDir)
            remove(entry);
        return WalkStep::Enter;
    };
    visitor.leave = remove;
    visitor.failed = [refused](const QString& path, const QString&, int) {
        refused->append(path);
        return true;
    };
    static_cast<void>(walk(folder, visitor));
    return refused->size() == before;
}

CopyResult copyToNew(int from, const KFileStatus& source, const QString& target, unsigned mode,
    qint64 modifiedNs, KContentSum* sum)
{
    KFd to = createNew(target, mode);
    if (!to.isValid())
        return CopyResult::Failed;
    KContentSum copiedSum;
    // Made in the kernel, the copy read nothing: the source is read once to sum it, under the same
    // checks of its state as a copy through the buffer, so what was summed is what was copied.
    bool copied = copyContent(from, source, to.get(), &copiedSum);
    // A copy stopped on request sets no error of its own.
    int error = copied ? 0 : errno ? errno : ECANCELED;
    // Asked again after the copy: a change in its size or times means that what was read is not
    // the state `source` describes. A target that refused the bytes says more than that.
    KFileStatus after;
    const bool targetRefused = !copied
        && (error == ENOSPC || error == EDQUOT || error == EFBIG || error == EACCES || error == EPERM
            || error == EROFS);
    const bool unchanged = targetRefused || (status(from, &after) && after.isSameState(source));
    if (copied && unchanged && !setModified(to.get(), modifiedNs)) {
        copied = false;
        error = errno;
    }
    if (!to.close() && copied) {
        copied = false;
        error = errno;
    }
    if (copied && unchanged) {
        if (sum)
            *sum = copiedSum;
        return CopyResult::Copied;
    }
    ::unlink(QFile::encodeName(target).constData());
    errno = error;
    return unchanged ? CopyResult::Failed : CopyResult::SourceChanged;
}

KReplaceResult replaceFile(const QString& source, const QString& target, qint64 modifiedNs,
    const KContentSum& recorded, const std::function<void()>& afterEachChunk)
{
    KFileStatus sourceStatus;
    const KFd from = openRegular(source, Links::Follow, &sourceStatus);
    if (!from.isValid())
        return KReplaceResult::Failed;
    // A copy of another size is known to be damaged before anything is written.
    if (recorded.isKnown() && recorded.size != sourceStatus.size)
        return KReplaceResult::SourceDamaged;

    KReplacement replacement(target, KReplacement::Naming::Hidden);
    const KFileStatus& existing = replacement.existing();
    if (existing.isLink)
        return KReplaceResult::TargetIsLink;
    const bool replacing = existing.exists;
    if ((replacing && !(existing.isFile && existing.isOwn)) || !replacement.isOpen())
        return KReplaceResult::Failed;

    KContentSum copied;
    const auto keepGoing = [&afterEachChunk] {
        if (afterEachChunk)
            afterEachChunk();
        return true;
    };
    // Cloned where both lie on one file system that can, then summed by a second read: the copy's
    // state is asked again, so that what was summed is what was copied. Its change time counts,
    // which no writer can set back; readers of the copy change none of it, while a change of its
    // mode or its removal meanwhile fails the restore too, and the user tries again.
    KFileStatus after;
    if (!copyContent(from.get(), sourceStatus, replacement.fd(), &copied, keepGoing)
        || !status(from.get(), &after) || !after.isSameState(sourceStatus)) {
        return KReplaceResult::Failed;
    }
    if (!recorded.admits(copied))
        return KReplaceResult::SourceDamaged;
    const unsigned mode = (replacing ? existing.mode : sourceStatus.mode) | S_IRUSR | S_IWUSR;
    const qint64 time = modifiedNs >= 0 ? modifiedNs : sourceStatus.modifiedNs;
    return replacement.commit(mode, time) ? KReplaceResult::Replaced : KReplaceResult::Failed;
}

} // namespace KFileIO
