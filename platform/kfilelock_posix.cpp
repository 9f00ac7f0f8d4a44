#include "platform/kfilelock.h"

#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <utility>

KFileLock::KFileLock(const QString& path, Waiting waiting)
{
    KFd fd(::open(
        QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600));
    if (!fd.isValid())
        return;
    // Waits in short sleeps rather than inside the lock call, so that a thread waiting here can
    // still be ended.
    while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        if ((errno != EWOULDBLOCK && errno != EINTR) || waiting == DontWait)
            return;
        QThread::msleep(20);
    }
    m_fd = std::move(fd);
}

// Closing the descriptor releases the lock.
KFileLock::~KFileLock() = default;
