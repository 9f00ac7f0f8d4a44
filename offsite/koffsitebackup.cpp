#include "offsite/koffsitebackup.h"

#include "offsite/koffsitehost.h"
#include "platform/kfileio.h"
#include "platform/kfileops.h"
#include "platform/kinistore.h"
#include "platform/kplatform.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <algorithm>
#include <xxhash.h>

Q_LOGGING_CATEGORY(vkOffsite, "vaultkeep.offsite")

const QString KOffsiteBackup::Tag = QStringLiteral("vaultkeep");

namespace {

constexpr int TimerMSecs = 60 * 1000;

const QString RepositoryKey = QStringLiteral("Repository");
const QString PendingKey = QStringLiteral("Pending");
const QString LastBackupKey = QStringLiteral("LastBackup");
const QString LastAddedKey = QStringLiteral("LastAdded");
const QString LastAttemptKey = QStringLiteral("LastAttempt");
const QString LastForgetKey = QStringLiteral("LastForget");
const QString LastCheckKey = QStringLiteral("LastCheck");
const QString CheckFailedKey = QStringLiteral("CheckFailed");

QString withoutTrailingSlash(QString path)
{
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

// restic's times, "2026-12-07T00:00:32.667268851Z" or with an offset, to the nanosecond.
qint64 nanosecondsOf(const QString& text)
{
    const int dot = text.indexOf(QLatin1Char('.'), 19);
    QString whole = text;
    qint64 fraction = 0;
    if (dot == 19) {
        int end = dot + 1;
        while (end < text.size() && text.at(end).isDigit())
            ++end;
        QString digits = text.mid(dot + 1, end - dot - 1).left(9);
        while (digits.size() < 9)
            digits += QLatin1Char('0');
        fraction = digits.toLongLong();
        whole = text.left(dot) + text.mid(end);
    }
    const QDateTime time = QDateTime::fromString(whole, Qt::ISODate);
    if (!time.isValid())
        return -1;
    return time.toSecsSinceEpoch() * 1000000000LL + fraction;
}

QJsonArray jsonArrayOf(const QByteArray& text)
{
    return QJsonDocument::fromJson(text.trimmed()).array();
}

} // namespace

KOffsiteHost::~KOffsiteHost() = default;

QString offsiteProblemText(KOffsiteProblem problem)
{
    switch (problem) {
    case KOffsiteProblem::None:
        return QString();
    case KOffsiteProblem::NotInstalled:
        return QCoreApplication::translate(
            "KOffsiteBackup", "未安装 restic，请先安装：sudo apt install restic");
    case KOffsiteProblem::NoPassword:
        return QCoreApplication::translate("KOffsiteBackup", "需要输入异地备份密码");
    case KOffsiteProblem::Unreachable:
        return QCoreApplication::translate("KOffsiteBackup", "无法连接异地备份位置，稍后自动重试");
    case KOffsiteProblem::WrongPassword:
        return QCoreApplication::translate("KOffsiteBackup", "异地备份密码不正确，请在设置中重新输入");
    case KOffsiteProblem::NotARepository:
        return QCoreApplication::translate("KOffsiteBackup", "该位置还不是备份仓库");
    case KOffsiteProblem::Busy:
        return QCoreApplication::translate("KOffsiteBackup", "异地备份仓库正被占用，稍后自动重试");
    case KOffsiteProblem::Stopped:
        return QCoreApplication::translate("KOffsiteBackup", "异地备份已中断，稍后自动继续");
    case KOffsiteProblem::Damaged:
        return QCoreApplication::translate("KOffsiteBackup", "异地备份校验未通过，请检查备份位置");
    case KOffsiteProblem::NotFound:
        return QCoreApplication::translate("KOffsiteBackup", "异地备份中没有这个版本");
    case KOffsiteProblem::Failed:
        return QCoreApplication::translate("KOffsiteBackup", "异地备份失败，稍后自动重试");
    }
    return QString();
}

struct KOffsiteBackup::Fetch
{
    QString fileId;
    qint64 size = -1;
    quint64 hash = 0;
    bool hashKnown = false;
    QList<Candidate> candidates;
    std::shared_ptr<QTemporaryDir> folder;
    QString path;
};

struct KOffsiteBackup::WholeRestore
{
    bool replaceDiffering = false;
    QStringList paths; // of the snapshot
    std::unique_ptr<QTemporaryDir> staging;
    KOffsiteRestoreResult result;
};

KOffsiteBackup::KOffsiteBackup(
    KOffsiteHost* host, KPlatform* platform, const QString& stateFile, QObject* parent)
    : QObject(parent)
    , m_host(host)
    , m_platform(platform)
    , m_stateFile(stateFile)
    , m_timer(this)
{
    m_timer.setInterval(TimerMSecs);
    connect(&m_timer, &QTimer::timeout, this, &KOffsiteBackup::runDue);
    loadState();
}

KOffsiteBackup::~KOffsiteBackup()
{
    shutdown(StopGraceMSecs);
    m_password.fill('\0');
}

bool KOffsiteBackup::isBusy() const
{
    if (m_maintenance)
        return true;
    return std::any_of(
        m_user.begin(), m_user.end(), [](const QPointer<KResticCommand>& c) { return !c.isNull(); });
}

QList<qint64> KOffsiteBackup::runningProcessIds() const
{
    QList<qint64> ids;
    if (m_maintenance && m_maintenance->processId() > 0)
        ids << m_maintenance->processId();
    for (const QPointer<KResticCommand>& command : m_user) {
        if (command && command->processId() > 0)
            ids << command->processId();
    }
    return ids;
}

qint64 KOffsiteBackup::now() const
{
    return m_platform->currentMSecsSinceEpoch();
}

KResticCommand::Setup KOffsiteBackup::setup() const
{
    return { m_settings.program, m_settings.repository, m_password };
}

bool KOffsiteBackup::canRun() const
{
    return m_status.state == KOffsiteStatus::State::Idle || m_status.state == KOffsiteStatus::State::Running;
}

void KOffsiteBackup::setSettings(const KOffsiteSettings& settings)
{
    m_settings = settings;
    if (m_settings.intervalMinutes < 1)
        m_settings.intervalMinutes = KOffsiteSettings::DefaultIntervalMinutes;
    if (m_settings.keepDays < 1)
        m_settings.keepDays = KOffsiteSettings::DefaultKeepDays;
    if (!m_settings.repository.isEmpty() && m_settings.repository != m_stateRepository) {
        // Another repository: everything goes up to it, on a schedule of its own.
        m_stateRepository = m_settings.repository;
        m_pending = true;
        m_lastAttempt = m_lastForget = m_lastForgetAttempt = m_lastCheck = m_lastCheckAttempt = -1;
        m_status.lastBackupMSecs = -1;
        m_status.lastAddedBytes = 0;
        m_status.lastProblem = KOffsiteProblem::None;
        m_status.checkFailed = false;
        saveState();
    }
    if (!m_timer.isActive())
        m_timer.start();
    updateState();
    runSoon();
}

void KOffsiteBackup::setPassword(const QByteArray& password)
{
    m_password.fill('\0');
    m_password = password;
    updateState();
    runSoon();
}

void KOffsiteBackup::onVersionsMade()
{
    ++m_versionsMade;
    if (!m_pending) {
        m_pending = true;
        saveState();
    }
    updateState();
    runDue();
}

void KOffsiteBackup::updateState()
{
    using State = KOffsiteStatus::State;
    State state = State::Idle;
    if (!m_settings.enabled || m_settings.repository.isEmpty())
        state = State::Off;
    else if (KResticCommand::findProgram(m_settings.program).isEmpty())
        state = State::NotInstalled;
    else if (m_password.isEmpty())
        state = State::NeedsPassword;
    else if (m_maintenance)
        state = State::Running;
    m_status.state = state;
    if (!m_pending || state == State::Off)
        m_status.nextBackupMSecs = -1;
    else
        m_status.nextBackupMSecs
            = std::max(m_lastAttempt < 0 ? 0 : m_lastAttempt + m_settings.intervalMinutes * 60000LL, now());
    if (!m_maintenance)
        m_status.progressPercent = -1;
    publish();
}

void KOffsiteBackup::publish()
{
    emit statusChanged(m_status);
}

void KOffsiteBackup::runSoon()
{
    if (m_runQueued)
        return;
    m_runQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_runQueued = false;
            runDue();
        },
        Qt::QueuedConnection);
}

