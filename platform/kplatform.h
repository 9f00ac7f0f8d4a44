#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class KDesktopNotifications;
class KWindowMessaging;
struct KFileStatus;

// What the drive-type query of the operating system answers for a root.
enum class KDriveKind
{
    Unknown = 0,
    NoRootDirectory = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

// The file-system families that matter for backups: only NTFS-like and FAT32 volumes are offered.
enum class KFileSystemKind
{
    Other = 0,
    Fat32 = 1,
    Ntfs = 2,
};

// One mounted volume as the platform sees it: a writable root ending with the native separator.
struct KVolume
{
    QString root;
    KDriveKind kind = KDriveKind::Unknown;
    QString fileSystemName;
    KFileSystemKind fileSystemKind = KFileSystemKind::Other;
};

// Every operating-system facility the module needs. One implementation per system, plus a fake
// that tests configure. Nothing outside platform/ talks to the operating system directly.
class KPlatform
{
public:
    virtual ~KPlatform();

    // The platform in use: the native one unless a test installed another.
    static KPlatform* instance();
    // Installs `platform` (not owned) for the whole process; nullptr restores the native one.
    static void setInstance(KPlatform* platform);
    // Destroys the native platform, with the window properties and connections it holds. A
    // library holding this code calls it last before it is unloaded; nothing may use the
    // platform meanwhile (a later use makes a new one).
    static void releaseNative();

    // Folders, without a trailing separator.
    virtual QString appDataFolder() const = 0;
    virtual QString commonDocumentsFolder() const = 0;
    virtual QString desktopFolder() const = 0;
    virtual QString documentsFolder() const = 0;

    // The user's home folder and the freedesktop base folders: data ($XDG_DATA_HOME), settings
    // ($XDG_CONFIG_HOME) and cache ($XDG_CACHE_HOME); then the system's folder for temporary files.
    virtual QString homeFolder() const = 0;
    virtual QString dataHomeFolder() const = 0;
    virtual QString configHomeFolder() const = 0;
    virtual QString cacheFolder() const = 0;
    virtual QString tempFolder() const = 0;

    // The file that holds the emulated HKEY_CURRENT_USER hive (empty where the registry is native).
    virtual QString registryHiveFile() const = 0;

    // Volumes in the order the system lists them, usable or not.
    virtual QList<KVolume> volumes() const = 0;
    // The root of the volume the operating system runs from; empty when it has none.
    virtual QString systemDriveRoot() const = 0;
    // Free space available to the user and total size, in bytes.
    [[nodiscard]] virtual bool diskSpace(
        const QString& root, quint64* freeBytes, quint64* totalBytes) const = 0;

    // The running host executable and its embedded file version (empty when it has none).
    virtual QString hostExecutablePath() const = 0;
    virtual QString fileVersion(const QString& path) const = 0;

    // The current time in milliseconds since the epoch. Everything that asks for "now" or
    // "today" asks here, so that tests can set the clock.
    virtual qint64 currentMSecsSinceEpoch() const;
    QDateTime currentDateTime() const;
    QDate currentDate() const;

    // Every file status the module takes passes through here (KFileOps::status, the sources of
    // backups), so that tests can answer for chosen paths, creation times included, which Linux
    // lets nobody set. The native platform leaves what the file system said.
    virtual void adjustFileStatus(const QString& path, KFileStatus* status) const;

    // Shows `path` selected in the desktop's file manager; false when nothing could be started.
    virtual bool revealInFileManager(const QString& path) = 0;
    // Opens `path` with the desktop's program for its type; false when nothing could be started.
    virtual bool openWithDesktopProgram(const QString& path) = 0;

    // Window properties and window messages between the user's programs.
    virtual KWindowMessaging* windowMessaging() = 0;
    // The desktop's notifications, made on first use (on the GUI thread); nullptr where there are
    // none (no application, a test's platform): the tips then show in the corner of the screen.
    virtual KDesktopNotifications* desktopNotifications();

    // Conveniences over volumes().
    QStringList logicalDriveRoots() const;
    KDriveKind driveKind(const QString& root) const;
    KFileSystemKind fileSystemKind(const QString& root) const;

protected:
    KPlatform() = default;

private:
    Q_DISABLE_COPY(KPlatform)
};
