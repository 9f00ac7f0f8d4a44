#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "kfaultshim.h"
#include "ktestenvironment.h"
#include "platform/kfileops.h"
#include "platform/klinuxplatform.h"
#include "service/kfileservicemanager.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

Q_DECLARE_METATYPE(KRestoreResult)

namespace {

constexpr int ChildTimeoutMs = 30000;

// A modification time with a nanosecond part, as file systems keep it.
constexpr qint64 ExactNs = qint64(1709626150) * 1000000000 + 123456789;

bool setModifiedNs(const QString& path, qint64 ns)
{
    const struct timespec times[2]
        = { { 0, UTIME_OMIT }, { time_t(ns / 1000000000), long(ns % 1000000000) } };
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}

// The restore of a child process: the machine of the test below `base`, the version `fileId`
// restored over `target`. "kill" waits, after the first chunk, for the parent to kill it; "full"
// lets the file system take one mebibyte only, as a disk that fills up would.
int runChild(const QStringList& arguments)
{
    const QString mode = arguments.value(0);
    KFakePlatform platform(arguments.value(1));
    KPlatform::setInstance(&platform);
    if (mode == QLatin1String("full")) {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit limit
        {
            1024 * 1024, 1024 * 1024
        };
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    QTextStream out(stdout);
    KFileServiceManager engine;
    if (!engine.loadDatabase())
        std::quick_exit(1); // the parent reads no result
    const KRestoreResult result = engine.restoreVersion(arguments.value(2), arguments.value(3), [&] {
        if (mode != QLatin1String("kill"))
            return;
        out << "copying" << Qt::endl;
        // Blocks until the parent kills the process.
        QFile input;
        input.open(stdin, QIODevice::ReadOnly);
        input.readAll();
    });
    out << "result " << int(result) << Qt::endl;
    std::quick_exit(0); // the engine's clean-up belongs to no test
}

} // namespace

class TestFileRestore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void replaceFile_data();
    void replaceFile();
    void restoreOverAChangedFileKeepsItAsANewVersion();
    void restoreElsewhereMakesMissingFoldersAndProtectsWhatWasThere();
    void refusedRestoresLeaveTheFileAsItWas_data();
    void refusedRestoresLeaveTheFileAsItWas();
    void theDesktopIsTheFolderUserDirsNames_data();
    void theDesktopIsTheFolderUserDirsNames();
    void interruptedRestoreLeavesTheTarget_data();
    void interruptedRestoreLeavesTheTarget();

private:
    int runChildRestore(const QString& mode, const QString& fileId, const QString& target);

    KTestEnvironment m_env;
    QScopedPointer<KFileServiceManager> m_engine;
    QString m_work;
    int m_case = 0;
};

void TestFileRestore::initTestCase()
{
    QVERIFY(KFaultShim::isLoaded());
    ::umask(022);
    m_env.addBackupDrive(QStringLiteral("D"));
}

void TestFileRestore::init()
{
    // Each case starts with no backups and no database; the engine loads it as the scanner would.
    m_engine.reset(new KFileServiceManager);
    QDir(KCommon::backupDirectory()).removeRecursively();
    QFile::remove(m_engine->databasePath());
    QVERIFY(!m_engine->loadDatabase());
    m_work = m_env.makeFolder(QStringLiteral("work%1").arg(++m_case));
}

void TestFileRestore::replaceFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("existingMode"); // -1: nothing there; 0: a folder in its place
    QTest::addColumn<unsigned>("folderMode");
    QTest::addColumn<unsigned>("expectedMode"); // 0: refused, and what was there kept

    QTest::newRow("a new file takes the source's permissions") << "plain.pra4" << -1 << 0755u << 0640u;
    QTest::newRow("a group-writable file stays so, whatever the umask")
        << "shared.pra4" << 0664 << 0755u << 0664u;
    QTest::newRow("a read-only file is replaced and made writable for its owner, whatever its name")
        << "投标 报价|第2版 .pra4" << 0444 << 0755u << 0644u;
    QTest::newRow("refused in a folder the user may not write") << "plan.pra4" << 0644 << 0555u << 0u;
    QTest::newRow("refused where a folder stands") << "folder.pra4" << 0 << 0755u << 0u;
}

