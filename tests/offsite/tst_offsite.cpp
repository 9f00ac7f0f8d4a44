#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kcopysums.h"
#include "core/kfileobject.h"
#include "kfakekeyring.h"
#include "ktestenvironment.h"
#include "offsite/koffsitebackup.h"
#include "offsite/koffsitehost.h"
#include "offsite/kresticcommand.h"
#include "service/kfileservicemanager.h"
#include "service/koffsiteservice.h"

#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <xxhash.h>

namespace {

constexpr int RunTimeoutMs = 60000;
const QByteArray Password = QByteArrayLiteral("Kq7-offsite-correct-horse");
const QString VersionFolder = QStringLiteral("drive/TarselVaultkeep备份目录");

class FakeHost final : public KOffsiteHost
{
public:
    QString folder;
    QStringList files;
    QList<QByteArray> imported;
    QString backupFolder() const override { return folder; }
    QStringList databaseFiles() const override { return files; }
    SumLookup recordedSums(const QString&) const override
    {
        return [](const QString&) {
            return KContentSum();
        };
    }
    bool importDatabase(const QString& databaseFile) override
    {
        imported << KTestEnvironment::contentOf(databaseFile);
        return true;
    }
};

QByteArray randomBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

// The test's own runs of restic, to look into a repository.
QByteArray restic(const QString& repository, const QStringList& arguments, int* exitCode = nullptr)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("RESTIC_REPOSITORY"), repository);
    environment.insert(QStringLiteral("RESTIC_PASSWORD"), QString::fromLatin1(Password));
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("restic"), arguments);
    process.waitForFinished(RunTimeoutMs);
    if (exitCode)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput();
}

QStringList namesInLatest(const QString& repository)
{
    QStringList names;
    const QList<QByteArray> lines
        = restic(repository, { QStringLiteral("ls"), QStringLiteral("--json"), QStringLiteral("latest") })
              .split('\n');
    for (const QByteArray& line : lines) {
        const QJsonObject node = QJsonDocument::fromJson(line).object();
        if (node.value(QStringLiteral("type")).toString() == QLatin1String("file"))
            names << node.value(QStringLiteral("name")).toString();
    }
    names.sort();
    return names;
}

// The living children of this process, as /proc lists them.
QList<int> childProcesses()
{
    QList<int> children;
    const QByteArray self = QByteArray::number(qint64(::getpid()));
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const int pid = entry.toInt(&number);
        if (!number)
            continue;
        const QByteArray stat = KTestEnvironment::contentOf(QStringLiteral("/proc/%1/stat").arg(pid));
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.value(1) == self && fields.value(0) != "Z")
            children << pid;
    }
    return children;
}

// A REST server for restic on a random port of the loopback address.
class RestServer
{
public:
    bool start(const QString& folder)
    {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(QStringLiteral("rclone"),
            { QStringLiteral("serve"), QStringLiteral("restic"), QStringLiteral("--addr"),
                QStringLiteral("127.0.0.1:0"), folder });
        const QRegularExpression serving(
            QStringLiteral("Serving restic REST API on (http://127\\.0\\.0\\.1:\\d+/)"));
        QByteArray said;
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < RunTimeoutMs && m_process.state() != QProcess::NotRunning) {
            m_process.waitForReadyRead(200);
            said += m_process.readAllStandardError();
            const QRegularExpressionMatch match = serving.match(QString::fromUtf8(said));
            if (match.hasMatch()) {
                m_url = match.captured(1);
                return true;
            }
        }
        return false;
    }
    ~RestServer()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished();
    }
    QString repository() const { return QStringLiteral("rest:") + m_url; }

private:
    QProcess m_process;
    QString m_url;
};

} // namespace

class tst_Offsite : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void uploadsAfterCyclesThatMadeVersionsHourlyAndTheyComeBackByteForByte();
    void aKilledUploadIsMadeAgainAndTheRepositoryChecksOut_data();
    void aKilledUploadIsMadeAgainAndTheRepositoryChecksOut();
    void everythingComesBackOnANewMachineOrNothingChanges_data();
    void everythingComesBackOnANewMachineOrNothingChanges();
    void problemsAreNamedAndNothingWaitsForThem_data();
    void problemsAreNamedAndNothingWaitsForThem();
    void thePasswordReachesNoCommandLineEnvironmentOrFile();

