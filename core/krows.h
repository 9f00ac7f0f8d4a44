#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

// The rows the pages show, built from the records' row texts "path|count|date|month|stamp": the
// record's path, its version count, the date "yyyy-MM-dd" and month "yyyy年MM月" of its last
// backup, and the modification that backup took as yyyyMMddhhmmss. Plain functions, so that
// each rule can be tested.
namespace KRows {

constexpr int PageSize = 20;

struct Fields
{
    QString path;
    QString count;
    QString latest; // the last backup's date
    QString month;
    QString stamp;
};

// The last four fields never hold "|", so a row is split from the right: a path may contain "|"
// on Linux. The path is not trimmed either, since blanks at its ends belong to a Linux file name.
Fields split(const QString& row);

// Newest month of the last backup first; within a month the latest backup first, and of those
// made on one day the latest state first. An unreadable month or date comes last. Rows equal in
// every key keep their order. Identical rows and empty rows are dropped.
QStringList sorted(const QStringList& rows);

// The rows of every kind last backed up on one of the `days` days up to `now`'s date, sorted.
QStringList newerThan(const std::array<QStringList, 5>& rowsByKind, int days, const QDateTime& now);
// The rows of `rows` last backed up on one of the `days` days up to `now`'s date, in their order:
// today's rows from the sorted recent ones without sorting again.
QStringList backedUpWithin(const QStringList& rows, int days, const QDateTime& now);

// Whether the file name of `path` (its last part) holds `text`, ignoring case; always for an
// empty text.
bool nameMatches(const QString& path, const QString& text);
// The rows whose file name matches `text`.
QStringList matching(const QStringList& rows, const QString& text);

// Pages of PageSize rows: ceil(count / PageSize).
int pageCount(int rows);

// One line of a page: a month header (header true, only `text` set) or a file row.
struct PageLine
{
    bool header = false;
    QString text; // the month, or the path
    QString count;
    QString latest;
};

// Page `page` (from 1) of `rows`: at most PageSize file rows, each run of one month under a
// header; headers do not count towards the page size. A page beyond the last is empty.
QVector<PageLine> page(const QStringList& rows, int page);

} // namespace KRows
