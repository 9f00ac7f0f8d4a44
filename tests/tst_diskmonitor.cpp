#include "core/kcommon.h"
#include "core/kconfig.h"
#include "ktestenvironment.h"
#include "storage/kdiskinfothread.h"
#include "storage/kspaceforecast.h"

#include <QtTest>

#include <atomic>

class TestDiskMonitor : public QObject
{
    Q_OBJECT

private slots:
    void init();
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
    KCommon::refreshDrives();
    QFile::remove(KConfig::instance()->filePath());
}

QString TestDiskMonitor::addDrive(const QString& name, quint64 freeBytes, KDriveKind kind)
{
    const QString root = m_env.makeFolder(QStringLiteral("case%1/%2").arg(m_case).arg(name));
    m_env.platform()->addDrive(root, kind, KFileSystemKind::Ntfs, freeBytes, 100000 * MiB);
    return root;
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
