#pragma once

#include "platform/kplatform.h"

#include <functional>

// Turns the kernel's mount table (the text of /proc/self/mountinfo) into volumes.
// A volume's root is a folder on it the user can write to: the home folder for the volume that
// holds it, the mount point for any other volume the user can write to. Pseudo file systems,
// /boot, read-only mounts and volumes without a writable root are left out.
class KMountTable
{
public:
    struct Environment
    {
        QString homeFolder;
        std::function<bool(const QString& path)> isWritableFolder;
        // Whether the block device "major:minor" is removable.
        std::function<bool(const QString& majorMinor)> isRemovableDevice;
    };

    KMountTable(const QByteArray& mountInfo, const Environment& environment);

    QList<KVolume> volumes() const { return m_volumes; }
    // The root of the volume that holds "/", or empty when that volume has no root.
    QString systemRoot() const { return m_systemRoot; }

    static KFileSystemKind fileSystemKindOf(const QString& type);
    static KDriveKind driveKindOf(const QString& type, const QString& source, bool removable);

private:
    QList<KVolume> m_volumes;
    QString m_systemRoot;
};
