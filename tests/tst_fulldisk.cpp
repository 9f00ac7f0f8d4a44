#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kprotectiondatabase.h"
#include "discovery/kdiskfilemanager.h"
#include "kfaultshim.h"
#include "ktestenvironment.h"
#include "ktestrecords.h"
#include "platform/kiniformat.h"
#include "platform/kregistry.h"
#include "service/kfileservicemanager.h"

#include <QtTest>

namespace {

const QString CounterKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Atrium\\Apps\\Vaultkeep");

// The hive's values as another process reading the file would find them.
QVariant hiveValue(const QString& hive, const QString& key)
{
    return KIniFormat::parse(KTestEnvironment::contentOf(hive), KIniFormat::Dialect::Registry).value(key);
}

// Fills the file system that holds `folder` with one file until a write fails, then frees
// `room` bytes of it.
bool fill(const QString& folder, qint64 room)
{
    QFile filler(folder + QStringLiteral("/filler"));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray chunk(4096, 'f');
    for (int i = 0; i < 1000000; ++i) {
        if (filler.write(chunk) != chunk.size())
            return filler.resize(qMax<qint64>(0, filler.size() - filler.size() % 4096 - room));
    }
    return false;
}

} // namespace

// A disk with no room left, made by failing every write below a folder (the preloaded fault
// library) and, when CI provides one, on a real small file system filled up.
class TestFullDisk : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void aDatabaseSaveKeepsThePreviousFile_data();
    void aDatabaseSaveKeepsThePreviousFile();
    void registryAndSettingsWritesKeepThePreviousFile_data();
    void registryAndSettingsWritesKeepThePreviousFile();
    void theEngineSavesAgainAndCountsOnceWhenThereIsRoom();
    void aRealFullFileSystemKeepsEveryFile();

private:
    KTestEnvironment m_env;
};

void TestFullDisk::initTestCase()
{
    QVERIFY(KFaultShim::isLoaded());
    m_env.addBackupDrive(QStringLiteral("D"));
}

void TestFullDisk::cleanup()
{
    KFaultShim::setFullFolder(QString());
}

void TestFullDisk::aDatabaseSaveKeepsThePreviousFile_data()
{
    QTest::addColumn<int>("records");
    // A few records make a text that Qt's buffered files would keep in memory until the end.
    QTest::newRow("a few records") << 3;
    QTest::newRow("many records") << 3000;
}

void TestFullDisk::aDatabaseSaveKeepsThePreviousFile()
{
    QFETCH(int, records);
    KTestStore store;
    const KProtectionDatabase database;
    for (int i = 0; i < records; ++i)
        addTestRecord(&store[0], QStringLiteral("/w/%1.pra4").arg(i), 0, { testFileId(i) });
    QVERIFY(database.save(collectionsOf(store)));
    const QByteArray before = KTestEnvironment::contentOf(database.path());

    addTestRecord(&store[1], QStringLiteral("/w/new.cva"), 0, { testFileId(records) });
    const QString folder = QFileInfo(database.path()).absolutePath();
    KFaultShim::setFullFolder(folder);
    QVERIFY(!database.save(collectionsOf(store)));
    KFaultShim::setFullFolder(QString());

    QCOMPARE(KTestEnvironment::contentOf(database.path()), before);
    QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("VaultkeepDB.xml") });
    QVERIFY(database.save(collectionsOf(store)));
    QVERIFY(KTestEnvironment::contentOf(database.path()).contains("/w/new.cva"));
}

void TestFullDisk::registryAndSettingsWritesKeepThePreviousFile_data()
{
    QTest::addColumn<bool>("hive");
    QTest::newRow("the registry hive, with the recent-file lists and the counter") << true;
    QTest::newRow("the settings file") << false;
}

