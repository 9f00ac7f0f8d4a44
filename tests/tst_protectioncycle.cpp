#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kcopysums.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "discovery/kdiskfilemanager.h"
#include "discovery/kledgerbase.h"
#include "discovery/kproductinfo.h"
#include "kfiforelease.h"
#include "ktestenvironment.h"
#include "ktestrecords.h"
#include "platform/kregistry.h"
#include "service/kfileservicemanager.h"
#include "service/ksavewatcher.h"
#include "storage/kdiskinfothread.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

std::atomic<int> g_unwatchedLogs { 0 };

// A FileID recording the modification `modified`, made on `backedUp`.
QString fileIdAt(const QDateTime& modified, const QDate& backedUp, int n = 0)
{
    return testFileId(n, modified.toString(QStringLiteral("yyyyMMddhhmmss")),
        backedUp.toString(QStringLiteral("yyyyMMdd")));
}

// Receives the engine's signals on the test's thread, whichever thread emits them.
class PageLog : public QObject
{
    Q_OBJECT

public:
    explicit PageLog(KFileServiceManager* manager)
    {
        connect(manager, &KFileServiceManager::sigAfxMisCodeAddRow, this,
            [this](const QString& text, const QString&, const QString&, int rowType, int) {
                rows << (rowType == 1 ? QStringLiteral("# ") + text : text);
            });
        connect(manager, &KFileServiceManager::sigAfxMisCodeCopyedAddRow, this,
            [this](const QString& path, const QString&, int, int, int) { rows << path; });
        connect(manager, &KFileServiceManager::sigAfxMisCodePreUpdate, this, [this] { rows.clear(); });
        // Direct: the end of a cycle run on another thread is seen before the cycle returns.
        connect(
            manager, &KFileServiceManager::sigAfxMisCodeEndUpdate, this,
            [this](int, int success, int failed, int, int) {
                lastSuccess = success;
                failures = failed;
            },
            Qt::DirectConnection);
        connect(manager, &KFileServiceManager::sigAfxDeletedPreUpdate, this, [this] { deleted.clear(); });
        connect(manager, &KFileServiceManager::sigAfxDeletedAddRow, this,
            [this](const QString& path) { deleted << path; });
        connect(manager, &KFileServiceManager::sigUpdateHomePage, this,
            [this](int total, int existing, int gone) {
                home = { total, existing, gone };
            });
        connect(manager, &KFileServiceManager::sigSetMiscodeTypeLabelNumber, this,
            [this](int count, int type) { labels[type] = count; });
    }

    QStringList rows;
    QStringList deleted;
    QList<int> home;
    QMap<int, int> labels;
    std::atomic<int> lastSuccess { -1 };
    std::atomic<int> failures { -1 };
};

// Counts finished cycles on whichever thread runs them. Tests that run the scanner thread use it
// instead of queued signals: Qt 5 releases queued arguments inside its own library, where
// ThreadSanitizer cannot follow, so only our own synchronisation is under test here.
class CycleCounter
{
public:
    explicit CycleCounter(KFileServiceManager* manager)
    {
        QObject::connect(
            manager, &KFileServiceManager::sigUpdateHomePage, manager, [this](int, int, int) { ++m_cycles; },
            Qt::DirectConnection);
    }
    int cycles() const { return m_cycles; }

private:
    std::atomic<int> m_cycles { 0 };
};

} // namespace

class TestProtectionCycle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void firstCycleBacksUpFilesOfEveryKindOnce();
    void onlyEveryThirtyFirstCycleBacksUpWhileThePagesFollowTheDate();
    void aDeletedSourceMovesToTheDeletedListAndAnUnreachableOneDoesNot();
    void theSelfBackupPageShowsWhatTheLastCycleFound();
    void aSelfBackupFolderMountedInsideItselfIsSearchedOnce();
    void pagesCanBeReadWhileTheScannerCyclesAndARestartReloadsWithoutDuplicates();
    void protectionOffAtStartKeepsTheDatabase();
    void copiesACleanUpOrADeletionCouldNotDeleteAreSweptLater();
    void backUpNowRunsACycleThatBacksUpAtOnce();
    void specialFilesInAListAreSkippedAndDocumentsBehindLinksBackedUp();
    void nothingIsVersionedOverTheSizeLimitOrWithoutRoom();
    void backupsAndTheDatabaseArePrivateToTheUser();
    void aSaveIsBackedUpOnceQuietForTenSeconds_data();
    void aSaveIsBackedUpOnceQuietForTenSeconds();

private:
    void startEngine();
    QString writeSource(
        const QString& name, const QDateTime& modified = QDateTime::currentDateTime().addSecs(-60))
    {
        return m_env.writeFile(m_work + name, name.toUtf8(), modified);
    }
    int versionsOf(const QString& path) const;
    void listAsPricingFiles(const QStringList& paths)
    {
        KTestEnvironment::listAsRecent(m_scanner->catalog(), paths);
    }
    // A record of kind 0 for `path` with versions of the given FileIDs, each with a copy.
    void addRecord(const QString& path, const QStringList& fileIds);

    KTestEnvironment m_env;
    QScopedPointer<KFileServiceManager> m_manager;
    QScopedPointer<KDiskFileManager> m_scanner;
    QString m_work;
};