private:
    struct Workspace
    {
        KTestEnvironment env;
        FakeHost host;
        QString repository;
        std::unique_ptr<RestServer> server;
        std::unique_ptr<KOffsiteBackup> backup;
    };
    // A workspace with `versions` copies of `size` bytes, a database and its sums, and a fresh
    // repository: a folder, or behind a REST server when `rest`.
    std::unique_ptr<Workspace> makeWorkspace(int versions, int size, bool rest = false);
    static QString addVersion(Workspace& w, int size);
    static void start(Workspace& w);
    static bool waitIdle(KOffsiteBackup& backup);

    QTemporaryDir m_template;
    QString m_templateRepository;
};

void tst_Offsite::initTestCase()
{
    // The product never registers its types (see koffsitetypes.h); the spies need them.
    qRegisterMetaType<KOffsiteStatus>();
    qRegisterMetaType<KOffsiteProblem>();
    qRegisterMetaType<KOffsiteRestoreResult>();
    if (KResticCommand::findProgram(QStringLiteral("restic")).isEmpty())
        QSKIP("restic is not installed (Debian: apt install restic)");
    // restic's cache and everything else a child writes stays in the test's folders.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_template.filePath(QStringLiteral("cache"))));
    qputenv("RCLONE_CONFIG", QFile::encodeName(m_template.filePath(QStringLiteral("rclone.conf"))));
    // Making a repository derives its key for seconds: made once, copied for every test.
    m_templateRepository = m_template.filePath(QStringLiteral("repository"));
    int exitCode = -1;
    restic(m_templateRepository, { QStringLiteral("init") }, &exitCode);
    QCOMPARE(exitCode, 0);
}

std::unique_ptr<tst_Offsite::Workspace> tst_Offsite::makeWorkspace(int versions, int size, bool rest)
{
    auto w = std::make_unique<Workspace>();
    qputenv("HOME", QFile::encodeName(w->env.path(QStringLiteral("home"))));
    w->env.platform()->setCurrentDateTime(QDateTime(QDate(2026, 12, 7), QTime(9, 0), Qt::UTC));
    w->host.folder = w->env.makeFolder(VersionFolder);
    w->host.files
        = QStringList { w->env.writeFile(QStringLiteral("data/VaultkeepDB.xml"), QByteArrayLiteral("<db/>")),
              w->env.writeFile(QStringLiteral("data/VaultkeepDB.sums"), QByteArrayLiteral("sums")) };
    for (int i = 0; i < versions; ++i)
        addVersion(*w, size);
    const QString stored = w->env.path(QStringLiteral("offsite"));
    if (QProcess::execute(QStringLiteral("cp"), { QStringLiteral("-r"), m_templateRepository, stored }) != 0)
        return nullptr;
    w->repository = stored;
    if (rest) {
        w->server = std::make_unique<RestServer>();
        if (!w->server->start(stored))
            return nullptr;
        w->repository = w->server->repository();
    }
    w->backup = std::make_unique<KOffsiteBackup>(
        &w->host, w->env.platform(), w->env.path(QStringLiteral("data/Offsite.ini")));
    return w;
}

QString tst_Offsite::addVersion(Workspace& w, int size)
{
    static int counter = 0;
    const QString name = QStringLiteral("{%1}_20261206101010_20261207")
                             .arg(QUuid::createUuid().toString(QUuid::WithoutBraces).left(30)
                                 + QString::number(++counter).rightJustified(6, QLatin1Char('0')));
    return KTestEnvironment::writeFileAt(
        w.host.folder + name, randomBytes(size), QDateTime(QDate(2026, 12, 6), QTime(10, 10, 10), Qt::UTC));
}

void tst_Offsite::start(Workspace& w)
{
    KOffsiteSettings settings;
    settings.enabled = true;
    settings.repository = w.repository;
    w.backup->setSettings(settings);
    w.backup->setPassword(Password);
}

