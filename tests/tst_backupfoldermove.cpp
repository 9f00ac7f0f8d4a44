#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "core/krows.h"
#include "discovery/kdiskfilemanager.h"
#include "kfaultshim.h"
#include "ktestenvironment.h"
#include "platform/kfilelock.h"
#include "service/kfileservicemanager.h"
#include "storage/kbackupfoldermove.h"

#include <QDirIterator>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using Problem = KBackupFolderMove::Problem;
using Result = KBackupFolderMove::Result;

// Every file below `folder` by its path relative to it, with its content.
QMap<QString, QByteArray> filesBelow(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        files.insert(QDir(folder).relativeFilePath(path), file.readAll());
    }
    return files;
}

// The permission bits of every entry below `folder`, and of the folder itself (""), by relative path.
QMap<QString, int> modesBelow(const QString& folder)
{
    QMap<QString, int> modes;
    if (QFileInfo::exists(folder))
        modes.insert(QString(), int(KTestEnvironment::modeOf(folder)));
    QDirIterator it(
        folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        modes.insert(QDir(folder).relativeFilePath(path), int(KTestEnvironment::modeOf(path)));
    }
    return modes;
}

// A second file system for moves that must copy: a tmpfs when the machine has one.
QString otherFileSystemFolder()
{
    const QString shm = QStringLiteral("/dev/shm");
    if (!QFileInfo(shm).isWritable())
        return QString();
    const QString folder = shm + QStringLiteral("/vaultkeep-move-test-%1").arg(::getpid());
    QDir().mkpath(folder);
    return folder;
}

} // namespace

class TestBackupFolderMove : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void everyBackupMovesAndStaysRestorable_data();
    void everyBackupMovesAndStaysRestorable();
    void moveThatCannotFinishLeavesEverythingInTheOldFolder_data();
    void moveThatCannotFinishLeavesEverythingInTheOldFolder();
    void unreadableJournalIsKeptAside();
    void aMoveStoppedAtAnyStageFinishesOrRollsBackAtTheNextStart_data();
    void aMoveStoppedAtAnyStageFinishesOrRollsBackAtTheNextStart();

private:
    // `count` files with `versions` versions each, backed up into the backup folder under
    // `root`, and the database saved; the expected content of every version is remembered.
    void makeBackups(const QString& root, int count, int versions, int largest = 4096);
    // The database, loaded by a fresh engine as a start would, lists every version, and each
    // copy where the backup path points holds exactly the bytes backed up.
    void verifyEveryVersion();
    // Runs this test program as a child that moves the backups, with a fault made for it by the
    // fault library; returns it started.
    QProcess* startChild(const QString& from, const QString& to, const QString& fault = QString());
    // The backup paths a case moves from and to: the destination on another file system when
    // `betweenFileSystems`; false when there is none.
    bool makeRoots(bool betweenFileSystems, QString* from, QString* to);

    KTestEnvironment m_env;
    QString m_otherFileSystem;
    QMap<QString, QByteArray> m_versions; // FileID to content
    int m_case = 0;
};

void TestBackupFolderMove::initTestCase()
{
    m_otherFileSystem = otherFileSystemFolder();
}

void TestBackupFolderMove::cleanupTestCase()
{
    if (!m_otherFileSystem.isEmpty())
        QDir(m_otherFileSystem).removeRecursively();
}

void TestBackupFolderMove::init()
{
    ++m_case;
    m_versions.clear();
    QSettings(KConfig::instance()->filePath(), QSettings::IniFormat).clear();
    QFile::remove(KFileServiceManager().databasePath());
    QFile::remove(KBackupFolderMove::journalPath());
}

bool TestBackupFolderMove::makeRoots(bool betweenFileSystems, QString* from, QString* to)
{
    if (betweenFileSystems && m_otherFileSystem.isEmpty())
        return false;
    *from = m_env.makeFolder(QStringLiteral("case%1/old").arg(m_case));
    *to = betweenFileSystems ? m_otherFileSystem + QStringLiteral("/case%1/new/").arg(m_case)
                             : m_env.makeFolder(QStringLiteral("case%1/new").arg(m_case));
    return QDir().mkpath(*to);
}

