#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <mutex>

class KFileObjectMgr;

// The protection database, "VaultkeepDB.xml": every protected file with its versions, grouped
// by kind. Memory is the master copy; the file is written whole and read when the scanner
// starts. The collections of kinds 0 to 4 are handed in; a null entry counts as empty.
class KProtectionDatabase final
{
public:
    using Collections = std::array<KFileObjectMgr*, 5>;

    // A database at `filePath`; empty means the user's, in the host's data folder.
    explicit KProtectionDatabase(const QString& filePath = QString());

    // The file's full path; the folder is created when missing.
    QString path() const;

    // Adds the file's records to the collections. False when there is no file; a file that
    // cannot be read or parsed loads nothing and counts as loaded.
    bool load(const Collections& collections) const;
    // Replaces the file atomically; on any failure the previous file stays whole and false is
    // returned.
    bool save(const Collections& collections) const;

    // The whole content save() writes, as text and as the bytes written.
    static QString text(const Collections& collections);
    static QByteArray content(const Collections& collections);

private:
    static void writeContent(const Collections& collections, QByteArray* out);

    const QString m_filePath;
    // Saves come from the scanner thread and from the GUI thread; one at a time, each into the
    // same buffer, whose memory is already mapped after the first.
    mutable std::mutex m_saveMutex;
    mutable QByteArray m_buffer;
};