bool tst_Offsite::waitIdle(KOffsiteBackup& backup)
{
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!backup.isBusy()) {
            // Whatever a finished run queued runs too.
            QCoreApplication::processEvents();
            if (!backup.isBusy())
                return true;
        }
    } while (timer.elapsed() < RunTimeoutMs);
    return false;
}

void tst_Offsite::uploadsAfterCyclesThatMadeVersionsHourlyAndTheyComeBackByteForByte()
{
    constexpr int Size = 256 * 1024;
    const auto w = makeWorkspace(0, 0);
    QVERIFY(w);
    // The product's own: the engine's backup folder and database, the settings store, a keyring.
    w->host.folder
        = w->env.addBackupDrive(QStringLiteral("D")) + KCommon::backupFolderName() + QLatin1Char('/');
    for (int i = 0; i < 3; ++i)
        addVersion(*w, Size);
    KFileServiceManager* engine = KFileServiceManager::instance();
    const QString database = engine->databasePath();
    QVERIFY(!KTestEnvironment::writeFileAt(database, "<db/>", QDateTime()).isEmpty());
    QVERIFY(!KTestEnvironment::writeFileAt(KCopySums::pathBeside(database), "sums", QDateTime()).isEmpty());
    QVERIFY(KConfig::instance()->setOffsite(true, w->repository, 90, 60));
    KOffsiteService service(engine, KConfig::instance(), w->env.platform(), new KFakeKeyring(Password));
    KFakePlatform* clock = w->env.platform();
    const auto uploadedNow = [&] {
        return service.status().state == KOffsiteStatus::State::Idle
            && service.status().lastBackupMSecs == clock->currentMSecsSinceEpoch();
    };
    const auto cycleEnded = [&](int copied) {
        emit engine->sigBackupFinished(clock->currentMSecsSinceEpoch(), copied, 0);
    };

    // The first start sends everything up, with the keyring's password.
    service.start();
    QTRY_VERIFY_WITH_TIMEOUT(uploadedNow(), RunTimeoutMs);
    const KOffsiteStatus first = service.status();
    QCOMPARE(first.lastProblem, KOffsiteProblem::None);
    QVERIFY(first.lastAddedBytes >= 3 * Size);
    QCOMPARE(first.nextBackupMSecs, -1);
    QStringList expected = QDir(w->host.folder).entryList(QDir::Files)
        + QStringList { QFileInfo(database).fileName(),
              QFileInfo(KCopySums::pathBeside(database)).fileName() };
    expected.sort();
    QCOMPARE(namesInLatest(w->repository), expected);
    const QJsonArray snapshots = QJsonDocument::fromJson(
        restic(w->repository, { QStringLiteral("snapshots"), QStringLiteral("--json") }))
                                     .array();
    QCOMPARE(snapshots.size(), 1);
    QCOMPARE(snapshots.at(0).toObject().value(QStringLiteral("paths")).toArray().size(), 3);

    // Ten minutes on, a cycle that copied nothing leaves nothing waiting (the connection test
    // answers after anything it set going); one that made versions waits for the hour.
    clock->advanceClock(10 * 60000);
    addVersion(*w, Size);
    addVersion(*w, Size);
    QSignalSpy statuses(&service, &KOffsiteService::statusChanged);
    QSignalSpy tested(&service, &KOffsiteService::connectionTested);
    cycleEnded(0);
    service.testConnection(service.settings(), QByteArray(), false);
    QTRY_COMPARE_WITH_TIMEOUT(tested.size(), 1, RunTimeoutMs);
    QVERIFY(statuses.isEmpty());
    cycleEnded(2);
    QTRY_COMPARE(service.status().nextBackupMSecs, first.lastBackupMSecs + 60 * 60000);
    QCOMPARE(service.status().state, KOffsiteStatus::State::Idle);

    // The hour over, the next such cycle sends up only the new ones.
    clock->advanceClock(50 * 60000);
    cycleEnded(1);
    QTRY_VERIFY_WITH_TIMEOUT(uploadedNow(), RunTimeoutMs);
    const KOffsiteStatus second = service.status();
    QCOMPARE(second.lastProblem, KOffsiteProblem::None);
    QVERIFY2(second.lastAddedBytes >= 2 * Size && second.lastAddedBytes < 3 * Size,
        qPrintable(QString::number(second.lastAddedBytes)));
    QCOMPARE(namesInLatest(w->repository).size(), 7);

    // Back through the copy's own interface, whose first start sends up the test's database.
    start(*w);
    QVERIFY(waitIdle(*w->backup));
    const QStringList names = QDir(w->host.folder).entryList(QDir::Files);
    const QString lost = w->host.folder + names.at(0);
    const QByteArray bytes = KTestEnvironment::contentOf(lost);
    const qint64 modified = QFileInfo(lost).lastModified().toMSecsSinceEpoch();
    QVERIFY(QFile::remove(lost));

    // One version, into a private folder of its own, checked against its sum.
    QSignalSpy fetched(w->backup.get(), &KOffsiteBackup::versionFetched);
    const quint64 hash = XXH3_64bits(bytes.constData(), size_t(bytes.size()));
    w->backup->fetchVersion(names.at(0), bytes.size(), hash + 1, true);
    QTRY_COMPARE_WITH_TIMEOUT(fetched.size(), 1, RunTimeoutMs);
    QCOMPARE(fetched.at(0).at(2).value<KOffsiteProblem>(), KOffsiteProblem::Damaged);
    QVERIFY(fetched.at(0).at(1).toString().isEmpty());
    w->backup->fetchVersion(names.at(0), bytes.size(), hash, true);
    QTRY_COMPARE_WITH_TIMEOUT(fetched.size(), 2, RunTimeoutMs);
    QCOMPARE(fetched.at(1).at(2).value<KOffsiteProblem>(), KOffsiteProblem::None);
    const QString copy = fetched.at(1).at(1).toString();
    QVERIFY(KTestEnvironment::contentOf(copy) == bytes);
    QCOMPARE(QFileInfo(copy).lastModified().toMSecsSinceEpoch(), modified);
    QCOMPARE(KTestEnvironment::modeOf(copy), 0600u);
    QCOMPARE(KTestEnvironment::modeOf(QFileInfo(copy).absolutePath()), 0700u);
    w->backup->releaseFetched(names.at(0));
    QVERIFY(!QFileInfo::exists(copy));

    // The whole folder: what is missing comes back, a copy here that differs stays until asked.
    const QString changed = w->host.folder + names.at(1);
    QVERIFY(!KTestEnvironment::writeFileAt(changed, "changed here", QDateTime::currentDateTime()).isEmpty());
    QSignalSpy restored(w->backup.get(), &KOffsiteBackup::allRestored);
    w->backup->restoreAll(false);
    QTRY_COMPARE_WITH_TIMEOUT(restored.size(), 1, RunTimeoutMs);
    KOffsiteRestoreResult result = restored.at(0).at(0).value<KOffsiteRestoreResult>();
    QCOMPARE(result.problem, KOffsiteProblem::None);
    QCOMPARE(result.restored, 1);
    QCOMPARE(result.kept, names.size() - 2); // all but the lost and the changed one
    QCOMPARE(result.differing, QStringList { names.at(1) });
    QVERIFY(KTestEnvironment::contentOf(lost) == bytes);
    QCOMPARE(KTestEnvironment::contentOf(changed), QByteArrayLiteral("changed here"));
    QCOMPARE(w->host.imported, QList<QByteArray> { QByteArrayLiteral("<db/>") });
    w->backup->restoreAll(true);
    QTRY_COMPARE_WITH_TIMEOUT(restored.size(), 2, RunTimeoutMs);
    result = restored.at(1).at(0).value<KOffsiteRestoreResult>();
    QCOMPARE(result.restored, 1);
    QCOMPARE(KTestEnvironment::contentOf(changed).size(), Size);
    QCOMPARE(QFileInfo(QDir::cleanPath(w->host.folder))
                 .dir()
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { KCommon::backupFolderName() });
}

