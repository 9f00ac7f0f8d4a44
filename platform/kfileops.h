#pragma once

#include "platform/kfileio.h"

#include <QByteArray>
#include <QString>

#include <functional>

// A regular file opened for copying. Its status is taken from the open file, so it describes
// exactly the content a copy will take. Anything but a regular file (a FIFO, a socket, a device,
// a link to one) is never opened, and never blocks the caller.
class KCopySource
{
public:
    explicit KCopySource(const QString& path);

    [[nodiscard]] bool isOpen() const { return m_fd.isValid(); }
    const KFileStatus& status() const { return m_status; }

    enum class Result
    {
        Copied,
        Failed,
        // The source was written to, grown, shrunk or emptied while it was copied.
        SourceChanged,
    };

    // Copies the content to `target`, which must not exist yet, summing it into `sum` on the
    // way (read once). The copy is private to its owner (0600) and carries the source's
    // modification time to the nanosecond. It counts only when exactly the content described by
    // status() was read and the source's size and times were the same afterwards; otherwise no
    // file is left behind.
    [[nodiscard]] Result copyTo(const QString& target, KContentSum* sum = nullptr);

private:
    // The file system's own answers, to tell whether the file changed during the copy; filled
    // by the open, so declared before the descriptor.
    KFileStatus m_raw;
    KFd m_fd;
    bool m_copied = false;
    KFileStatus m_status;
    Q_DISABLE_COPY(KCopySource)
};

// What replacing a file with a backup copy came to.
enum class KReplaceResult
{
    Replaced,
    Failed,
    // A symbolic link is at the target: it is neither followed nor replaced.
    TargetIsLink,
    // The copy read is not the content recorded for it.
    SourceDamaged,
};

// File operations done the fast way: one system call where Qt would make several.
namespace KFileOps {

// The status of `path`, as the platform answers it (tests may answer for chosen paths).
KFileStatus status(const QString& path);

// Copies a regular file to `target`, which must not exist yet (see KCopySource::copyTo).
[[nodiscard]] bool copyFile(const QString& source, const QString& target);

// Sum of the sizes of the regular files below `folder`, recursively, symbolic links skipped;
// with `onlyReadOnly` only files without the owner's write permission count. `afterEach` runs
// after every entry counted or descended into. A missing folder measures 0.
qint64 folderSize(const QString& folder, bool onlyReadOnly, const std::function<void()>& afterEach = {});

// Replaces `target` with a copy of `source` so that the target is never half-written: the copy
// is written in the target's folder as an unnamed file (where the file system has none, under a
// hidden temporary name), given its modification time, flushed to disk and only then renamed over
// the target. On any failure, and if the process dies on the way, the target stays exactly as it
// was and no temporary file is left. The new file takes the target's permissions, or the
// source's for a new target, plus read and write for its owner; all of it is set on the new
// file's descriptor. A target that is a symbolic link is refused, one that is anything else but
// a regular file of the user's, too.
//
// `modifiedNs` is the new file's modification time, -1 for the source's own, to the nanosecond.
// The content is summed as it is copied; when it is not what `recorded` admits, the target is
// left as it was. `afterEachChunk` runs after every few megabytes copied.
[[nodiscard]] KReplaceResult replaceFile(const QString& source, const QString& target, qint64 modifiedNs,
    const KContentSum& recorded = KContentSum(), const std::function<void()>& afterEachChunk = {});

} // namespace KFileOps
