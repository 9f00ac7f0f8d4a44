#include "platform/klinuxplatform.h"

#include "platform/kdbusnotifications.h"
#include "platform/kfileio.h"
#include "platform/klocalsocketmessaging.h"
#include "platform/kmounttable.h"
#include "platform/kx11activation.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QUrl>
#include <QtDebug>

#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// Ten lines of paths; anything far larger is not such a file.
constexpr qint64 UserDirsMaxSize = 64 * 1024;

QString environmentPath(const char* variable)
{
    return QDir::cleanPath(qEnvironmentVariable(variable));
}

// Caps on what is read; the kernel's files report no size, so they hold against anything else.
constexpr qint64 MaxFlagFile = 4096;
constexpr qint64 MaxMountTable = 16 * 1024 * 1024;

QString readFirstLine(const QString& path)
{
    const auto file = KFileIO::openRegularFile(path, MaxFlagFile);
    return file ? QString::fromLatin1(file->readLine(MaxFlagFile)).trimmed() : QString();
}

bool isRemovableBlockDevice(const QString& majorMinor)
{
    // A partition carries the flag on its parent disk.
    const QString device = QStringLiteral("/sys/dev/block/") + majorMinor;
    if (QFileInfo::exists(device + QStringLiteral("/partition")))
        return readFirstLine(device + QStringLiteral("/../removable")) == QLatin1String("1");
    return readFirstLine(device + QStringLiteral("/removable")) == QLatin1String("1");
}

bool isWritableFolder(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0 && QFileInfo(path).isDir();
}

KMountTable readMountTable()
{
    const auto file = KFileIO::openRegularFile(QStringLiteral("/proc/self/mountinfo"), MaxMountTable);
    QByteArray text;
    if (file)
        text = file->readAll();
    KMountTable::Environment environment;
    environment.homeFolder = QDir::homePath();
    environment.isWritableFolder = isWritableFolder;
    environment.isRemovableDevice = isRemovableBlockDevice;
    return KMountTable(text, environment);
}

} // namespace

KLinuxPlatform::KLinuxPlatform() = default;

KLinuxPlatform::~KLinuxPlatform() = default;

QString KLinuxPlatform::appDataFolder() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString KLinuxPlatform::commonDocumentsFolder() const
{
    const QString configured = environmentPath(CommonDocumentsVariable);
    if (!qEnvironmentVariableIsEmpty(CommonDocumentsVariable))
        return configured;
    return appDataFolder() + QStringLiteral("/Common Documents");
}

QString KLinuxPlatform::desktopFolderIn(const QByteArray& userDirs, const QString& homeFolder)
{
    const QString home = QDir::cleanPath(homeFolder);
    const QString fallback = home + QStringLiteral("/Desktop");
    QString folder = fallback;
    static const QRegularExpression assignment(
        QStringLiteral("^\\s*XDG_DESKTOP_DIR\\s*=\\s*(\"?)(.*)\\1\\s*$"));
    const QStringList lines = QString::fromUtf8(userDirs).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QRegularExpressionMatch match = assignment.match(line);
        if (!match.hasMatch())
            continue;
        QString value = match.captured(2);
        value.replace(QLatin1String("\\\""), QLatin1String("\""));
        // Empty, as unset: the shell's ${XDG_DESKTOP_DIR:-...} takes the fallback.
        if (value.isEmpty())
            value = fallback;
        else if (value == QLatin1String("$HOME") || value.startsWith(QLatin1String("$HOME/")))
            value = home + value.mid(5);
        else if (value.startsWith(QLatin1String("${HOME}")))
            value = home + value.mid(7);
        // A relative path is the home folder's, as xdg-user-dirs-update writes it.
        else if (!value.startsWith(QLatin1Char('/')))
            value = home + QLatin1Char('/') + value;
        folder = QDir::cleanPath(value);
    }
    return folder;
}

