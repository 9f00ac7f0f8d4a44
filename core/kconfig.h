#pragma once

#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>

// The module's user settings: an INI file in the host's data folder, plus the registry counter
// of all backups ever made. Nothing is cached: every getter reads the file and every setter
// writes it through at once, so several threads and processes see each other's changes. A write
// that fails (a full disk) leaves the file as it was, makes its setter return false, and stays
// pending in this process (its getters already answer the new value) until a later write of the
// file succeeds; a setter that returns true has put every pending change in the file.
class KConfig : public QObject
{
    Q_OBJECT

public:
    // A store on the INI file at `filePath`; an empty path means "vaultkeep.ini" in the host's
    // data folder, found on first use.
    explicit KConfig(const QString& filePath = QString(), QObject* parent = nullptr);

    // The store of the process.
    static KConfig* instance();

    QString filePath() const;

    // Where backups go. When the stored path is missing or no longer a folder, a drive is
    // chosen (the non-system drive with the most free space), stored and returned.
    QString backUpPath();
    [[nodiscard]] bool setBackUpPath(const QString& path);
    // True when the settings file on disk names `path` as the backup path and this process has
    // no other value of it pending.
    [[nodiscard]] bool isBackUpPathOnDisk(const QString& path) const;

    qint64 tipSize() const;
    [[nodiscard]] bool setTipSize(qint64 bytes);
    // Files larger than this many bytes are not versioned.
    qint64 maxVersionedFileSize() const;
    [[nodiscard]] bool setMaxVersionedFileSize(qint64 bytes);
    [[nodiscard]] bool tipSizeEnabled() const;
    [[nodiscard]] bool setTipSizeEnabled(bool enabled);

    QString diskFreeTipDate() const;
    [[nodiscard]] bool setDiskFreeTipDate(const QString& date);
    QString folderTooLargeTipDate() const;
    [[nodiscard]] bool setFolderTooLargeTipDateToday();

    [[nodiscard]] bool isTipWhenDiskSizeIsSmall() const;
    [[nodiscard]] bool setTipWhenDiskSizeIsSmall(bool enabled);
    int showTipBackedMsgStatus() const;
    [[nodiscard]] bool setShowTipBackedMsgStatus(int status);
    [[nodiscard]] bool autoBack() const;
    [[nodiscard]] bool setAutoBack(bool enabled);
    [[nodiscard]] bool autoClean7Days() const;
    [[nodiscard]] bool setAutoClean7Days(bool enabled);
    // The tips go to the desktop's notification server when there is one; unless stored as "false".
    [[nodiscard]] bool tipsAsNotifications() const;
    [[nodiscard]] bool setTipsAsNotifications(bool enabled);
    // The main window's size as the user left it; invalid when none is stored.
    QSize mainWindowSize() const;
    [[nodiscard]] bool setMainWindowSize(const QSize& size);

    // The copy off this machine, off until the user turns it on. Days and minutes read 0 when
    // not set; the password is never kept here.
    [[nodiscard]] bool offsiteEnabled() const;
    QString offsiteRepository() const;
    int offsiteKeepDays() const;
    int offsiteIntervalMinutes() const;
    [[nodiscard]] bool setOffsite(bool enabled, const QString& repository, int keepDays, int intervalMinutes);

    // The desktop's own recent-file lists, read besides the registry: the freedesktop lists,
    // LibreOffice's history and KDE's recent documents. Each is read unless stored as "false".
    [[nodiscard]] bool readRecentlyUsedXbel() const;
    [[nodiscard]] bool setReadRecentlyUsedXbel(bool enabled);
    [[nodiscard]] bool readLibreOfficeHistory() const;
    [[nodiscard]] bool setReadLibreOfficeHistory(bool enabled);
    [[nodiscard]] bool readKdeRecentDocuments() const;
    [[nodiscard]] bool setReadKdeRecentDocuments(bool enabled);
    // Folder patterns whose files are never taken from those lists. Absent, the system's folder
    // for temporary files and the cache folder; stored empty, none.
    QStringList recentExcludedFolders() const;
    [[nodiscard]] bool setRecentExcludedFolders(const QStringList& patterns);

    // The backup drive's daily samples of free space, as the disk monitor writes them.
    QStringList freeSpaceSamples() const;
    [[nodiscard]] bool setFreeSpaceSamples(const QStringList& samples);

    // The registry counter of all backups ever made; absent or not a number reads 0. The setter
    // is false when the hive could not be written.
    int totalBackupCount() const;
    [[nodiscard]] bool setTotalBackupCount(int count);
    // Adds to the counter as one step, so that the scanner's thread and a restore on the GUI
    // thread never lose each other's backups; false when the hive could not be written (the sum
    // stays pending in this process).
    [[nodiscard]] bool addToTotalBackupCount(int backups);

    // Writes again what failed writes left pending in the settings file and in the hive; true
    // when nothing is pending any more.
    [[nodiscard]] bool retryPendingWrites();

    static constexpr qint64 DefaultTipSize = 1073741824; // 1 GiB
    static constexpr qint64 DefaultMaxVersionedFileSize = 2147483648; // 2 GiB

private:
    QString chooseBackupDrive() const;
    [[nodiscard]] bool write(const QString& key, const QVariant& value);
    QVariant read(const QString& key, const QVariant& defaultValue) const;
    [[nodiscard]] bool readSwitch(const QString& key) const;

    mutable QString m_filePath;
};
