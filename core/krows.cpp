#include "core/krows.h"

#include "core/ktimestamp.h"

#include <QSet>

#include <algorithm>

namespace {

// "yyyy年MM月" as yyyy * 100 + MM; -1 when it names no month.
int monthKey(const QString& month)
{
    if (month.size() != 8 || month.at(4) != QChar(0x5E74) || month.at(7) != QChar(0x6708))
        return -1;
    bool yearOk = false;
    bool monthOk = false;
    const int year = month.leftRef(4).toInt(&yearOk);
    const int number = month.midRef(5, 2).toInt(&monthOk);
    if (!yearOk || !monthOk || year < 1 || number < 1 || number > 12)
        return -1;
    return year * 100 + number;
}

} // namespace

namespace KRows {

Fields split(const QString& row)
{
    Fields fields;
    const int monthAt = row.lastIndexOf(QLatin1Char('|'));
    const int latestAt = monthAt > 0 ? row.lastIndexOf(QLatin1Char('|'), monthAt - 1) : -1;
    const int countAt = latestAt > 0 ? row.lastIndexOf(QLatin1Char('|'), latestAt - 1) : -1;
    if (countAt < 0) {
        fields.path = row;
        return fields;
    }
    fields.path = row.left(countAt);
    fields.count = row.mid(countAt + 1, latestAt - countAt - 1).trimmed();
    fields.latest = row.mid(latestAt + 1, monthAt - latestAt - 1).trimmed();
    fields.month = row.mid(monthAt + 1).trimmed();
    return fields;
}

QStringList sorted(const QStringList& rows)
{
    struct Keyed
    {
        int month;
        QString latest;
        const QString* row;
    };
    QVector<Keyed> keyed;
    keyed.reserve(rows.size());
    QSet<QString> seen;
    for (const QString& row : rows) {
        if (row.trimmed().isEmpty() || seen.contains(row))
            continue;
        seen.insert(row);
        const Fields fields = split(row);
        // A "yyyy-MM-dd hh:mm:ss" text orders as its time; anything else comes after any time.
        keyed.append({ monthKey(fields.month),
            KTimeStamp::isDisplayText(fields.latest) ? fields.latest : QString(), &row });
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.month != b.month)
            return a.month > b.month;
        return a.latest > b.latest;
    });
    QStringList result;
    result.reserve(keyed.size());
    for (const Keyed& entry : qAsConst(keyed))
        result.append(*entry.row);
    return result;
}

QStringList newerThan(const std::array<QStringList, 5>& rowsByKind, int days, const QDateTime& now)
{
    const QString threshold = now.addDays(-days).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    QStringList recent;
    for (const QStringList& rows : rowsByKind) {
        for (const QString& row : rows) {
            const QString latest = split(row).latest;
            if (KTimeStamp::isDisplayText(latest) && latest > threshold)
                recent.append(row);
        }
    }
    return recent;
}

int pageCount(int rows)
{
    return rows / PageSize + (rows % PageSize >= 1 ? 1 : 0);
}

QVector<PageLine> page(const QStringList& rows, int page)
{
    QVector<PageLine> lines;
    const int first = (page - 1) * PageSize;
    if (page < 1 || first >= rows.size())
        return lines;
    QString header;
    const int end = qMin(first + PageSize, rows.size());
    for (int i = first; i < end; ++i) {
        const Fields fields = split(rows.at(i));
        if (fields.month != header) {
            header = fields.month;
            lines.append({ true, header, QString(), QString() });
        }
        lines.append({ false, fields.path, fields.count, fields.latest });
    }
    return lines;
}

} // namespace KRows