QString KLinuxPlatform::desktopFolder() const
{
    const auto file
        = KFileIO::openRegularFile(configHomeFolder() + QStringLiteral("/user-dirs.dirs"), UserDirsMaxSize);
    return desktopFolderIn(file ? file->readAll() : QByteArray(), homeFolder());
}

QString KLinuxPlatform::documentsFolder() const
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

QString KLinuxPlatform::homeFolder() const
{
    return QDir::homePath();
}

QString KLinuxPlatform::dataHomeFolder() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString KLinuxPlatform::configHomeFolder() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString KLinuxPlatform::cacheFolder() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
}

QString KLinuxPlatform::tempFolder() const
{
    return QDir::cleanPath(QDir::tempPath());
}

QString KLinuxPlatform::registryHiveFile() const
{
    if (!qEnvironmentVariableIsEmpty(HiveVariable))
        return environmentPath(HiveVariable);
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/Atrium/HKEY_CURRENT_USER.ini");
}

QList<KVolume> KLinuxPlatform::volumes() const
{
    return readMountTable().volumes();
}

QString KLinuxPlatform::systemDriveRoot() const
{
    return readMountTable().systemRoot();
}

bool KLinuxPlatform::diskSpace(const QString& root, quint64* freeBytes, quint64* totalBytes) const
{
    struct statvfs info;
    if (root.isEmpty() || ::statvfs(QFile::encodeName(root).constData(), &info) != 0)
        return false;
    if (freeBytes)
        *freeBytes = quint64(info.f_bavail) * info.f_frsize;
    if (totalBytes)
        *totalBytes = quint64(info.f_blocks) * info.f_frsize;
    return true;
}

QString KLinuxPlatform::hostExecutablePath() const
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
}

QString KLinuxPlatform::fileVersion(const QString& path) const
{
    // Linux executables carry no version resource. The running host may declare its version
    // as the application version; any other file has none.
    if (QCoreApplication::instance() && !QCoreApplication::applicationVersion().isEmpty()
        && QFileInfo(path).canonicalFilePath() == QFileInfo(hostExecutablePath()).canonicalFilePath()) {
        return QCoreApplication::applicationVersion();
    }
    return QString();
}

bool KLinuxPlatform::revealInFileManager(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"), QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("ShowItems"));
        call << QStringList { QUrl::fromLocalFile(absolute).toString() } << QString();
        const QDBusMessage reply = bus.call(call, QDBus::Block, 2000);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return true;
    }
    const QString folder = QFileInfo(absolute).absolutePath();
    return QProcess::startDetached(QStringLiteral("xdg-open"), { folder });
}

bool KLinuxPlatform::openWithDesktopProgram(const QString& path)
{
    return QProcess::startDetached(QStringLiteral("xdg-open"), { QFileInfo(path).absoluteFilePath() });
}

QString KLinuxPlatform::messageFolder()
{
    if (!qEnvironmentVariableIsEmpty(MessageFolderVariable))
        return environmentPath(MessageFolderVariable);
    // The runtime folder belongs to the user alone and goes when the user logs out.
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return environmentPath("XDG_RUNTIME_DIR") + QStringLiteral("/atrium");
    return QDir::tempPath() + QStringLiteral("/atrium-%1").arg(::geteuid());
}

KWindowMessaging* KLinuxPlatform::windowMessaging()
{
    std::call_once(m_messagingCreated, [this] {
        m_messaging = std::make_unique<KLocalSocketMessaging>(messageFolder(), [](HWND window) {
            // Elsewhere (offscreen, Wayland) window ids mean nothing to a window manager.
            return kApplicationUsesX11() && kActivateX11Window(quint32(quintptr(window)));
        });
    });
    return m_messaging.get();
}

KDesktopNotifications* KLinuxPlatform::desktopNotifications()
{
    std::call_once(m_notificationsCreated, [this] {
        if (QCoreApplication::instance()) {
            m_notifications = std::make_unique<KDBusNotifications>(
                QStringLiteral("Vaultkeep"), QStringLiteral(VAULTKEEP_APP_ID));
        }
    });
    return m_notifications.get();
}
