#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "core/kfileservicemanager.h"
#include "ktestenvironment.h"
#include "platform/kfileops.h"
#include "platform/klinuxplatform.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

constexpr int ChildTimeoutMs = 30000;

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

qint64 modifiedOf(const QString& path)
{
    return KFileOps::status(path).modifiedMSecs;
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

unsigned modeOf(const QString& path)
{
    struct stat info;
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
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
    engine.loadDatabase();
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
    void replaceFileRefusesAndKeepsTheTarget_data();
    void replaceFileRefusesAndKeepsTheTarget();
    void restoreOverAChangedFileKeepsItAsANewVersion();
    void restoreOverAnUnprotectedFileProtectsIt();
    void restoreStopsWhenTheCurrentFileCannotBeBackedUp();
    void restoredFileIsNotBackedUpAgain();
    void restoreMakesMissingFolders_data();
    void restoreMakesMissingFolders();
    void theDesktopIsTheFolderUserDirsNames_data();
    void theDesktopIsTheFolderUserDirsNames();
    void interruptedRestoreLeavesTheTarget_data();
    void interruptedRestoreLeavesTheTarget();

private:
    // Backs `content`, modified at `modified`, up as a version of `path`; returns its FileID.
    QString addVersion(const QString& path, const QByteArray& content, const QDateTime& modified);
    int runChildRestore(const QString& mode, const QString& fileId, const QString& target);

    KTestEnvironment m_env;
    QScopedPointer<KFileServiceManager> m_engine;
    QString m_work;
    int m_case = 0;
};

void TestFileRestore::initTestCase()
{
    m_env.addBackupDrive(QStringLiteral("D"));
}

void TestFileRestore::init()
{
    // Each case starts with no backups and no database; the engine loads it as the scanner would.
    m_engine.reset(new KFileServiceManager);
    QDir(KCommon::backupDirectory()).removeRecursively();
    QFile::remove(m_engine->databasePath());
    m_engine->loadDatabase();
    m_work = m_env.makeFolder(QStringLiteral("work%1").arg(++m_case));
}

QString TestFileRestore::addVersion(const QString& path, const QByteArray& content, const QDateTime& modified)
{
    if (m_env.writeFile(path, content, modified).isEmpty())
        return QString();
    const auto before = m_engine->findFile(path);
    const QStringList known = before ? before->versionIds() : QStringList();
    const auto record = m_engine->collection(0)->backupFile(path, 0);
    if (!record)
        return QString();
    for (const QString& id : record->versionIds()) {
        if (!known.contains(id))
            return id;
    }
    return QString();
}

void TestFileRestore::replaceFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("existing");
    QTest::addColumn<unsigned>("existingMode");
    QTest::addColumn<unsigned>("expectedMode");

    QTest::newRow("a new file takes the source's permissions") << "plain.pra4" << false << 0u << 0640u;
    QTest::newRow("a replaced file keeps its own permissions") << "kept.pra4" << true << 0600u << 0600u;
    QTest::newRow("a read-only file is replaced and made writable for its owner")
        << "read-only.pra4" << true << 0444u << 0644u;
    QTest::newRow("a name with blanks, letters of other scripts and a bar")
        << "投标 报价|第2版 .pra4" << true << 0644u << 0644u;
}

void TestFileRestore::replaceFile()
{
    QFETCH(QString, name);
    QFETCH(bool, existing);
    QFETCH(unsigned, existingMode);
    QFETCH(unsigned, expectedMode);

    const QString source = m_env.writeFile(m_work + QStringLiteral("copy"), QByteArray(3 * 1024 * 1024, 'v'));
    QVERIFY(::chmod(QFile::encodeName(source).constData(), 0640) == 0);
    const QString target = m_work + QStringLiteral("target/") + name;
    QDir().mkpath(m_work + QStringLiteral("target"));
    if (existing) {
        QVERIFY(!m_env.writeFile(target, "what was there").isEmpty());
        QVERIFY(::chmod(QFile::encodeName(target).constData(), existingMode) == 0);
    }
    const qint64 modified = QDateTime(QDate(2024, 3, 5), QTime(8, 9, 10, 123)).toMSecsSinceEpoch();
    int chunks = 0;

    QVERIFY(KFileOps::replaceFile(source, target, modified, [&] { ++chunks; }));
    QCOMPARE(contentOf(target), contentOf(source));
    QCOMPARE(modifiedOf(target), modified);
    QCOMPARE(modeOf(target), expectedMode);
    QCOMPARE(entriesOf(m_work + QStringLiteral("target")), QStringList { name });
    QVERIFY(chunks >= 1);
}