void TestBackupFolderMove::makeBackups(const QString& root, int count, int versions, int largest)
{
    QVERIFY(KConfig::instance()->setBackUpPath(root));
    KFileServiceManager manager;
    QCOMPARE(manager.loadDatabase(), !m_versions.isEmpty()); // the records made so far
    QRandomGenerator random(quint32(m_case * 7919 + count));
    for (int i = 0; i < count; ++i) {
        const QString source = m_env.path(QStringLiteral("case%1/projects/file%2.GBQ4").arg(m_case).arg(i));
        for (int v = 0; v < versions; ++v) {
            QByteArray content(int(random.bounded(1, largest)), Qt::Uninitialized);
            for (char& byte : content)
                byte = char(random.bounded(256));
            // Each version carries another modification time.
            const QString id = m_env.backUp(
                &manager, source, content, QDateTime::currentDateTime().addSecs(-600 + 60 * v));
            QVERIFY(!id.isEmpty());
            m_versions.insert(id, content);
        }
    }
    QVERIFY(manager.saveDatabase());
}

void TestBackupFolderMove::verifyEveryVersion()
{
    KFileServiceManager fresh;
    QVERIFY(fresh.loadDatabase());
    QSet<QString> listed;
    for (auto it = m_versions.cbegin(); it != m_versions.cend(); ++it) {
        KFileCopyedObject version;
        version.setFileId(it.key());
        QVERIFY2(KTestEnvironment::contentOf(version.backupFilePath()) == it.value(),
            qPrintable(version.backupFilePath()));
    }
    int versionCount = 0;
    const QString projects = m_env.path(QStringLiteral("case%1/projects").arg(m_case));
    for (const QString& name : QDir(projects).entryList(QDir::Files)) {
        const KFileObjectPtr record = fresh.findFile(projects + QLatin1Char('/') + name);
        QVERIFY2(record, qPrintable(name));
        for (const QString& id : record->versionIds())
            listed.insert(id);
        versionCount += record->versionCount();
    }
    QCOMPARE(versionCount, m_versions.size());
    QCOMPARE(listed, QSet<QString>(m_versions.keyBegin(), m_versions.keyEnd()));
}

QProcess* TestBackupFolderMove::startChild(const QString& from, const QString& to, const QString& fault)
{
    auto* child = new QProcess(this);
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start(QCoreApplication::applicationFilePath(),
        { QStringLiteral("--move-child"), m_env.platform()->baseFolder(), from, to, fault });
    return child;
}

void TestBackupFolderMove::everyBackupMovesAndStaysRestorable_data()
{
    QTest::addColumn<bool>("betweenFileSystems");
    QTest::addColumn<QString>("alreadyThere"); // "", "foreign", "identical" or "unstored"
    QTest::newRow("between file systems, copied and checked") << true << QString();
    QTest::newRow("between file systems, into a folder that holds other files")
        << true << QStringLiteral("foreign");
    QTest::newRow("between file systems, identical copies already there count as moved")
        << true << QStringLiteral("identical");
    QTest::newRow("within one file system, the folder is renamed") << false << QString();
    QTest::newRow("within one file system, into a folder that holds other files")
        << false << QStringLiteral("foreign");
    // The low-space tip stores the new path only once the move has started.
    QTest::newRow("between file systems, the backup path not yet changed")
        << true << QStringLiteral("unstored");
}