void TestFileRestore::replaceFile()
{
    QFETCH(QString, name);
    QFETCH(int, existingMode);
    QFETCH(unsigned, folderMode);
    QFETCH(unsigned, expectedMode);

    const QString source = m_env.writeFile(m_work + QStringLiteral("copy"), QByteArray(3 * 1024 * 1024, 'v'));
    QVERIFY(KTestEnvironment::setMode(source, 0640));
    const QString folder = m_env.makeFolder(m_work + QStringLiteral("target"));
    const QString target = folder + name;
    if (existingMode > 0) {
        QVERIFY(!m_env.writeFile(target, "what was there").isEmpty());
        QVERIFY(KTestEnvironment::setMode(target, unsigned(existingMode)));
    }
    if (existingMode == 0)
        QVERIFY(QDir().mkpath(target));
    QVERIFY(KTestEnvironment::setMode(folder, folderMode));
    const QStringList before = KTestEnvironment::entriesOf(folder);
    int chunks = 0;

    KFaultShim::startLog();
    const KReplaceResult result = KFileIO::replaceFile(source, target, ExactNs, {}, [&] { ++chunks; });
    const QStringList calls = KFaultShim::takeLog();
    QVERIFY(KTestEnvironment::setMode(folder, 0755));
    if (!expectedMode) {
        QCOMPARE(result, KReplaceResult::Failed);
        QCOMPARE(KTestEnvironment::entriesOf(folder), before);
        if (existingMode > 0)
            QCOMPARE(KTestEnvironment::contentOf(target), QByteArray("what was there"));
        return;
    }
    QCOMPARE(result, KReplaceResult::Replaced);
    QVERIFY2(KFaultShim::flushedBeforeRename(calls, target), qPrintable(calls.join(QLatin1Char('\n'))));
    QCOMPARE(KTestEnvironment::contentOf(target), KTestEnvironment::contentOf(source));
    QCOMPARE(KFileIO::status(target).modifiedNs, ExactNs);
    QCOMPARE(KTestEnvironment::modeOf(target), expectedMode);
    QCOMPARE(KTestEnvironment::entriesOf(folder), QStringList { name });
    QVERIFY(chunks >= 1);
}

void TestFileRestore::restoreOverAChangedFileKeepsItAsANewVersion()
{
    const QString path = m_work + QStringLiteral("投标 报价|2.pra4");
    // The version's time has a nanosecond part; the file it restores over is group-writable.
    const qint64 versionNs = (QDateTime::currentSecsSinceEpoch() - 7200) * qint64(1000000000) + 123456789;
    QVERIFY(!m_env.writeFile(path, "the version").isEmpty());
    QVERIFY(setModifiedNs(path, versionNs));
    QVERIFY(m_engine->collection(0)->backupFile(path, 0));
    const QString version = m_engine->findFile(path)->versionIds().constFirst();
    const QDateTime changedTime = QDateTime::currentDateTime().addSecs(-60);
    QVERIFY(!m_env.writeFile(path, "edited since", changedTime).isEmpty());
    QVERIFY(KTestEnvironment::setMode(path, 0664));
    QSignalSpy added(m_engine.data(), &KFileServiceManager::sigVersionAdded);
    const int counter = KConfig::instance()->totalBackupCount();

    QCOMPARE(m_engine->restoreVersion(version, path), KRestoreResult::Restored);
    QCOMPARE(KTestEnvironment::contentOf(path), QByteArray("the version"));
    QCOMPARE(KFileIO::status(path).modifiedNs, versionNs);
    QCOMPARE(KTestEnvironment::modeOf(path), 0664u);
    // What was there is a version of its own, listed in the saved database.
    QCOMPARE(added.count(), 1);
    const QString kept = added.at(0).at(1).toString();
    QCOMPARE(added.at(0).at(0).toString(), path);
    QCOMPARE(m_engine->findFile(path)->versionCount(), 2);
    QCOMPARE(KTestEnvironment::contentOf(KCommon::backupDirectory() + kept), QByteArray("edited since"));
    QCOMPARE(kept.mid(KFileCopyedObject::StampPosition, KFileCopyedObject::StampLength),
        changedTime.toString(QStringLiteral("yyyyMMddhhmmss")));
    QVERIFY(KTestEnvironment::contentOf(m_engine->databasePath()).contains(kept.toUtf8()));
    QCOMPARE(KConfig::instance()->totalBackupCount(), counter + 1);

    // Restoring that one back brings the edit back, and keeps nothing twice; the next cycle finds
    // the restored state backed up already.
    QCOMPARE(m_engine->restoreVersion(kept, path), KRestoreResult::Restored);
    QCOMPARE(KTestEnvironment::contentOf(path), QByteArray("edited since"));
    const QStringList recent { path };
    m_engine->onScanBegin();
    m_engine->onFilesFound(&recent, 0, true);
    m_engine->onScanFinished();
    QCOMPARE(m_engine->findFile(path)->versionCount(), 2);
}

