#include "platform/kplatform.h"

#include "platform/klinuxplatform.h"

#include <QAtomicPointer>

#include <atomic>
#include <mutex>

namespace {
QAtomicPointer<KPlatform> g_installed;

// Made on first use and destroyed only on request: the engine saves its database while the
// module's other static objects are being destroyed, and needs the platform until the very end.
std::atomic<KPlatform*> g_native { nullptr };
std::mutex g_nativeMutex;

KPlatform* nativePlatform()
{
    KPlatform* native = g_native.load(std::memory_order_acquire);
    if (native)
        return native;
    const std::lock_guard<std::mutex> locker(g_nativeMutex);
    native = g_native.load(std::memory_order_relaxed);
    if (!native) {
        native = new KLinuxPlatform;
        g_native.store(native, std::memory_order_release);
    }
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

void KPlatform::releaseNative()
{
    const std::lock_guard<std::mutex> locker(g_nativeMutex);
    delete g_native.exchange(nullptr, std::memory_order_acq_rel);
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

KDesktopNotifications* KPlatform::desktopNotifications()
{
    return nullptr;
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