void tst_Offsite::aKilledUploadIsMadeAgainAndTheRepositoryChecksOut_data()
{
    QTest::addColumn<bool>("rest");
    QTest::newRow("to a repository in a folder") << false;
    QTest::newRow("to a REST server on the loopback") << true;
}

void tst_Offsite::aKilledUploadIsMadeAgainAndTheRepositoryChecksOut()
{
    QFETCH(bool, rest);
    if (rest && KResticCommand::findProgram(QStringLiteral("rclone")).isEmpty())
        QSKIP("rclone is not installed (Debian: apt install rclone)");
    const auto w = makeWorkspace(24, 4 * 1024 * 1024, rest);
    QVERIFY(w);
    start(*w);
    w->backup->onVersionsMade();
    QTRY_VERIFY_WITH_TIMEOUT(!w->backup->runningProcessIds().isEmpty(), RunTimeoutMs);
    // Killed once it has written some of the data, as a crash or a power cut would.
    QTRY_VERIFY_WITH_TIMEOUT(
        QDirIterator(w->env.path(QStringLiteral("offsite/data")), QDir::Files, QDirIterator::Subdirectories)
            .hasNext(),
        RunTimeoutMs);
    ::kill(pid_t(w->backup->runningProcessIds().first()), SIGKILL);
    QVERIFY(waitIdle(*w->backup));
    QCOMPARE(w->backup->status().lastProblem, KOffsiteProblem::Failed);
    QCOMPARE(w->backup->status().lastBackupMSecs, -1);
    QVERIFY(w->backup->status().nextBackupMSecs > 0);

    w->env.platform()->advanceClock(60 * 60000);
    w->backup->runDue();
    QVERIFY(waitIdle(*w->backup));
    QCOMPARE(w->backup->status().lastProblem, KOffsiteProblem::None);
    QCOMPARE(namesInLatest(w->repository).size(), 26);

    // A week on, the clean-up and then the check run, past the dead run's lock.
    w->env.platform()->advanceClock(KOffsiteBackup::CheckPeriodMSecs);
    QSignalSpy statuses(w->backup.get(), &KOffsiteBackup::statusChanged);
    w->backup->runDue();
    QTRY_VERIFY_WITH_TIMEOUT(!w->backup->isBusy() && !statuses.isEmpty()
            && QDir(w->env.path(QStringLiteral("offsite/locks"))).isEmpty(),
        RunTimeoutMs);
    QVERIFY(waitIdle(*w->backup));
    QVERIFY(!w->backup->status().checkFailed);
    int exitCode = -1;
    restic(w->repository, { QStringLiteral("check"), QStringLiteral("--read-data") }, &exitCode);
    QCOMPARE(exitCode, 0);
}

