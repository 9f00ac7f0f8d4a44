#include "service/kbackuprules.h"

#include "platform/kfileops.h"

#include <QDateTime>

namespace KBackupRules {

qint64 oldestBackedUp(qint64 nowMSecs)
{
    // Seven calendar days back in local time, as the user counts them across a clock change.
    return QDateTime::fromMSecsSinceEpoch(nowMSecs).addDays(-7).toMSecsSinceEpoch();
}

Decision decide(const KFileStatus& file, bool backedUp, qint64 oldest)
{
    if (file.unreadable)
        return Decision::Unreadable;
    if (!file.exists)
        return Decision::Missing;
    if (!file.isFile)
        return Decision::NotRegular;
    if (backedUp)
        return Decision::Unchanged;
    if (file.modifiedMSecs <= oldest)
        return Decision::TooOld;
    return Decision::BackUp;
}

bool cycleBacksUp(bool backupAllowed, bool enoughSpace)
{
    return backupAllowed && enoughSpace;
}

} // namespace KBackupRules
