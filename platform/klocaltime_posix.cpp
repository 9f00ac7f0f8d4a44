#include "platform/klocaltime.h"

#include <ctime>

KLocalTime KLocalTime::fromMSecsSinceEpoch(qint64 msecs)
{
    // Floor division keeps times before the epoch in their own second.
    const time_t seconds = time_t(msecs >= 0 ? msecs / 1000 : -((-msecs + 999) / 1000));
    struct tm fields
    {
    };
    localtime_r(&seconds, &fields);
    KLocalTime local;
    local.year = fields.tm_year + 1900;
    local.month = fields.tm_mon + 1;
    local.day = fields.tm_mday;
    local.hour = fields.tm_hour;
    local.minute = fields.tm_min;
    local.second = fields.tm_sec;
    return local;
}