void tst_Offsite::everythingComesBackOnANewMachineOrNothingChanges_data()
{
    QTest::addColumn<bool>("damaged");
    QTest::newRow("an empty backup folder is filled and the lists show its versions") << false;
    QTest::newRow("a copy damaged in the snapshot leaves the folder and the database as they were") << true;
}

void tst_Offsite::everythingComesBackOnANewMachineOrNothingChanges()
{
    QFETCH(bool, damaged);
    const auto w = makeWorkspace(0, 0);
    QVERIFY(w);
    KFileServiceManager* engine = KFileServiceManager::instance();
    const QString folder
        = w->env.addBackupDrive(QStringLiteral("D")) + KCommon::backupFolderName() + QLatin1Char('/');
    static_cast<void>(engine->loadDatabase()); // none yet
    static_cast<void>(engine->cleanAll()); // the records of an earlier row, whose copies went with it
    QStringList documents;
    for (int i = 0; i < 3; ++i) {
        documents << w->env.writeFile(QStringLiteral("docs/plan%1.xls").arg(i), randomBytes(64 * 1024));
        QVERIFY(engine->backUpCurrentState(documents.last()));
    }
    const QStringList copies = QDir(folder).entryList(QDir::Files);
    QCOMPARE(copies.size(), 3);
    QHash<QString, QByteArray> contents;
    for (const QString& copy : copies)
        contents.insert(copy, KTestEnvironment::contentOf(folder + copy));
    if (damaged) {
        const QString copy = folder + copies.at(1);
        QVERIFY(!KTestEnvironment::writeFileAt(copy, randomBytes(64 * 1024), QFileInfo(copy).lastModified())
                     .isEmpty());
    }
    QVERIFY(KConfig::instance()->setOffsite(true, w->repository, 90, 60));
    KOffsiteService service(engine, KConfig::instance(), w->env.platform(), new KFakeKeyring(Password));
    service.start();
    QTRY_VERIFY_WITH_TIMEOUT(service.status().lastBackupMSecs > 0, RunTimeoutMs);
    QCOMPARE(service.status().lastProblem, KOffsiteProblem::None);

    // The new machine: no copies, no records.
    QVERIFY(engine->cleanAll());
    QVERIFY(engine->saveDatabase());
    QVERIFY(!service.holdsVersions());
    const QByteArray database = KTestEnvironment::contentOf(engine->databasePath());
    QSignalSpy lists(engine, &KFileServiceManager::sigUpdateHomePage);
    QSignalSpy restored(&service, &KOffsiteService::allRestored);
    // Still on: an upload of the empty folder would become the newest snapshot.
    service.backUpNow();
    service.restoreAll(service.settings(), QByteArray());
    QTRY_COMPARE_WITH_TIMEOUT(restored.size(), 1, RunTimeoutMs);
    service.shutdown();
    if (damaged) {
        QCOMPARE(restored.at(0).at(0).value<KOffsiteProblem>(), KOffsiteProblem::Damaged);
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList());
        QCOMPARE(KTestEnvironment::contentOf(engine->databasePath()), database);
        QVERIFY(!service.holdsVersions());
        return;
    }
    QCOMPARE(restored.at(0).at(0).value<KOffsiteProblem>(), KOffsiteProblem::None);
    QCOMPARE(restored.at(0).at(1).toInt(), 3);
    for (const QString& copy : copies)
        QVERIFY2(KTestEnvironment::contentOf(folder + copy) == contents.value(copy), qPrintable(copy));
    for (const QString& document : documents)
        QCOMPARE(engine->findFile(document)->versionCount(), 1);
    const QByteArray saved = KTestEnvironment::contentOf(engine->databasePath());
    for (const QString& copy : copies) {
        QVERIFY(saved.contains(copy.toUtf8()));
        QVERIFY(engine->copySum(copy).hasHash);
    }
    QVERIFY(!lists.isEmpty());
    QCOMPARE(lists.last().at(1).toInt(), 3); // the files with versions
}

