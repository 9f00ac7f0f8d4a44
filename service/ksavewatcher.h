#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>

class KFileServiceManager;
class KFolderWatch;
class KPlatform;
class QTimer;

// Backs a listed file up soon after it was saved, between the cycles: the folders of the files
// the last cycle listed are watched, and a file is backed up once it has been quiet for QuietMs
// (a program that writes in bursts makes one version). Where the folders cannot all be watched,
// it watches none and the cycles alone back up. Lives on a thread of its own, never the GUI's.
class KSaveWatcher : public QObject
{
    Q_OBJECT

public:
    KSaveWatcher(KFileServiceManager* engine, KPlatform* platform, QObject* parent = nullptr);
    ~KSaveWatcher() override;

    static constexpr qint64 QuietMs = 10000;
    static constexpr int MaxFolders = 4096;

    // Fewer folders than MaxFolders and the system's limit allow (tests).
    void setFolderLimit(int folders) { m_folderLimit = folders; }
    // False once the folders were too many to watch.
    bool isWatching() const { return m_watching; }
    // Changes heard and not backed up yet, and when `path` will have been quiet for long enough
    // (-1: no change of it is pending).
    int pendingCount() const { return int(m_due.size()); }
    qint64 dueAt(const QString& path) const { return m_due.value(path, -1); }

public slots:
    // Watches the folders of the engine's listed files.
    void followListedFiles();
    void setFiles(const QStringList& files);
    // Backs up the files quiet for long enough by the platform's clock, and waits for the next.
    void backUpQuietFiles();

signals:
    void sigBackedUp(const QString& path);

private:
    void onFileChanged(const QString& path);
    void schedule();

    KFileServiceManager* m_engine;
    KPlatform* m_platform;
    KFolderWatch* m_watch;
    QTimer* m_timer;
    int m_folderLimit;
    bool m_watching = true;
    bool m_fallbackLogged = false;
    QHash<QString, QString> m_files; // clean path -> as listed
    QSet<QString> m_folders;
    QHash<QString, qint64> m_due; // path -> when it is quiet enough, by the platform's clock
};
