#include "platform/kfileops.h"
#include "platform/kplatform.h"

#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

qint64 folderSizeAt(int folderFd, bool onlyReadOnly, const std::function<void()>& afterEach)
{
    DIR* dir = ::fdopendir(folderFd);
    if (!dir) {
        ::close(folderFd);
        return 0;
    }
    qint64 total = 0;
    while (struct dirent* entry = ::readdir(dir)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        struct stat info;
        if (::fstatat(::dirfd(dir), name, &info, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(info.st_mode)) {
            const int child = ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (child >= 0)
                total += folderSizeAt(child, onlyReadOnly, afterEach);
        } else if (S_ISREG(info.st_mode)) {
            if (onlyReadOnly && (info.st_mode & S_IWUSR))
                continue;
            total += info.st_size;
        } else {
            continue;
        }
        if (afterEach)
            afterEach();
    }
    ::closedir(dir);
    return total;
}

} // namespace

KCopySource::KCopySource(const QString& path)
    : m_fd(KFileIO::openRegular(path, KFileIO::Links::Follow, &m_raw))
{
    if (!m_fd.isValid())
        return;
    m_status = m_raw;
    KPlatform::instance()->adjustFileStatus(path, &m_status);
}

KCopySource::Result KCopySource::copyTo(const QString& target, KContentSum* sum)
{
    if (!m_fd.isValid())
        return Result::Failed;
    const QByteArray targetName = QFile::encodeName(target);
    KFd to = KFileIO::createNew(target, KFileIO::PrivateFileMode);
    if (!to.isValid())
        return Result::Failed;
    const bool rewound = !m_copied || ::lseek(m_fd.get(), 0, SEEK_SET) == 0;
    m_copied = true;
    KContentSum copiedSum;
    bool copied = rewound && KFileIO::copy(m_fd.get(), to.get(), m_raw.size, &copiedSum);

    // The source is asked again after the copy: a change in its size or times means that what
    // was read is not the state its status describes.
    KFileStatus after;
    const bool unchanged = KFileIO::status(m_fd.get(), &after) && after.size == m_raw.size
        && after.modifiedNs == m_raw.modifiedNs && after.changedNs == m_raw.changedNs;
    if (copied && unchanged) {
        // The copy carries the modification time it is recorded under: the file's own, exact,
        // unless the platform answers another one.
        copied = KFileIO::setModified(to.get(),
            m_status.modifiedMSecs == m_raw.modifiedMSecs ? m_raw.modifiedNs
                                                          : m_status.modifiedMSecs * 1000000);
    }
    const bool closed = to.close();
    if (copied && unchanged && closed) {
        if (sum)
            *sum = copiedSum;
        return Result::Copied;
    }
    ::unlink(targetName.constData());
    return copied && !unchanged ? Result::SourceChanged : Result::Failed;
}

namespace KFileOps {

KFileStatus status(const QString& path)
{
    KFileStatus result = KFileIO::status(path);
    if (!path.isEmpty())
        KPlatform::instance()->adjustFileStatus(path, &result);
    return result;
}

bool copyFile(const QString& source, const QString& target)
{
    KCopySource from(source);
    return from.isOpen() && from.copyTo(target) == KCopySource::Result::Copied;
}

qint64 folderSize(const QString& folder, bool onlyReadOnly, const std::function<void()>& afterEach)
{
    if (folder.isEmpty())
        return 0;
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    return folderSizeAt(fd, onlyReadOnly, afterEach);
}

KReplaceResult replaceFile(const QString& source, const QString& target, qint64 modifiedNs,
    const KContentSum& recorded, const std::function<void()>& afterEachChunk)
{
    KFileStatus sourceStatus;
    const KFd from = KFileIO::openRegular(source, KFileIO::Links::Follow, &sourceStatus);
    if (!from.isValid())
        return KReplaceResult::Failed;
    // A copy of another size is known to be damaged before anything is written.
    if (recorded.isKnown() && recorded.size != sourceStatus.size)
        return KReplaceResult::SourceDamaged;

    KFileIO::KReplacement replacement(target, KFileIO::KReplacement::Naming::Hidden);
    const KFileStatus& existing = replacement.existing();
    if (existing.isLink)
        return KReplaceResult::TargetIsLink;
    const bool replacing = existing.exists;
    if (replacing && !(existing.isFile && existing.isOwn))
        return KReplaceResult::Failed;
    if (!replacement.isOpen())
        return KReplaceResult::Failed;

    KContentSum copied;
    const auto keepGoing = [&afterEachChunk] {
        if (afterEachChunk)
            afterEachChunk();
        return true;
    };
    if (!KFileIO::copy(from.get(), replacement.fd(), -1, &copied, keepGoing))
        return KReplaceResult::Failed;
    if (!recorded.admits(copied))
        return KReplaceResult::SourceDamaged;
    const unsigned mode = (replacing ? existing.mode : sourceStatus.mode) | S_IRUSR | S_IWUSR;
    const qint64 time = modifiedNs >= 0 ? modifiedNs : sourceStatus.modifiedNs;
    return replacement.commit(mode, time) ? KReplaceResult::Replaced : KReplaceResult::Failed;
}

} // namespace KFileOps