void TestFileRestore::restoreElsewhereMakesMissingFoldersAndProtectsWhatWasThere()
{
    const QString path = m_work + QStringLiteral("plan.pra4");
    const QString version
        = m_env.backUp(m_engine.data(), path, "the version", QDateTime::currentDateTime().addSecs(-7200));
    const QString desktop = m_env.writeFile(
        KPlatform::instance()->desktopFolder() + QStringLiteral("/notes-%1.txt").arg(m_case), "desktop file");
    const QString gone = m_work + QStringLiteral("gone");
    const QString target = gone + QStringLiteral("/deeper/plan.pra4");

    const mode_t umask = ::umask(027);
    const KRestoreResult intoFolders = m_engine->restoreVersion(version, target);
    ::umask(umask);
    QCOMPARE(intoFolders, KRestoreResult::Restored);
    QCOMPARE(KTestEnvironment::contentOf(target), QByteArray("the version"));
    QCOMPARE(KTestEnvironment::modeOf(gone), 0750u);
    QCOMPARE(KTestEnvironment::modeOf(gone + QStringLiteral("/deeper")), 0750u);

    // Over a file nothing protects, of no project's kind: it is kept first, with the other files
    // (the version dialog's test checks what is kept).
    QCOMPARE(m_engine->restoreVersion(version, desktop), KRestoreResult::Restored);
    const auto record = m_engine->findFile(desktop);
    QVERIFY(record);
    QCOMPARE(record->fileType(), 4);
}

void TestFileRestore::refusedRestoresLeaveTheFileAsItWas_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<KRestoreResult>("result");
    QTest::newRow("the database listing that backup cannot be saved")
        << "database read-only" << KRestoreResult::CurrentNotSaved;
    QTest::newRow("a link at the target") << "link" << KRestoreResult::TargetIsLink;
    QTest::newRow("the copy cut short") << "copy cut short" << KRestoreResult::Damaged;
    QTest::newRow("the copy rewritten as it is restored") << "copy rewritten" << KRestoreResult::Failed;
}

void TestFileRestore::refusedRestoresLeaveTheFileAsItWas()
{
    QFETCH(QString, situation);
    QFETCH(KRestoreResult, result);
    QString path = m_work + QStringLiteral("plan.pra4");
    const QString version
        = m_env.backUp(m_engine.data(), path, "the version", QDateTime::currentDateTime().addSecs(-7200));
    QVERIFY(!m_env.writeFile(path, "unsaved edit", QDateTime::currentDateTime().addSecs(-60)).isEmpty());
    const QString copy = KCommon::backupDirectory() + version;
    const QString locked = situation == QLatin1String("database read-only")
        ? QFileInfo(m_engine->databasePath()).absolutePath()
        : QString();
    if (!locked.isEmpty())
        QVERIFY(KTestEnvironment::setMode(locked, 0555));
    if (situation == QLatin1String("link")) {
        // Read-only: a mode set through the link would show on the file it points to.
        const QString link = m_work + QStringLiteral("link.pra4");
        QVERIFY(QFile::link(path, link));
        QVERIFY(KTestEnvironment::setMode(path, 0400));
        path = link;
    }
    if (situation == QLatin1String("copy cut short"))
        QVERIFY(QFile::resize(copy, 3));
    if (situation == QLatin1String("copy rewritten"))
        KFaultShim::changeOnFirstRead(copy, KFaultShim::Change::Rewritten);

    const KRestoreResult restored = m_engine->restoreVersion(version, path);
    if (!locked.isEmpty())
        QVERIFY(KTestEnvironment::setMode(locked, 0700));
    QCOMPARE(restored, result);
    QCOMPARE(KTestEnvironment::contentOf(path), QByteArray("unsaved edit"));
    QCOMPARE(QFileInfo(path).isSymLink(), situation == QLatin1String("link"));
    if (situation == QLatin1String("link"))
        QCOMPARE(KTestEnvironment::modeOf(QFileInfo(path).symLinkTarget()), 0400u);
    if (result == KRestoreResult::Damaged) {
        const QVector<KVersionId> versions = m_engine->findFile(path)->versions();
        QVERIFY(std::any_of(versions.cbegin(), versions.cend(), [&](const KVersionId& restoredOne) {
            return restoredOne.text() == version && m_engine->isCopyDamaged(restoredOne);
        }));
    }
    if (situation == QLatin1String("database read-only")) {
        // The edit is kept as a version in memory, its copy on disk; the next save lists it.
        const auto record = m_engine->findFile(path);
        QCOMPARE(record->versionCount(), 2);
        const QString kept = record->versionIds().at(record->versionIds().indexOf(version) == 0 ? 1 : 0);
        QCOMPARE(KTestEnvironment::contentOf(KCommon::backupDirectory() + kept), QByteArray("unsaved edit"));
        QVERIFY(!KTestEnvironment::contentOf(m_engine->databasePath()).contains(kept.toUtf8()));
        QVERIFY(m_engine->saveDatabase());
        QVERIFY(KTestEnvironment::contentOf(m_engine->databasePath()).contains(kept.toUtf8()));
    }
}

