#include "platform/kmounttable.h"

#include <QHash>
#include <QSet>

namespace {

struct Mount
{
    QString device; // major:minor
    QString mountPoint;
    QString type;
    QString source;
    bool readOnly = false;
};

// Mount points escape blanks, tabs, newlines and backslashes as three octal digits.
QString unescapeMountField(const QByteArray& field)
{
    QByteArray out;
    out.reserve(field.size());
    for (int i = 0; i < field.size(); ++i) {
        if (field.at(i) == '\\' && i + 3 < field.size()) {
            const QByteArray digits = field.mid(i + 1, 3);
            bool ok = false;
            const int code = digits.toInt(&ok, 8);
            if (ok) {
                out.append(char(code));
                i += 3;
                continue;
            }
        }
        out.append(field.at(i));
    }
    return QString::fromUtf8(out);
}

bool hasOption(const QByteArray& options, const char* name)
{
    const QList<QByteArray> parts = options.split(',');
    for (const QByteArray& part : parts) {
        if (part == name)
            return true;
    }
    return false;
}

bool isPseudoFileSystem(const QString& type)
{
    static const QSet<QString> pseudo = {
        QStringLiteral("proc"),
        QStringLiteral("sysfs"),
        QStringLiteral("devtmpfs"),
        QStringLiteral("devpts"),
        QStringLiteral("cgroup"),
        QStringLiteral("cgroup2"),
        QStringLiteral("securityfs"),
        QStringLiteral("debugfs"),
        QStringLiteral("tracefs"),
        QStringLiteral("pstore"),
        QStringLiteral("bpf"),
        QStringLiteral("configfs"),
        QStringLiteral("fusectl"),
        QStringLiteral("hugetlbfs"),
        QStringLiteral("mqueue"),
        QStringLiteral("autofs"),
        QStringLiteral("binfmt_misc"),
        QStringLiteral("efivarfs"),
        QStringLiteral("nsfs"),
        QStringLiteral("rpc_pipefs"),
        QStringLiteral("selinuxfs"),
        QStringLiteral("fuse.gvfsd-fuse"),
        QStringLiteral("fuse.portal"),
    };
    return pseudo.contains(type);
}

// True when `path` is `folder` or lies below it.
bool isAtOrBelow(const QString& path, const QString& folder)
{
    if (folder == QLatin1String("/"))
        return path.startsWith(QLatin1Char('/'));
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

QString withTrailingSlash(const QString& path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

} // namespace

KFileSystemKind KMountTable::fileSystemKindOf(const QString& type)
{
    static const QSet<QString> ntfsLike = {
        QStringLiteral("ext2"),
        QStringLiteral("ext3"),
        QStringLiteral("ext4"),
        QStringLiteral("xfs"),
        QStringLiteral("btrfs"),
        QStringLiteral("f2fs"),
        QStringLiteral("zfs"),
        QStringLiteral("ntfs"),
        QStringLiteral("ntfs3"),
    };
    if (ntfsLike.contains(type))
        return KFileSystemKind::Ntfs;
    if (type == QLatin1String("vfat"))
        return KFileSystemKind::Fat32;
    return KFileSystemKind::Other;
}

KDriveKind KMountTable::driveKindOf(const QString& type, const QString& source, bool removable)
{
    static const QSet<QString> remote = {
        QStringLiteral("nfs"),
        QStringLiteral("nfs4"),
        QStringLiteral("cifs"),
        QStringLiteral("smb3"),
        QStringLiteral("smbfs"),
        QStringLiteral("sshfs"),
        QStringLiteral("fuse.sshfs"),
        QStringLiteral("9p"),
        QStringLiteral("ceph"),
        QStringLiteral("glusterfs"),
        QStringLiteral("fuse.rclone"),
    };
    if (remote.contains(type))
        return KDriveKind::Remote;
    if (type == QLatin1String("iso9660") || type == QLatin1String("udf"))
        return KDriveKind::CdRom;
    if (type == QLatin1String("tmpfs") || type == QLatin1String("ramfs"))
        return KDriveKind::RamDisk;
    if (source.startsWith(QLatin1String("/dev/")))
        return removable ? KDriveKind::Removable : KDriveKind::Fixed;
    // Local file systems that do not name a block device (pools, layered roots).
    if (type == QLatin1String("zfs") || type == QLatin1String("btrfs") || type == QLatin1String("overlay"))
        return KDriveKind::Fixed;
    return KDriveKind::Unknown;
}

KMountTable::KMountTable(const QByteArray& mountInfo, const Environment& environment)
{
    QList<Mount> mounts;
    const QList<QByteArray> lines = mountInfo.split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        const int separator = fields.indexOf(QByteArrayLiteral("-"));
        if (fields.size() < 7 || separator < 6 || separator + 2 >= fields.size())
            continue;
        Mount mount;
        mount.device = QString::fromLatin1(fields.at(2));
        mount.mountPoint = unescapeMountField(fields.at(4));
        mount.type = QString::fromUtf8(fields.at(separator + 1));
        mount.source = unescapeMountField(fields.at(separator + 2));
        mount.readOnly = hasOption(fields.at(5), "ro")
            || (separator + 3 < fields.size() && hasOption(fields.at(separator + 3), "ro"));
        // A later mount on the same point hides the earlier one.
        for (int i = 0; i < mounts.size(); ++i) {
            if (mounts.at(i).mountPoint == mount.mountPoint) {
                mounts.removeAt(i);
                break;
            }
        }
        mounts << mount;
    }

    // The volume that holds the home folder is the deepest mount point above it.
    QString homeDevice;
    int homeDepth = -1;
    const QString home = environment.homeFolder;
    if (!home.isEmpty()) {
        for (const Mount& mount : qAsConst(mounts)) {
            if (isAtOrBelow(home, mount.mountPoint) && mount.mountPoint.size() > homeDepth) {
                homeDepth = mount.mountPoint.size();
                homeDevice = mount.device;
            }
        }
    }

    QString systemDevice;
    QHash<QString, QString> rootByDevice;
    QSet<QString> listedDevices;
    for (const Mount& mount : qAsConst(mounts)) {
        if (mount.mountPoint == QLatin1String("/"))
            systemDevice = mount.device;
        if (isPseudoFileSystem(mount.type) || mount.readOnly)
            continue;
        if (mount.mountPoint == QLatin1String("/boot") || mount.mountPoint == QLatin1String("/boot/efi"))
            continue;
        if (listedDevices.contains(mount.device))
            continue; // the same volume mounted again elsewhere

        QString root;
        if (!homeDevice.isEmpty() && mount.device == homeDevice) {
            if (environment.isWritableFolder(home))
                root = withTrailingSlash(home);
        } else if (environment.isWritableFolder(mount.mountPoint)) {
            root = withTrailingSlash(mount.mountPoint);
        }
        if (root.isEmpty())
            continue;

        const bool removable = environment.isRemovableDevice && environment.isRemovableDevice(mount.device);
        KVolume volume;
        volume.root = root;
        volume.fileSystemName = mount.type;
        volume.fileSystemKind = fileSystemKindOf(mount.type);
        volume.kind = driveKindOf(mount.type, mount.source, removable);
        m_volumes << volume;
        listedDevices.insert(mount.device);
        rootByDevice.insert(mount.device, root);
    }
    m_systemRoot = rootByDevice.value(systemDevice);
}
