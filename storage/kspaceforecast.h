#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// What the backup drive had free at one time; the disk monitor keeps one a day.
struct KFreeSpaceSample
{
    QString root;
    qint64 msecs = 0; // since the epoch
    qint64 freeBytes = 0;

    bool operator==(const KFreeSpaceSample& other) const
    {
        return root == other.root && msecs == other.msecs && freeBytes == other.freeBytes;
    }
};

// How soon the backup drive fills, from its daily samples of free space.
namespace KSpaceForecast {

constexpr qint64 DayMs = 24 * 3600 * 1000;
// The growth is measured over this many days; one more is kept so a full week is always at hand.
constexpr int GrowthDays = 7;
constexpr int KeptDays = GrowthDays + 1;

// The bytes used per day on `root` over the last seven days before `nowMSecs`; -1 unless two of
// its samples there span at least a day and the free space shrank between them.
qint64 dailyGrowth(const QList<KFreeSpaceSample>& samples, const QString& root, qint64 nowMSecs);
// Whole days until `freeBytes` are used up at that growth; -1 when there is no estimate.
int daysUntilFull(
    const QList<KFreeSpaceSample>& samples, const QString& root, qint64 nowMSecs, qint64 freeBytes);

// `samples` with `sample` added: none of another drive (a moved backup folder starts afresh),
// none from a later time (the clock went back), at most one a day (the day's first), and only
// those of the last KeptDays days.
QList<KFreeSpaceSample> withSample(const QList<KFreeSpaceSample>& samples, const KFreeSpaceSample& sample);

// The settings' form: "<msecs> <freeBytes> <root>"; unreadable entries are dropped.
QStringList toStrings(const QList<KFreeSpaceSample>& samples);
QList<KFreeSpaceSample> fromStrings(const QStringList& entries);

} // namespace KSpaceForecast
