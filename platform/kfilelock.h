#pragma once

#include "platform/kfileio.h"

#include <QString>

// An exclusive lock on a file, held until the object goes away, shared by every process of the
// user: two holders never coexist, within one process or across processes. A process that dies
// releases its locks.
class KFileLock
{
public:
    enum Waiting
    {
        Wait,
        DontWait
    };

    // Locks `path` (created when missing), waiting until no one else holds it, or not at all.
    // isLocked() is false when the file cannot be created or, without waiting, is held.
    explicit KFileLock(const QString& path, Waiting waiting = Wait);
    ~KFileLock();

    bool isLocked() const { return m_fd.isValid(); }

private:
    KFd m_fd;
    KFileLock(const KFileLock&) = delete;
    KFileLock& operator=(const KFileLock&) = delete;
};