void tst_Offsite::problemsAreNamedAndNothingWaitsForThem_data()
{
    QTest::addColumn<QString>("repository");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QString>("program");
    QTest::addColumn<KOffsiteProblem>("problem");
    QTest::newRow("a wrong password")
        << QString() << QByteArrayLiteral("not it") << QString() << KOffsiteProblem::WrongPassword;
    QTest::newRow("a server nobody listens on") << QStringLiteral("rest:http://127.0.0.1:1/") << Password
                                                << QString() << KOffsiteProblem::Unreachable;
    QTest::newRow("a disk that is not connected") << QStringLiteral("/nonexistent-usb-disk/repository")
                                                  << Password << QString() << KOffsiteProblem::Unreachable;
    QTest::newRow("a folder without a repository")
        << QStringLiteral("data") << Password << QString() << KOffsiteProblem::NotARepository;
    QTest::newRow("no restic program")
        << QString() << Password << QStringLiteral("/nonexistent/restic") << KOffsiteProblem::NotInstalled;
}

void tst_Offsite::problemsAreNamedAndNothingWaitsForThem()
{
    QFETCH(QString, repository);
    QFETCH(QByteArray, password);
    QFETCH(QString, program);
    QFETCH(KOffsiteProblem, problem);
    const auto w = makeWorkspace(2, 1024);
    QVERIFY(w);
    if (repository == QLatin1String("data"))
        repository = w->env.path(QStringLiteral("data"));
    KOffsiteSettings settings;
    settings.enabled = true;
    settings.repository = repository.isEmpty() ? w->repository : repository;
    if (!program.isEmpty())
        settings.program = program;

    QSignalSpy tested(w->backup.get(), &KOffsiteBackup::connectionTested);
    w->backup->setSettings(settings);
    w->backup->testConnection(settings.repository, password, false);
    QTRY_COMPARE_WITH_TIMEOUT(tested.size(), 1, RunTimeoutMs);
    QCOMPARE(tested.at(0).at(0).value<KOffsiteProblem>(), problem);

    // The upload fails with the same problem and waits for its next turn; its caller never waits.
    w->backup->setPassword(password);
    if (problem == KOffsiteProblem::NotInstalled) {
        QCOMPARE(w->backup->status().state, KOffsiteStatus::State::NotInstalled);
        return;
    }
    QElapsedTimer timer;
    timer.start();
    w->backup->onVersionsMade();
    QVERIFY(timer.elapsed() < 100);
    QVERIFY(waitIdle(*w->backup));
    QCOMPARE(w->backup->status().lastProblem, problem);
    QCOMPARE(w->backup->status().nextBackupMSecs,
        w->env.platform()->currentMSecsSinceEpoch() + settings.intervalMinutes * 60000LL);
}

