#pragma once

#include <QString>

#include <functional>

// What one status call tells about a path.
struct KFileStatus
{
    bool exists = false;
    bool isDir = false;
    bool isFile = false;
    // The owner's write permission; without it the file counts as read-only.
    bool ownerWritable = false;
    qint64 size = 0;
    qint64 modifiedMSecs = 0; // since the epoch
    // Birth time where the file system records it, else the last status change.
    qint64 createdMSecs = 0;
    // Changes when the file is replaced by another one, as by writing a new file and renaming it.
    quint64 inode = 0;
};

// A regular file opened for copying. Its status is taken from the open file, so it describes
// exactly the content a copy will take.
class KCopySource
{
public:
    explicit KCopySource(const QString& path);
    ~KCopySource();

    bool isOpen() const { return m_fd >= 0; }
    const KFileStatus& status() const { return m_status; }

    // Copies the content to `target`, which must not exist yet. The copy keeps the source's
    // permissions plus read and write for its owner. A failed copy leaves no partial file.
    bool copyTo(const QString& target);

private:
    int m_fd = -1;
    unsigned m_mode = 0;
    bool m_copied = false;
    KFileStatus m_status;
    Q_DISABLE_COPY(KCopySource)
};

// File operations done the fast way: one system call where Qt would make several.
namespace KFileOps {

KFileStatus status(const QString& path);

// Copies a regular file to `target`, which must not exist yet. The copy keeps the source's
// permissions plus read and write for its owner. A failed copy leaves no partial file behind.
bool copyFile(const QString& source, const QString& target);

// Adds the owner's write permission and keeps the owner's read permission: a backup of a
// read-only source must stay readable and become writable for its owner.
bool makeWritableForOwner(const QString& path);

// Sum of the sizes of the regular files below `folder`, recursively, symbolic links skipped;
// with `onlyReadOnly` only files without the owner's write permission count. `afterEach` runs
// after every entry counted or descended into. A missing folder measures 0.
qint64 folderSize(const QString& folder, bool onlyReadOnly, const std::function<void()>& afterEach = {});

} // namespace KFileOps
