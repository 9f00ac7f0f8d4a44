#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileobject.h"
#include "discovery/kdiskfilemanager.h"
#include "kfaultshim.h"
#include "ktestenvironment.h"
#include "platform/kfileops.h"
#include "service/kfileservicemanager.h"

#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <xxhash.h>

Q_DECLARE_METATYPE(KFaultShim::Change)

// A backup copy: what it holds, the time it carries, and when it counts as made.
class TestBackupCopy : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void aCopyIsPrivateSummedAndKeepsTheSourcesTime_data();
    void aCopyIsPrivateSummedAndKeepsTheSourcesTime();
    void aFileChangingWhileItIsCopiedIsNotRecorded_data();
    void aFileChangingWhileItIsCopiedIsNotRecorded();
    void copiesReachTheDiskFirstAndACycleThatChangesNothingWritesNothing();

private:
    KTestEnvironment m_env;
    QString m_source;
    const QDateTime m_modified = QDateTime::currentDateTime().addSecs(-3600).addMSecs(-123);
};

void TestBackupCopy::initTestCase()
{
    QVERIFY(KFaultShim::isLoaded());
    ::umask(022);
    m_env.addBackupDrive(QStringLiteral("D"));
}

void TestBackupCopy::init()
{
    QDir(KCommon::backupDirectory()).removeRecursively();
    // Larger than one read of a copy, so that its sum spans several.
    QByteArray content(3 * 1024 * 1024 + 17, 'a');
    for (int i = 0; i < content.size(); i += 4093)
        content[i] = char(i);
    m_source = m_env.writeFile(QStringLiteral("work/plan.pra4"), content, m_modified);
}

// Copies are made in the kernel as the test's file system allows (a clone or copy_file_range), or
// through the buffer where the file system refuses both for the file.
void TestBackupCopy::aCopyIsPrivateSummedAndKeepsTheSourcesTime_data()
{
    QTest::addColumn<int>("refused");
    QTest::newRow("copied in the kernel") << 0;
    QTest::newRow("copied through the buffer") << EINVAL;
}

void TestBackupCopy::aCopyIsPrivateSummedAndKeepsTheSourcesTime()
{
    QFETCH(int, refused);
    KFaultShim::refuseInKernelCopies(refused);
    const auto restored = qScopeGuard([] { KFaultShim::refuseInKernelCopies(0); });
    // A read-only source others may read, modified at a time with a nanosecond part: its copy
    // is the owner's alone, readable and writable.
    const qint64 modifiedNs = m_modified.toMSecsSinceEpoch() * 1000000 + 456789;
    const struct timespec times[2]
        = { { 0, UTIME_OMIT }, { time_t(modifiedNs / 1000000000), long(modifiedNs % 1000000000) } };
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(m_source).constData(), times, 0) == 0);
    QVERIFY(::chmod(QFile::encodeName(m_source).constData(), 0444) == 0);
    const auto writable = qScopeGuard([this] { ::chmod(QFile::encodeName(m_source).constData(), 0644); });

    // A source that is gone makes no version, and no copy is left behind.
    KFileObject missing(m_env.path(QStringLiteral("work/gone.pra4")), 0);
    QVERIFY(!missing.addNewVersion());
    QVERIFY(QDir(KCommon::backupDirectory()).isEmpty());

    KFileObject record(m_source, 0);
    QVERIFY(record.addNewVersion());
    const KVersionId version = record.versions().constFirst();
    // Its FileID carries the source's time to the second and the day it was made.
    QVERIFY2(QRegularExpression(QStringLiteral("^\\{[0-9a-f-]{36}\\}_\\d{14}_\\d{8}$"))
                 .match(version.text())
                 .hasMatch(),
        qPrintable(version.text()));
    QCOMPARE(record.latestVersion()->modifiedTime(), m_modified.addMSecs(-m_modified.time().msec()));
    QCOMPARE(record.latestVersion()->backupDate(), QDateTime(QDate::currentDate(), QTime(0, 0)));
    const QString copy = KCommon::backupDirectory() + version.text();
    const QByteArray content = KTestEnvironment::contentOf(m_source);
    QCOMPARE(KTestEnvironment::contentOf(copy), content);
    QCOMPARE(KFileIO::status(copy).modifiedNs, modifiedNs);
    QCOMPARE(KTestEnvironment::modeOf(copy), 0600u);
    QCOMPARE(KTestEnvironment::modeOf(KCommon::backupDirectory()), 0700u);
    QCOMPARE(version.sum().size, qint64(content.size()));
    QVERIFY(version.sum().hasHash);
    QCOMPARE(version.sum().hash, quint64(XXH3_64bits(content.constData(), size_t(content.size()))));
}

