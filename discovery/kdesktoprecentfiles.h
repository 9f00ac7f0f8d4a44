#pragma once

#include "discovery/krecentxbel.h"
#include "platform/kfileops.h"

#include <QList>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <atomic>

class KFileTypeManager;

// Which of the desktop's recent-file lists are read, and the folder patterns whose files are
// never taken from them.
struct KDesktopRecentSettings
{
    bool xbel = true;
    bool libreOffice = true;
    bool kde = true;
    QStringList excludedFolders;

    // As the settings store holds them.
    static KDesktopRecentSettings fromConfig();
};

// The recent-file lists a Linux desktop keeps itself: the freedesktop lists
// ("recently-used.xbel" in the data folder, in the home folder, and in each sandboxed
// program's data folder under ~/.var/app), LibreOffice's history, and KDE's recent documents.
// A list is read again only when its modification time, size or inode changed; an unchanged
// list costs one status call. A list that changed in the last seconds is read once more in the
// next call, since another change within the file system's timestamp granularity would leave
// all three alike. Used from one thread at a time; parseCount() from any.
class KDesktopRecentFiles final
{
public:
    // Files are kept by their kind in `kinds`, or in the process-wide table when null.
    explicit KDesktopRecentFiles(const KFileTypeManager* kinds = nullptr);

    // The local files of a protected kind that the lists name, each once: the freedesktop lists,
    // most recently used first, then LibreOffice's, newest first, then KDE's, most recently
    // used first. Left out: folders, files in the documents portal or on gvfs mounts, and
    // files below a folder matching one of `excludedFolders` (see matchesFolderPattern()).
    QStringList documents(const KDesktopRecentSettings& settings);
    QStringList documents() { return documents(KDesktopRecentSettings::fromConfig()); }

    // How many times a list was read and parsed.
    int parseCount() const { return m_parseCount.load(); }

    // Whether `path` lies below a folder that `pattern` describes: an absolute path, or one
    // starting with "~/" for the home folder, names that folder; any other pattern names a
    // folder of that name (or relative path) anywhere. "*" stands for any characters within one
    // name and "?" for one character.
    static bool matchesFolderPattern(const QString& path, const QString& pattern, const QString& homeFolder);

    // A change this recent may be followed by another that leaves modification time, size and
    // inode alike.
    static constexpr qint64 SettleMSecs = 2000;
    // A list is read as a stream, never more than this; a longer one is not read at all.
    static constexpr qint64 MaxListBytes = 64 * 1024 * 1024;

private:
    enum class Format
    {
        Xbel,
        LibreOffice,
        KdeFolder
    };

    struct Source
    {
        QString path;
        Format format = Format::Xbel;
        KFileStatus seen; // of the list as it was read
        bool settled = false;
        QList<KRecentEntry> entries;
        // The documents among the entries, and the settings and kinds they were chosen under.
        QStringList documents;
        QString filterKey;
    };

    enum class Outcome
    {
        Read,
        LeftOut, // for its kind or its size: it lists nothing
        Failed, // tried again in the next call
    };

    void refresh(Source* source, const QString& path, Format format);
    Outcome read(const Source& source, QList<KRecentEntry>* entries);
    void refreshApps(const QString& folder);
    // Compiles the folder patterns when they, the home folder or the kinds changed; the
    // documents chosen under other ones are chosen again.
    void updateFilter(const QStringList& patterns, const QString& homeFolder);
    void addDocuments(Source* source, QStringList* documents, QSet<QString>* listed);
    bool isExcluded(const QString& path) const;
    bool isSettled(const KFileStatus& before, const KFileStatus& after) const;

    const KFileTypeManager* const m_kinds;
    Source m_dataXbel;
    Source m_homeXbel;
    // The sandboxed programs' folder, and each program's list by its folder name.
    Source m_apps;
    QMap<QString, Source> m_appXbels;
    Source m_libreOffice;
    Source m_kde;
    QString m_homeFolder;
    QString m_filterKey;
    QList<QRegularExpression> m_excluded;
    std::atomic<int> m_parseCount { 0 };

    Q_DISABLE_COPY(KDesktopRecentFiles)
};
