#include "core/kconfig.h"
#include "ktestenvironment.h"
#include "platform/kregistry.h"

#include <QtTest>

#include <atomic>
#include <thread>

class TestConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void switchesAreOffOnlyForLowerCaseFalse_data();
    void switchesAreOffOnlyForLowerCaseFalse();
    void tipSizeKeepsSixtyFourBits();
    void counterReadsZeroUnlessANumber_data();
    void counterReadsZeroUnlessANumber();
    void countersAddedFromTwoThreadsLoseNothing();
    void excludedFoldersDefaultOnlyWhileAbsent();

private:
    KTestEnvironment m_env;
};

void TestConfig::initTestCase()
{
    m_env.addBackupDrive(QStringLiteral("D"));
}

void TestConfig::init()
{
    QFile::remove(KConfig::instance()->filePath());
}

void TestConfig::switchesAreOffOnlyForLowerCaseFalse_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("on");
    QTest::newRow("lower-case false switches off") << QStringLiteral("false") << false;
    QTest::newRow("capital False stays on") << QStringLiteral("False") << true;
}

void TestConfig::switchesAreOffOnlyForLowerCaseFalse()
{
    QFETCH(QString, stored);
    QFETCH(bool, on);
    {
        // As any Qt program writes the file.
        QSettings settings(KConfig::instance()->filePath(), QSettings::IniFormat);
        for (const char* key : { "AutoBack", "AutoClean7Days", "isTipWhenDiskSizeIsSmall",
                 "ReadRecentlyUsedXbel", "ReadLibreOfficeHistory", "ReadKdeRecentDocuments" })
            settings.setValue(QLatin1String(key), stored);
    }
    KConfig* config = KConfig::instance();
    QCOMPARE(config->autoBack(), on);
    QCOMPARE(config->autoClean7Days(), on);
    QCOMPARE(config->isTipWhenDiskSizeIsSmall(), on);
    QCOMPARE(config->readRecentlyUsedXbel(), on);
    QCOMPARE(config->readLibreOfficeHistory(), on);
    QCOMPARE(config->readKdeRecentDocuments(), on);

    // What the setters write reads back the same in another store on the file.
    QVERIFY(config->setAutoBack(!on));
    QVERIFY(config->setTipWhenDiskSizeIsSmall(!on));
    const KConfig other(config->filePath());
    QCOMPARE(other.autoBack(), !on);
    QCOMPARE(other.isTipWhenDiskSizeIsSmall(), !on);
}

void TestConfig::tipSizeKeepsSixtyFourBits()
{
    const qint64 fiveGiB = qint64(5) * 1024 * 1024 * 1024 + 3;
    QVERIFY(KConfig::instance()->setTipSize(fiveGiB));
    QCOMPARE(KConfig::instance()->tipSize(), fiveGiB);
    QCOMPARE(KConfig(KConfig::instance()->filePath()).tipSize(), fiveGiB);
}

void TestConfig::counterReadsZeroUnlessANumber_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("count");
    QTest::newRow("absent") << QVariant() << 0;
    QTest::newRow("not a number") << QVariant(QStringLiteral("many")) << 0;
    QTest::newRow("a number") << QVariant(1234) << 1234;
}

void TestConfig::counterReadsZeroUnlessANumber()
{
    QFETCH(QVariant, stored);
    QFETCH(int, count);
    KRegistryKey key(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Atrium\\Apps\\Vaultkeep"));
    key.removeKey();
    if (stored.isValid())
        key.setValue(QStringLiteral("Value"), stored);
    QVERIFY(key.sync());
    QCOMPARE(KConfig::instance()->totalBackupCount(), count);
    QVERIFY(KConfig::instance()->setTotalBackupCount(count + 5));
    QCOMPARE(KConfig::instance()->totalBackupCount(), count + 5);
}

void TestConfig::countersAddedFromTwoThreadsLoseNothing()
{
    // The scanner's thread counts a cycle's backups while a restore on the GUI thread counts one.
    KConfig* config = KConfig::instance();
    const int before = config->totalBackupCount();
    const int additions = 300;
    std::atomic<int> failed { 0 };
    std::thread other([config, &failed] {
        for (int i = 0; i < additions; ++i)
            failed += config->addToTotalBackupCount(1) ? 0 : 1;
    });
    for (int i = 0; i < additions; ++i)
        QVERIFY(config->addToTotalBackupCount(1));
    other.join();
    QCOMPARE(failed.load(), 0);
    QCOMPARE(config->totalBackupCount(), before + 2 * additions);
}

void TestConfig::excludedFoldersDefaultOnlyWhileAbsent()
{
    KConfig* config = KConfig::instance();
    QCOMPARE(config->recentExcludedFolders(),
        (QStringList { m_env.platform()->tempFolder(), m_env.platform()->cacheFolder() }));
    // An empty list as the file holds it, read afresh.
    QVERIFY(m_env.writeFile(config->filePath(), "[General]\nRecentExcludedFolders=@Invalid()\n").size());
    QCOMPARE(config->recentExcludedFolders(), QStringList());
    QVERIFY(config->setRecentExcludedFolders({ QStringLiteral("~/a, b") }));
    QCOMPARE(config->recentExcludedFolders(), QStringList { QStringLiteral("~/a, b") });
}

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