void TestFileRestore::theDesktopIsTheFolderUserDirsNames_data()
{
    QTest::addColumn<QByteArray>("userDirs");
    QTest::addColumn<QString>("desktop");
    QTest::newRow("no such file: Desktop in the home folder") << QByteArray() << "/home/ann/Desktop";
    QTest::newRow("below the home folder, as xdg-user-dirs-update writes it") << QByteArray(
        "# written by xdg-user-dirs-update\nXDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n"
        "XDG_DESKTOP_DIR=\"$HOME/桌面\"\n") << "/home/ann/桌面";
    QTest::newRow("an absolute path; the last line counts")
        << QByteArray("XDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DESKTOP_DIR=\"/data/ann/desk/\"\n")
        << "/data/ann/desk";
    QTest::newRow("empty, as if unset") << QByteArray("XDG_DESKTOP_DIR=\"\"\n") << "/home/ann/Desktop";
}

void TestFileRestore::theDesktopIsTheFolderUserDirsNames()
{
    QFETCH(QByteArray, userDirs);
    QFETCH(QString, desktop);
    QCOMPARE(KLinuxPlatform::desktopFolderIn(userDirs, QStringLiteral("/home/ann/")), desktop);
}

int TestFileRestore::runChildRestore(const QString& mode, const QString& fileId, const QString& target)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("--restore-child"), mode, m_env.platform()->baseFolder(), fileId, target });
    if (!child.waitForStarted())
        return -2;
    if (mode == QLatin1String("kill")) {
        while (!child.canReadLine() && child.waitForReadyRead(ChildTimeoutMs)) { }
        if (child.readLine().trimmed() != "copying")
            return -3;
        child.kill(); // SIGKILL
        child.waitForFinished(ChildTimeoutMs);
        return child.exitStatus() == QProcess::CrashExit ? -1 : -4;
    }
    child.waitForFinished(ChildTimeoutMs);
    const QByteArray result = child.readAllStandardOutput().trimmed();
    return result.startsWith("result ") ? result.mid(7).toInt() : -5;
}

void TestFileRestore::interruptedRestoreLeavesTheTarget_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("mebibytes");
    QTest::addColumn<int>("result");
    QTest::newRow("killed during the copy of a large version") << "kill" << 40 << -1;
    QTest::newRow("the disk full during the copy") << "full" << 4 << int(KRestoreResult::Failed);
}

void TestFileRestore::interruptedRestoreLeavesTheTarget()
{
    QFETCH(QString, mode);
    QFETCH(int, mebibytes);
    QFETCH(int, result);
    const QString path = m_work + QStringLiteral("large.pra4");
    const QString version = m_env.backUp(m_engine.data(), path, QByteArray(mebibytes * 1024 * 1024, 'L'),
        QDateTime::currentDateTime().addSecs(-7200));
    QVERIFY(!version.isEmpty());
    QVERIFY(
        !m_env.writeFile(path, "the file as it is now", QDateTime::currentDateTime().addSecs(-60)).isEmpty());
    QVERIFY(m_engine->saveDatabase());
    const QStringList before = KTestEnvironment::entriesOf(m_work);

    QCOMPARE(runChildRestore(mode, version, path), result);
    QCOMPARE(KTestEnvironment::contentOf(path), QByteArray("the file as it is now"));
    QCOMPARE(KTestEnvironment::entriesOf(m_work), before);
}

int main(int argc, char** argv)
{
    KFaultShim::preloadInto(argv);
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == QLatin1String("--restore-child"))
        return runChild(arguments.mid(2));
    TestFileRestore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_filerestore.moc"
