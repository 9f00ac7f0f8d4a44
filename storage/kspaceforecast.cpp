#include "storage/kspaceforecast.h"

#include <limits>

namespace KSpaceForecast {

qint64 dailyGrowth(const QList<KFreeSpaceSample>& samples, const QString& root, qint64 nowMSecs)
{
    const KFreeSpaceSample* oldest = nullptr;
    const KFreeSpaceSample* newest = nullptr;
    for (const KFreeSpaceSample& sample : samples) {
        if (sample.root != root || sample.msecs > nowMSecs || sample.msecs < nowMSecs - GrowthDays * DayMs)
            continue;
        if (!oldest || sample.msecs < oldest->msecs)
            oldest = &sample;
        if (!newest || sample.msecs > newest->msecs)
            newest = &sample;
    }
    if (!oldest || newest->msecs - oldest->msecs < DayMs)
        return -1;
    const qint64 used = oldest->freeBytes - newest->freeBytes;
    if (used <= 0)
        return -1;
    // In floating point: bytes times milliseconds overflows 64 bits from a few TiB on.
    return qMax<qint64>(1, qint64(double(used) * DayMs / double(newest->msecs - oldest->msecs)));
}

int daysUntilFull(
    const QList<KFreeSpaceSample>& samples, const QString& root, qint64 nowMSecs, qint64 freeBytes)
{
    const qint64 growth = dailyGrowth(samples, root, nowMSecs);
    if (growth <= 0)
        return -1;
    return int(qMin<qint64>(std::numeric_limits<int>::max(), qMax<qint64>(0, freeBytes) / growth));
}

QList<KFreeSpaceSample> withSample(const QList<KFreeSpaceSample>& samples, const KFreeSpaceSample& sample)
{
    QList<KFreeSpaceSample> kept;
    const qint64 day = sample.msecs / DayMs;
    for (const KFreeSpaceSample& old : samples) {
        if (old.root != sample.root || old.msecs > sample.msecs || old.msecs / DayMs <= day - KeptDays)
            continue;
        if (old.msecs / DayMs == day)
            return samples; // today's is taken
        kept << old;
    }
    kept << sample;
    return kept;
}

QStringList toStrings(const QList<KFreeSpaceSample>& samples)
{
    QStringList entries;
    for (const KFreeSpaceSample& sample : samples)
        entries << QStringLiteral("%1 %2 %3").arg(sample.msecs).arg(sample.freeBytes).arg(sample.root);
    return entries;
}

QList<KFreeSpaceSample> fromStrings(const QStringList& entries)
{
    QList<KFreeSpaceSample> samples;
    for (const QString& entry : entries) {
        bool msecsRead = false;
        bool freeRead = false;
        KFreeSpaceSample sample;
        sample.msecs = entry.section(QLatin1Char(' '), 0, 0).toLongLong(&msecsRead);
        sample.freeBytes = entry.section(QLatin1Char(' '), 1, 1).toLongLong(&freeRead);
        sample.root = entry.section(QLatin1Char(' '), 2);
        if (msecsRead && freeRead && !sample.root.isEmpty())
            samples << sample;
    }
    return samples;
}

} // namespace KSpaceForecast
