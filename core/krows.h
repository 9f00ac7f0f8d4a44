#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <array>

// The rows the pages show, built from the records' row texts "path|count|latest|month" (the
// record's path, its version count, the latest backed-up modification "yyyy-MM-dd hh:mm:ss" and
// the file's creation month "yyyy年MM月"). Plain functions, so that each rule can be tested.
namespace KRows {

constexpr int PageSize = 20;

struct Fields
{
    QString path;
    QString count;
    QString latest;
    QString month;
};

// The last three fields never hold "|", so a row is split from the right: a path may contain "|"
// on Linux. The path is not trimmed either, since blanks at its ends belong to a Linux file name.
Fields split(const QString& row);

// Newest creation month first and, within a month, the most recently modified file first; an
// unreadable month comes last. Rows equal in both keep their order. Identical rows and empty
// rows are dropped.
QStringList sorted(const QStringList& rows);

// The rows of every kind, in kind order, whose latest backed-up modification lies less than
// `days` days before `now`.
QStringList newerThan(const std::array<QStringList, 5>& rowsByKind, int days, const QDateTime& now);

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
