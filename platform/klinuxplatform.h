#pragma once

#include "platform/kplatform.h"

// The platform on a Linux desktop: XDG folders, the mount table, statvfs, D-Bus.
class KLinuxPlatform final : public KPlatform
{
public:
    KLinuxPlatform() = default;

    // Environment variables that relocate what has no XDG equivalent.
    static constexpr const char* HiveVariable = "ATRIUM_HIVE";
    static constexpr const char* CommonDocumentsVariable = "ATRIUM_COMMON_DOCUMENTS";

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
    bool diskSpace(const QString& root, quint64* freeBytes, quint64* totalBytes) const override;

    QString hostExecutablePath() const override;
    QString fileVersion(const QString& path) const override;

    bool revealInFileManager(const QString& path) override;
};
