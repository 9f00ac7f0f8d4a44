#pragma once

#include "offsite/koffsitetypes.h"
#include "offsite/kresticcommand.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

class KOffsiteHost;
class KPlatform;
class QTemporaryDir;

// What a restore of the whole backup folder did.
struct KOffsiteRestoreResult
{
    KOffsiteProblem problem = KOffsiteProblem::None;
    int restored = 0; // copies that were missing here and are back
    int kept = 0; // copies already here and the same
    // Copies here that differ from the repository's; replaced only when asked for.
    QStringList differing;
    bool databaseImported = false;
};
Q_DECLARE_METATYPE(KOffsiteRestoreResult)

// The second copy off this machine: uploads the versions with the database and its sums to a
// restic repository after a cycle that made new versions (at most every interval), forgets
// snapshots past the retention once a day, checks the repository once a week, and brings back
// one version or the whole backup folder.
//
// One upload, clean-up, check or whole restore runs at a time; fetching a version and testing a
// connection run beside them. A run that fails, is killed or loses the network leaves what waits
// to go up waiting, and is made again an interval later. The schedule survives restarts in its
// state file. The password lives in this object's memory only.
//
// Lives on one thread (any, usually a worker of its own); call it there, or through queued
// calls. The times come from the platform's clock; runDue() is called every minute by a timer
// and after every run, so that a test can set the clock and call it.
class KOffsiteBackup : public QObject
{
    Q_OBJECT

public:
    KOffsiteBackup(
        KOffsiteHost* host, KPlatform* platform, const QString& stateFile, QObject* parent = nullptr);
    ~KOffsiteBackup() override;

    KOffsiteStatus status() const { return m_status; }
    KOffsiteSettings settings() const { return m_settings; }
    bool isBusy() const;
    // The restic runs going on, for tests that watch the children.
    QList<qint64> runningProcessIds() const;

    static constexpr qint64 ForgetPeriodMSecs = 24 * 3600 * 1000LL;
    static constexpr qint64 CheckPeriodMSecs = 7 * 24 * 3600 * 1000LL;
    static constexpr int StopGraceMSecs = 3000;
    // Our snapshots carry this tag; forgetting and restoring look at no others.
    static const QString Tag;

public slots:
    void setSettings(const KOffsiteSettings& settings);
    // Kept in memory only.
    void setPassword(const QByteArray& password);
    // A cycle made new versions.
    void onVersionsMade();
    // Starts the upload, clean-up or check that is due, if none runs.
    void runDue();
    // Uploads now, whatever the interval.
    void backUpNow();
    // Opens the repository with `password` (`restic cat config`), or, when `initialise` and
    // there is none yet, makes one; connectionTested() answers.
    void testConnection(const QString& repository, const QByteArray& password, bool initialise);
    // Brings back the copy of version `fileId` from the newest snapshot that holds it whole
    // (the size and xxHash3 given, when known), into a private temporary folder of its own;
    // versionFetched() answers. The copy carries the version's modification time and stays
    // until releaseFetched() or this object goes.
    void fetchVersion(const QString& fileId, qint64 expectedSize, quint64 expectedHash, bool hashKnown);
    void releaseFetched(const QString& fileId);
    // Brings the backup folder back from the newest snapshot, through a private folder beside it:
    // copies missing here are checked against the sums brought back with the database and put in
    // place, copies here are never replaced unless `replaceDiffering` (they are listed), then the
    // snapshot's database is added to the product's. On any failure the copies it put in place go
    // again. allRestored() answers. A `repository` and `password` given are used instead of the
    // settings', so that a new machine restores before it uploads anything of its own.
    void restoreAll(bool replaceDiffering, const QString& repository = QString(),
        const QByteArray& password = QByteArray());
    // Stops every run: SIGINT, up to `graceMSecs`, then SIGKILL. Blocks meanwhile.
    void shutdown(int graceMSecs = StopGraceMSecs);

signals:
    void statusChanged(const KOffsiteStatus& status);
    void connectionTested(KOffsiteProblem problem, bool initialised);
    void versionFetched(const QString& fileId, const QString& path, KOffsiteProblem problem);
    void allRestored(const KOffsiteRestoreResult& result);

private:
    enum class Lane
    {
        Maintenance,
        User,
    };
    using LineHandler = std::function<void(const QByteArray&)>;
    using DoneHandler = std::function<void(const KResticOutcome&)>;
    KResticCommand* run(Lane lane, const QStringList& arguments, const LineHandler& onLine,
        const DoneHandler& onDone, const KResticCommand::Setup* setup = nullptr);
    KResticCommand::Setup setup() const;
    qint64 now() const;
    bool canRun() const;
    void updateState();
    void publish();
    void loadState();
    void saveState();
    void runSoon();

    void startBackup();
    void backupLine(const QByteArray& line);
    void backupDone(const KResticOutcome& outcome, quint64 versionsAtStart);
    void startForget();
    void startCheck();

    struct Candidate
    {
        QString snapshot;
        QString path;
        qint64 modifiedNs = 0;
        QString time;
    };
    struct Fetch;
    void fetchNext(const std::shared_ptr<Fetch>& fetch);
    void finishFetch(const std::shared_ptr<Fetch>& fetch, KOffsiteProblem problem);
    struct WholeRestore;
    void placeRestored(const std::shared_ptr<WholeRestore>& restore);

    KOffsiteHost* const m_host;
    KPlatform* const m_platform;
    const QString m_stateFile;
    KOffsiteSettings m_settings;
    QByteArray m_password;
    KOffsiteStatus m_status;
    QTimer m_timer;

    QPointer<KResticCommand> m_maintenance;
    QList<QPointer<KResticCommand>> m_user;
    bool m_shuttingDown = false;
    bool m_runQueued = false;

    // The schedule, kept in the state file.
    QString m_stateRepository; // the repository the schedule is about
    bool m_pending = false; // versions wait to go up
    quint64 m_versionsMade = 0; // in this process, to tell versions made during an upload
    qint64 m_lastAttempt = -1;
    qint64 m_lastForget = -1;
    qint64 m_lastForgetAttempt = -1;
    qint64 m_lastCheck = -1;
    qint64 m_lastCheckAttempt = -1;
    qint64 m_uploadTotalBytes = 0;

    QHash<QString, std::shared_ptr<QTemporaryDir>> m_fetched;
    Q_DISABLE_COPY(KOffsiteBackup)
};
