#pragma once

#include <QString>

#include <memory>

class QFile;

// Owns one file descriptor and closes it when it goes away.
class KFd
{
public:
    KFd() = default;
    explicit KFd(int fd)
        : m_fd(fd)
    { }
    KFd(KFd&& other) noexcept
        : m_fd(other.release())
    { }
    KFd& operator=(KFd&& other) noexcept;
    ~KFd();

    bool isValid() const { return m_fd >= 0; }
    int get() const { return m_fd; }
    int release();
    // Closes now; false when the close itself failed (a write the disk refused shows here).
    [[nodiscard]] bool close();

private:
    int m_fd = -1;
    KFd(const KFd&) = delete;
    KFd& operator=(const KFd&) = delete;
};

// The small file-I/O layer every other part uses: descriptors, and reads that only ever touch
// regular files.
namespace KFileIO {

enum class Links
{
    Follow, // a document named through a link is still the document
    DontFollow,
};

// Opens `path` for reading only when it is a regular file. The open itself never blocks (a FIFO
// or a device named in a list would otherwise stop the caller for good): it is made
// non-blocking, the opened descriptor's type is checked, and only then is the flag cleared.
// Returns an invalid descriptor otherwise, with errno set (EINVAL for anything but a regular file).
KFd openRegular(const QString& path, Links links = Links::Follow);

// The same, as a QFile open for reading, for parsers that stream from a QIODevice. A file larger
// than `maxSize` bytes is not opened (errno EFBIG), so that no list can flood memory.
std::unique_ptr<QFile> openRegularFile(const QString& path, qint64 maxSize, Links links = Links::Follow);

// Writes all `size` bytes, resuming after interruptions; false on any failure, including a write
// that makes no progress. Zero bytes succeed.
[[nodiscard]] bool writeAll(int fd, const char* data, qint64 size);

// Creates the regular file `path` for writing, which must not exist yet, with permissions `mode`
// set on the descriptor; a link at `path` is never followed. Invalid on failure.
KFd createNew(const QString& path, unsigned mode);
// Sets the modification time of an open file, to the nanosecond since the epoch.
[[nodiscard]] bool setModified(int fd, qint64 modifiedNs);

} // namespace KFileIO