void TestFileRestore::replaceFileRefusesAndKeepsTheTarget_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("a folder the user may not write") << "read-only folder";
    QTest::newRow("a folder where the file was") << "folder at the target";
    QTest::newRow("a source that is gone") << "missing source";
}

void TestFileRestore::replaceFileRefusesAndKeepsTheTarget()
{
    QFETCH(QString, situation);
    const QString folder = m_work + QStringLiteral("place");
    QString source = m_env.writeFile(m_work + QStringLiteral("copy"), "restored content");
    QString target = m_env.writeFile(folder + QStringLiteral("/plan.pra4"), "what was there");
    if (situation == QLatin1String("read-only folder"))
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
    if (situation == QLatin1String("folder at the target"))
        target = m_env.makeFolder(QStringLiteral("work%1/place/folder.pra4").arg(m_case)).chopped(1);
    if (situation == QLatin1String("missing source"))
        source += QStringLiteral("-gone");
    const QStringList before = entriesOf(folder);

    QVERIFY(!KFileOps::replaceFile(source, target, 0));
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    QCOMPARE(entriesOf(folder), before);
    if (situation != QLatin1String("folder at the target"))
        QCOMPARE(contentOf(target), QByteArray("what was there"));
}

void TestFileRestore::restoreOverAChangedFileKeepsItAsANewVersion()
{
    const QString path = m_work + QStringLiteral("投标 报价|2.pra4");
    const QDateTime versionTime = QDateTime::currentDateTime().addSecs(-7200);
    const QString version = addVersion(path, "the version", versionTime);
    QVERIFY(!version.isEmpty());
    const QDateTime changedTime = QDateTime::currentDateTime().addSecs(-60);
    QVERIFY(!m_env.writeFile(path, "edited since", changedTime).isEmpty());
    QSignalSpy added(m_engine.data(), &KFileServiceManager::sigVersionAdded);
    const int counter = KConfig::instance()->totalBackupCount();

    QCOMPARE(m_engine->restoreVersion(version, path), KRestoreResult::Restored);
    QCOMPARE(contentOf(path), QByteArray("the version"));
    QCOMPARE(modifiedOf(path) / 1000, versionTime.toMSecsSinceEpoch() / 1000);
    // What was there is a version of its own, listed in the saved database.
    QCOMPARE(added.count(), 1);
    const QString kept = added.at(0).at(1).toString();
    QCOMPARE(added.at(0).at(0).toString(), path);
    QCOMPARE(m_engine->findFile(path)->versionCount(), 2);
    QCOMPARE(contentOf(KCommon::backupDirectory() + kept), QByteArray("edited since"));
    QCOMPARE(kept.mid(KFileCopyedObject::StampPosition, KFileCopyedObject::StampLength),
        changedTime.toString(QStringLiteral("yyyyMMddhhmmss")));
    QVERIFY(contentOf(m_engine->databasePath()).contains(kept.toUtf8()));
    QCOMPARE(KConfig::instance()->totalBackupCount(), counter + 1);

    // Restoring that one back brings the edit back, and keeps nothing twice.
    QCOMPARE(m_engine->restoreVersion(kept, path), KRestoreResult::Restored);
    QCOMPARE(contentOf(path), QByteArray("edited since"));
    QCOMPARE(m_engine->findFile(path)->versionCount(), 2);
}

void TestFileRestore::restoreOverAnUnprotectedFileProtectsIt()
{
    const QString path = m_work + QStringLiteral("plan.pra4");
    const QString version = addVersion(path, "the version", QDateTime::currentDateTime().addSecs(-7200));
    const QString desktop = m_env.writeFile(
        KPlatform::instance()->desktopFolder() + QStringLiteral("/notes-%1.txt").arg(m_case), "desktop file");
    QVERIFY(!m_engine->findFile(desktop));

    QCOMPARE(m_engine->restoreVersion(version, desktop), KRestoreResult::Restored);
    QCOMPARE(contentOf(desktop), QByteArray("the version"));
    const auto record = m_engine->findFile(desktop);
    QVERIFY(record);
    QCOMPARE(record->fileType(), 4); // a suffix of no project kind is kept with the other files
    QCOMPARE(record->versionCount(), 1);
    QCOMPARE(contentOf(KCommon::backupDirectory() + record->versionIds().constFirst()),
        QByteArray("desktop file"));
}

