#include "kfakeplatform.h"

#include "platform/kfileops.h"
#include "platform/klocalsocketmessaging.h"

#include <QDir>

KFakePlatform::KFakePlatform(const QString& base)
    : m_base(QDir::cleanPath(base))
{
    QDir().mkpath(m_base);
    for (const QString& folder : { appDataFolder(), commonDocumentsFolder(), desktopFolder(),
             documentsFolder(), homeFolder(), tempFolder() })
        QDir().mkpath(folder);
}

KFakePlatform::~KFakePlatform() = default;

void KFakePlatform::addDrive(
    const QString& root, KDriveKind kind, KFileSystemKind fileSystem, quint64 freeBytes, quint64 totalBytes)
{
    Drive drive;
    drive.volume.root = root;
    drive.volume.kind = kind;
    drive.volume.fileSystemKind = fileSystem;
    drive.volume.fileSystemName = fileSystem == KFileSystemKind::Ntfs ? QStringLiteral("ext4")
        : fileSystem == KFileSystemKind::Fat32                        ? QStringLiteral("vfat")
                                                                      : QStringLiteral("exfat");
    drive.freeBytes = freeBytes;
    drive.totalBytes = totalBytes;
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_drives << drive;
}

void KFakePlatform::clearDrives()
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_drives.clear();
}

void KFakePlatform::setDriveSpace(const QString& root, quint64 freeBytes, quint64 totalBytes)
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    for (Drive& drive : m_drives) {
        if (drive.volume.root == root) {
            drive.freeBytes = freeBytes;
            drive.totalBytes = totalBytes;
        }
    }
}

void KFakePlatform::setSystemDriveRoot(const QString& root)
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_systemDriveRoot = root;
}

void KFakePlatform::setHostExecutablePath(const QString& path)
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_hostExecutable = path;
}

void KFakePlatform::setFileVersion(const QString& version)
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_fileVersion = version;
}

QStringList KFakePlatform::revealedPaths() const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    return m_revealed;
}

QStringList KFakePlatform::openedPaths() const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    return m_opened;
}

QList<KVolume> KFakePlatform::volumes() const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    QList<KVolume> result;
    for (const Drive& drive : m_drives)
        result << drive.volume;
    return result;
}

QString KFakePlatform::systemDriveRoot() const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    return m_systemDriveRoot;
}

bool KFakePlatform::diskSpace(const QString& root, quint64* freeBytes, quint64* totalBytes) const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    for (const Drive& drive : m_drives) {
        if (drive.volume.root != root)
            continue;
        if (freeBytes)
            *freeBytes = drive.freeBytes;
        if (totalBytes)
            *totalBytes = drive.totalBytes;
        return true;
    }
    return false;
}

QString KFakePlatform::hostExecutablePath() const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    return m_hostExecutable;
}

QString KFakePlatform::fileVersion(const QString& path) const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    return path == m_hostExecutable ? m_fileVersion : QString();
}

bool KFakePlatform::revealInFileManager(const QString& path)
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_revealed << path;
    return true;
}

bool KFakePlatform::openWithDesktopProgram(const QString& path)
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_opened << path;
    return true;
}

void KFakePlatform::setCurrentDateTime(const QDateTime& time)
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_clockMSecs = time.isValid() ? time.toMSecsSinceEpoch() : -1;
}

void KFakePlatform::advanceClock(qint64 msecs)
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    if (m_clockMSecs < 0)
        m_clockMSecs = QDateTime::currentMSecsSinceEpoch();
    m_clockMSecs += msecs;
}

qint64 KFakePlatform::currentMSecsSinceEpoch() const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    return m_clockMSecs >= 0 ? m_clockMSecs : QDateTime::currentMSecsSinceEpoch();
}

void KFakePlatform::setCreationTime(const QString& path, const QDateTime& time)
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_creationTimes.insert(path, time.toMSecsSinceEpoch());
    m_hasCreationTimes = true;
}

void KFakePlatform::clearStatusAnswers()
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_creationTimes.clear();
    m_hasCreationTimes = false;
}

void KFakePlatform::adjustFileStatus(const QString& path, KFileStatus* status) const
{
    if (!m_hasCreationTimes || !status->exists)
        return;
    const std::lock_guard<std::mutex> locker(m_mutex);
    const auto found = m_creationTimes.constFind(path);
    if (found != m_creationTimes.cend())
        status->createdMSecs = found.value();
}

KWindowMessaging* KFakePlatform::windowMessaging()
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    if (!m_messaging) {
        m_messaging = std::make_unique<KLocalSocketMessaging>(messageFolder(), [this](HWND window) {
            const std::lock_guard<std::mutex> recording(m_mutex);
            m_foregroundRequests << window;
            return true;
        });
    }
    return m_messaging.get();
}

QList<HWND> KFakePlatform::foregroundRequests() const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    return m_foregroundRequests;
}