void TestProtectionCycle::initTestCase()
{
    m_env.platform()->setHostExecutablePath(QCoreApplication::applicationFilePath());
    m_env.addBackupDrive(QStringLiteral("D"));
    QVERIFY(KLedgerbase::instance()->isLoaded());
}

void TestProtectionCycle::init()
{
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software")).removeKey();
    QVERIFY(KCommon::clearFolder(m_env.platform()->commonDocumentsFolder())); // the civil product's database
    QVERIFY(KCommon::clearFolder(m_env.platform()->homeFolder())); // the desktop's recent-file lists
    m_work
        = m_env.makeFolder(QStringLiteral("work/%1").arg(QString::fromLatin1(QTest::currentTestFunction())));
    startEngine();
    QFile::remove(m_manager->databasePath());
}

void TestProtectionCycle::startEngine()
{
    m_manager.reset(new KFileServiceManager);
    m_scanner.reset(new KDiskFileManager);
    m_scanner->attach(m_manager.data());
    QVERIFY(m_scanner->loadProductCatalog(KProductCatalog::builtInPath()));
}

void TestProtectionCycle::cleanup()
{
    m_scanner.reset();
    m_manager.reset();
    QDir(KCommon::backupDirectory()).removeRecursively();
    m_env.platform()->setCurrentDateTime(QDateTime());
    m_env.platform()->clearStatusAnswers();
}

void TestProtectionCycle::addRecord(const QString& path, const QStringList& fileIds)
{
    auto* record = new KFileObject(path, 0);
    for (const QString& id : fileIds) {
        record->addVersion(id);
        QVERIFY(!m_env.writeFile(KCommon::backupDirectory() + id, "c").isEmpty());
    }
    QVERIFY(m_manager->collection(0)->addFile(record));
}

int TestProtectionCycle::versionsOf(const QString& path) const
{
    const KFileObjectPtr record = m_manager->findFile(path);
    return record ? record->versionCount() : 0;
}

void TestProtectionCycle::firstCycleBacksUpFilesOfEveryKindOnce()
{
    const QString pricing = writeSource(QStringLiteral("预算 & 1.pra4"));
    const QString rebar = writeSource(QStringLiteral("rebar.rba"));
    const QString installation = writeSource(QStringLiteral("pipes.ina"));
    const QString word = writeSource(QStringLiteral("Docs/Report.docx"));
    const QString wps = writeSource(QStringLiteral("wps/文档.wps"));
    const QString drawing = writeSource(QStringLiteral("Plan.dwg"));
    const QString civil = writeSource(QStringLiteral("土建/一号楼.cva"));
    const QString document = writeSource(QStringLiteral("文档/季度 报告&1.odt"));

    const KProductCatalog& catalog = m_scanner->catalog();
    listAsPricingFiles({ pricing });
    KTestEnvironment::listAsRecent(catalog, { rebar }, QStringLiteral("RBA"));
    KTestEnvironment::listAsRecent(catalog, { installation }, QStringLiteral("INA"));
    const QString software = QStringLiteral("HKEY_CURRENT_USER\\Software\\");
    KRegistryKey(software + QStringLiteral("Microsoft\\Office\\16.0\\Word\\File MRU"))
        .setValue(QStringLiteral("Item 1"), QString(QStringLiteral("[F00000000]*") + word));
    KRegistryKey(software + QStringLiteral("Kingsoft\\Office\\6.0\\wps\\RecentFiles\\files\\0"))
        .setValue(QStringLiteral("path"), wps);
    KRegistryKey(software + QStringLiteral("Autodesk\\AutoCAD\\R18.0\\ACAD-5001:804\\Recent File List"))
        .setValue(QStringLiteral("File1"), QString(QLatin1Char('*') + drawing));
    const QString database
        = m_env.platform()->commonDocumentsFolder() + QStringLiteral("/Tarsel/CVA/2022/System/CvaSystem.ldb");
    QDir().mkpath(QFileInfo(database).absolutePath());
    QVERIFY(KLedgerbase::instance()->writeField(database, QStringLiteral("Options"),
        QStringLiteral("RecentOpenedFileList"), { civil, civil + QStringLiteral(".tmp") }));
    // The desktop's own list adds a document no registry list names; those it shares with them
    // stay protected once, under their own kind.
    QByteArray bookmarks;
    for (const QString& path : { document, pricing, word }) {
        bookmarks += "<bookmark href=\"" + QUrl::fromLocalFile(path).toEncoded().replace("&", "&amp;")
            + "\" modified=\"2024-03-01T09:12:45Z\"/>\n";
    }
    QVERIFY(m_env
                .writeFile(m_env.platform()->dataHomeFolder() + QStringLiteral("/recently-used.xbel"),
                    "<?xml version=\"1.0\"?>\n<xbel version=\"1.0\">\n" + bookmarks + "</xbel>\n",
                    QDateTime::currentDateTime().addSecs(-60))
                .size());

    const int countBefore = KConfig::instance()->totalBackupCount();
    PageLog log(m_manager.data());
    m_scanner->runCycle();

    QCOMPARE(m_scanner->foundFiles(0), QStringList { pricing });
    QCOMPARE(m_scanner->foundFiles(1), QStringList { civil });
    QCOMPARE(m_scanner->foundFiles(2), QStringList { rebar });
    QCOMPARE(m_scanner->foundFiles(3), QStringList { installation });
    // Products are visited in name order: the drawing program's row sorts before the office row.
    QCOMPARE(m_scanner->foundFiles(4), (QStringList { drawing, word, wps, document }));
    for (const QString& path : { pricing, rebar, installation, word, wps, drawing, civil, document })
        QVERIFY2(versionsOf(path) == 1, qPrintable(path));
    QCOMPARE(m_manager->findFile(document)->fileType(), 4);
    QCOMPARE(KConfig::instance()->totalBackupCount(), countBefore + 8);
    QCOMPARE(log.home, (QList<int> { countBefore + 8, 8, 0 }));
    QCOMPARE(log.lastSuccess, 8);
    m_manager->onUpdate(); // closing a dialog refreshes the pages, and counts nothing again
    m_manager->onUpdate();
    QCOMPARE(KConfig::instance()->totalBackupCount(), countBefore + 8);
    QCOMPARE(log.home.value(0), countBefore + 8);
    QCOMPARE(KTestEnvironment::contentOf(m_manager->databasePath()).count("<Version FileID="), 8);
}

