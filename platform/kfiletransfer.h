#pragma once

#include <QString>
#include <QStringList>

// What moving a folder needs to know of one entry. Symbolic links are not followed.
struct KEntryStatus
{
    enum Kind
    {
        Missing,
        File,
        Folder,
        SymLink,
        Other // devices, pipes, sockets
    };
    Kind kind = Missing;
    qint64 size = 0;
    qint64 modifiedNSecs = 0;
    // The last change of content or status: a write or a permission change moves it.
    qint64 changedNSecs = 0;
    quint64 device = 0;
    quint64 inode = 0;

    // The same file, not changed since this status was taken.
    bool isSameState(const KEntryStatus& other) const;
};

// File operations for moving the backup folder between drives: copies that keep modification
// time and permissions and are read back before they count, renames that never overwrite, and
// removals that never take a file another program is writing.
namespace KFileTransfer {

enum class Error
{
    None,
    SourceUnreadable,
    SourceChanged, // the source changed while it was copied or since it was copied
    SourceInUse, // another program has the source open for writing
    TargetExists,
    NoSpace,
    NotWritable, // permissions or a read-only file system
    TargetMissing, // the folder to write into is gone
    NotMovable, // a device, a pipe or a socket
    Other
};

KEntryStatus entryStatus(const QString& path);

// The names in `folder`, sorted, without "." and ".."; false when it cannot be listed.
bool entryNames(const QString& folder, QStringList* names);

// Copies the regular file `source` to `target`, which must not exist: content, modification
// time and permissions. Every block is read back from the target and compared, and the source
// must not change meanwhile. `copied` receives the source's status the copy matches. A failed
// copy leaves no target behind.
Error copyFileVerified(const QString& source, const QString& target, KEntryStatus* copied);

// Recreates the symbolic link `source` as `target`, pointing where it points.
Error copySymLink(const QString& source, const QString& target);

// True when both regular files hold the same bytes.
bool sameContent(const QString& first, const QString& second);

// Renames within one file system; fails with TargetExists rather than replace anything.
Error renameNoReplace(const QString& from, const QString& to);
// Renames `from` over `to`, replacing it.
Error replace(const QString& from, const QString& to);

// Both paths (which must exist) lie on the same file system, so that a rename moves between them.
bool sameFileSystem(const QString& first, const QString& second);

// Creates the folder with its missing parents.
Error makeFolder(const QString& path);

// Removes the file when it is still in the state `expected` and no other program has it open
// for writing; SourceChanged or SourceInUse otherwise, and the file stays.
Error removeUnchanged(const QString& path, const KEntryStatus& expected);
// Removes a file or a symbolic link.
bool removeFile(const QString& path);
// Removes an empty folder; false when it holds anything.
bool removeEmptyFolder(const QString& path);

// Writes the file and the folder entry that names it to disk.
bool syncFile(const QString& path);
// Writes the entries of the folder to disk.
bool syncFolder(const QString& path);

// The last system error as the kind the move reports.
Error errorOf(int systemError);

} // namespace KFileTransfer
