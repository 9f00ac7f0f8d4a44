#pragma once

#include "platform/knativemessage.h"
#include "platform/kplatform.h"

#include <QHash>

#include <atomic>
#include <memory>
#include <mutex>

class KLocalSocketMessaging;

// A platform that tests configure: folders and the hive file under a folder of the test's
// choosing, drives declared one by one, a clock the test sets, creation times for chosen
// paths, and reveal requests recorded instead of carried out. It can be configured from one
// thread while another reads it.
class KFakePlatform final : public KPlatform
{
public:
    struct Drive
    {
        KVolume volume;
        quint64 freeBytes = 0;
        quint64 totalBytes = 0;
    };

    // Folders and hive file below `base`, which is created when missing.
    explicit KFakePlatform(const QString& base);
    ~KFakePlatform() override;

    QString baseFolder() const { return m_base; }

    void addDrive(const QString& root, KDriveKind kind, KFileSystemKind fileSystem, quint64 freeBytes,
        quint64 totalBytes);
    void clearDrives();
    void setDriveSpace(const QString& root, quint64 freeBytes, quint64 totalBytes);
    void setSystemDriveRoot(const QString& root);
    void setHostExecutablePath(const QString& path);
    void setFileVersion(const QString& version);
    QStringList revealedPaths() const;
    // The files given to the desktop's programs to open, in order.
    QStringList openedPaths() const;
    // Stops the clock at `time`; an invalid time lets it run with the real one again.
    void setCurrentDateTime(const QDateTime& time);
    // Moves a stopped clock on; a running one is stopped first at the real time.
    void advanceClock(qint64 msecs);

    // The file's creation time, which Linux lets nobody set on a real file: status queries of
    // the path answer it.
    void setCreationTime(const QString& path, const QDateTime& time);
    void clearStatusAnswers();

    QString appDataFolder() const override { return m_base + QStringLiteral("/AppData/Roaming"); }
    QString commonDocumentsFolder() const override { return m_base + QStringLiteral("/Common Documents"); }
    QString desktopFolder() const override { return m_base + QStringLiteral("/Desktop"); }
    QString documentsFolder() const override { return m_base + QStringLiteral("/Documents"); }
    // A home folder below the base with the freedesktop folders at their usual places in it.
    QString homeFolder() const override { return m_base + QStringLiteral("/home"); }
    QString dataHomeFolder() const override { return homeFolder() + QStringLiteral("/.local/share"); }
    QString configHomeFolder() const override { return homeFolder() + QStringLiteral("/.config"); }
    QString cacheFolder() const override { return homeFolder() + QStringLiteral("/.cache"); }
    QString tempFolder() const override { return m_base + QStringLiteral("/tmp"); }
    QString registryHiveFile() const override { return m_base + QStringLiteral("/HKEY_CURRENT_USER.ini"); }

    QList<KVolume> volumes() const override;
    QString systemDriveRoot() const override;
    [[nodiscard]] bool diskSpace(const QString& root, quint64* freeBytes, quint64* totalBytes) const override;

    QString hostExecutablePath() const override;
    QString fileVersion(const QString& path) const override;

    bool revealInFileManager(const QString& path) override;
    bool openWithDesktopProgram(const QString& path) override;
    qint64 currentMSecsSinceEpoch() const override;
    void adjustFileStatus(const QString& path, KFileStatus* status) const override;

    // Real local sockets, in a folder below the base; bringing a window to the foreground is
    // only recorded.
    KWindowMessaging* windowMessaging() override;
    QString messageFolder() const { return m_base + QStringLiteral("/windows"); }
    QList<HWND> foregroundRequests() const;

private:
    const QString m_base;
    mutable std::mutex m_mutex;
    QList<Drive> m_drives;
    QString m_systemDriveRoot;
    QString m_hostExecutable;
    QString m_fileVersion;
    QStringList m_revealed;
    QStringList m_opened;
    qint64 m_clockMSecs = -1; // -1: the real clock
    QHash<QString, qint64> m_creationTimes;
    std::atomic<bool> m_hasCreationTimes { false }; // spares every status query the lock
    std::unique_ptr<KLocalSocketMessaging> m_messaging;
    QList<HWND> m_foregroundRequests;
};
