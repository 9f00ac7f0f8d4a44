#include "platform/kplatform.h"

#include "platform/klinuxplatform.h"

#include <QAtomicPointer>

namespace {
QAtomicPointer<KPlatform> g_installed;

KPlatform* nativePlatform()
{
    static KLinuxPlatform native;
    return &native;
}
} // namespace

KPlatform::~KPlatform() = default;

KPlatform* KPlatform::instance()
{
    KPlatform* installed = g_installed.loadAcquire();
    return installed ? installed : nativePlatform();
}

void KPlatform::setInstance(KPlatform* platform)
{
    g_installed.storeRelease(platform);
}

QStringList KPlatform::logicalDriveRoots() const
{
    QStringList roots;
    const QList<KVolume> all = volumes();
    for (const KVolume& volume : all)
        roots << volume.root;
    return roots;
}

KDriveKind KPlatform::driveKind(const QString& root) const
{
    const QList<KVolume> all = volumes();
    for (const KVolume& volume : all) {
        if (volume.root == root)
            return volume.kind;
    }
    return KDriveKind::NoRootDirectory;
}

KFileSystemKind KPlatform::fileSystemKind(const QString& root) const
{
    const QList<KVolume> all = volumes();
    for (const KVolume& volume : all) {
        if (volume.root == root)
            return volume.fileSystemKind;
    }
    return KFileSystemKind::Other;
}
