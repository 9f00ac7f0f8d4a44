#include "core/kcommon.h"
#include "platform/kplatform.h"

#include <mutex>

// The drive list is rebuilt by the disk monitor's thread and read by the GUI thread; a mutex
// guards it and readers receive copies. The standard mutex is used rather than QMutex because
// ThreadSanitizer sees its synchronisation, so TSan builds report real races only.

namespace {

std::mutex g_drivesMutex;
QList<KDriveRecord> g_drives;

QString fileSystemText(int kind)
{
    switch (kind) {
    case 1:
        return QStringLiteral("FAT32");
    case 2:
        return QStringLiteral("NTFS");
    default:
        return QStringLiteral("OTHER_FORMAT");
    }
}

QString typeTextOf(KDriveKind kind)
{
    switch (kind) {
    case KDriveKind::Unknown:
        return QStringLiteral("未知设备");
    case KDriveKind::Removable:
        return QStringLiteral("可移动设备");
    case KDriveKind::Fixed:
        return QStringLiteral("磁盘分区");
    case KDriveKind::Remote:
        return QStringLiteral("网络磁盘");
    case KDriveKind::CdRom:
        return QStringLiteral("光驱");
    case KDriveKind::RamDisk:
        return QStringLiteral("虚拟磁盘");
    case KDriveKind::NoRootDirectory:
        break;
    }
    return QStringLiteral("无效路径");
}

QList<KDriveRecord> buildDriveList()
{
    QList<KDriveRecord> list;
    const QList<KVolume> volumes = KPlatform::instance()->volumes();
    for (const KVolume& volume : volumes) {
        KDriveRecord record;
        record.root = volume.root;
        record.typeText = typeTextOf(volume.kind);
        record.fileSystem = fileSystemText(int(volume.fileSystemKind));
        if (volume.kind != KDriveKind::Fixed || volume.fileSystemKind == KFileSystemKind::Other)
            continue;
        quint64 freeBytes = 0;
        quint64 totalBytes = 0;
        if (KCommon::diskSpace(volume.root, &freeBytes, &totalBytes)) {
            record.freeMiB = quint32(freeBytes / 1024 / 1024);
            record.totalMiB = quint32(totalBytes / 1024 / 1024);
        }
        list << record;
    }
    return list;
}

} // namespace

namespace KCommon {

void refreshDrives()
{
    // Built outside the lock: the file-system queries may be slow.
    const QList<KDriveRecord> list = buildDriveList();
    const std::lock_guard<std::mutex> locker(g_drivesMutex);
    g_drives = list;
}

QList<KDriveRecord> drives()
{
    {
        const std::lock_guard<std::mutex> locker(g_drivesMutex);
        if (!g_drives.isEmpty())
            return g_drives;
    }
    refreshDrives();
    const std::lock_guard<std::mutex> locker(g_drivesMutex);
    return g_drives;
}

QString firstDriveWithFreeSpace(qint64 minimumMiB)
{
    const QList<KDriveRecord> list = drives();
    for (const KDriveRecord& drive : list) {
        if (qint64(drive.freeMiB) > minimumMiB)
            return drive.root;
    }
    return QString();
}

QString driveTypeText(const QString& root)
{
    return typeTextOf(KPlatform::instance()->driveKind(root));
}

int fileSystemKind(const QString& root)
{
    return int(KPlatform::instance()->fileSystemKind(root));
}

QStringList logicalDriveRoots()
{
    return KPlatform::instance()->logicalDriveRoots();
}

bool diskSpace(const QString& root, quint64* freeBytes, quint64* totalBytes)
{
    return KPlatform::instance()->diskSpace(root, freeBytes, totalBytes);
}

} // namespace KCommon
