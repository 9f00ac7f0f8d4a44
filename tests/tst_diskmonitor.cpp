#include "core/kcommon.h"
#include "core/kconfig.h"
#include "ktestenvironment.h"
#include "platform/kmounttable.h"
#include "storage/kdiskinfothread.h"
#include "storage/kspaceforecast.h"

#include <QtTest>

#include <atomic>
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

// The drives a backup may go to, and the watch over the one it goes to.
class TestDiskMonitor : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void mountTableGivesWritableRootsWithKinds();
    void mountTableRootsTheSystemVolumeAtHome();
    void onlyFixedNtfsAndFat32DrivesAreListed();
    void defaultBackupDrive_data();
    void defaultBackupDrive();
    void spaceCheck_data();
    void spaceCheck();
    void folderTooLarge_data();
    void folderTooLarge();
    void backupPathThatIsNoListedRootNeitherBlocksNorWarns_data();
    void backupPathThatIsNoListedRootNeitherBlocksNorWarns();
    void cyclingMonitorSharesItsStateWithTheGuiThread();
    void daysUntilFull_data();
    void daysUntilFull();
    void checksKeepADailySampleOfTheBackupDriveOnly();

private:
    // A fixed drive below this test's folder, created on disk.
    QString addDrive(const QString& name, quint64 freeBytes, KDriveKind kind = KDriveKind::Fixed);

    KTestEnvironment m_env;
    int m_case = 0;
};

void TestDiskMonitor::init()
{
    ++m_case;
    m_env.platform()->clearDrives();
    m_env.platform()->setSystemDriveRoot(QString());
    KCommon::refreshDrives();
    QFile::remove(KConfig::instance()->filePath());
}

QString TestDiskMonitor::addDrive(const QString& name, quint64 freeBytes, KDriveKind kind)
{
    const QString root = m_env.makeFolder(QStringLiteral("case%1/%2").arg(m_case).arg(name));
    m_env.platform()->addDrive(root, kind, KFileSystemKind::Ntfs, freeBytes, 100000 * MiB);
    return root;
}

void TestDiskMonitor::mountTableGivesWritableRootsWithKinds()
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

void TestDiskMonitor::mountTableRootsTheSystemVolumeAtHome()
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

void TestDiskMonitor::onlyFixedNtfsAndFat32DrivesAreListed()
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

void TestDiskMonitor::defaultBackupDrive_data()
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

void TestDiskMonitor::defaultBackupDrive()
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

void TestDiskMonitor::spaceCheck_data()
{
    QTest::addColumn<quint64>("freeBytes");
    QTest::addColumn<QList<int>>("laterFreeMiB");
    QTest::addColumn<bool>("enough");
    QTest::addColumn<qlonglong>("reportedFree"); // -1: no shortage signal
    QTest::addColumn<int>("proposed"); // index into the later drives, -1 for none

    QTest::newRow("exactly 15 MiB free is not enough")
        << 15 * MiB << QList<int>() << false << qlonglong(15 * MiB) << -1;
    QTest::newRow("16 MiB free is enough") << 16 * MiB << QList<int>() << true << qlonglong(-1) << -1;
    QTest::newRow("a shortage names the first later drive with room")
        << quint64(0) << QList<int> { 15, 20, 30 } << false << qlonglong(0) << 1;
    QTest::newRow("a shortage without room elsewhere names no drive")
        << 2 * MiB << QList<int> { 15, 3 } << false << qlonglong(2 * MiB) << -1;
    QTest::newRow("the free value is a whole number of MiB in bytes")
        << 10 * MiB + 123456 << QList<int> { 20 } << false << qlonglong(10 * MiB) << 0;
}

