#pragma once

#include <QtGlobal>

struct KFileStatus;

// The rules that decide, in every cycle that may back up, what happens to a recently used file.
// Plain functions of what the cycle read, so that each rule can be tested on its own.
namespace KBackupRules {

enum class Decision
{
    Missing, // no such file: nothing to back up
    Unreadable, // its status cannot be read (a folder the user may not enter): a failure
    NotRegular, // a folder, FIFO, socket or device (or a link to one): never opened, skipped
    Unchanged, // a version carries its current modification time
    TooOld, // not modified during the last seven days
    BackUp,
};

// What to do with a file of status `file`; `backedUp` tells whether a version carries its
// current modification time; `oldest` is oldestBackedUp() of the current time, taken once for
// all the files of a cycle (it costs a time zone lookup).
Decision decide(const KFileStatus& file, bool backedUp, qint64 oldest);

// Whether a cycle backs up at all: the scanner allows it in the first cycle and every 31st,
// and the disk monitor must see room enough on the backup drive.
bool cycleBacksUp(bool backupAllowed, bool enoughSpace);

// The oldest modification still backed up, as the number of milliseconds since the epoch: a
// file's time plus seven days must lie after now.
qint64 oldestBackedUp(qint64 nowMSecs);

} // namespace KBackupRules