void TestProtectionCycle::onlyEveryThirtyFirstCycleBacksUpWhileThePagesFollowTheDate()
{
    const QDateTime now = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch());
    m_env.platform()->setCurrentDateTime(now);
    const QString pricing = writeSource(QStringLiteral("a.pra4"));
    listAsPricingFiles({ pricing, writeSource(QStringLiteral("b.pra4")) });
    PageLog log(m_manager.data());
    // Only a cycle that backs up reports itself: its start, each copy, its end and copies.
    QSignalSpy started(m_manager.data(), &KFileServiceManager::sigBackupStarted);
    QSignalSpy progress(m_manager.data(), &KFileServiceManager::sigBackupProgress);
    QSignalSpy finished(m_manager.data(), &KFileServiceManager::sigBackupFinished);
    m_scanner->runCycle();
    QCOMPARE(versionsOf(pricing), 1);
    QCOMPARE(started.count(), 1);
    QCOMPARE(static_cast<QList<QVariantList>>(progress), (QList<QVariantList> { { 1, 1 }, { 2, 2 } }));
    QCOMPARE(finished.takeFirst(), (QVariantList { now.toMSecsSinceEpoch(), 2, 0 }));

    // The kind's page, today's and the recent list follow the date while nothing changes.
    const auto counts = [&log] {
        return QList<int> { log.labels.value(0), log.labels.value(KFileList::of(KListPage::Today)),
            log.labels.value(KFileList::of(KListPage::Recent)) };
    };
    QCOMPARE(counts(), (QList<int> { 2, 2, 2 }));

    const QDateTime firstEdit = QDateTime::currentDateTime().addSecs(-30);
    const QDateTime secondEdit = QDateTime::currentDateTime().addSecs(-10);
    QVERIFY(KTestEnvironment::setModified(pricing, firstEdit));
    for (int cycle = 2; cycle <= 31; ++cycle) {
        if (cycle == 10)
            m_env.platform()->setCurrentDateTime(now.addDays(3));
        if (cycle == 20)
            QVERIFY(KTestEnvironment::setModified(pricing, secondEdit));
        m_scanner->runCycle();
        QCOMPARE(versionsOf(pricing), 1);
        QCOMPARE(log.lastSuccess, 0); // the rows are still refreshed, with no successes
    }
    QCOMPARE(counts(), (QList<int> { 2, 0, 0 }));
    QCOMPARE(started.count(), 1);
    QCOMPARE(finished.count(), 0);
    m_scanner->runCycle(); // the 32nd
    QCOMPARE(versionsOf(pricing), 2);
    QCOMPARE(counts(), (QList<int> { 2, 1, 1 }));
    QCOMPARE(m_manager->findFile(pricing)->latestModifiedTime(),
        QDateTime::fromSecsSinceEpoch(secondEdit.toSecsSinceEpoch()));
    QCOMPARE(log.lastSuccess, 1);
    QCOMPARE(started.count(), 2);
    QCOMPARE(finished.takeFirst().at(1), QVariant(1));
}