void TestBackupFolderMove::everyBackupMovesAndStaysRestorable()
{
    QFETCH(bool, betweenFileSystems);
    QFETCH(QString, alreadyThere);
    QString from;
    QString to;
    if (!makeRoots(betweenFileSystems, &from, &to))
        QSKIP("no second file system to move to");
    makeBackups(from, 12, 3, 300000);
    const QString oldFolder = KBackupFolderMove::folderOf(from);
    const QString newFolder = KBackupFolderMove::folderOf(to);
    // A read-only backup and a sub-folder move as they are.
    m_env.writeFile(oldFolder + QStringLiteral("notes/readme.txt"), "kept");
    const QString readOnly = oldFolder + m_versions.firstKey();
    QVERIFY(QFile::setPermissions(readOnly, QFileDevice::ReadOwner));
    const QDateTime modified = QFileInfo(readOnly).lastModified();
    if (alreadyThere == QLatin1String("foreign"))
        m_env.writeFile(newFolder + QStringLiteral("foreign.bin"), "not a backup");
    if (alreadyThere == QLatin1String("identical"))
        QVERIFY(QDir().mkpath(newFolder)
            && QFile::copy(oldFolder + m_versions.lastKey(), newFolder + m_versions.lastKey()));
    QMap<QString, QByteArray> expected = filesBelow(oldFolder);
    if (alreadyThere == QLatin1String("foreign"))
        expected.insert(QStringLiteral("foreign.bin"), "not a backup");
    // A backup the group could read, in a folder others could enter.
    QVERIFY(QFile::setPermissions(oldFolder + m_versions.lastKey(),
        QFile::permissions(oldFolder + m_versions.lastKey()) | QFileDevice::ReadGroup));
    QVERIFY(QFile::setPermissions(oldFolder + QStringLiteral("notes"),
        QFile::permissions(oldFolder + QStringLiteral("notes")) | QFileDevice::ExeOther));
    const QMap<QString, int> modesBefore = modesBelow(oldFolder);
    const QMap<QString, int> modesThere = modesBelow(newFolder);
    const quint64 total = quint64(KCommon::folderSize(oldFolder, false));
    if (alreadyThere != QLatin1String("unstored"))
        QVERIFY(KConfig::instance()->setBackUpPath(to)); // as the settings dialog stores it

    QVector<quint64> progress;
    KBackupFolderMove move(from, to);
    QCOMPARE(move.run([&](quint64 all, quint64 moved) {
        QVERIFY(moved <= all);
        progress << moved;
    }),
        Result::Moved);

    QCOMPARE(move.problem(), Problem::None);
    QCOMPARE(move.backupFolder(), newFolder);
    QCOMPARE(KConfig::instance()->backUpPath(), to);
    QVERIFY(!QFileInfo::exists(oldFolder));
    QVERIFY(!QFile::exists(KBackupFolderMove::journalPath()));
    QCOMPARE(filesBelow(newFolder), expected);
    // A folder renamed whole copies nothing and reports no bytes.
    const bool renamedWhole = !betweenFileSystems && alreadyThere.isEmpty();
    QCOMPARE(progress.isEmpty(), renamedWhole);
    if (!renamedWhole)
        QCOMPARE(progress.last(), total);
    // The copy keeps the modification time and the owner's permissions; what the move makes is
    // for the owner alone, and nothing gains a permission.
    QCOMPARE(QFileInfo(newFolder + m_versions.firstKey()).lastModified(), modified);
    const QMap<QString, int> modesAfter = modesBelow(newFolder);
    for (auto it = modesAfter.cbegin(); it != modesAfter.cend(); ++it) {
        const int before = modesBefore.value(it.key(), it.value());
        const bool made = it.key().isEmpty() ? betweenFileSystems || !modesThere.isEmpty()
                                             : betweenFileSystems && !modesThere.contains(it.key());
        QVERIFY2((it.value() & ~before) == 0 && (!made || (it.value() & 077) == 0),
            qPrintable(
                QStringLiteral("%1: %2 was %3").arg(it.key()).arg(it.value(), 0, 8).arg(before, 0, 8)));
    }
    QCOMPARE(modesAfter.value(m_versions.firstKey()), 0400);
    verifyEveryVersion();
}

void TestBackupFolderMove::moveThatCannotFinishLeavesEverythingInTheOldFolder_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("betweenFileSystems");
    QTest::addColumn<int>("problem");
    const auto row = [](const char* name, const char* fault, bool between, Problem problem) {
        QTest::newRow(name) << QString::fromLatin1(fault) << between << int(problem);
    };
    row("a same-named file with other content at the destination", "clash", true, Problem::Conflict);
    row("the same appearing while the move runs", "late clash", true, Problem::Conflict);
    row("the same within one file system with a file of the same size", "same-size clash", false,
        Problem::Conflict);
    row("a read-only destination", "read-only destination", true, Problem::NotWritable);
    row("a destination that vanishes in the middle", "vanishing destination", true,
        Problem::DestinationMissing);
    row("a destination that fills up halfway", "full", true, Problem::NoSpace);
    row("a destination that stores other bytes than it is given", "corrupt", true, Problem::Damaged);
    row("a backup altered since it was made, at its size", "damaged backup", true, Problem::CopyDamaged);
    row("a destination inside the backup folder", "nested", false, Problem::Nested);
    row("a backup file nobody may read", "unreadable", true, Problem::SourceUnreadable);
    row("a backup file another program is writing", "in use", true, Problem::InUse);
    row("a pipe in the backup folder", "pipe", true, Problem::NotMovable);
    row("a folder at the destination nobody may list", "unlistable", true, Problem::FolderUnreadable);
}