void TestDiskMonitor::spaceCheck()
{
    QFETCH(quint64, freeBytes);
    QFETCH(QList<int>, laterFreeMiB);
    QFETCH(bool, enough);
    QFETCH(qlonglong, reportedFree);
    QFETCH(int, proposed);

    const QString backup = addDrive(QStringLiteral("backup"), freeBytes);
    QStringList later;
    for (int i = 0; i < laterFreeMiB.size(); ++i)
        later << addDrive(QStringLiteral("later%1").arg(i), quint64(laterFreeMiB.at(i)) * MiB);
    QVERIFY(KConfig::instance()->setBackUpPath(backup));

    KDiskInfoThread monitor;
    QSignalSpy shortage(&monitor, &KDiskInfoThread::sigCurrentDiskFreeNoEnough);
    QSignalSpy home(&monitor, &KDiskInfoThread::sigSetHomeDiskFree);
    QVERIFY(monitor.hasEnoughSpace()); // until the first check
    monitor.checkDisks();

    QCOMPARE(monitor.hasEnoughSpace(), enough);
    QCOMPARE(home.size(), 1);
    QCOMPARE(home.first().at(0).toString(), backup);
    QCOMPARE(home.first().at(1).toDouble(), double(freeBytes / MiB));
    if (reportedFree < 0) {
        QCOMPARE(shortage.size(), 0);
        return;
    }
    QCOMPARE(shortage.size(), 1);
    QCOMPARE(shortage.first().at(0).toLongLong(), reportedFree);
    QCOMPARE(shortage.first().at(1).toString(), proposed < 0 ? QString() : later.at(proposed));

    // The shortage was measured on the old drive: a folder moved away backs up at once, and
    // moved back is short again until a check sees room.
    const QString moved = addDrive(QStringLiteral("moved"), 0);
    QVERIFY(KConfig::instance()->setBackUpPath(moved));
    QVERIFY(monitor.hasEnoughSpace());
    QVERIFY(KConfig::instance()->setBackUpPath(backup));
    QVERIFY(!monitor.hasEnoughSpace());

    // The first check that sees room again lifts the block.
    m_env.platform()->setDriveSpace(backup, 16 * MiB, 100 * MiB);
    monitor.checkDisks();
    QVERIFY(monitor.hasEnoughSpace());
}

void TestDiskMonitor::folderTooLarge_data()
{
    QTest::addColumn<int>("folderBytes");
    QTest::addColumn<bool>("warned");
    QTest::newRow("a folder of exactly the reminder size warns") << 1000 << true;
    QTest::newRow("one byte less does not") << 999 << false;
}

void TestDiskMonitor::folderTooLarge()
{
    QFETCH(int, folderBytes);
    QFETCH(bool, warned);
    QVERIFY(KConfig::instance()->setBackUpPath(addDrive(QStringLiteral("backup"), 500 * MiB)));
    QVERIFY(KConfig::instance()->setTipSize(1000));
    const QString folder = KCommon::backupDirectory();
    // Files in subfolders count too.
    m_env.writeFile(folder + QStringLiteral("a.bak"), QByteArray(400, 'a'));
    m_env.writeFile(folder + QStringLiteral("sub/b.bak"), QByteArray(folderBytes - 400, 'b'));

    KDiskInfoThread monitor;
    QSignalSpy tooLarge(&monitor, &KDiskInfoThread::sigBackedFolderTooLarger);
    monitor.checkDisks();
    QCOMPARE(tooLarge.size(), warned ? 1 : 0);
    if (warned)
        QCOMPARE(tooLarge.first().at(0).toLongLong(), qlonglong(folderBytes));
}

void TestDiskMonitor::backupPathThatIsNoListedRootNeitherBlocksNorWarns_data()
{
    QTest::addColumn<bool>("belowRoot");
    QTest::newRow("a folder below a full drive's root") << true;
    QTest::newRow("the root of a full removable drive") << false;
}

