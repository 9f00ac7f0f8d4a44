#include "platform/kfilelock.h"

#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

KFileLock::KFileLock(const QString& path, Waiting waiting)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    // Waits in short sleeps rather than inside the lock call, so that a thread waiting here can
    // still be ended.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || waiting == DontWait) {
            ::close(fd);
            return;
        }
        QThread::msleep(20);
    }
    m_fd = fd;
}

KFileLock::~KFileLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // also releases the lock
}
