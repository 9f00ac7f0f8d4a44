#include "platform/kplatform.h"

#include "platform/klinuxplatform.h"

#include <QAtomicPointer>

namespace {
QAtomicPointer<KPlatform> g_installed;

// Never destroyed: the engine saves its database while the module's other static objects are
// being destroyed, and needs the platform until the very end.
KPlatform* nativePlatform()
{
    static KPlatform* const native = new KLinuxPlatform;
    return native;
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

qint64 KPlatform::currentMSecsSinceEpoch() const
{
    return QDateTime::currentMSecsSinceEpoch();
}

void KPlatform::adjustFileStatus(const QString& path, KFileStatus* status) const
{
    Q_UNUSED(path)
    Q_UNUSED(status)
}

QDateTime KPlatform::currentDateTime() const
{
    return QDateTime::fromMSecsSinceEpoch(currentMSecsSinceEpoch());
}

QDate KPlatform::currentDate() const
{
    return currentDateTime().date();
}
