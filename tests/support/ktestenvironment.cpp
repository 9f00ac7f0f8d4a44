#include "ktestenvironment.h"

#include "core/kconfig.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "discovery/kproductcatalog.h"
#include "discovery/kproductinfo.h"
#include "platform/kregistry.h"
#include "service/kfileservicemanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

KTestEnvironment::KTestEnvironment()
{
    QStandardPaths::setTestModeEnabled(true);
    m_dir.setAutoRemove(true);
    m_platform.reset(new KFakePlatform(m_dir.path() + QStringLiteral("/machine")));
    KPlatform::setInstance(m_platform.data());
}

KTestEnvironment::~KTestEnvironment()
{
    KPlatform::setInstance(nullptr);
}

QString KTestEnvironment::path(const QString& relative) const
{
    return relative.isEmpty() ? m_dir.path() : QDir(m_dir.path()).filePath(relative);
}

QString KTestEnvironment::makeFolder(const QString& relative) const
{
    const QString folder = path(relative);
    QDir().mkpath(folder);
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString KTestEnvironment::writeFile(
    const QString& relative, const QByteArray& content, const QDateTime& modified) const
{
    return writeFileAt(path(relative), content, modified);
}

QString KTestEnvironment::writeFileAt(
    const QString& file, const QByteArray& content, const QDateTime& modified)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(content) != content.size())
        return QString();
    if (modified.isValid() && !(out.flush() && out.setFileTime(modified, QFileDevice::FileModificationTime)))
        return QString();
    return file;
}

QString KTestEnvironment::addBackupDrive(const QString& name, quint64 freeMiB)
{
    const QString root = makeFolder(QStringLiteral("drives/") + name);
    m_platform->addDrive(root, KDriveKind::Fixed, KFileSystemKind::Ntfs, freeMiB * MiB, 2 * freeMiB * MiB);
    if (!KConfig::instance()->setBackUpPath(root))
        qFatal("cannot write the test's settings");
    return root;
}

QString KTestEnvironment::backUp(KFileServiceManager* engine, const QString& path, const QByteArray& content,
    const QDateTime& modified, int kind) const
{
    if (writeFile(path, content, modified).isEmpty())
        return QString();
    const auto before = engine->findFile(this->path(path));
    const QStringList known = before ? before->versionIds() : QStringList();
    const auto record = engine->collection(kind)->backupFile(this->path(path), kind);
    for (const QString& id : record ? record->versionIds() : QStringList()) {
        if (!known.contains(id))
            return id;
    }
    return QString();
}

QByteArray KTestEnvironment::runSelf(
    const QStringList& arguments, const QMap<QString, QString>& environment, int timeoutMs)
{
    QProcess child;
    QProcessEnvironment childEnvironment = QProcessEnvironment::systemEnvironment();
    for (auto it = environment.cbegin(); it != environment.cend(); ++it)
        childEnvironment.insert(it.key(), it.value());
    child.setProcessEnvironment(childEnvironment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(timeoutMs) || child.exitStatus() != QProcess::NormalExit
        || child.exitCode() != 0) {
        child.kill();
        child.waitForFinished();
        return QByteArrayLiteral("<failed>");
    }
    return child.readAllStandardOutput();
}

bool KTestEnvironment::setMode(const QString& path, unsigned mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

QStringList KTestEnvironment::entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

bool KTestEnvironment::setModified(const QString& path, const QDateTime& time)
{
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(time, QFileDevice::FileModificationTime);
}

QByteArray KTestEnvironment::contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

unsigned KTestEnvironment::modeOf(const QString& path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

bool KTestEnvironment::makeFifo(const QString& path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0644) == 0;
}

bool KTestEnvironment::makeSocket(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    struct sockaddr_un address
    {
    };
    address.sun_family = AF_UNIX;
    if (size_t(native.size()) >= sizeof address.sun_path)
        return false;
    memcpy(address.sun_path, native.constData(), size_t(native.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    // The file stays when the socket is closed; nothing ever answers on it.
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    return bound;
}

void KTestEnvironment::listAsRecent(
    const KProductCatalog& catalog, const QStringList& paths, const QString& codePart)
{
    for (const KProductInfo* product : catalog.products()) {
        if (!product->code().contains(codePart) || product->recentFile().isEmpty())
            continue;
        KRegistryKey list(product->recentFile());
        list.removeKey();
        for (int i = 0; i < paths.size(); ++i)
            list.setValue(QStringLiteral("File%1").arg(i + 1), paths.at(i));
        if (!list.sync())
            qFatal("cannot write the recent-file list to the test's hive");
        return;
    }
    qFatal("no product's code holds %s", qPrintable(codePart));
}
