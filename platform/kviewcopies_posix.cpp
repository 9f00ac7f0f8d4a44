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

namespace {

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
    KFileStatus status;
    const KFd in = KFileIO::openRegular(source, KFileIO::Links::Follow, &status);
    if (!in.isValid() || name.isEmpty() || name.contains(QLatin1Char('/')) || name == QLatin1String(".."))
        return QString();
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
    KFd out = KFileIO::createNew(path, KFileIO::PrivateFileMode);
    const bool copied = out.isValid()
        && KFileIO::copy(in.get(), out.get(), -1, nullptr, [&stop] { return !(stop && stop()); })
        && KFileIO::setModified(out.get(), status.modifiedNs) && ::fchmod(out.get(), 0400) == 0
        && out.close();
    if (!copied) {
        ::unlink(QFile::encodeName(path).constData());
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
