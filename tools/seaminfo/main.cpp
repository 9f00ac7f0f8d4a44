// Prints what the platform seam sees on this machine: volumes, the usable drive list, the
// folders and the registry hive file.

#include "core/kcommon.h"
#include "platform/kplatform.h"

#include <QCoreApplication>
#include <QTextStream>

namespace {

QString kindText(KDriveKind kind)
{
    switch (kind) {
    case KDriveKind::Unknown:
        return QStringLiteral("unknown");
    case KDriveKind::NoRootDirectory:
        return QStringLiteral("no root");
    case KDriveKind::Removable:
        return QStringLiteral("removable");
    case KDriveKind::Fixed:
        return QStringLiteral("fixed");
    case KDriveKind::Remote:
        return QStringLiteral("remote");
    case KDriveKind::CdRom:
        return QStringLiteral("cd-rom");
    case KDriveKind::RamDisk:
        return QStringLiteral("ram disk");
    }
    return QString();
}

QString fileSystemKindText(KFileSystemKind kind)
{
    switch (kind) {
    case KFileSystemKind::Ntfs:
        return QStringLiteral("NTFS");
    case KFileSystemKind::Fat32:
        return QStringLiteral("FAT32");
    case KFileSystemKind::Other:
        break;
    }
    return QStringLiteral("OTHER_FORMAT");
}

QString mib(quint64 bytes)
{
    return QString::number(bytes / 1024 / 1024) + QStringLiteral(" MiB");
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const KPlatform* platform = KPlatform::instance();

    out << "Volumes (root | kind | file system | counts as | free | total):\n";
    const QList<KVolume> volumes = platform->volumes();
    for (const KVolume& volume : volumes) {
        quint64 freeBytes = 0;
        quint64 totalBytes = 0;
        const bool measured = platform->diskSpace(volume.root, &freeBytes, &totalBytes);
        out << "  " << volume.root << " | " << kindText(volume.kind) << " | " << volume.fileSystemName
            << " | " << fileSystemKindText(volume.fileSystemKind) << " | "
            << (measured ? mib(freeBytes) : QStringLiteral("?")) << " | "
            << (measured ? mib(totalBytes) : QStringLiteral("?")) << '\n';
    }
    if (volumes.isEmpty())
        out << "  (none)\n";

    out << "\nUsable drives (offered for backups):\n";
    const QList<KDriveRecord> drives = KCommon::drives();
    for (const KDriveRecord& drive : drives) {
        out << "  " << drive.root << " | " << drive.typeText << " | " << drive.fileSystem << " | free "
            << drive.freeMiB << " MiB | total " << drive.totalMiB << " MiB\n";
    }
    if (drives.isEmpty())
        out << "  (none)\n";

    out << "\nSystem drive root:       " << platform->systemDriveRoot() << '\n';
    out << "Application data folder: " << platform->appDataFolder() << '\n';
    out << "Common documents folder: " << platform->commonDocumentsFolder() << '\n';
    out << "Desktop folder:          " << platform->desktopFolder() << '\n';
    out << "Documents folder:        " << platform->documentsFolder() << '\n';
    out << "Home folder:             " << platform->homeFolder() << '\n';
    out << "Data folder (XDG):       " << platform->dataHomeFolder() << '\n';
    out << "Settings folder (XDG):   " << platform->configHomeFolder() << '\n';
    out << "Cache folder (XDG):      " << platform->cacheFolder() << '\n';
    out << "Temporary folder:        " << platform->tempFolder() << '\n';
    out << "Registry hive file:      " << platform->registryHiveFile() << '\n';
    out << "Host executable:         " << platform->hostExecutablePath() << '\n';
    return 0;
}
