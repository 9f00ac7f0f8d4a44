#pragma once

#include "platform/kplatform.h"

#include <memory>
#include <mutex>

class KDBusNotifications;
class KLocalSocketMessaging;

// The platform on a Linux desktop: XDG folders, the mount table, statvfs, D-Bus.
class KLinuxPlatform final : public KPlatform
{
public:
    KLinuxPlatform();
    ~KLinuxPlatform() override;

    // Environment variables that relocate what has no XDG equivalent.
    static constexpr const char* HiveVariable = "ATRIUM_HIVE";
    static constexpr const char* CommonDocumentsVariable = "ATRIUM_COMMON_DOCUMENTS";
    static constexpr const char* MessageFolderVariable = "ATRIUM_MESSAGES";

    // Where windows listen for messages: $ATRIUM_MESSAGES, else "atrium" in the user's runtime
    // folder, else a folder of the user's own in the temporary folder.
    static QString messageFolder();

    // The desktop folder that `userDirs`, the text of a user-dirs.dirs file, names for a user
    // whose home folder is `homeFolder`, as xdg-user-dir tells it: its XDG_DESKTOP_DIR ("$HOME/..."
    // or an absolute path; the last one counts), else "Desktop" in the home folder.
    static QString desktopFolderIn(const QByteArray& userDirs, const QString& homeFolder);

    QString appDataFolder() const override;
    QString commonDocumentsFolder() const override;
    QString desktopFolder() const override;
    QString documentsFolder() const override;
    QString homeFolder() const override;
    QString dataHomeFolder() const override;
    QString configHomeFolder() const override;
    QString cacheFolder() const override;
    QString tempFolder() const override;
    QString registryHiveFile() const override;

    QList<KVolume> volumes() const override;
    QString systemDriveRoot() const override;
    [[nodiscard]] bool diskSpace(const QString& root, quint64* freeBytes, quint64* totalBytes) const override;

    QString hostExecutablePath() const override;
    QString fileVersion(const QString& path) const override;

    bool revealInFileManager(const QString& path) override;
    bool openWithDesktopProgram(const QString& path) override;
    KWindowMessaging* windowMessaging() override;
    KDesktopNotifications* desktopNotifications() override;

private:
    std::once_flag m_messagingCreated;
    std::unique_ptr<KLocalSocketMessaging> m_messaging;
    std::once_flag m_notificationsCreated;
    std::unique_ptr<KDBusNotifications> m_notifications;
};