void KOffsiteBackup::runDue()
{
    if (m_shuttingDown || m_maintenance)
        return;
    updateState();
    if (!canRun())
        return;
    const qint64 t = now();
    const qint64 interval = m_settings.intervalMinutes * 60000LL;
    if (m_pending && (m_lastAttempt < 0 || t - m_lastAttempt >= interval)) {
        startBackup();
        return;
    }
    if (m_status.lastBackupMSecs < 0)
        return;
    if (t - m_lastForget >= ForgetPeriodMSecs
        && (m_lastForgetAttempt < 0 || t - m_lastForgetAttempt >= interval)) {
        startForget();
        return;
    }
    if (t - m_lastCheck >= CheckPeriodMSecs && (m_lastCheckAttempt < 0 || t - m_lastCheckAttempt >= interval))
        startCheck();
}

void KOffsiteBackup::backUpNow()
{
    m_pending = true;
    m_lastAttempt = -1;
    runDue();
}

KResticCommand* KOffsiteBackup::run(Lane lane, const QStringList& arguments, const LineHandler& onLine,
    const DoneHandler& onDone, const KResticCommand::Setup* givenSetup)
{
    auto* command = new KResticCommand(givenSetup ? *givenSetup : setup(), this);
    if (lane == Lane::Maintenance)
        m_maintenance = command;
    else
        m_user << command;
    if (onLine)
        connect(command, &KResticCommand::lineRead, this, onLine);
    connect(command, &KResticCommand::finished, this, [this, command, onDone](const KResticOutcome& outcome) {
        command->deleteLater();
        m_user.removeAll(command);
        if (m_maintenance == command)
            m_maintenance = nullptr;
        if (onDone)
            onDone(outcome);
    });
    command->start(arguments);
    return command;
}

