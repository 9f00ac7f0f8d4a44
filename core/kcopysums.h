#pragma once

#include "core/kversionid.h"

#include <QByteArray>
#include <QString>
#include <QVector>

#include <functional>

// The size and content hash of every backup copy, recorded when the copy was made, so that a
// copy truncated or damaged since is never restored as if whole. The database's own form has no
// place for them; they are kept beside it in "VaultkeepDB.sums", replaced whole with it:
//
//     vaultkeep-sums 1
//     <size> <xxHash3-64 as 16 hex digits, or "-" for none> <FileID>
//     ...
//     end <xxHash3-64, 16 hex digits, of every byte before this line>
//
// A file without that first line or that last line, or whose end hash differs, is damaged and
// reads as empty, as does a missing one: the versions it would describe are then checked by
// nothing. A line that does not parse is skipped.
class KCopySums
{
public:
    static QString pathBeside(const QString& databasePath);
    static KCopySums read(const QString& path);
    // Hands each line's version, with its sum, to `take`, in the file's order, without holding
    // them (the database loader's way); false when the file is damaged or missing, when what was
    // taken must be forgotten.
    static bool read(const QString& path, const std::function<void(const KVersionId&)>& take);
    // The file's text for the sums the lines carry (made with appendLine).
    static QByteArray text(const QByteArray& lines);
    // The same written to a descriptor as the lines come, a chunk at a time: lines are appended
    // to buffer(), and spill() hands what gathered to the file.
    class Writer
    {
    public:
        explicit Writer(int fd);
        QByteArray* buffer() { return &m_buffer; }
        void spill();
        // Writes the rest and the end line; false when any write failed.
        [[nodiscard]] bool finish();

    private:
        const int m_fd;
        QByteArray m_buffer;
        KContentHasher m_hasher;
        bool m_written = true;
    };
    // The line of `version`; nothing when its sum is not known.
    static void appendLine(QByteArray* out, const KVersionId& version);

    // Changes with every new sum made in the process, so that a save knows whether the file
    // holds them all.
    static quint64 generation();
    static void noteNewSum();

    KCopySums() = default;
    explicit KCopySums(QVector<KVersionId> versions);

    int count() const { return int(m_versions.size()); }
    // What was recorded for the copy of `version`; not known when nothing was.
    KContentSum sumOf(const KVersionId& version) const;

private:
    QVector<KVersionId> m_versions; // ordered, each with its sum
};
