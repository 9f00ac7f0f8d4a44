#include "service/koffsiteservice.h"

#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kcopysums.h"
#include "core/kfileobjectmgr.h"
#include "offsite/koffsitebackup.h"
#include "offsite/koffsitehost.h"
#include "offsite/koffsitesecret.h"
#include "platform/kpaths.h"
#include "platform/kplatform.h"
#include "service/kfileservicemanager.h"

#include <QFileInfo>
#include <QThread>

#include <future>
#include <mutex>

namespace {

// What the copy off this machine sees of the engine: the backup folder, the database and its sums.
class KEngineOffsiteHost final : public KOffsiteHost
{
public:
    KEngineOffsiteHost(KFileServiceManager* engine, KConfig* config)
        : m_engine(engine)
        , m_config(config)
    { }

    QString backupFolder() const override
    {
        return KCommon::joinPath(
            m_config->backUpPath(), KCommon::backupFolderName() + KPaths::nativeSeparator());
    }

    QStringList databaseFiles() const override
    {
        const QString database = m_engine->databasePath();
        return { database, KCopySums::pathBeside(database) };
    }

    SumLookup recordedSums(const QString& databaseFile) const override
    {
        const KCopySums sums = KCopySums::read(KCopySums::pathBeside(databaseFile));
        return [sums](const QString& fileId) {
            return sums.sumOf(KVersionId(fileId));
        };
    }

    bool importDatabase(const QString& databaseFile) override
    {
        return m_engine->importDatabase(databaseFile);
    }

private:
    KFileServiceManager* const m_engine;
    KConfig* const m_config;
};

} // namespace

namespace {

// Qt's event queue hands a function to another thread under a lock ThreadSanitizer cannot see (Qt
// is not built with it). This one it sees: the function is made under it, and its first act on
// the other thread is to take it.
std::mutex g_handOver;

template<typename Function> void post(QObject* to, Function&& function)
{
    const std::lock_guard<std::mutex> made(g_handOver);
    QMetaObject::invokeMethod(
        to,
        [function = std::forward<Function>(function)]() mutable {
            {
                const std::lock_guard<std::mutex> taken(g_handOver);
            }
            function();
        },
        Qt::QueuedConnection);
}

} // namespace

KOffsiteService::KOffsiteService(KFileServiceManager* engine, KConfig* config, KPlatform* platform,
    KOffsiteSecret* secret, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_config(config)
    , m_platform(platform)
    , m_host(std::make_unique<KEngineOffsiteHost>(engine, config))
    , m_secret(secret)
{
    connect(m_secret.get(), &KOffsiteSecret::passwordRead, this, &KOffsiteService::onPasswordRead);
    connect(
        m_secret.get(), &KOffsiteSecret::keyringUnavailable, this, &KOffsiteService::onKeyringUnavailable);
    // From the scanner's thread, queued here.
    connect(engine, &KFileServiceManager::sigBackupFinished, this, [this](qlonglong, int copied, int) {
        if (copied > 0)
            onVersionsMade();
    });
    connect(engine, &KFileServiceManager::sigVersionAdded, this, &KOffsiteService::onVersionsMade);
}

KOffsiteService::~KOffsiteService()
{
    shutdown();
    m_password.fill('\0');
}

KOffsiteService* KOffsiteService::instance()
{
    static KOffsiteService service(
        KFileServiceManager::instance(), KConfig::instance(), KPlatform::instance(), new KOffsiteSecret);
    return &service;
}

KOffsiteSettings KOffsiteService::settings() const
{
    KOffsiteSettings settings;
    settings.enabled = m_config->offsiteEnabled();
    settings.repository = m_config->offsiteRepository();
    if (m_config->offsiteKeepDays() > 0)
        settings.keepDays = m_config->offsiteKeepDays();
    if (m_config->offsiteIntervalMinutes() > 0)
        settings.intervalMinutes = m_config->offsiteIntervalMinutes();
    return settings;
}

void KOffsiteService::start()
{
    if (m_thread)
        return;
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("offsite"));
    m_context = new QObject;
    m_context->moveToThread(m_thread);
    m_secret->moveToThread(m_thread);
    m_thread->start(QThread::LowPriority);
    const KOffsiteSettings settings = this->settings();
    const QByteArray known = m_password;
    post(m_context, [this, settings, known] {
        const QString stateFile = KCommon::joinPath(
            QFileInfo(m_engine->databasePath()).absolutePath(), QStringLiteral("Offsite.ini"));
        m_backup = new KOffsiteBackup(m_host.get(), m_platform, stateFile, m_context);
        // Handed to the GUI thread in lambdas, not as queued arguments: Qt's type registry would
        // keep this library's copy functions after a host unloads it, and call them after the
        // next load.
        connect(
            m_backup, &KOffsiteBackup::statusChanged, m_context,
            [this](const KOffsiteStatus& status) { post(this, [this, status] { onStatusChanged(status); }); },
            Qt::DirectConnection);
        connect(
            m_backup, &KOffsiteBackup::connectionTested, m_context,
            [this](KOffsiteProblem problem, bool initialised) {
                QMetaObject::invokeMethod(
                    this, [this, problem, initialised] { emit connectionTested(problem, initialised); });
            },
            Qt::DirectConnection);
        connect(m_backup, &KOffsiteBackup::versionFetched, m_context,
            [this](const QString& fileId, const QString& path, KOffsiteProblem problem) {
                placeFetched(fileId, path, problem);
            });
        connect(
            m_backup, &KOffsiteBackup::allRestored, m_context,
            [this](const KOffsiteRestoreResult& result) {
                const KOffsiteProblem problem = result.problem;
                const int restored = result.restored;
                const int kept = result.kept;
                post(this, [this, problem, restored, kept] {
                    if (problem == KOffsiteProblem::None)
                        m_engine->onUpdate();
                    emit allRestored(problem, restored, kept);
                });
            },
            Qt::DirectConnection);
        m_backup->setSettings(settings);
        if (!known.isEmpty())
            m_backup->setPassword(known);
        m_secret->read();
    });
}