void tst_Offsite::thePasswordReachesNoCommandLineEnvironmentOrFile()
{
    const auto w = makeWorkspace(8, 4 * 1024 * 1024);
    QVERIFY(w);
    start(*w);
    w->backup->onVersionsMade();
    QSet<int> seen;
    // Every child: what it was given, and its priority.
    auto look = [&] {
        for (int pid : childProcesses()) {
            for (const char* file : { "cmdline", "environ" }) {
                if (KTestEnvironment::contentOf(
                        QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)))
                        .contains(Password))
                    return QStringLiteral("the password is in the %1 of %2")
                        .arg(QLatin1String(file))
                        .arg(pid);
            }
            // Idle priority: nice 10, and the idle I/O class, of a child that is restic from
            // before to after the look.
            const QString statFile = QStringLiteral("/proc/%1/stat").arg(pid);
            const QByteArray before = KTestEnvironment::contentOf(statFile);
            errno = 0;
            const int nice = ::getpriority(PRIO_PROCESS, id_t(pid));
            const long ioClass = ::syscall(SYS_ioprio_get, 1, pid) >> 13;
            const QByteArray after = KTestEnvironment::contentOf(statFile);
            if (errno != 0 || !before.contains("(restic) ") || !after.contains("(restic) ")
                || after.contains(") Z "))
                continue;
            if (nice != 10 || ioClass != 3)
                return QStringLiteral("restic %1 runs above idle priority").arg(pid);
            seen << pid;
        }
        return QString();
    };
    while (w->backup->isBusy()) {
        const QString problem = look();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QVERIFY(!seen.isEmpty());
    QCOMPARE(w->backup->status().lastProblem, KOffsiteProblem::None);
    QSignalSpy fetched(w->backup.get(), &KOffsiteBackup::versionFetched);
    w->backup->fetchVersion(QDir(w->host.folder).entryList(QDir::Files).first(), -1, 0, false);
    while (fetched.isEmpty()) {
        const QString problem = look();
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QCOMPARE(fetched.at(0).at(2).value<KOffsiteProblem>(), KOffsiteProblem::None);

    // Quitting stops a running upload at once, and leaves it waiting for the next start.
    addVersion(*w, 4 * 1024 * 1024);
    w->backup->backUpNow();
    QTRY_VERIFY_WITH_TIMEOUT(!w->backup->runningProcessIds().isEmpty(), RunTimeoutMs);
    const int pid = int(w->backup->runningProcessIds().first());
    w->backup->shutdown();
    QVERIFY(!w->backup->isBusy());
    QVERIFY(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)));
    QVERIFY(w->backup->status().nextBackupMSecs > 0);

    QDirIterator files(w->env.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    int read = 0;
    while (files.hasNext()) {
        const QString file = files.next();
        QVERIFY2(!KTestEnvironment::contentOf(file).contains(Password), qPrintable(file));
        ++read;
    }
    // The versions, the database, the schedule and the repository at least.
    QVERIFY2(read > 15, qPrintable(QString::number(read)));
}

QTEST_GUILESS_MAIN(tst_Offsite)
#include "tst_offsite.moc"
