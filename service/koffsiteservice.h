#pragma once

#include "offsite/koffsitetypes.h"
#include "platform/kfileio.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class KConfig;
class KFileServiceManager;
class KOffsiteBackup;
class KOffsiteHost;
class KOffsiteSecret;
class KPlatform;
class QThread;

// The product's copy off this machine: one KOffsiteBackup and the keyring's secret on a thread
// of their own (restic's runs, the schedule's file and the keyring's calls never hold the GUI
// thread), the settings from KConfig, the password from the keyring at start, an upload due
// after every cycle that made versions. Called on the GUI thread; answers come there as signals.
class KOffsiteService : public QObject
{
    Q_OBJECT

public:
    // Takes `secret`; moves it to the worker thread while that runs.
    KOffsiteService(KFileServiceManager* engine, KConfig* config, KPlatform* platform, KOffsiteSecret* secret,
        QObject* parent = nullptr);
    ~KOffsiteService() override;

    static KOffsiteService* instance();

    // As stored, the defaults for what is not.
    KOffsiteSettings settings() const;
    KOffsiteStatus status() const { return m_status; }
    // Whether the password is known in this process, and whether the keyring keeps it.
    bool hasPassword() const { return !m_password.isEmpty(); }
    bool keyringAvailable() const { return m_keyringAvailable; }

    // Starts the thread, hands it the settings and asks the keyring for the password; again
    // after shutdown().
    void start();
    // Stops restic's runs (SIGINT, then SIGKILL) and the thread. Blocks for as long.
    void shutdown();

    // Stores the settings and, unless empty, the password (in the keyring, or in memory alone
    // without one) and hands both to the running copy. False when the settings file was not
    // written.
    [[nodiscard]] bool apply(const KOffsiteSettings& settings, const QByteArray& password);
    // An empty password tests the one known.
    void testConnection(const KOffsiteSettings& settings, const QByteArray& password, bool initialise);
    void backUpNow();
    // Whether versions can be fetched from the repository: the copy is on and has a place.
    bool canFetch() const;
    // Fetches version `fileId` from the repository and puts it at `target` in the backup folder
    // once it is whole: checked against `sum`, written aside, flushed, then renamed, so that
    // nothing there is replaced by a copy that is not. versionFetched() answers.
    void fetchVersion(const QString& fileId, const KContentSum& sum, const QString& target);
    // Whether the engine has records of versions: restoring everything then adds to them.
    bool holdsVersions() const;
    // Brings the backup folder and the database back from the newest snapshot in the repository
    // of `settings` (copies here stay as they are); an empty password uses the one known.
    // allRestored() answers, after the engine's lists show what came back.
    void restoreAll(const KOffsiteSettings& settings, const QByteArray& password);

signals:
    void statusChanged(const KOffsiteStatus& status);
    void connectionTested(KOffsiteProblem problem, bool initialised);
    void keyringUnavailable();
    void versionFetched(const QString& fileId, KOffsiteProblem problem);
    // `restored` copies came back; `kept` were here already.
    void allRestored(KOffsiteProblem problem, int restored, int kept);

private slots:
    void onStatusChanged(const KOffsiteStatus& status);
    void onPasswordRead(const QByteArray& password);
    void onKeyringUnavailable();
    void onVersionsMade();

private:
    // Runs `work` on the worker thread with the backup, when the thread runs.
    void onWorker(const std::function<void(KOffsiteBackup*)>& work);
    // On the worker thread: puts a fetched copy in place and answers.
    void placeFetched(const QString& fileId, const QString& path, KOffsiteProblem problem);

    KFileServiceManager* const m_engine;
    KConfig* const m_config;
    KPlatform* const m_platform;
    std::unique_ptr<KOffsiteHost> m_host;
    std::unique_ptr<KOffsiteSecret> m_secret;
    QThread* m_thread = nullptr;
    // Lives on the worker thread, as the backup it holds.
    QObject* m_context = nullptr;
    KOffsiteBackup* m_backup = nullptr; // touched on the worker thread only
    struct Fetch
    {
        KContentSum sum;
        QString target;
    };
    QHash<QString, Fetch> m_fetches; // by FileID, on the worker thread only
    QByteArray m_password;
    KOffsiteStatus m_status;
    bool m_keyringAvailable = true;
    Q_DISABLE_COPY(KOffsiteService)
};
