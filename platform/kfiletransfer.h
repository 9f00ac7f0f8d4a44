#pragma once

#include "platform/kfileio.h"

#include <QString>
#include <QStringList>

// File operations for moving the backup folder between drives: copies that keep modification
// time and permissions (never wider than the owner's) and are checked against what was read once
// they are on disk, renames that never overwrite, and removals that never take a file another
// program is writing. Folders and files are created for their owner alone.
namespace KFileTransfer {

enum class [[nodiscard]] Error { None, SourceUnreadable,
    SourceChanged, // the source changed while it was copied or since it was copied
    SourceInUse, // another program has the source open for writing
    TargetExists, NoSpace,
    NotWritable, // permissions or a read-only file system
    TargetMissing, // the folder to write into is gone
    NotMovable, // a device, a pipe or a socket
    Damaged, // the copy on disk holds other bytes than were written
    Other };

// Copies the regular file `source` to `target`, which must not exist: content, modification
// time and permissions, less any the group and others had. The source must not change
// meanwhile. `copied` receives the source's status the copy matches, `hash` the hash of the
// bytes copied (for verifyCopy()). A failed copy leaves no target behind. The copy is not
// flushed: callers flush many copies at once, then verify each.
Error copyFile(const QString& source, const QString& target, KFileStatus* copied, quint64* hash);

// Drops the cached pages of the file at `path`, already flushed to disk, and has the system read
// it from the disk ahead of verifyCopy(), without waiting. (A file that cannot be opened is left
// to verifyCopy() to report.)
void readAheadFromDisk(const QString& path);
// Reads the copy at `path`, after readAheadFromDisk(), back: None when it holds `size` bytes
// whose hash is `hash`, Damaged when it holds others, or the read's error. (A flush of each file
// would cost the disk a cache flush per copy; the caller flushes the whole file system once,
// which reports any write the disk refused.)
Error verifyCopy(const QString& path, qint64 size, quint64 hash);

// Recreates the symbolic link `source` as `target`, pointing where it points.
Error copySymLink(const QString& source, const QString& target);

// True when both regular files hold the same bytes.
[[nodiscard]] bool sameContent(const QString& first, const QString& second);

// Renames within one file system; fails with TargetExists rather than replace anything.
Error renameNoReplace(const QString& from, const QString& to);
// Renames `from` over `to`, replacing it.
Error replace(const QString& from, const QString& to);

// Both paths (which must exist) lie on the same file system, so that a rename moves between them.
[[nodiscard]] bool sameFileSystem(const QString& first, const QString& second);

// Creates the folder with its missing parents, each for its owner alone (0700, set on the
// created folder itself). An existing folder is left as it is.
Error makeFolder(const QString& path);
// Takes the group's and others' permissions from the folder, without following a link; false
// when that failed.
[[nodiscard]] bool restrictFolder(const QString& path);

// Removes the file when it is still in the state `expected` and no other program has it open
// for writing; SourceChanged or SourceInUse otherwise, and the file stays.
Error removeUnchanged(const QString& path, const KFileStatus& expected);
// Removes a file or a symbolic link; true when it is gone.
[[nodiscard]] bool removeFile(const QString& path);
// Removes an empty folder; false when it holds anything.
[[nodiscard]] bool removeEmptyFolder(const QString& path);

// Writes the file and the folder entry that names it to disk.
[[nodiscard]] bool syncFile(const QString& path);

// The last system error as the kind the move reports.
Error errorOf(int systemError);

} // namespace KFileTransfer