void TestDiskMonitor::backupPathThatIsNoListedRootNeitherBlocksNorWarns()
{
    QFETCH(bool, belowRoot);
    const QString root
        = addDrive(QStringLiteral("full"), 0, belowRoot ? KDriveKind::Fixed : KDriveKind::Removable);
    const QString path = belowRoot ? m_env.makeFolder(root + QStringLiteral("sub")) : root;
    QVERIFY(KConfig::instance()->setBackUpPath(path));

    KDiskInfoThread monitor;
    QSignalSpy shortage(&monitor, &KDiskInfoThread::sigCurrentDiskFreeNoEnough);
    QSignalSpy home(&monitor, &KDiskInfoThread::sigSetHomeDiskFree);
    // Short while the drive was listed: a check that no longer finds it lifts the block.
    m_env.platform()->addDrive(path, KDriveKind::Fixed, KFileSystemKind::Ntfs, 0, 100000 * MiB);
    KCommon::refreshDrives();
    monitor.checkDisks();
    QVERIFY(!monitor.hasEnoughSpace());
    m_env.platform()->clearDrives();
    m_env.platform()->addDrive(
        root, belowRoot ? KDriveKind::Fixed : KDriveKind::Removable, KFileSystemKind::Ntfs, 0, 100000 * MiB);
    shortage.clear();
    home.clear();
    monitor.checkDisks();
    QVERIFY(monitor.hasEnoughSpace());
    QCOMPARE(shortage.size(), 0);
    QCOMPARE(home.size(), 0);
    QVERIFY(!monitor.backupDriveInfo(nullptr, nullptr, nullptr));
}

void TestDiskMonitor::cyclingMonitorSharesItsStateWithTheGuiThread()
{
    const QString backup = addDrive(QStringLiteral("backup"), 10 * MiB);
    const QString spare = addDrive(QStringLiteral("spare"), 20 * MiB);
    QVERIFY(KConfig::instance()->setBackUpPath(backup));

    KDiskInfoThread monitor;
    monitor.setCycleInterval(1);
    std::atomic<int> cycles { 0 };
    connect(
        &monitor, &KDiskInfoThread::sigSetHomeDiskFree, &monitor,
        [&cycles] {
            if (QThread::currentThread() != QCoreApplication::instance()->thread())
                ++cycles;
        },
        Qt::DirectConnection);
    QObject receiver; // on this thread, so the monitor's signals arrive queued
    int shortages = 0;
    connect(&monitor, &KDiskInfoThread::sigCurrentDiskFreeNoEnough, &receiver, [&shortages] { ++shortages; });
    monitor.start();

    // This thread's share while the monitor cycles. Events are handled only once it has
    // stopped: Qt's event queue is guarded by a lock ThreadSanitizer cannot see.
    const QDeadlineTimer giveUp(60000);
    for (int i = 0; i < 200 || cycles < 20; ++i) {
        QVERIFY(!giveUp.hasExpired());
        m_env.platform()->setDriveSpace(spare, (i % 2 ? 20 : 5) * MiB, 100 * MiB);
        QCOMPARE(KCommon::drives().size(), 2);
        KCommon::firstDriveWithFreeSpace(15);
        QVERIFY(monitor.backupDriveInfo(nullptr, nullptr, nullptr));
        monitor.onUpdateCurrentDiskFree(); // as the queued request runs it, on this thread
        monitor.hasEnoughSpace();
        QThread::yieldCurrentThread();
    }
    monitor.stopThread();
    QVERIFY(!monitor.isRunning());
    QVERIFY(!monitor.hasEnoughSpace());
    QCoreApplication::processEvents();
    QCOMPARE(shortages, cycles.load());
}

using Samples = QList<KFreeSpaceSample>;
Q_DECLARE_METATYPE(Samples)

