#include "core/kcommon.h"
#include "core/kconfig.h"
#include "ktestenvironment.h"
#include "platform/kmounttable.h"

#include <QtTest>

#include <functional>

namespace {

// A mount table as the kernel writes it, with every kind of entry the filter must handle.
const QByteArray MountInfo = R"(22 27 0:21 / /proc rw,relatime - proc proc rw
24 27 0:6 / /dev rw,relatime - devtmpfs devtmpfs rw,size=100k
27 1 254:0 / / rw,relatime - ext4 /dev/vda1 rw
28 27 254:1 / /boot rw,relatime - ext4 /dev/vda2 rw
29 28 254:2 / /boot/efi rw,relatime - vfat /dev/vda3 rw
30 27 254:16 / /data rw,relatime shared:1 - xfs /dev/vdb rw
31 27 8:17 / /media/ann/USB\040STICK rw,nosuid - vfat /dev/sdb1 rw
32 27 8:33 / /media/ann/CAMERA rw - exfat /dev/sdc1 rw
33 27 11:0 / /media/ann/DVD ro - iso9660 /dev/sr0 ro
34 27 11:1 / /media/ann/BluRay rw - udf /dev/sr1 rw
35 27 0:50 / /mnt/share rw - cifs //server/share rw
36 27 0:51 / /mnt/nfs rw - nfs4 server:/export rw
37 27 0:23 / /dev/shm rw - tmpfs tmpfs rw
38 27 254:32 / /archive ro,relatime - ext4 /dev/vdc ro
39 27 254:48 / /srv/locked rw - btrfs /dev/vdd rw
40 27 254:16 /sub /mnt/data-again rw - xfs /dev/vdb rw
41 27 0:60 / /windows rw - ntfs3 /dev/vde1 rw
42 27 0:61 / /overlay rw - overlay overlay rw
43 27 254:64 / /data rw,relatime - ext4 /dev/vdf rw
)";

// The table as seen from `home`, with the device 8:17 removable.
KMountTable parse(const QString& home, const std::function<bool(const QString&)>& isWritableFolder)
{
    KMountTable::Environment environment;
    environment.homeFolder = home;
    environment.isWritableFolder = isWritableFolder;
    environment.isRemovableDevice = [](const QString& device) {
        return device == QLatin1String("8:17");
    };
    return KMountTable(MountInfo, environment);
}

} // namespace

class TestDriveList : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void mountTableGivesWritableRootsWithKinds();
    void mountTableRootsTheSystemVolumeAtHome();
    void onlyFixedNtfsAndFat32DrivesAreListed();
    void defaultBackupDrive_data();
    void defaultBackupDrive();

private:
    KTestEnvironment m_env;
};

void TestDriveList::init()
{
    m_env.platform()->clearDrives();
    m_env.platform()->setSystemDriveRoot(QString());
    KCommon::refreshDrives();
    QFile::remove(KConfig::instance()->filePath());
}

void TestDriveList::mountTableGivesWritableRootsWithKinds()
{
    const KMountTable table = parse(QStringLiteral("/home/ann"),
        [](const QString& path) { return path != QLatin1String("/srv/locked"); });

    struct Expected
    {
        const char* root;
        KDriveKind kind;
        KFileSystemKind fileSystem;
    };
    // /proc is pseudo, /boot and /boot/efi are never offered, /archive is read-only, /srv/locked
    // is not writable, the first /data is hidden by a later mount, and /mnt/data-again is
    // the hidden volume mounted elsewhere.
    const QList<Expected> expected = {
        { "/home/ann/", KDriveKind::Fixed, KFileSystemKind::Ntfs },
        { "/media/ann/USB STICK/", KDriveKind::Removable, KFileSystemKind::Fat32 },
        { "/media/ann/CAMERA/", KDriveKind::Fixed, KFileSystemKind::Other },
        { "/media/ann/BluRay/", KDriveKind::CdRom, KFileSystemKind::Other },
        { "/mnt/share/", KDriveKind::Remote, KFileSystemKind::Other },
        { "/mnt/nfs/", KDriveKind::Remote, KFileSystemKind::Other },
        { "/dev/shm/", KDriveKind::RamDisk, KFileSystemKind::Other },
        { "/mnt/data-again/", KDriveKind::Fixed, KFileSystemKind::Ntfs },
        { "/windows/", KDriveKind::Fixed, KFileSystemKind::Ntfs },
        { "/overlay/", KDriveKind::Fixed, KFileSystemKind::Other },
        { "/data/", KDriveKind::Fixed, KFileSystemKind::Ntfs },
    };
    const QList<KVolume> volumes = table.volumes();
    QCOMPARE(volumes.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(volumes.at(i).root, QString::fromUtf8(expected.at(i).root));
        QCOMPARE(volumes.at(i).kind, expected.at(i).kind);
        QCOMPARE(volumes.at(i).fileSystemKind, expected.at(i).fileSystem);
    }
}

