#include "platform/kfileio.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

KFd openRegular(const QString& path, Links links)
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
    struct stat info;
    if (::fstat(fd.get(), &info) != 0)
        return KFd();
    if (!S_ISREG(info.st_mode)) {
        errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        return KFd();
    }
    const int status = ::fcntl(fd.get(), F_GETFL);
    if (status < 0 || ::fcntl(fd.get(), F_SETFL, status & ~O_NONBLOCK) != 0)
        return KFd();
    return fd;
}

std::unique_ptr<QFile> openRegularFile(const QString& path, qint64 maxSize, Links links)
{
    KFd fd = openRegular(path, links);
    if (!fd.isValid())
        return nullptr;
    struct stat info;
    if (::fstat(fd.get(), &info) != 0)
        return nullptr;
    if (info.st_size > maxSize) {
        errno = EFBIG;
        return nullptr;
    }
    auto file = std::make_unique<QFile>();
    if (!file->open(fd.get(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
        return nullptr;
    fd.release();
    return file;
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

KFd createNew(const QString& path, unsigned mode)
{
    KFd fd(::open(QFile::encodeName(path).constData(),
        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode_t(mode)));
    // The process's umask has taken bits away; the caller's mode is meant as it is.
    if (fd.isValid() && ::fchmod(fd.get(), mode_t(mode)) != 0)
        return KFd();
    return fd;
}

bool setModified(int fd, qint64 modifiedNs)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = time_t(modifiedNs / 1000000000);
    times[1].tv_nsec = long(modifiedNs % 1000000000);
    if (times[1].tv_nsec < 0) {
        times[1].tv_nsec += 1000000000;
        --times[1].tv_sec;
    }
    return ::futimens(fd, times) == 0;
}

} // namespace KFileIO