void TestFullDisk::registryAndSettingsWritesKeepThePreviousFile()
{
    QFETCH(bool, hive);
    KConfig* config = KConfig::instance();
    const QString file = hive ? m_env.platform()->registryHiveFile() : config->filePath();
    KRegistryKey list(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Recent"));
    list.setValue(QStringLiteral("File1"), QStringLiteral("/w/a.pra4"));
    QVERIFY(list.sync());
    QVERIFY(config->setTotalBackupCount(5));
    QVERIFY(config->setAutoBack(true));
    const QByteArray before = KTestEnvironment::contentOf(file);

    // Room enough for the lock file that guards the write, not for the file itself.
    KFaultShim::setFullFolder(m_env.platform()->baseFolder(), 100);
    if (hive)
        QVERIFY(!config->setTotalBackupCount(9));
    else
        QVERIFY(!config->setAutoBack(false));
    QCOMPARE(KTestEnvironment::contentOf(file), before);
    // This process goes on with the value it wrote, and writes it once there is room again.
    QCOMPARE(hive ? config->totalBackupCount() : int(config->autoBack()), hive ? 9 : 0);
    QVERIFY(!config->retryPendingWrites());
    QCOMPARE(KTestEnvironment::contentOf(file), before);

    KFaultShim::setFullFolder(QString());
    QVERIFY(config->retryPendingWrites());
    const QString hiveFile = m_env.platform()->registryHiveFile();
    QCOMPARE(hiveValue(hiveFile, QStringLiteral("software/tarsel/recent/file1")).toString(),
        QStringLiteral("/w/a.pra4"));
    QCOMPARE(hiveValue(hiveFile, QStringLiteral("software/tarsel/atrium/apps/vaultkeep/value")).toInt(),
        hive ? 9 : 5);
    QCOMPARE(KIniFormat::parse(KTestEnvironment::contentOf(config->filePath()), KIniFormat::Dialect::Settings)
                 .value(QStringLiteral("AutoBack"))
                 .toString(),
        hive ? QStringLiteral("true") : QStringLiteral("false"));
}

void TestFullDisk::theEngineSavesAgainAndCountsOnceWhenThereIsRoom()
{
    KConfig* config = KConfig::instance();
    QVERIFY(config->setTotalBackupCount(100));
    const QString source = m_env.writeFile(
        QStringLiteral("work/plan.pra4"), "first", QDateTime::currentDateTime().addSecs(-120));
    KFileServiceManager manager;
    QFile::remove(manager.databasePath());
    KDiskFileManager scanner;
    scanner.attach(&manager);
    QVERIFY(scanner.loadProductCatalog(KProductCatalog::builtInPath()));
    KTestEnvironment::listAsRecent(scanner.catalog(), { source });

    scanner.runCycle(KDiskFileManager::CycleKind::Full);
    QCOMPARE(KTestEnvironment::contentOf(manager.databasePath()).count("<Version "), 1);

    // The second copy is made on the backup drive; the database and the counter cannot be written.
    QVERIFY(KTestEnvironment::setModified(source, QDateTime::currentDateTime().addSecs(-60)));
    KFaultShim::setFullFolder(m_env.platform()->baseFolder());
    scanner.runCycle(KDiskFileManager::CycleKind::Full);
    QCOMPARE(manager.findFile(source)->versionCount(), 2);
    QCOMPARE(KTestEnvironment::contentOf(manager.databasePath()).count("<Version "), 1);
    QCOMPARE(hiveValue(m_env.platform()->registryHiveFile(),
                 QStringLiteral("software/tarsel/atrium/apps/vaultkeep/value"))
                 .toInt(),
        101);

    // A cycle without backups writes both once there is room; closing a dialog adds nothing.
    KFaultShim::setFullFolder(QString());
    scanner.runCycle();
    QCOMPARE(KTestEnvironment::contentOf(manager.databasePath()).count("<Version "), 2);
    manager.onUpdate();
    QCOMPARE(hiveValue(m_env.platform()->registryHiveFile(),
                 QStringLiteral("software/tarsel/atrium/apps/vaultkeep/value"))
                 .toInt(),
        102);
    QCOMPARE(config->totalBackupCount(), 102);
}

void TestFullDisk::aRealFullFileSystemKeepsEveryFile()
{
    // CI (run as root) mounts a small tmpfs for this case and names it here.
    const QString mount = qEnvironmentVariable("VAULTKEEP_FULL_TMPFS");
    if (mount.isEmpty())
        QSKIP("set VAULTKEEP_FULL_TMPFS to a small, empty tmpfs the user may write to");
    KFakePlatform machine(mount + QStringLiteral("/machine"));
    KPlatform::setInstance(&machine);
    const auto restore = qScopeGuard([this, mount] {
        KPlatform::setInstance(m_env.platform());
        QDir(mount).removeRecursively();
    });

    // Both files take several pages of memory; one page is left free, which the hive's lock file
    // takes: the writes themselves run out of room part way.
    KTestStore store;
    const KProtectionDatabase database(mount + QStringLiteral("/VaultkeepDB.xml"));
    for (int i = 0; i < 100; ++i)
        addTestRecord(&store[0], QStringLiteral("/w/%1.pra4").arg(i), 0, { testFileId(i) });
    QVERIFY(database.save(collectionsOf(store)));
    const QByteArray databaseBefore = KTestEnvironment::contentOf(database.path());
    KRegistryKey list(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Recent"));
    for (int i = 0; i < 300; ++i)
        list.setValue(QStringLiteral("File%1").arg(i), QStringLiteral("/w/documents/%1.pra4").arg(i));
    QVERIFY(list.sync());
    const QByteArray hiveBefore = KTestEnvironment::contentOf(machine.registryHiveFile());
    QVERIFY(hiveBefore.size() > 8192);

    QVERIFY(fill(mount, 4096));
    addTestRecord(&store[1], QStringLiteral("/w/new.cva"), 0, { testFileId(999) });
    QVERIFY(!database.save(collectionsOf(store)));
    list.setValue(QStringLiteral("File300"), QStringLiteral("/w/b.pra4"));
    QVERIFY(!list.sync());
    QCOMPARE(KTestEnvironment::contentOf(database.path()), databaseBefore);
    QCOMPARE(KTestEnvironment::contentOf(machine.registryHiveFile()), hiveBefore);

    QVERIFY(QFile::remove(mount + QStringLiteral("/filler")));
    QVERIFY(database.save(collectionsOf(store)));
    QVERIFY(list.sync());
    QVERIFY(KTestEnvironment::contentOf(database.path()).contains("/w/new.cva"));
    QCOMPARE(
        hiveValue(machine.registryHiveFile(), QStringLiteral("software/tarsel/recent/file300")).toString(),
        QStringLiteral("/w/b.pra4"));
}

VK_SHIM_TEST_MAIN(TestFullDisk)

#include "tst_fulldisk.moc"