void TestProtectionCycle::aDeletedSourceMovesToTheDeletedListAndAnUnreachableOneDoesNot()
{
    const QString gone = writeSource(QStringLiteral("gone.pra4"));
    const QString kept = writeSource(QStringLiteral("kept.pra4"));
    const QString locked = m_work + QStringLiteral("locked/");
    const QString inside = writeSource(QStringLiteral("locked/in.pra4"));
    listAsPricingFiles({ kept, gone, inside });
    PageLog log(m_manager.data());
    m_scanner->runCycle();
    QCOMPARE(log.deleted, QStringList());
    QCOMPARE(log.home.mid(1), (QList<int> { 3, 0 }));

    // A file in a folder the user may no longer enter is a failure, not gone.
    QVERIFY(QFile::remove(gone));
    QVERIFY(KTestEnvironment::setModified(inside, QDateTime::currentDateTime().addSecs(-30)));
    QVERIFY(KTestEnvironment::setMode(locked, 0));
    m_scanner->runCycle(KDiskFileManager::CycleKind::Full);
    QVERIFY(KTestEnvironment::setMode(locked, 0700));
    QCOMPARE(log.failures, ::geteuid() == 0 ? 0 : 1); // root enters every folder
    QCOMPARE(log.deleted, QStringList { gone });
    QCOMPARE(log.home.mid(1), (QList<int> { 2, 1 }));
    QCOMPARE(log.labels.value(0), 2);
    QCOMPARE(versionsOf(gone), 1); // its version stays restorable

    // A record left without versions has no row anywhere.
    QVERIFY(m_manager->findFile(kept)->removeAllBackups());
    m_manager->onUpdate();
    QCOMPARE(log.home.mid(1), (QList<int> { 1, 1 }));
    m_manager->showPage(0, 1);
    QVERIFY(!log.rows.contains(kept));
}

void TestProtectionCycle::theSelfBackupPageShowsWhatTheLastCycleFound()
{
    const QString folder = KFileServiceManager::selfBackupFolder();
    QDir(folder).removeRecursively();
    PageLog log(m_manager.data());
    m_scanner->runCycle();
    m_manager->onShowPageByType(KFileList::of(KListPage::SelfBackup));
    QCOMPARE(log.rows, QStringList { QStringLiteral("# 计价自备份(0)") });

    const QString first = m_env.writeFile(folder + QStringLiteral("/a.pra4"), "a");
    const QString second = m_env.writeFile(folder + QStringLiteral("/sub/B.PRA4"), "b");
    QVERIFY(m_env.writeFile(folder + QStringLiteral("/notes.txt"), "n").size());
    // Links are not followed: one back up once made each file count 41 times.
    QVERIFY(QFile::link(folder, folder + QStringLiteral("/sub/up")));
    QVERIFY(QFile::link(first, folder + QStringLiteral("/c.pra4")));
    // A page request shows what the last cycle found, without looking at the disk.
    m_manager->onShowPageByType(KFileList::of(KListPage::SelfBackup));
    QCOMPARE(log.rows, QStringList { QStringLiteral("# 计价自备份(0)") });
    const QStringList found { QStringLiteral("# 计价自备份(2)"), first, second };
    m_scanner->runCycle();
    QCOMPARE(log.rows, found);
    QCOMPARE(log.labels.value(KFileList::of(KListPage::SelfBackup)), 2);

    // Two such links once kept the window waiting for good.
    QVERIFY(QFile::link(folder, folder + QStringLiteral("/sub/again")));
    m_scanner->runCycle();
    QCOMPARE(log.rows, found);
    QDir(folder).removeRecursively();
}

void TestProtectionCycle::aSelfBackupFolderMountedInsideItselfIsSearchedOnce()
{
    if (qEnvironmentVariableIsEmpty("VK_MOUNT_NAMESPACE")) {
        // A user and mount namespace of its own lets the test mount a folder without privileges.
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VK_MOUNT_NAMESPACE"), QStringLiteral("1"));
        child.setProcessEnvironment(environment);
        child.start(QStringLiteral("unshare"),
            { QStringLiteral("--user"), QStringLiteral("--map-root-user"), QStringLiteral("--mount"),
                QCoreApplication::applicationFilePath(), QString::fromLatin1(QTest::currentTestFunction()) });
        QVERIFY(child.waitForFinished(60000));
        const QByteArray output = child.readAll();
        if (!output.contains("Start testing"))
            QSKIP("no user namespaces here");
        QVERIFY2(child.exitCode() == 0 && !output.contains("SKIP"), output.constData());
        return;
    }
    const QString folder = KFileServiceManager::selfBackupFolder();
    QVERIFY(m_env.writeFile(folder + QStringLiteral("/a.pra4"), "a").size());
    QVERIFY(QDir().mkpath(folder + QStringLiteral("/sub/inner")));
    QCOMPARE(QProcess::execute(QStringLiteral("mount"),
                 { QStringLiteral("--bind"), folder, folder + QStringLiteral("/sub/inner") }),
        0);
    m_scanner->runCycle();
    QCOMPARE(m_manager->selfBackupFileCount(), 1);
}

