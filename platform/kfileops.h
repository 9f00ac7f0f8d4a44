#pragma once

#include "platform/kfileio.h"

#include <QString>

// The files the product protects as the platform answers for them: their status passes through
// KPlatform::adjustFileStatus(), so that tests can answer for chosen paths (creation times
// included, which Linux lets nobody set). Everything else is the file-I/O layer's (kfileio.h).

// A regular file opened for backing up. Its status is taken from the open file, so it describes
// exactly the content a copy will take. Anything but a regular file (a FIFO, a socket, a device,
// a link to one) is never opened, and never blocks the caller.
class KCopySource
{
public:
    explicit KCopySource(const QString& path);

    [[nodiscard]] bool isOpen() const { return m_fd.isValid(); }
    const KFileStatus& status() const { return m_status; }

    // Copies the content to `target`, which must not exist yet (KFileIO::copyToNew()), summing it
    // into `sum`. The copy is private to its owner (0600) and carries the modification time its
    // status() gives, to the nanosecond where that is the file's own.
    [[nodiscard]] KFileIO::CopyResult copyTo(const QString& target, KContentSum* sum = nullptr);

private:
    // The file system's own answers, to tell whether the file changed during the copy; filled
    // by the open, so declared before the descriptor.
    KFileStatus m_raw;
    KFd m_fd;
    KFileStatus m_status;
    Q_DISABLE_COPY(KCopySource)
};

namespace KFileOps {

// The status of `path`, as the platform answers it.
KFileStatus status(const QString& path);

// Copies a regular file to `target`, which must not exist yet (see KCopySource::copyTo).
[[nodiscard]] bool copyFile(const QString& source, const QString& target);

} // namespace KFileOps
