#include "platform/kfileio.h"
#include "platform/kplatform.h"
#include "platform/kviewcopies.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 ChunkBytes = 1 << 20;

std::mutex g_mutex;
QString g_folder;

// A new folder only the user may enter: mkdtemp makes it 0700 whatever the umask.
QString makePrivateFolder(const QString& pattern)
{
    QByteArray name = QFile::encodeName(pattern);
    return ::mkdtemp(name.data()) ? QFile::decodeName(name) : QString();
}

// Removes the folder as the process ends, when nothing else did.
struct KRemoveAtExit
{
    ~KRemoveAtExit() { KViewCopies::removeAll(); }
} g_removeAtExit;

} // namespace

namespace KViewCopies {

QString make(const QString& source, const QString& name, const std::function<bool()>& stop)
{
    const KFd in = KFileIO::openRegular(source);
    struct stat info;
    if (!in.isValid() || ::fstat(in.get(), &info) != 0 || name.isEmpty() || name.contains(QLatin1Char('/'))
        || name == QLatin1String("..")) {
        return QString();
    }
    QString folder;
    {
        const std::lock_guard<std::mutex> locker(g_mutex);
        if (g_folder.isEmpty())
            g_folder = makePrivateFolder(
                KPlatform::instance()->tempFolder() + QStringLiteral("/vaultkeep-view-XXXXXX"));
        if (!g_folder.isEmpty())
            folder = makePrivateFolder(g_folder + QStringLiteral("/XXXXXX"));
    }
    if (folder.isEmpty())
        return QString();
    const QString path = folder + QLatin1Char('/') + name;
    const QByteArray encoded = QFile::encodeName(path);
    KFd out(::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    bool copied = out.isValid();
    std::vector<char> buffer(static_cast<size_t>(ChunkBytes));
    while (copied) {
        const ssize_t got = ::read(in.get(), buffer.data(), size_t(ChunkBytes));
        if (got == 0)
            break;
        copied = got > 0 ? KFileIO::writeAll(out.get(), buffer.data(), got) && !(stop && stop())
                         : errno == EINTR;
    }
    const struct timespec times[2] = { info.st_atim, info.st_mtim };
    copied = copied && ::futimens(out.get(), times) == 0 && ::fchmod(out.get(), 0400) == 0 && out.close();
    if (!copied) {
        ::unlink(encoded.constData());
        ::rmdir(QFile::encodeName(folder).constData());
        return QString();
    }
    return path;
}

QString folder()
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    return g_folder;
}

void removeAll()
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    if (g_folder.isEmpty())
        return;
    // The viewers may have left lock files beside the copies; everything below goes.
    QDir(g_folder).removeRecursively();
    g_folder.clear();
}

} // namespace KViewCopies