void TestProtectionCycle::pagesCanBeReadWhileTheScannerCyclesAndARestartReloadsWithoutDuplicates()
{
    QStringList paths;
    for (int i = 0; i < 30; ++i)
        paths << writeSource(QStringLiteral("t%1.pra4").arg(i));
    listAsPricingFiles(paths);
    CycleCounter counter(m_manager.data());
    int shownRows = 0; // rows of the pages this thread asks for
    connect(
        m_manager.data(), &KFileServiceManager::sigAfxMisCodeAddRow, m_manager.data(),
        [&shownRows](const QString&, const QString&, const QString&, int, int) {
            if (QThread::currentThread() == QCoreApplication::instance()->thread())
                ++shownRows;
        },
        Qt::DirectConnection);
    m_scanner->setCycleInterval(1);
    // The second start loads the database again into the collections in memory.
    for (const int cycles : { 5, 10 }) {
        m_scanner->startScan();
        QElapsedTimer running;
        running.start();
        int pages = 0;
        while (counter.cycles() < cycles && running.elapsed() < 20000) {
            m_manager->onShowPageByType(pages % 8);
            m_manager->onShowPage(2);
            pages += m_manager->pageCount(0) + 1;
            m_manager->totalBackupSize();
        }
        m_scanner->stopScan();
        QVERIFY(m_scanner->wait(5000));
        QVERIFY(counter.cycles() >= cycles);
        QCOMPARE(m_manager->collection(0)->count(), 30);
    }
    QVERIFY(shownRows > 0);
    for (const QString& path : paths)
        QCOMPARE(versionsOf(path), 1);
}

void TestProtectionCycle::protectionOffAtStartKeepsTheDatabase()
{
    const QStringList paths
        = { writeSource(QStringLiteral("a.pra4")), writeSource(QStringLiteral("b.pra4")) };
    listAsPricingFiles(paths);
    m_scanner->runCycle();
    m_scanner.reset();
    m_manager.reset(); // saves
    const QByteArray saved = KTestEnvironment::contentOf(KFileServiceManager().databasePath());
    QCOMPARE(saved.count("<Version "), 2);

    // An engine that never ran a cycle never loaded the database, and leaves it alone, even when
    // asked to save it (as releasing the window does).
    {
        KFileServiceManager untouched;
        QVERIFY(!untouched.saveDatabase());
    }
    QCOMPARE(KTestEnvironment::contentOf(KFileServiceManager().databasePath()), saved);

    // With protection off the main window runs one pass on its own thread instead of the
    // scanner's thread: it shows the protected files and saves them back as they were.
    startEngine();
    PageLog log(m_manager.data());
    m_scanner->scanOnce();
    QCOMPARE(log.home.mid(1), (QList<int> { 2, 0 }));
    m_scanner.reset();
    m_manager.reset();
    QCOMPARE(KTestEnvironment::contentOf(KFileServiceManager().databasePath()), saved);
}