void TestBackupCopy::aFileChangingWhileItIsCopiedIsNotRecorded_data()
{
    QTest::addColumn<KFaultShim::Change>("change");
    QTest::addColumn<int>("refused");
    const std::pair<const char*, KFaultShim::Change> changes[]
        = { { "emptied", KFaultShim::Change::Emptied }, { "grown", KFaultShim::Change::Grown },
              { "rewritten at the same size", KFaultShim::Change::Rewritten } };
    for (const auto& [name, change] : changes) {
        QTest::addRow("%s, copied in the kernel", name) << change << 0;
        QTest::addRow("%s, copied through the buffer", name) << change << EINVAL;
    }
}

void TestBackupCopy::aFileChangingWhileItIsCopiedIsNotRecorded()
{
    QFETCH(KFaultShim::Change, change);
    QFETCH(int, refused);
    KFileObject record(m_source, 0);
    KFaultShim::refuseInKernelCopies(refused);
    KFaultShim::changeOnFirstRead(m_source, change);
    const bool recorded = record.addNewVersion();
    KFaultShim::refuseInKernelCopies(0);
    QVERIFY(!recorded);
    QCOMPARE(record.versionCount(), 0);
    QVERIFY(QDir(KCommon::backupDirectory()).isEmpty());

    // The next attempt takes the file as it is now, under its new time.
    QVERIFY(record.addNewVersion());
    const QString copy = KCommon::backupDirectory() + record.versionIds().constFirst();
    QCOMPARE(KTestEnvironment::contentOf(copy), KTestEnvironment::contentOf(m_source));
    QVERIFY(record.isCurrentStateBackedUp());
}

void TestBackupCopy::copiesReachTheDiskFirstAndACycleThatChangesNothingWritesNothing()
{
    KFileServiceManager manager;
    QFile::remove(manager.databasePath());
    KDiskFileManager scanner;
    scanner.attach(&manager);
    QVERIFY(scanner.loadProductCatalog(KProductCatalog::builtInPath()));
    KTestEnvironment::listAsRecent(scanner.catalog(), { m_source });
    KFaultShim::startLog();
    scanner.runCycle(KDiskFileManager::CycleKind::Full);
    const QStringList calls = KFaultShim::takeLog();
    QCOMPARE(manager.findFile(m_source)->versionCount(), 1);

    const QString drive = QDir::cleanPath(KConfig::instance()->backUpPath());
    int flushed = -1;
    for (int i = 0; i < calls.size() && flushed < 0; ++i) {
        if (calls.at(i).startsWith(QStringLiteral("syncfs ") + drive))
            flushed = i;
    }
    const int saved = calls.indexOf(QStringLiteral("rename ") + manager.databasePath());
    QVERIFY2(saved >= 0, qPrintable(calls.join(QLatin1Char('\n'))));
    QVERIFY2(flushed >= 0 && flushed < saved, qPrintable(calls.join(QLatin1Char('\n'))));

    // Nothing is saved, flushed, renamed or removed when nothing changed.
    KFaultShim::startLog();
    scanner.runCycle(KDiskFileManager::CycleKind::Full);
    QCOMPARE(KFaultShim::takeLog(), QStringList());
}

VK_SHIM_TEST_MAIN(TestBackupCopy)

#include "tst_backupcopy.moc"
