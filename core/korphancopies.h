#pragma once

#include "core/kversionid.h"

#include <QString>
#include <QVector>

// Copies in the backup folder that no record names: left by a deletion that failed, or by a
// process that ended between a copy and the save of the database listing it. Nothing takes
// them but this.
namespace KOrphanCopies {

struct Result
{
    int removed = 0;
    int failed = 0; // copies that stayed, and a folder that could not be listed
};

// How old a copy must be before it counts as an orphan: a copy written or just recorded by
// another thread meanwhile is never taken.
constexpr qint64 SafetyMarginMSecs = 24 * 3600 * 1000;

// Removes from `folder` (not its subfolders) each regular file named like one of the engine's
// FileIDs that is not in `named` (sorted) and was made before `madeBeforeMSecs`. Anything else
// stays: links, folders, other names. Each removal and failure is reported.
Result remove(const QString& folder, const QVector<KVersionId>& named, qint64 madeBeforeMSecs);

} // namespace KOrphanCopies