void TestProtectionCycle::copiesACleanUpOrADeletionCouldNotDeleteAreSweptLater()
{
    const QDateTime now(QDate(2024, 3, 20), QTime(9, 0));
    m_env.platform()->setCurrentDateTime(now);
    const QString folder = KCommon::backupDirectory();
    const QString expired = fileIdAt(now.addDays(-8), now.date().addDays(-8), 1);
    const QString yesterdays = fileIdAt(now.addDays(-1), now.date().addDays(-1), 2);
    QVERIFY(!m_manager->loadDatabase()); // none yet
    addRecord(writeSource(QStringLiteral("a.pra4")), { expired, yesterdays });
    const QString gone = m_work + QStringLiteral("gone.pra4");
    const QString gonesCopy = fileIdAt(now.addSecs(-120), now.date(), 6);
    addRecord(gone, { gonesCopy });
    // Started again on the database it saved, so that its records name every copy it keeps.
    QVERIFY(m_manager->saveDatabase());
    startEngine();
    QVERIFY(m_manager->loadDatabase());

    // Neither clean-up can delete in a folder it may not write.
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QTest::ignoreMessage(QtWarningMsg,
        qPrintable(QStringLiteral("seven-day clean-up: cannot delete the backup copy ") + expired));
    m_manager->autoCleanExpiredVersions();
    QTest::ignoreMessage(QtWarningMsg,
        qPrintable(QStringLiteral("clean-up of the backups before today: cannot delete the backup copy ")
            + yesterdays));
    QVERIFY(!m_manager->cleanBeforeToday());
    QVERIFY(QFile::setPermissions(
        folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QVERIFY(QFile::exists(folder + expired)); // no record lists it any more

    // What the sweep must leave: a copy just made, a recorded one, other names, links, folders.
    const QString inFlight = fileIdAt(now, now.date(), 3);
    const QString linked = fileIdAt(now.addDays(-9), now.date().addDays(-9), 4);
    m_env.writeFile(folder + inFlight, "being recorded");
    m_env.writeFile(folder + QStringLiteral("notes.txt"), "someone's");
    QVERIFY(QFile::link(folder + QStringLiteral("notes.txt"), folder + linked));
    QVERIFY(QDir().mkpath(folder + fileIdAt(now.addDays(-9), now.date().addDays(-9), 5)));
    m_env.platform()->setCreationTime(folder + expired, now.addDays(-8));
    m_env.platform()->setCreationTime(folder + inFlight, now.addSecs(-60));
    m_env.platform()->setCreationTime(folder + linked, now.addDays(-9));
    const QStringList kept = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);

    // A database set aside as unreadable may list it: nothing goes while one is kept.
    const QString setAside = m_manager->databasePath() + QStringLiteral(".unreadable-20240319090000");
    m_env.writeFile(setAside, "<damaged");
    QVERIFY(!m_manager->removeOrphanCopies());
    QVERIFY(QFile::exists(folder + expired));
    QVERIFY(QFile::remove(setAside));

    m_scanner->runCycle();
    QVERIFY(!QFile::exists(folder + expired));
    QStringList left = kept;
    left.removeOne(expired);
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System), left);
    QCOMPARE(versionsOf(m_work + QStringLiteral("a.pra4")), 1);

    // A deleted file removed from the list: its versions leave the record before their copies, so
    // a copy that stays is listed by nothing. The next cycle, today's sweep done, takes it.
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    QTest::ignoreMessage(QtWarningMsg,
        qPrintable(QStringLiteral("clean-up of all backups: cannot delete the backup copy ") + gonesCopy));
    QVERIFY(!m_manager->removeFile(gone));
    m_env.platform()->setCreationTime(folder + gonesCopy, now.addDays(-2));
    QVERIFY(QFile::setPermissions(
        folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    m_scanner->runCycle();
    QVERIFY(!QFile::exists(folder + gonesCopy));
}

void TestProtectionCycle::backUpNowRunsACycleThatBacksUpAtOnce()
{
    const QDateTime now = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch());
    m_env.platform()->setCurrentDateTime(now);
    const QString file = writeSource(QStringLiteral("now.pra4"), now.addSecs(-600));
    listAsPricingFiles({ file });
    constexpr int LongIntervalMs = 600000;
    m_scanner->setCycleInterval(LongIntervalMs);
    // Shared with the connection, which the scanner's thread may call after a failed check ended
    // this function.
    const auto nextBackup = std::make_shared<std::atomic<qint64>>(0);
    const auto niceness = std::make_shared<std::atomic<int>>(0);
    connect(
        m_scanner.data(), &KDiskFileManager::sigNextBackupAt, m_manager.data(),
        [nextBackup, niceness](qlonglong at) {
            *niceness = ::getpriority(PRIO_PROCESS, 0);
            *nextBackup = at;
        },
        Qt::DirectConnection);

    m_scanner->startScan();
    QTRY_COMPARE(versionsOf(file), 1);
    // The next cycle that backs up comes 31 cycles later.
    QTRY_COMPARE(nextBackup->load(), now.toMSecsSinceEpoch() + 31 * qint64(LongIntervalMs));
    // The cycles give way to the window and to the user's programs.
    QVERIFY(niceness->load() >= 10);

    // Not ten minutes later: at once.
    writeSource(QStringLiteral("now.pra4"), now.addSecs(-300));
    m_scanner->backUpNow();
    QTRY_COMPARE(versionsOf(file), 2);

    // With protection off the thread runs for that one cycle.
    m_scanner->stopThread();
    QCOMPARE(nextBackup->load(), qint64(-1));
    writeSource(QStringLiteral("now.pra4"), now.addSecs(-120));
    m_scanner->backUpNow();
    QTRY_COMPARE(versionsOf(file), 3);
    QTRY_VERIFY(!m_scanner->isRunning());
}

void TestProtectionCycle::specialFilesInAListAreSkippedAndDocumentsBehindLinksBackedUp()
{
    const QString document = writeSource(QStringLiteral("document.pra4"));
    const QString fifo = m_work + QStringLiteral("fifo.pra4");
    // A socket's path has to be short.
    const QString socket = m_env.makeFolder(QStringLiteral("sockets")) + QStringLiteral("s.pra4");
    QVERIFY(KTestEnvironment::makeFifo(fifo));
    QVERIFY(KTestEnvironment::makeSocket(socket));
    const QString toFifo = m_work + QStringLiteral("to-fifo.pra4");
    const QString toDocument = m_work + QStringLiteral("to-document.pra4");
    QVERIFY(QFile::link(fifo, toFifo));
    QVERIFY(QFile::link(document, toDocument));
    listAsPricingFiles({ fifo, toFifo, socket, QStringLiteral("/dev/zero"), toDocument, document });

    PageLog log(m_manager.data());
    const KFifoRelease release({ fifo }); // lets a cycle stuck in opening it go, so that the test fails
    m_scanner->runCycle();
    QVERIFY(!release.released());
    QCOMPARE(log.failures, 0);
    QCOMPARE(versionsOf(document), 1);
    QCOMPARE(versionsOf(toDocument), 1);
    for (const QString& special : { fifo, toFifo, socket, QStringLiteral("/dev/zero") })
        QVERIFY2(!m_manager->findFile(special), qPrintable(special));
}