void TestDiskMonitor::daysUntilFull_data()
{
    // Times in days before "now", free space in GiB; the drive has 100 GiB free now.
    const auto at = [](double daysAgo, qint64 freeGiB, const QString& root = QStringLiteral("/b/")) {
        return KFreeSpaceSample { root, qint64(-daysAgo * KSpaceForecast::DayMs), freeGiB << 30 };
    };
    QTest::addColumn<Samples>("samples");
    QTest::addColumn<qint64>("growthGiB"); // per day, -1 for none
    QTest::addColumn<int>("days");
    QTest::newRow("10 GiB a day over the week leaves 10 days")
        << Samples { at(7, 170), at(3, 130), at(0, 100) } << qint64(10) << 10;
    QTest::newRow("a sample older than the week is left out")
        << Samples { at(7.5, 500), at(2, 104), at(0, 100) } << qint64(2) << 50;
    QTest::newRow("no growth, no estimate") << Samples { at(5, 100), at(0, 100) } << qint64(-1) << -1;
    QTest::newRow("freed space, no estimate") << Samples { at(5, 90), at(0, 100) } << qint64(-1) << -1;
    QTest::newRow("one sample, no estimate") << Samples { at(0, 100) } << qint64(-1) << -1;
    QTest::newRow("samples less than a day apart, no estimate")
        << Samples { at(0.9, 150), at(0, 100) } << qint64(-1) << -1;
    QTest::newRow("samples of another drive count for nothing")
        << Samples { at(6, 200, QStringLiteral("/old/")), at(0, 100) } << qint64(-1) << -1;
    QTest::newRow("a sample from after a clock that went back is left out")
        << Samples { at(3, 115), at(-2, 50), at(0, 100) } << qint64(5) << 20;
    QTest::newRow("faster growth than the free space, full within the day")
        << Samples { at(1, 300), at(0, 100) } << qint64(200) << 0;
}

void TestDiskMonitor::daysUntilFull()
{
    QFETCH(Samples, samples);
    QFETCH(qint64, growthGiB);
    QFETCH(int, days);
    const QString root = QStringLiteral("/b/");
    const qint64 growth = KSpaceForecast::dailyGrowth(samples, root, 0);
    QCOMPARE(growth < 0 ? growth : growth >> 30, growthGiB);
    QCOMPARE(KSpaceForecast::daysUntilFull(samples, root, 0, qint64(100) << 30), days);
    // As the settings keep them.
    QCOMPARE(KSpaceForecast::fromStrings(KSpaceForecast::toStrings(samples)), samples);
}

void TestDiskMonitor::checksKeepADailySampleOfTheBackupDriveOnly()
{
    const QString backup = addDrive(QStringLiteral("backup"), 1000 * MiB);
    const QString other = addDrive(QStringLiteral("other"), 1000 * MiB);
    QVERIFY(KConfig::instance()->setBackUpPath(backup));
    m_env.platform()->setCurrentDateTime(QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC));

    KDiskInfoThread monitor;
    QSignalSpy days(&monitor, &KDiskInfoThread::sigDaysUntilFull);
    // Ten days losing 100 MiB each, checked twice a day: 8 samples of the last 8 days are kept.
    for (int day = 0; day < 10; ++day) {
        for (int check = 0; check < 2; ++check) {
            m_env.platform()->setDriveSpace(backup, quint64(1000 - 100 * day - check) * MiB, 100000 * MiB);
            monitor.checkDisks();
            m_env.platform()->advanceClock(KSpaceForecast::DayMs / 2);
        }
    }
    const Samples kept = KSpaceForecast::fromStrings(KConfig::instance()->freeSpaceSamples());
    QCOMPARE(kept.size(), KSpaceForecast::KeptDays);
    QCOMPARE(kept.last().freeBytes, qint64(100 * MiB)); // the day's first check
    QCOMPARE(days.last().at(0).toInt(), 0);
    QCOMPARE(monitor.daysUntilFull(), 0);

    // A folder moved to another drive starts afresh, and says so at once when asked.
    QVERIFY(KConfig::instance()->setBackUpPath(other));
    monitor.onUpdateCurrentDiskFree();
    QCOMPARE(days.last().at(0).toInt(), -1);
    monitor.checkDisks();
    QCOMPARE(KSpaceForecast::fromStrings(KConfig::instance()->freeSpaceSamples()).size(), 1);
    QCOMPARE(monitor.daysUntilFull(), -1);
}

QTEST_GUILESS_MAIN(TestDiskMonitor)
#include "tst_diskmonitor.moc"