void TestBackupFolderMove::moveThatCannotFinishLeavesEverythingInTheOldFolder()
{
    QFETCH(QString, fault);
    QFETCH(bool, betweenFileSystems);
    QFETCH(int, problem);
    QString from;
    QString to;
    if (!makeRoots(betweenFileSystems, &from, &to))
        QSKIP("no second file system to move to");
    makeBackups(from, 6, 2, 40000);
    const QString oldFolder = KBackupFolderMove::folderOf(from);
    // Entries move in name order: "~" names come after every backup, the last backup after the
    // others.
    const QString clash
        = fault == QLatin1String("late clash") ? m_versions.lastKey() : m_versions.keys().at(3);
    if (fault == QLatin1String("damaged backup")) {
        QByteArray& damaged = m_versions[clash];
        damaged[damaged.size() / 2] = char(~damaged.at(damaged.size() / 2));
        QVERIFY(!m_env.writeFile(oldFolder + clash, damaged).isEmpty());
    }
    QMap<QString, QByteArray> before = filesBelow(oldFolder);
    const QString unreadable = oldFolder + QStringLiteral("~unreadable");
    if (fault == QLatin1String("nested"))
        to = m_env.makeFolder(oldFolder + QStringLiteral("inner"));
    const QString newFolder = KBackupFolderMove::folderOf(to);
    // What the destination held before stays there, however the move ends.
    const bool clashesBefore = fault == QLatin1String("clash") || fault == QLatin1String("same-size clash");
    QByteArray clashing = "not a backup";
    if (fault == QLatin1String("same-size clash")) {
        clashing = m_versions.value(clash);
        clashing[0] = char(~clashing.at(0));
    }
    QMap<QString, QByteArray> there { { clashesBefore ? clash : QStringLiteral("foreign"), clashing } };
    if (fault == QLatin1String("nested") || fault == QLatin1String("vanishing destination"))
        there.clear();
    if (fault == QLatin1String("unlistable"))
        there.insert(QStringLiteral("sub/someone's"), "not a backup");
    for (auto it = there.cbegin(); it != there.cend(); ++it)
        m_env.writeFile(newFolder + it.key(), it.value());
    if (fault == QLatin1String("unlistable"))
        QVERIFY(QFile::setPermissions(
            newFolder + QStringLiteral("sub"), QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    if (fault == QLatin1String("read-only destination"))
        QVERIFY(QFile::setPermissions(newFolder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    if (fault == QLatin1String("unreadable")) {
        m_env.writeFile(unreadable, "secret");
        before.insert(QStringLiteral("~unreadable"), "secret");
        QVERIFY(QFile::setPermissions(unreadable, QFileDevice::WriteOwner));
    }
    if (fault == QLatin1String("pipe"))
        QCOMPARE(::mkfifo(QFile::encodeName(oldFolder + QStringLiteral("~pipe")).constData(), 0600), 0);
    QFile writer(oldFolder + m_versions.firstKey());
    if (fault == QLatin1String("in use"))
        QVERIFY(writer.open(QIODevice::Append));
    QVERIFY(KConfig::instance()->setBackUpPath(to)); // as the settings dialog stores it

    // The destination's disk fills up halfway, or stores other bytes than it is given.
    if (fault == QLatin1String("full"))
        KFaultShim::setFullFolder(to, KCommon::folderSize(oldFolder, false) / 2);
    if (fault == QLatin1String("corrupt"))
        KFaultShim::setCorruptFolder(to);
    {
        KBackupFolderMove move(from, to);
        bool madeOne = false;
        const Result result = move.run([&](quint64, quint64) {
            if (fault == QLatin1String("vanishing destination"))
                QDir(to).removeRecursively();
            if (fault == QLatin1String("late clash") && !QFile::exists(newFolder + clash))
                m_env.writeFile(newFolder + clash, "not a backup");
            // The scanner backs a file up where the backup path points: into the new folder. It
            // comes back with the others.
            if (!madeOne && fault != QLatin1String("vanishing destination") && fault != QLatin1String("full")
                && fault != QLatin1String("corrupt"))
                madeOne
                    = !m_env.writeFile(KCommon::backupDirectory() + QStringLiteral("made meanwhile"), "new")
                           .isEmpty();
        });
        KFaultShim::setFullFolder(QString());
        KFaultShim::setCorruptFolder(QString());
        writer.close();
        QFile::setPermissions(
            newFolder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QFile::setPermissions(unreadable, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        QFile::setPermissions(newFolder + QStringLiteral("sub"),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(result, Result::Failed);
        QCOMPARE(int(move.problem()), problem);
        QCOMPARE(move.backupFolder(), oldFolder);
        if (fault.contains(QLatin1String("clash")) || fault == QLatin1String("damaged backup"))
            QCOMPARE(move.problemEntry(), clash);
        if (madeOne)
            before.insert(QStringLiteral("made meanwhile"), "new");
        if (fault == QLatin1String("late clash"))
            there.insert(clash, "not a backup");
    }

    QCOMPARE(KConfig::instance()->backUpPath(), from);
    QCOMPARE(filesBelow(oldFolder), before);
    if (fault != QLatin1String("nested"))
        QCOMPARE(filesBelow(newFolder), there);
    QVERIFY(!QFile::exists(KBackupFolderMove::journalPath()));
    verifyEveryVersion();
}

void TestBackupFolderMove::unreadableJournalIsKeptAside()
{
    const QString from = m_env.makeFolder(QStringLiteral("case%1/old").arg(m_case));
    makeBackups(from, 2, 1);
    for (const QByteArray& garbage : { QByteArray("{\"state\":\"copying\""), QByteArray("\x00\xff\x13", 3),
             QByteArray("{\"state\":\"unknown\",\"sourceRoot\":\"/\",\"destinationRoot\":\"/\"}") }) {
        m_env.writeFile(KBackupFolderMove::journalPath(), garbage);
        const auto lock = KBackupFolderMove::recoverInterruptedMove();
        QVERIFY(lock->isLocked());
        QVERIFY(!QFile::exists(KBackupFolderMove::journalPath()));
        QCOMPARE(
            KTestEnvironment::contentOf(KBackupFolderMove::journalPath() + QStringLiteral(".unreadable")),
            garbage);
    }
    QCOMPARE(KConfig::instance()->backUpPath(), from);
    verifyEveryVersion();
}

void TestBackupFolderMove::aMoveStoppedAtAnyStageFinishesOrRollsBackAtTheNextStart_data()
{
    QTest::addColumn<QString>("fault"); // for the child: "kill <call> <path part> <count>", ...
    QTest::addColumn<bool>("betweenFileSystems");
    QTest::addColumn<bool>("pathStored"); // the settings dialog could write the new path
    QTest::addColumn<bool>("endsMoved");
    const auto row = [](const char* name, const QString& fault, bool between, bool stored, bool moved) {
        QTest::newRow(name) << fault << between << stored << moved;
    };
    row("killed once the copies are flushed, before they are read back", QStringLiteral("kill syncfs NEW 1"),
        true, true, false);
    row("killed once the settings name the new folder, before the journal does",
        QStringLiteral("kill unlink vaultkeep.ini.lock 1"), true, false, false);
    row("killed once the journal says the move goes forward",
        QStringLiteral("kill rename BackupMove.journal 1"), true, true, true);
    row("killed halfway through removing the originals", QStringLiteral("kill unlink OLD 3"), true, true,
        true);
    row("killed halfway through renaming into a folder that holds other files",
        QStringLiteral("kill rename NEW 3"), false, true, false);
    row("the settings cannot be written, the disk being full", QStringLiteral("full settings"), true, false,
        false);
    row("the new disk refuses the flush of the copies", QStringLiteral("failing flush"), true, true, false);
}

void TestBackupFolderMove::aMoveStoppedAtAnyStageFinishesOrRollsBackAtTheNextStart()
{
    QFETCH(QString, fault);
    QFETCH(bool, betweenFileSystems);
    QFETCH(bool, pathStored);
    QFETCH(bool, endsMoved);
    QString from;
    QString to;
    if (!makeRoots(betweenFileSystems, &from, &to))
        QSKIP("no second file system to move to");
    makeBackups(from, 8, 2, 40000);
    m_env.writeFile(KBackupFolderMove::folderOf(from) + QStringLiteral("notes/readme.txt"), "kept");
    const QMap<QString, QByteArray> expected = filesBelow(KBackupFolderMove::folderOf(from));
    if (!betweenFileSystems)
        m_env.writeFile(KBackupFolderMove::folderOf(to) + QStringLiteral("foreign.txt"), "not ours");
    // As the settings dialog records the move and stores the new path.
    KBackupFolderMove::prepare(from, to);
    if (pathStored)
        QVERIFY(KConfig::instance()->setBackUpPath(to));

    QString childFault = fault;
    childFault.replace(QLatin1String("OLD"), QDir::cleanPath(KBackupFolderMove::folderOf(from)))
        .replace(QLatin1String("NEW"), QDir::cleanPath(KBackupFolderMove::folderOf(to)));
    QScopedPointer<QProcess> child(startChild(from, to, childFault));
    QVERIFY(child->waitForFinished(60000));
    const QByteArray told = child->readAllStandardOutput();
    QCOMPARE(child->exitStatus() == QProcess::CrashExit, fault.startsWith(QLatin1String("kill")));
    if (!fault.startsWith(QLatin1String("kill")))
        QVERIFY2(told.contains("result failed"), told.constData());

    // The scanner's first cycle at the next start settles whatever the child left before the
    // database is loaded, and finds every version.
    {
        KFileServiceManager engine;
        KDiskFileManager scanner;
        scanner.attach(&engine);
        scanner.runCycle();
        int versions = 0;
        for (int t = 0; t < KFileServiceManager::KindCount; ++t) {
            for (const QString& row : engine.collection(t)->collectRows(nullptr, nullptr))
                versions += KRows::split(row).count.toInt();
        }
        QCOMPARE(versions, m_versions.size());
    }
    QVERIFY(!QFile::exists(KBackupFolderMove::journalPath()));
    const QString at = endsMoved ? to : from;
    QCOMPARE(KConfig::instance()->backUpPath(), at);
    QMap<QString, QByteArray> present = filesBelow(KBackupFolderMove::folderOf(at));
    QMap<QString, QByteArray> elsewhere = filesBelow(KBackupFolderMove::folderOf(endsMoved ? from : to));
    (endsMoved ? present : elsewhere).remove(QStringLiteral("foreign.txt"));
    QCOMPARE(present, expected);
    QVERIFY2(elsewhere.isEmpty(), qPrintable(QStringList(elsewhere.keys()).join(QLatin1Char(' '))));
    verifyEveryVersion();
}

// The child process of the tests above: moves the backups of the machine below `base` from
// one backup path to another, telling how it goes on its standard output.
static int runMoveChild(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    KFakePlatform platform(arguments.at(2));
    KPlatform::setInstance(&platform);
    const QStringList fault = arguments.at(5).split(QLatin1Char(' '));
    if (fault.first() == QLatin1String("kill"))
        KFaultShim::killAfter(fault.at(1), fault.at(2), fault.at(3).toInt());
    else if (arguments.at(5) == QLatin1String("full settings"))
        KFaultShim::setFullFolder(KCommon::hostDataFolder(), 0, true);
    else if (arguments.at(5) == QLatin1String("failing flush"))
        KFaultShim::failFlushesBelow(QDir::cleanPath(KBackupFolderMove::folderOf(arguments.at(4))));
    QTextStream out(stdout);
    out << "moving" << Qt::endl;
    KBackupFolderMove move(arguments.at(3), arguments.at(4));
    const Result result = move.run(
        [&](quint64 total, quint64 moved) { out << "progress " << moved << ' ' << total << Qt::endl; });
    out << "result " << (result == Result::Moved ? "moved" : "failed") << " problem " << int(move.problem())
        << Qt::endl;
    KPlatform::setInstance(nullptr);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 6 && qstrcmp(argv[1], "--move-child") == 0)
        return runMoveChild(argc, argv);
    KFaultShim::preloadInto(argv);
    QCoreApplication app(argc, argv);
    TestBackupFolderMove test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_backupfoldermove.moc"