void TestProtectionCycle::nothingIsVersionedOverTheSizeLimitOrWithoutRoom()
{
    const QString small = m_env.writeFile(m_work + QStringLiteral("small.pra4"), QByteArray(100, 's'),
        QDateTime::currentDateTime().addSecs(-60));
    const QString large = m_env.writeFile(m_work + QStringLiteral("large.pra4"), QByteArray(101, 'l'),
        QDateTime::currentDateTime().addSecs(-60));
    listAsPricingFiles({ small, large });
    QVERIFY(KConfig::instance()->setMaxVersionedFileSize(100));
    const auto noLimit = qScopeGuard([] { std::ignore = KConfig::instance()->setMaxVersionedFileSize(0); });
    QSignalSpy told(m_manager.data(), &KFileServiceManager::sigFileTooLarge);
    // 15 MiB free on the backup drive is short of room, 16 MiB is not.
    const QString drive = KConfig::instance()->backUpPath();
    const auto setFreeMiB = [&](quint64 free) {
        m_env.platform()->setDriveSpace(drive, free * MiB, 100000 * MiB);
        KDiskInfoThread::instance()->checkDisks();
    };
    const auto roomAgain = qScopeGuard([&] { setFreeMiB(50000); });
    setFreeMiB(15);
    m_scanner->runCycle(KDiskFileManager::CycleKind::Full);
    QCOMPARE(versionsOf(small), 0);
    setFreeMiB(16);

    m_scanner->runCycle(KDiskFileManager::CycleKind::Full);
    QVERIFY(KTestEnvironment::setModified(large, QDateTime::currentDateTime().addSecs(-30)));
    m_scanner->runCycle(KDiskFileManager::CycleKind::Full);
    QCOMPARE(versionsOf(small), 1);
    QCOMPARE(versionsOf(large), 0);
    QCOMPARE(told.count(), 1);
    QCOMPARE(told.at(0), (QList<QVariant> { large, qint64(101), qint64(100) }));

    // A limit that is not a number of bytes is no limit of zero.
    QVERIFY(KConfig::instance()->setMaxVersionedFileSize(0));
    QCOMPARE(KConfig::instance()->maxVersionedFileSize(), KConfig::DefaultMaxVersionedFileSize);
    m_scanner->runCycle(KDiskFileManager::CycleKind::Full);
    QCOMPARE(versionsOf(large), 1);

    // Nor twice: a file missing when a cycle looked, then versioned by a restore, is not
    // versioned again by the next cycle, handed the same list.
    const QString later = m_work + QStringLiteral("later.pra4");
    listAsPricingFiles({ small, large, later });
    m_scanner->runCycle(KDiskFileManager::CycleKind::Full);
    QVERIFY(!m_env.writeFile(later, "later", QDateTime::currentDateTime().addSecs(-30)).isEmpty());
    QVERIFY(m_manager->backUpCurrentState(later));
    m_scanner->runCycle(KDiskFileManager::CycleKind::Full);
    QCOMPARE(versionsOf(later), 1);
}

void TestProtectionCycle::backupsAndTheDatabaseArePrivateToTheUser()
{
    // What an earlier version left readable to others: a copy, a folder in the backup folder, and
    // a link in it to a file elsewhere, which stays as it is; and a copy left with no permission.
    const QString backups = KCommon::backupDirectory();
    const QString old = m_env.writeFile(backups + QStringLiteral("old-copy"), "old");
    const QString locked = m_env.writeFile(backups + QStringLiteral("locked-copy"), "locked");
    QVERIFY(KTestEnvironment::setMode(locked, 0));
    const QString folder = m_env.makeFolder(backups + QStringLiteral("folder"));
    const QString outside = writeSource(QStringLiteral("outside.txt"));
    QVERIFY(QFile::link(outside, backups + QStringLiteral("link")));
    for (const QString& path : { backups, folder })
        QVERIFY(KTestEnvironment::setMode(path, 0755));
    for (const QString& path : { old, outside })
        QVERIFY(KTestEnvironment::setMode(path, 0644));
    const QString source = writeSource(QStringLiteral("plan.pra4"));
    QVERIFY(KTestEnvironment::setMode(source, 0644));
    listAsPricingFiles({ source });

    m_scanner->runCycle();
    const QString copy = backups + m_manager->findFile(source)->versionIds().constFirst();
    const QString database = m_manager->databasePath();
    for (const QString& path : { backups, folder, QFileInfo(database).absolutePath() })
        QVERIFY2(KTestEnvironment::modeOf(path) == 0700, qPrintable(path));
    for (const QString& path : { old, locked, copy, database, KCopySums::pathBeside(database) })
        QVERIFY2(KTestEnvironment::modeOf(path) == 0600, qPrintable(path));
    QCOMPARE(KTestEnvironment::modeOf(outside), 0644u);
}