void KOffsiteBackup::startBackup()
{
    QStringList arguments { QStringLiteral("backup"), QStringLiteral("--json"), QStringLiteral("--tag"),
        Tag };
    const QString folder = withoutTrailingSlash(m_host->backupFolder());
    // Without a copy there is nothing to keep off this machine; a snapshot of it would only become
    // the newest one, which a new machine restores everything from.
    if (QDir(folder).isEmpty(QDir::Files))
        return;
    arguments << folder;
    for (const QString& file : m_host->databaseFiles()) {
        if (QFileInfo(file).isFile())
            arguments << file;
    }
    m_lastAttempt = now();
    m_uploadTotalBytes = 0;
    const quint64 versionsAtStart = m_versionsMade;
    saveState();
    run(
        Lane::Maintenance, arguments, [this](const QByteArray& line) { backupLine(line); },
        [this, versionsAtStart](const KResticOutcome& outcome) { backupDone(outcome, versionsAtStart); });
    m_status.progressPercent = 0;
    updateState();
}

void KOffsiteBackup::backupLine(const QByteArray& line)
{
    const QJsonObject message = QJsonDocument::fromJson(line).object();
    const QString type = message.value(QStringLiteral("message_type")).toString();
    if (type == QLatin1String("status")) {
        const int percent
            = qBound(0, int(message.value(QStringLiteral("percent_done")).toDouble() * 100), 100);
        if (percent != m_status.progressPercent) {
            m_status.progressPercent = percent;
            publish();
        }
    } else if (type == QLatin1String("summary")) {
        m_status.lastAddedBytes = qint64(message.value(QStringLiteral("data_added")).toDouble());
    }
}

void KOffsiteBackup::backupDone(const KResticOutcome& outcome, quint64 versionsAtStart)
{
    if (outcome.ok()) {
        const qint64 t = now();
        m_status.lastBackupMSecs = t;
        m_pending = m_versionsMade != versionsAtStart;
        // The first upload starts the clean-up's and the check's periods.
        if (m_lastForget < 0)
            m_lastForget = t;
        if (m_lastCheck < 0)
            m_lastCheck = t;
    }
    if (outcome.problem != KOffsiteProblem::Stopped)
        m_status.lastProblem = outcome.problem;
    saveState();
    updateState();
    if (!m_shuttingDown)
        runSoon();
}

void KOffsiteBackup::startForget()
{
    m_lastForgetAttempt = now();
    // A run killed before leaves its lock behind; `unlock` removes only such stale locks.
    run(Lane::Maintenance, { QStringLiteral("unlock") }, {}, [this](const KResticOutcome&) {
        if (m_shuttingDown)
            return;
        const QStringList arguments { QStringLiteral("forget"), QStringLiteral("--tag"), Tag,
            QStringLiteral("--keep-within"), QStringLiteral("%1d").arg(m_settings.keepDays),
            QStringLiteral("--prune") };
        run(Lane::Maintenance, arguments, {}, [this](const KResticOutcome& outcome) {
            if (outcome.ok())
                m_lastForget = now();
            saveState();
            updateState();
            if (!m_shuttingDown)
                runSoon();
        });
        updateState();
    });
    updateState();
}

