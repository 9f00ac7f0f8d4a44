#pragma once

#include <QString>

#include <functional>

class KFileServiceManager;

// What a restore did. Whatever the result, the file that was at the target before is either
// still there, untouched, or saved as a version of its record.
enum class KRestoreResult
{
    Restored,
    // The backup copy to restore from is gone; nothing was touched.
    CopyMissing,
    // The file at the target could not be backed up first, so it was left alone.
    CurrentNotSaved,
    // The copy could not be written at the target (no permission, a folder there, the disk
    // full...); the file there is as it was.
    Failed,
    // The backup copy is not what it was when it was made (truncated, altered); nothing was
    // written.
    Damaged,
    // A symbolic link is at the target: a restore neither follows nor replaces one.
    TargetIsLink,
    // The target's folder was missing and could not be made; nothing was written.
    FolderNotCreated,
};

// Restores backup copies over the user's files. A file about to be replaced is first backed up
// as a version of its record, unless one of its versions already carries its modification time,
// the record being created as the scanner would create it; so every restore can be undone from
// the same lists. The restored file carries the modification time of what it restores, to the
// nanosecond, so the next cycle sees it as backed up already; its permissions are those of the
// file it replaces, or the copy's. A version's copy is checked against the size and content hash
// recorded when it was made, as it is copied. Missing folders on the way to the target are made
// (with the user's umask), as a deleted folder or a desktop folder that was never made would
// otherwise refuse every restore.
namespace KFileRestore {

// The version `fileId` of the backup folder, carrying the modification time its FileID records.
KRestoreResult restoreVersion(KFileServiceManager* engine, const QString& fileId, const QString& target,
    const std::function<void()>& afterEachChunk = {});
// Any file (a self-backup of the pricing product), carrying its own modification time.
KRestoreResult restoreFile(KFileServiceManager* engine, const QString& copyPath, const QString& target,
    const std::function<void()>& afterEachChunk = {});

// The kind a file without a record is protected under: that of its suffix, else "other", where
// the scanner puts office documents and drawings.
int kindOfPath(const QString& path);

} // namespace KFileRestore
