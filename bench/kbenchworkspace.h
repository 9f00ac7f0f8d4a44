#pragma once

#include "kfakeplatform.h"

#include <QScopedPointer>
#include <QString>
#include <QStringList>

// A synthetic workspace in a folder of the caller's choosing: N source files of a given size,
// their paths in a pricing product's emulated recent-file list, and a backup drive. The module
// runs on the fake platform below it, so nothing reaches the real home folder or registry.
class KBenchWorkspace
{
public:
    KBenchWorkspace(const QString& folder, int files, int fileSize);
    ~KBenchWorkspace();

    // Creates the workspace; with `populate` false only installs the fake platform over an
    // existing one (a child process measuring the same workspace).
    bool create(QString* error, bool populate = true);

    QString folder() const { return m_folder; }
    QString sourceFolder() const { return m_folder + QStringLiteral("/src"); }
    QString driveRoot() const { return m_folder + QStringLiteral("/drive/"); }
    const QStringList& sources() const { return m_sources; }

    // Writes the desktop's recent-file lists into the fake home folder, naming sources the
    // cycle protects already: a freedesktop list of `xbelEntries` bookmarks and a LibreOffice
    // settings file of about `officeBytes`, most of it other settings and thumbnails, with a
    // history of a hundred documents. Both are dated a minute back, so that they count as
    // settled. Gives their paths.
    bool writeDesktopRecentLists(int xbelEntries, int officeBytes, QString* xbel, QString* office) const;

    // Adds `count` older versions to every protected file of the engine, copying each source
    // again under FileIDs whose modification times lie hours back, within the last week.
    static bool addOlderVersions(class KFileServiceManager* manager, const QStringList& sources, int count);

private:
    const QString m_folder;
    const int m_files;
    const int m_fileSize;
    QStringList m_sources;
    QScopedPointer<KFakePlatform> m_platform;
};