void TestFileRestore::restoreStopsWhenTheCurrentFileCannotBeBackedUp()
{
    const QString path = m_work + QStringLiteral("plan.pra4");
    const QString version = addVersion(path, "the version", QDateTime::currentDateTime().addSecs(-7200));
    QVERIFY(!m_env.writeFile(path, "unsaved edit", QDateTime::currentDateTime().addSecs(-60)).isEmpty());
    const QString backups = KCommon::backupDirectory();
    QVERIFY(::chmod(QFile::encodeName(backups).constData(), 0555) == 0);

    const KRestoreResult result = m_engine->restoreVersion(version, path);
    ::chmod(QFile::encodeName(backups).constData(), 0755);
    QCOMPARE(result, KRestoreResult::CurrentNotSaved);
    QCOMPARE(contentOf(path), QByteArray("unsaved edit"));
    QCOMPARE(m_engine->findFile(path)->versionCount(), 1);
}

void TestFileRestore::restoredFileIsNotBackedUpAgain()
{
    const QString path = m_work + QStringLiteral("plan.pra4");
    const QString version = addVersion(path, "the version", QDateTime::currentDateTime().addSecs(-7200));
    QVERIFY(!addVersion(path, "current", QDateTime::currentDateTime().addSecs(-60)).isEmpty());
    QCOMPARE(m_engine->restoreVersion(version, path), KRestoreResult::Restored);

    const QStringList recent { path };
    m_engine->onScanBegin();
    m_engine->onFilesFound(&recent, 0, true);
    m_engine->onScanFinished();
    QCOMPARE(m_engine->findFile(path)->versionCount(), 2);
}

void TestFileRestore::restoreMakesMissingFolders_data()
{
    QTest::addColumn<bool>("blocked"); // a file stands where a folder would be made
    QTest::newRow("made with the user's umask") << false;
    QTest::newRow("a file in the way: nothing is written") << true;
}

void TestFileRestore::restoreMakesMissingFolders()
{
    QFETCH(bool, blocked);
    const QString version = addVersion(
        m_work + QStringLiteral("plan.pra4"), "the version", QDateTime::currentDateTime().addSecs(-60));
    const QString gone = m_work + QStringLiteral("gone");
    if (blocked)
        QVERIFY(!m_env.writeFile(gone, "in the way").isEmpty());
    const QString target = gone + QStringLiteral("/deeper/plan.pra4");

    const mode_t umask = ::umask(027);
    const KRestoreResult result = m_engine->restoreVersion(version, target);
    ::umask(umask);
    QCOMPARE(result, blocked ? KRestoreResult::FolderNotCreated : KRestoreResult::Restored);
    if (blocked) {
        QCOMPARE(contentOf(gone), QByteArray("in the way"));
        return;
    }
    QCOMPARE(contentOf(target), QByteArray("the version"));
    QCOMPARE(modeOf(gone), 0750u);
    QCOMPARE(modeOf(gone + QStringLiteral("/deeper")), 0750u);
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
    QTest::newRow("the home folder itself") << QByteArray("XDG_DESKTOP_DIR=\"$HOME/\"\n") << "/home/ann";
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
    const QString version = addVersion(
        path, QByteArray(mebibytes * 1024 * 1024, 'L'), QDateTime::currentDateTime().addSecs(-7200));
    QVERIFY(!version.isEmpty());
    QVERIFY(
        !m_env.writeFile(path, "the file as it is now", QDateTime::currentDateTime().addSecs(-60)).isEmpty());
    m_engine->saveDatabase();
    const QStringList before = entriesOf(m_work);

    QCOMPARE(runChildRestore(mode, version, path), result);
    QCOMPARE(contentOf(path), QByteArray("the file as it is now"));
    QCOMPARE(entriesOf(m_work), before);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.value(1) == QLatin1String("--restore-child"))
        return runChild(arguments.mid(2));
    TestFileRestore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_filerestore.moc"