void KOffsiteBackup::startCheck()
{
    m_lastCheckAttempt = now();
    run(Lane::Maintenance, { QStringLiteral("unlock") }, {}, [this](const KResticOutcome&) {
        if (m_shuttingDown)
            return;
        run(Lane::Maintenance, { QStringLiteral("check") }, {}, [this](const KResticOutcome& outcome) {
            // Only a check that ran says anything about the repository.
            if (outcome.ok() || outcome.problem == KOffsiteProblem::Failed) {
                m_lastCheck = now();
                m_status.checkFailed = !outcome.ok();
            }
            saveState();
            updateState();
            if (!m_shuttingDown)
                runSoon();
        });
        updateState();
    });
    updateState();
}

void KOffsiteBackup::testConnection(const QString& repository, const QByteArray& password, bool initialise)
{
    const KResticCommand::Setup given { m_settings.program, repository, password };
    run(
        Lane::User, { QStringLiteral("cat"), QStringLiteral("config") }, {},
        [this, given, initialise](const KResticOutcome& outcome) {
            if (outcome.problem != KOffsiteProblem::NotARepository || !initialise) {
                emit connectionTested(outcome.problem, false);
                return;
            }
            run(
                Lane::User, { QStringLiteral("init") }, {},
                [this](const KResticOutcome& made) { emit connectionTested(made.problem, made.ok()); },
                &given);
        },
        &given);
}

void KOffsiteBackup::fetchVersion(
    const QString& fileId, qint64 expectedSize, quint64 expectedHash, bool hashKnown)
{
    auto fetch = std::make_shared<Fetch>();
    fetch->fileId = fileId;
    fetch->size = expectedSize;
    fetch->hash = expectedHash;
    fetch->hashKnown = hashKnown;
    if (fileId.isEmpty() || fileId.contains(QLatin1Char('/'))) {
        emit versionFetched(fileId, QString(), KOffsiteProblem::Failed);
        return;
    }
    auto snapshots = std::make_shared<QByteArray>();
    run(
        Lane::User, { QStringLiteral("snapshots"), QStringLiteral("--json"), QStringLiteral("--tag"), Tag },
        [snapshots](const QByteArray& line) { *snapshots += line; },
        [this, fetch, snapshots](const KResticOutcome& listed) {
            if (!listed.ok()) {
                finishFetch(fetch, listed.problem);
                return;
            }
            QHash<QString, QString> times;
            for (const QJsonValue& snapshot : jsonArrayOf(*snapshots)) {
                const QJsonObject object = snapshot.toObject();
                times.insert(object.value(QStringLiteral("id")).toString(),
                    object.value(QStringLiteral("time")).toString());
            }
            auto found = std::make_shared<QByteArray>();
            run(
                Lane::User,
                { QStringLiteral("find"), QStringLiteral("--json"), QStringLiteral("--tag"), Tag,
                    fetch->fileId },
                [found](const QByteArray& line) { *found += line; },
                [this, fetch, found, times](const KResticOutcome& searched) {
                    if (!searched.ok()) {
                        finishFetch(fetch, searched.problem);
                        return;
                    }
                    for (const QJsonValue& hit : jsonArrayOf(*found)) {
                        const QJsonObject object = hit.toObject();
                        const QString snapshot = object.value(QStringLiteral("snapshot")).toString();
                        for (const QJsonValue& match : object.value(QStringLiteral("matches")).toArray()) {
                            const QJsonObject file = match.toObject();
                            const QString path = file.value(QStringLiteral("path")).toString();
                            if (file.value(QStringLiteral("type")).toString() != QLatin1String("file")
                                || QFileInfo(path).fileName() != fetch->fileId)
                                continue;
                            fetch->candidates << Candidate { snapshot, path,
                                nanosecondsOf(file.value(QStringLiteral("mtime")).toString()),
                                times.value(snapshot) };
                        }
                    }
                    // Newest snapshot first: ISO times of one zone sort as texts, and restic
                    // writes them all in the zone of the machine that made them.
                    std::stable_sort(fetch->candidates.begin(), fetch->candidates.end(),
                        [](const Candidate& a, const Candidate& b) {
                            return nanosecondsOf(a.time) > nanosecondsOf(b.time);
                        });
                    const QString temp = m_platform->tempFolder();
                    if (QDir().mkpath(temp))
                        fetch->folder = std::make_shared<QTemporaryDir>(
                            temp + QStringLiteral("/vaultkeep-offsite-XXXXXX"));
                    if (!fetch->folder || !fetch->folder->isValid()) {
                        finishFetch(fetch, KOffsiteProblem::Failed);
                        return;
                    }
                    fetchNext(fetch);
                });
        });
}