void TestProtectionCycle::aSaveIsBackedUpOnceQuietForTenSeconds_data()
{
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QList<int>>("gapsMs"); // the clock's step before each write
    QTest::addColumn<int>("folderLimit");
    QTest::addColumn<bool>("besideCycles"); // the scanner's thread cycles while the watcher backs up
    const QString listed = QStringLiteral("a.pra4");
    QTest::newRow("a burst of writes makes one version, saved by the watcher alone")
        << QStringList { listed, listed, listed } << QList<int> { 0, 2000, 3000 } << 4096 << false;
    QTest::newRow("a write inside the quiet time starts it again")
        << QStringList { listed, listed } << QList<int> { 0, 9999 } << 4096 << true;
    QTest::newRow("a file no list names is ignored in a watched folder")
        << QStringList { QStringLiteral("notes.pra4"), listed } << QList<int> { 0, 0 } << 4096 << true;
    QTest::newRow("more folders than can be watched leave the saves to the cycle, said once")
        << QStringList { listed } << QList<int> { 0 } << 0 << false;
}

void TestProtectionCycle::aSaveIsBackedUpOnceQuietForTenSeconds()
{
    QFETCH(QStringList, writes);
    QFETCH(QList<int>, gapsMs);
    QFETCH(int, folderLimit);
    QFETCH(bool, besideCycles);
    KFakePlatform* platform = m_env.platform();
    platform->setCurrentDateTime(QDateTime::currentDateTime());
    const QString listed = writeSource(QStringLiteral("a.pra4"), platform->currentDateTime().addSecs(-60));
    listAsPricingFiles({ listed });
    m_scanner->runCycle();
    QCOMPARE(versionsOf(listed), 1);

    g_unwatchedLogs = 0;
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context,
                                                                 const QString& text) {
        if (qstrcmp(context.category, "vaultkeep.engine") == 0 && text.contains(QLatin1String("not watched")))
            ++g_unwatchedLogs;
    });
    KSaveWatcher watcher(m_manager.data(), platform);
    watcher.setFolderLimit(folderLimit);
    watcher.followListedFiles();
    watcher.setFiles({ listed, m_env.makeFolder(QStringLiteral("elsewhere")) + QStringLiteral("/b.pra4") });
    qInstallMessageHandler(previous);
    QCOMPARE(watcher.isWatching(), folderLimit > 0);
    QCOMPARE(int(g_unwatchedLogs), folderLimit > 0 ? 0 : 1);

    for (int i = 0; i < writes.size(); ++i) {
        platform->advanceClock(gapsMs.at(i));
        QVERIFY(!writeSource(writes.at(i), platform->currentDateTime()).isEmpty());
        // Heard before the clock moves on; an unlisted file's write is heard before the next.
        if (watcher.isWatching() && writes.at(i) == QLatin1String("a.pra4"))
            QTRY_COMPARE(watcher.dueAt(listed), platform->currentMSecsSinceEpoch() + KSaveWatcher::QuietMs);
    }
    QCOMPARE(watcher.pendingCount(), watcher.isWatching() ? 1 : 0);
    platform->advanceClock(KSaveWatcher::QuietMs - 1);
    watcher.backUpQuietFiles();
    QCOMPARE(versionsOf(listed), 1);
    platform->advanceClock(1);
    const bool watching = watcher.isWatching();
    CycleCounter counter(m_manager.data()); // its connection lasts as long as the engine
    if (!besideCycles) {
        // No cycle's end saves the database for it: the version is in the file all the same.
        watcher.backUpQuietFiles();
    } else {
        // A few cycles, none the 31st that backs up.
        m_scanner->setCycleInterval(50);
        m_scanner->startScan();
        watcher.backUpQuietFiles();
        QTRY_VERIFY(counter.cycles() >= 2);
        m_scanner->stopScan();
        QVERIFY(m_scanner->wait(5000));
    }
    const int versions = watching ? 2 : 1;
    QCOMPARE(versionsOf(listed), versions);
    QCOMPARE(versionsOf(m_work + QStringLiteral("notes.pra4")), 0);
    QCOMPARE(KTestEnvironment::contentOf(m_manager->databasePath()).count("<Version FileID="), versions);
    // The cycle still backs up what the watch did not.
    m_scanner->runCycle(KDiskFileManager::CycleKind::Full);
    QCOMPARE(versionsOf(listed), 2);
}

QTEST_GUILESS_MAIN(TestProtectionCycle)
#include "tst_protectioncycle.moc"