void KOffsiteService::shutdown()
{
    if (!m_thread)
        return;
    QThread* home = thread();
    // Waited for through the standard library, whose hand-over the race detector sees, unlike
    // Qt's own.
    std::promise<void> stopped;
    post(m_context, [this, home, &stopped] {
        delete m_backup; // stops its runs
        m_backup = nullptr;
        m_fetches.clear();
        m_secret->moveToThread(home);
        stopped.set_value();
    });
    stopped.get_future().wait();
    m_thread->quit();
    m_thread->wait();
    delete m_context;
    m_context = nullptr;
    delete m_thread;
    m_thread = nullptr;
}

bool KOffsiteService::apply(const KOffsiteSettings& settings, const QByteArray& password)
{
    const bool stored = m_config->setOffsite(
        settings.enabled, settings.repository, settings.keepDays, settings.intervalMinutes);
    if (!password.isEmpty()) {
        m_password = password;
        KOffsiteSecret* secret = m_secret.get();
        post(secret, [secret, password] { secret->write(password); });
        onWorker([password](KOffsiteBackup* backup) { backup->setPassword(password); });
    }
    onWorker([settings](KOffsiteBackup* backup) { backup->setSettings(settings); });
    return stored;
}

void KOffsiteService::testConnection(
    const KOffsiteSettings& settings, const QByteArray& password, bool initialise)
{
    const QByteArray tried = password.isEmpty() ? m_password : password;
    onWorker([settings, tried, initialise](
                 KOffsiteBackup* backup) { backup->testConnection(settings.repository, tried, initialise); });
}

void KOffsiteService::backUpNow()
{
    onWorker([](KOffsiteBackup* backup) { backup->backUpNow(); });
}

bool KOffsiteService::canFetch() const
{
    // Asked by every version row whose copy is gone; each setting read looks at the settings file.
    return m_config->offsiteEnabled() && !m_config->offsiteRepository().isEmpty();
}

void KOffsiteService::fetchVersion(const QString& fileId, const KContentSum& sum, const QString& target)
{
    if (!m_context) {
        QMetaObject::invokeMethod(
            this, [this, fileId] { emit versionFetched(fileId, KOffsiteProblem::Stopped); },
            Qt::QueuedConnection);
        return;
    }
    post(m_context, [this, fileId, sum, target] {
        if (!m_backup)
            return;
        m_fetches.insert(fileId, { sum, target });
        m_backup->fetchVersion(fileId, sum.size, sum.hash, sum.hasHash);
    });
}

bool KOffsiteService::holdsVersions() const
{
    for (int t = 0; t < KFileServiceManager::KindCount; ++t) {
        if (m_engine->collection(t) && m_engine->collection(t)->count() > 0)
            return true;
    }
    return false;
}

void KOffsiteService::restoreAll(const KOffsiteSettings& settings, const QByteArray& password)
{
    if (!m_context) {
        QMetaObject::invokeMethod(
            this, [this] { emit allRestored(KOffsiteProblem::Stopped, 0, 0); }, Qt::QueuedConnection);
        return;
    }
    const QByteArray given = password.isEmpty() ? m_password : password;
    onWorker(
        [settings, given](KOffsiteBackup* backup) { backup->restoreAll(false, settings.repository, given); });
}

void KOffsiteService::placeFetched(const QString& fileId, const QString& path, KOffsiteProblem problem)
{
    const Fetch fetch = m_fetches.take(fileId);
    if (problem == KOffsiteProblem::None) {
        const KReplaceResult placed
            = !fetch.target.isEmpty() && KFileIO::makeFolder(QFileInfo(fetch.target).absolutePath())
            ? KFileIO::replaceFile(path, fetch.target, -1, fetch.sum)
            : KReplaceResult::Failed;
        m_backup->releaseFetched(fileId);
        if (placed != KReplaceResult::Replaced) {
            qCWarning(vkOffsite) << "a version fetched could not be put back:" << fetch.target;
            problem = placed == KReplaceResult::SourceDamaged ? KOffsiteProblem::Damaged
                                                              : KOffsiteProblem::Failed;
        }
    }
    post(this, [this, fileId, problem] {
        if (problem == KOffsiteProblem::None)
            m_engine->markCopyRepaired(fileId);
        emit versionFetched(fileId, problem);
    });
}

void KOffsiteService::onStatusChanged(const KOffsiteStatus& status)
{
    m_status = status;
    emit statusChanged(status);
}

void KOffsiteService::onPasswordRead(const QByteArray& password)
{
    if (password.isEmpty())
        return;
    m_password = password;
    onWorker([password](KOffsiteBackup* backup) { backup->setPassword(password); });
}

void KOffsiteService::onKeyringUnavailable()
{
    m_keyringAvailable = false;
    emit keyringUnavailable();
}

void KOffsiteService::onVersionsMade()
{
    onWorker([](KOffsiteBackup* backup) { backup->onVersionsMade(); });
}

void KOffsiteService::onWorker(const std::function<void(KOffsiteBackup*)>& work)
{
    if (!m_context)
        return;
    post(m_context, [this, work] {
        if (m_backup)
            work(m_backup);
    });
}