void TestDriveList::mountTableRootsTheSystemVolumeAtHome()
{
    const KMountTable table = parse(
        QStringLiteral("/home/ann"), [](const QString& path) { return path == QLatin1String("/home/ann"); });
    QCOMPARE(table.systemRoot(), QStringLiteral("/home/ann/"));
    QCOMPARE(table.volumes().size(), 1);

    // Home on /data: "/" has no writable folder, so the system volume is not listed.
    const KMountTable elsewhere = parse(
        QStringLiteral("/data/ann"), [](const QString& path) { return path == QLatin1String("/data/ann"); });
    QCOMPARE(elsewhere.systemRoot(), QString());
    QCOMPARE(elsewhere.volumes().size(), 1);
    QCOMPARE(elsewhere.volumes().first().root, QStringLiteral("/data/ann/"));
}

void TestDriveList::onlyFixedNtfsAndFat32DrivesAreListed()
{
    const QList<QPair<KDriveKind, KFileSystemKind>> drives = { { KDriveKind::CdRom, KFileSystemKind::Ntfs },
        { KDriveKind::Fixed, KFileSystemKind::Ntfs }, { KDriveKind::Removable, KFileSystemKind::Fat32 },
        { KDriveKind::Fixed, KFileSystemKind::Other }, { KDriveKind::Remote, KFileSystemKind::Ntfs },
        { KDriveKind::RamDisk, KFileSystemKind::Ntfs }, { KDriveKind::Fixed, KFileSystemKind::Fat32 } };
    for (int i = 0; i < drives.size(); ++i)
        m_env.platform()->addDrive(
            QStringLiteral("/%1/").arg(i), drives.at(i).first, drives.at(i).second, 10 * MiB, 20 * MiB);
    KCommon::refreshDrives();

    const QList<KDriveRecord> list = KCommon::drives();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).root, QStringLiteral("/1/"));
    QCOMPARE(list.at(0).fileSystem, QStringLiteral("NTFS"));
    QCOMPARE(list.at(1).root, QStringLiteral("/6/"));
    QCOMPARE(list.at(1).fileSystem, QStringLiteral("FAT32"));
}

void TestDriveList::defaultBackupDrive_data()
{
    QTest::addColumn<QList<int>>("freeMiB"); // the first drive is the system drive
    QTest::addColumn<int>("chosen");
    QTest::newRow("the non-system drive with the most free space, although the system drive has more")
        << QList<int> { 900, 300, 200 } << 1;
    QTest::newRow("a tie keeps the earlier drive") << QList<int> { 100, 300, 300 } << 1;
    QTest::newRow("only a system drive gives the system drive") << QList<int> { 500 } << 0;
    QTest::newRow("full drives give the first drive") << QList<int> { 0, 0 } << 0;
    QTest::newRow("no drive at all gives the host's folder") << QList<int> {} << -1;
}

void TestDriveList::defaultBackupDrive()
{
    QFETCH(QList<int>, freeMiB);
    QFETCH(int, chosen);
    QStringList roots;
    for (int i = 0; i < freeMiB.size(); ++i) {
        roots << m_env.makeFolder(
            QStringLiteral("default/%1/%2").arg(QString::fromUtf8(QTest::currentDataTag())).arg(i));
        m_env.platform()->addDrive(
            roots.last(), KDriveKind::Fixed, KFileSystemKind::Ntfs, quint64(freeMiB.at(i)) * MiB, 1000 * MiB);
    }
    m_env.platform()->setSystemDriveRoot(roots.value(0));
    KCommon::refreshDrives();

    if (chosen < 0) {
        QCOMPARE(KConfig::instance()->backUpPath(), KCommon::hostDataFolder());
        QVERIFY(QDir(KConfig::instance()->backUpPath()).exists());
        return;
    }
    QCOMPARE(KConfig::instance()->backUpPath(), roots.at(chosen));
    // The choice is stored, so it survives a change of free space.
    QCOMPARE(
        QSettings(KConfig::instance()->filePath(), QSettings::IniFormat).value(QStringLiteral("backUpPath")),
        QVariant(roots.at(chosen)));
}

QTEST_GUILESS_MAIN(TestDriveList)
#include "tst_drivelist.moc"
