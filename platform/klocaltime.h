#pragma once

#include <QtGlobal>

// The local calendar time of an instant, from the C library: a fraction of the cost of
// QDateTime's conversion, which matters where every protected file's time is formatted on
// every cycle.
struct KLocalTime
{
    int year = 0;
    int month = 0; // 1 to 12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;

    static KLocalTime fromMSecsSinceEpoch(qint64 msecs);
};
