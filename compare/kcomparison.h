#pragma once

#include "compare/kcancel.h"
#include "compare/kcompareproblem.h"
#include "compare/kdocumenttext.h"
#include "compare/kimagediff.h"
#include "compare/ktextdiff.h"

enum class KCompareKind
{
    Text, // plain text, CSV, XML-based and source files
    Document, // office documents and presentations, by their text
    Spreadsheet, // cell by cell
    Image,
    Bytes, // anything else
};

// Where two files first differ, byte by byte.
struct KByteSummary
{
    qint64 beforeSize = -1; // -1: not readable
    qint64 afterSize = -1;
    qint64 firstDifference = -1; // -1 when the bytes are the same
    bool readable() const { return beforeSize >= 0 && afterSize >= 0; }
    bool same() const { return readable() && firstDifference < 0; }
};

struct KCellChange
{
    QString sheet;
    QString cell; // "B3"
    QString before; // empty where the cell was empty
    QString after;
};

struct KComparison
{
    KCompareKind kind = KCompareKind::Bytes;
    // Why the detailed comparison of the kind is missing; the byte summary is there regardless.
    KCompareProblem problem = KCompareProblem::None;
    QString detail;
    KByteSummary bytes;
    KTextDiff text; // Text and Document
    QVector<KCellChange> cells; // Spreadsheet, at most MaxListedCells of them
    int changedCells = 0;
    KImageComparison image;
};

// Compares an older state of a file with a newer one, by what the file is. Runs on a worker
// thread: it reads both files whole, and every read goes through the file-I/O layer (regular
// files only, with caps).
namespace KComparer {

// Past this, a text is not compared line by line; only the summary is shown.
constexpr qint64 MaxTextBytes = 20 << 20;
constexpr int MaxListedCells = 100000;

KCompareKind kindOf(const QString& fileName);

// `before` and `after` are compared as files named `fileName`.
KComparison compare(
    const QString& before, const QString& after, const QString& fileName, const KCancel& cancel);

KByteSummary summarize(const QString& before, const QString& after, const KCancel& cancel);
// The cells that differ: sheets by name in the newer order, then those only the older has.
QVector<KCellChange> compareCells(
    const KDocumentContent& before, const KDocumentContent& after, int* changed);
// "A1" for row 0, column 0.
QString cellName(int row, int column);

} // namespace KComparer
