#include "core/krows.h"

#include "platform/kpaths.h"

#include <QSet>

#include <algorithm>

namespace {

// "yyyy年MM月" as yyyy * 100 + MM; -1 when it names no month.
int monthKey(const QStringRef& month)
{
    if (month.size() != 8 || month.at(4) != QChar(0x5E74) || month.at(7) != QChar(0x6708))
        return -1;
    bool yearOk = false;
    bool monthOk = false;
    const int year = month.left(4).toInt(&yearOk);
    const int number = month.mid(5, 2).toInt(&monthOk);
    if (!yearOk || !monthOk || year < 1 || number < 1 || number > 12)
        return -1;
    return year * 100 + number;
}

// "yyyy-MM-dd" in digits; such texts order as the dates they name.
bool isDateText(const QStringRef& text)
{
    if (text.size() != 10 || text.at(4) != QLatin1Char('-') || text.at(7) != QLatin1Char('-'))
        return false;
    for (int i : { 0, 1, 2, 3, 5, 6, 8, 9 }) {
        if (!text.at(i).isDigit())
            return false;
    }
    return true;
}

// The last four fields of `row`, trimmed, in place: every cycle orders all rows, and copies of
// their fields would cost more than the ordering itself. False for a row without them.
bool fieldsOf(const QString& row, QStringRef fields[4], int* pathEnd)
{
    int at[4];
    int from = row.size() - 1;
    for (int i = 3; i >= 0; --i) {
        at[i] = from >= 0 ? row.lastIndexOf(QLatin1Char('|'), from) : -1;
        if (at[i] < 0)
            return false;
        from = at[i] - 1;
    }
    for (int i = 0; i < 4; ++i)
        fields[i] = row.midRef(at[i] + 1, (i < 3 ? at[i + 1] : row.size()) - at[i] - 1).trimmed();
    *pathEnd = at[0];
    return true;
}

// The last backup's date of `row`, empty when it is no "yyyy-MM-dd" text.
QStringRef latestOf(const QString& row)
{
    QStringRef fields[4];
    int pathEnd = 0;
    return fieldsOf(row, fields, &pathEnd) && isDateText(fields[1]) ? fields[1] : QStringRef();
}

} // namespace

namespace KRows {

Fields split(const QString& row)
{
    Fields fields;
    QStringRef parts[4];
    int pathEnd = 0;
    if (!fieldsOf(row, parts, &pathEnd)) {
        fields.path = row;
        return fields;
    }
    fields.path = row.left(pathEnd);
    fields.count = parts[0].toString();
    fields.latest = parts[1].toString();
    fields.month = parts[2].toString();
    fields.stamp = parts[3].toString();
    return fields;
}

QStringList sorted(const QStringList& rows)
{
    struct Keyed
    {
        int month;
        QStringRef latest;
        qint64 stamp;
        const QString* row;
    };
    QVector<Keyed> keyed;
    keyed.reserve(rows.size());
    QSet<QString> seen;
    seen.reserve(rows.size());
    for (const QString& row : rows) {
        if (row.trimmed().isEmpty() || seen.contains(row))
            continue;
        seen.insert(row);
        QStringRef fields[4];
        int pathEnd = 0;
        if (!fieldsOf(row, fields, &pathEnd)) {
            keyed.append({ -1, QStringRef(), -1, &row });
            continue;
        }
        // A "yyyy-MM-dd" text orders as its date; anything else comes after any date.
        bool stampOk = false;
        const qint64 stamp = fields[3].toLongLong(&stampOk);
        keyed.append({ monthKey(fields[2]), isDateText(fields[1]) ? fields[1] : QStringRef(),
            stampOk ? stamp : -1, &row });
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
        if (a.month != b.month)
            return a.month > b.month;
        if (a.latest != b.latest)
            return a.latest > b.latest;
        return a.stamp > b.stamp;
    });
    QStringList result;
    result.reserve(keyed.size());
    for (const Keyed& entry : qAsConst(keyed))
        result.append(*entry.row);
    return result;
}

QStringList newerThan(const std::array<QStringList, 5>& rowsByKind, int days, const QDateTime& now)
{
    QStringList recent;
    for (const QStringList& rows : rowsByKind)
        recent += backedUpWithin(rows, days, now);
    return sorted(recent);
}

QStringList backedUpWithin(const QStringList& rows, int days, const QDateTime& now)
{
    const QString first = now.date().addDays(1 - days).toString(QStringLiteral("yyyy-MM-dd"));
    QStringList within;
    for (const QString& row : rows) {
        const QStringRef latest = latestOf(row);
        if (!latest.isEmpty() && latest >= first)
            within.append(row);
    }
    return within;
}

bool nameMatches(const QString& path, const QString& text)
{
    const int name = path.lastIndexOf(KPaths::nativeSeparator()) + 1;
    return text.isEmpty() || QStringView(path).mid(name).contains(text, Qt::CaseInsensitive);
}

QStringList matching(const QStringList& rows, const QString& text)
{
    if (text.isEmpty())
        return rows;
    QStringList found;
    for (const QString& row : rows) {
        if (nameMatches(split(row).path, text))
            found.append(row);
    }
    return found;
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