void KOffsiteBackup::fetchNext(const std::shared_ptr<Fetch>& fetch)
{
    if (fetch->candidates.isEmpty()) {
        finishFetch(fetch, fetch->path.isEmpty() ? KOffsiteProblem::NotFound : KOffsiteProblem::Damaged);
        return;
    }
    const Candidate candidate = fetch->candidates.takeFirst();
    fetch->path = fetch->folder->filePath(fetch->fileId);
    QFile::remove(fetch->path);
    auto fd = std::make_shared<KFd>(KFileIO::createNew(fetch->path, 0600));
    if (!fd->isValid()) {
        finishFetch(fetch, KOffsiteProblem::Failed);
        return;
    }
    struct Sum
    {
        XXH3_state_t* state = XXH3_createState();
        qint64 size = 0;
        bool writeFailed = false;
        ~Sum() { XXH3_freeState(state); }
    };
    auto sum = std::make_shared<Sum>();
    if (!sum->state || XXH3_64bits_reset(sum->state) != XXH_OK) {
        finishFetch(fetch, KOffsiteProblem::Failed);
        return;
    }
    auto* command = new KResticCommand(setup(), this);
    m_user << command;
    command->setOutputSink([fd, sum](const char* data, qint64 size) {
        XXH3_64bits_update(sum->state, data, size_t(size));
        sum->size += size;
        if (!KFileIO::writeAll(fd->get(), data, size))
            sum->writeFailed = true;
        return !sum->writeFailed;
    });
    connect(command, &KResticCommand::finished, this,
        [this, command, fetch, fd, sum, candidate](const KResticOutcome& outcome) {
            command->deleteLater();
            m_user.removeAll(command);
            if (!outcome.ok() || sum->writeFailed) {
                if (outcome.problem == KOffsiteProblem::Failed && !fetch->candidates.isEmpty()
                    && !sum->writeFailed) {
                    fetchNext(fetch);
                    return;
                }
                finishFetch(fetch, sum->writeFailed ? KOffsiteProblem::Failed : outcome.problem);
                return;
            }
            const bool whole = (fetch->size < 0 || sum->size == fetch->size)
                && (!fetch->hashKnown || XXH3_64bits_digest(sum->state) == fetch->hash);
            if (!whole) {
                qCWarning(vkOffsite) << "the copy of" << fetch->fileId << "in snapshot" << candidate.snapshot
                                     << "does not match its sum";
                fetchNext(fetch);
                return;
            }
            if (candidate.modifiedNs > 0 && !KFileIO::setModified(fd->get(), candidate.modifiedNs)) {
                finishFetch(fetch, KOffsiteProblem::Failed);
                return;
            }
            if (!fd->close()) {
                finishFetch(fetch, KOffsiteProblem::Failed);
                return;
            }
            m_fetched.insert(fetch->fileId, fetch->folder);
            emit versionFetched(fetch->fileId, fetch->path, KOffsiteProblem::None);
        });
    command->start({ QStringLiteral("dump"), candidate.snapshot, candidate.path });
}

void KOffsiteBackup::finishFetch(const std::shared_ptr<Fetch>& fetch, KOffsiteProblem problem)
{
    if (problem == KOffsiteProblem::None)
        problem = KOffsiteProblem::Failed;
    fetch->folder.reset();
    emit versionFetched(fetch->fileId, QString(), problem);
}

void KOffsiteBackup::releaseFetched(const QString& fileId)
{
    m_fetched.remove(fileId);
}

