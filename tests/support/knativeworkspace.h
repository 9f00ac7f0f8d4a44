#pragma once

#include <QDateTime>
#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A user's machine for the plug-in library itself and the programs that load it, below one
// temporary folder: a home folder (and with it the settings, the database, the registry hive
// and the backups) and a folder for window messages. The test process takes this home too, so
// that the engine code it links reads and writes the very files the library does; nothing
// reaches the real home folder. The backup path is the home folder.
class KNativeWorkspace
{
public:
    KNativeWorkspace();

    bool isValid() const { return m_valid; }
    QString path(const QString& relative = QString()) const;
    QString home() const { return path(QStringLiteral("home")); }
    QString databaseFile() const
    {
        return home() + QStringLiteral("/.local/share/Atrium/App/KVaultkeep/VaultkeepDB.xml");
    }
    QString backupFolder() const;
    QString settingsFile() const { return home() + QStringLiteral("/.local/share/Atrium/vaultkeep.ini"); }
    // The environment of a program started on this machine.
    QProcessEnvironment environment() const;

    // Writes a file below the home folder, modified `modified` (now when invalid); its full path.
    QString writeFile(
        const QString& relative, const QByteArray& content, const QDateTime& modified = QDateTime());
    // Makes the pricing product's recent-file list name exactly `paths`.
    void setPricingList(const QStringList& paths) const;
    // Adds `path` to the end of that list.
    void addToPricingList(const QString& path) const;

    // Each protected file of a database file with its versions' FileIDs; empty when unreadable.
    static QMap<QString, QStringList> databaseVersions(const QString& file);
    // What differs between the backup folder and the versions the database lists: copies no
    // version names, and versions without a copy. Empty when they agree.
    QString backupsDisagreeWithDatabase() const;

private:
    QTemporaryDir m_dir;
    bool m_valid = false;
};
