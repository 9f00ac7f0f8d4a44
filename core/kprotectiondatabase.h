#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <mutex>

class KFileObjectMgr;

// The protection database, "VaultkeepDB.xml": every protected file with its versions, grouped
// by kind. Memory is the master copy; the file is written whole and read when the scanner
// starts. The collections of kinds 0 to 4 are handed in; a null entry counts as empty.
//
// A file that cannot be used is never overwritten: one that does not parse, holds a document
// type declaration or is nested deeper than the format is kept aside under a name with the
// time it was found ("VaultkeepDB.xml.unreadable-yyyyMMddhhmmss"), and the engine starts anew.
//
// The sizes and content hashes of the copies are kept beside it ("VaultkeepDB.sums", see
// KCopySums), written before it whenever new ones were made, and read with it. Both files and
// their folder are private to the user.
class KProtectionDatabase final
{
public:
    using Collections = std::array<KFileObjectMgr*, 5>;

    // A database at `filePath`; empty means the user's, in the host's data folder.
    explicit KProtectionDatabase(const QString& filePath = QString());

    // The file's full path; the folder is created when missing.
    QString path() const;
    // The sums file beside it.
    QString sumsPath() const;

    enum class LoadResult
    {
        Loaded,
        NoFile,
        // The file could not be used and was renamed out of the way; nothing was loaded.
        SetAside,
        // The file could be neither read nor set aside: it must not be overwritten.
        Unreadable,
    };
    // Adds the file's records to the collections, with the sums recorded for their versions.
    // Replacement files left by a save that never finished (a killed process) are removed first.
    LoadResult load(const Collections& collections) const;
    // Replaces the file through a KFileIO::KReplacement written as the text is made, after the
    // sums file when sums were made since it was last written; on any failure the previous file
    // stays whole and false is returned. A sums file that cannot be written is written again by
    // a later save.
    [[nodiscard]] bool save(const Collections& collections) const;
    // Whether sums made in this process still wait to be written.
    [[nodiscard]] bool sumsPending() const;

    // The deepest element level of the format: root, File, Version.
    static constexpr int MaxDepth = 3;

    // The whole content save() writes, as text and as the bytes written.
    static QString text(const Collections& collections);
    static QByteArray content(const Collections& collections);

private:
    // With `spill`, the text goes to it a chunk at a time (see KFileObjectMgr::appendElements).
    static void writeContent(const Collections& collections, QByteArray* out,
        const std::function<void(QByteArray*)>& spill = {}, int chunk = 0);
    void removeAbandonedReplacements(const QString& filePath) const;
    [[nodiscard]] bool setAside(const QString& filePath) const;
    void saveSums(const Collections& collections) const; // under m_saveMutex

    const QString m_filePath;
    // Saves come from the scanner thread and from the GUI thread, one at a time.
    mutable std::mutex m_saveMutex;
    // The sums generation (KCopySums) the sums file holds all sums of.
    mutable std::atomic<quint64> m_savedSums { 0 };
};