void KOffsiteBackup::restoreAll(bool replaceDiffering, const QString& repository, const QByteArray& password)
{
    auto restore = std::make_shared<WholeRestore>();
    restore->replaceDiffering = replaceDiffering;
    const KResticCommand::Setup given { m_settings.program,
        repository.isEmpty() ? m_settings.repository : repository,
        password.isEmpty() ? m_password : password };
    if (m_maintenance || given.repository.isEmpty() || given.password.isEmpty()) {
        restore->result.problem = m_maintenance ? KOffsiteProblem::Busy : KOffsiteProblem::NoPassword;
        emit allRestored(restore->result);
        return;
    }
    auto snapshots = std::make_shared<QByteArray>();
    run(
        Lane::Maintenance,
        { QStringLiteral("snapshots"), QStringLiteral("--json"), QStringLiteral("--tag"), Tag },
        [snapshots](const QByteArray& line) { *snapshots += line; },
        [this, restore, snapshots, given](const KResticOutcome& listed) {
            if (!listed.ok()) {
                restore->result.problem = listed.problem;
                emit allRestored(restore->result);
                updateState();
                return;
            }
            QString newest;
            qint64 newestTime = -1;
            for (const QJsonValue& snapshot : jsonArrayOf(*snapshots)) {
                const QJsonObject object = snapshot.toObject();
                const qint64 time = nanosecondsOf(object.value(QStringLiteral("time")).toString());
                if (time > newestTime) {
                    newestTime = time;
                    newest = object.value(QStringLiteral("id")).toString();
                    restore->paths.clear();
                    for (const QJsonValue& path : object.value(QStringLiteral("paths")).toArray())
                        restore->paths << path.toString();
                }
            }
            const QString folder = withoutTrailingSlash(m_host->backupFolder());
            // A private folder beside the backup folder, on its disk.
            if (newest.isEmpty() || !KFileIO::makeFolder(folder)) {
                restore->result.problem = KOffsiteProblem::Failed;
                emit allRestored(restore->result);
                updateState();
                return;
            }
            restore->staging = std::make_unique<QTemporaryDir>(
                QFileInfo(folder).absolutePath() + QStringLiteral("/.vaultkeep-offsite-restore-XXXXXX"));
            if (!restore->staging->isValid()) {
                restore->result.problem = KOffsiteProblem::Failed;
                emit allRestored(restore->result);
                updateState();
                return;
            }
            run(
                Lane::Maintenance,
                { QStringLiteral("restore"), newest, QStringLiteral("--target"), restore->staging->path() },
                {},
                [this, restore](const KResticOutcome& restored) {
                    restore->result.problem = restored.problem;
                    if (restored.ok())
                        placeRestored(restore);
                    restore->staging.reset();
                    emit allRestored(restore->result);
                    updateState();
                },
                &given);
            updateState();
        },
        &given);
    updateState();
}

