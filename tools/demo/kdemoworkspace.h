#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

class KFileServiceManager;

// A user's project files as the engine would know them after several months of use: files of
// every kind, each with backup versions spread over time, a few whose sources were deleted
// since, and the pricing product's own backups. The demo workspace and the gallery are built
// from it.
namespace KDemoWorkspace {

struct Sample
{
    int kind;
    const char* name; // UTF-8
    const char* english; // the name in an English workspace
    int versions;
    int daysBack; // of the latest version
    // Minutes ago the file was changed again after its latest version; 0 when it was not.
    int editedMinutesAgo = 0;

    // The name in the interface's language: an English workspace has English file names.
    QString fileName() const;
};

// The folder in the home folder that holds the projects, and the one below it that the deleted
// files were in, in the interface's language.
QString projectsFolderName();
QString oldProjectsFolder();

// Protected files whose sources are in place.
const QVector<Sample>& projects();
// Protected files whose sources were deleted since.
const QVector<Sample>& deletedProjects();
// New files changed today that no version holds yet.
const QVector<Sample>& newProjects();
// The pricing product's own backups up to `now`, relative to its backup folder.
QStringList selfBackups(const QDateTime& now);

struct Source
{
    int kind;
    QString path;
};

struct Built
{
    QVector<Source> sources; // every source file on disk, in the order of the samples
    int versions = 0;
};

// Writes the sources into `projectsFolder`, their versions into the backup folder and their
// records into `engine`'s collections, as of `now`. The deleted files' records name sources in
// an oldProjectsFolder() that does not exist. False with the reason when a file cannot be written.
bool buildHistory(KFileServiceManager* engine, const QString& projectsFolder, const QDateTime& now,
    Built* built, QString* error);
// Writes the pricing product's own backups up to `now` into `folder`.
bool writeSelfBackups(const QString& folder, const QDateTime& now, QString* error);
// The content of version `version` of `path`: a few kilobytes that tell which version it is.
QByteArray content(const QString& path, int version);

} // namespace KDemoWorkspace