void KOffsiteBackup::placeRestored(const std::shared_ptr<WholeRestore>& restore)
{
    const QString folder = withoutTrailingSlash(m_host->backupFolder());
    const QStringList databaseFiles = m_host->databaseFiles();
    const QString databaseName
        = databaseFiles.isEmpty() ? QString() : QFileInfo(databaseFiles.first()).fileName();
    const QString staging = restore->staging->path();
    QString restoredDatabase;
    for (const QString& path : qAsConst(restore->paths)) {
        const QFileInfo staged(staging + path);
        if (staged.isFile() && staged.fileName() == databaseName)
            restoredDatabase = staged.filePath();
    }
    const KOffsiteHost::SumLookup sums
        = restoredDatabase.isEmpty() ? KOffsiteHost::SumLookup() : m_host->recordedSums(restoredDatabase);
    // Copies that were missing here; removed again when the restore fails, so that it leaves the
    // backup folder as it found it.
    QStringList placed;
    KOffsiteProblem problem = KOffsiteProblem::None;
    const auto take = [&](const QString& source, const QString& target, const KFileStatus& theirs) {
        const QString fileId = QFileInfo(target).fileName();
        // Written aside, checked against the sum recorded for it, flushed, then renamed.
        switch (
            KFileIO::replaceFile(source, target, theirs.modifiedNs, sums ? sums(fileId) : KContentSum())) {
        case KReplaceResult::Replaced:
            return true;
        case KReplaceResult::SourceDamaged:
            qCWarning(vkOffsite) << "the copy of" << fileId << "brought back does not match its sum";
            problem = KOffsiteProblem::Damaged;
            return false;
        default:
            qCWarning(vkOffsite) << "a copy brought back could not be put in place:" << target;
            problem = KOffsiteProblem::Failed;
            return false;
        }
    };
    for (const QString& path : qAsConst(restore->paths)) {
        const QString staged = staging + path;
        if (problem != KOffsiteProblem::None || !QFileInfo(staged).isDir())
            continue;
        KFileIO::WalkVisitor copies;
        copies.byName = true; // the same order on every run
        copies.visit = [&](const KFileIO::WalkEntry& copy) {
            if (!copy.status.isFile)
                return KFileIO::WalkStep::Skip;
            const QString source = copy.path();
            const QString target = folder + QLatin1Char('/') + copy.fileName();
            const KFileStatus theirs = KFileOps::status(source);
            const KFileStatus ours = KFileOps::status(target);
            if (ours.isGone()) {
                if (!take(source, target, theirs))
                    return KFileIO::WalkStep::Stop;
                placed << target;
                ++restore->result.restored;
            } else if (ours.isFile && ours.size == theirs.size
                && ours.modifiedMSecs == theirs.modifiedMSecs) {
                ++restore->result.kept;
            } else if (restore->replaceDiffering && ours.isFile) {
                if (!take(source, target, theirs))
                    return KFileIO::WalkStep::Stop;
                ++restore->result.restored;
            } else {
                restore->result.differing << copy.fileName();
            }
            return KFileIO::WalkStep::Skip;
        };
        if (!KFileIO::walk(staged, copies, KFileIO::Links::Follow) && problem == KOffsiteProblem::None)
            problem = KOffsiteProblem::Failed;
    }
    // The copies are on the disk before any record names them.
    if (problem == KOffsiteProblem::None && !KFileIO::syncFileSystem(folder))
        problem = KOffsiteProblem::Failed;
    if (problem == KOffsiteProblem::None && !restoredDatabase.isEmpty()) {
        restore->result.databaseImported = m_host->importDatabase(restoredDatabase);
        if (!restore->result.databaseImported)
            problem = KOffsiteProblem::Failed;
    }
    if (problem == KOffsiteProblem::None)
        return;
    restore->result.problem = problem;
    for (const QString& target : qAsConst(placed)) {
        if (!QFile::remove(target))
            qCWarning(vkOffsite) << "a copy brought back by a failed restore stays:" << target;
    }
}

void KOffsiteBackup::shutdown(int graceMSecs)
{
    m_shuttingDown = true;
    m_timer.stop();
    if (m_maintenance)
        m_maintenance->stop(graceMSecs);
    const QList<QPointer<KResticCommand>> user = m_user;
    for (const QPointer<KResticCommand>& command : user) {
        if (command)
            command->stop(graceMSecs);
    }
    m_fetched.clear();
    m_shuttingDown = false;
}

void KOffsiteBackup::loadState()
{
    if (m_stateFile.isEmpty())
        return;
    const KIniStore state(m_stateFile, KIniFormat::Dialect::Settings);
    m_stateRepository = state.value(RepositoryKey).toString();
    m_pending = state.value(PendingKey, false).toBool();
    m_status.lastBackupMSecs = state.value(LastBackupKey, -1).toLongLong();
    m_status.lastAddedBytes = state.value(LastAddedKey, 0).toLongLong();
    m_lastAttempt = state.value(LastAttemptKey, -1).toLongLong();
    m_lastForget = state.value(LastForgetKey, -1).toLongLong();
    m_lastCheck = state.value(LastCheckKey, -1).toLongLong();
    m_status.checkFailed = state.value(CheckFailedKey, false).toBool();
}

void KOffsiteBackup::saveState()
{
    if (m_stateFile.isEmpty())
        return;
    KIniStore state(m_stateFile, KIniFormat::Dialect::Settings);
    state.setValue(RepositoryKey, m_stateRepository);
    state.setValue(PendingKey, m_pending);
    state.setValue(LastBackupKey, m_status.lastBackupMSecs);
    state.setValue(LastAddedKey, m_status.lastAddedBytes);
    state.setValue(LastAttemptKey, m_lastAttempt);
    state.setValue(LastForgetKey, m_lastForget);
    state.setValue(LastCheckKey, m_lastCheck);
    state.setValue(CheckFailedKey, m_status.checkFailed);
    // A schedule that is not written costs at most an upload made again after a restart.
    if (!state.sync())
        qCWarning(vkOffsite) << "cannot write" << m_stateFile;
}
