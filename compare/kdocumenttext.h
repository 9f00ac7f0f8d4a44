#pragma once

#include "compare/kcancel.h"
#include "compare/kcompareproblem.h"
#include "compare/ktextdiff.h"

#include <QStringList>
#include <QVector>

class QIODevice;

// One cell of a spreadsheet that holds something.
struct KCell
{
    int sheet = 0; // index into KDocumentContent::sheets
    int row = 0; // from 0
    int column = 0;
    QString value;
};

// What a document says, as far as a comparison needs it.
struct KDocumentContent
{
    KCompareProblem problem = KCompareProblem::None;
    QString detail; // the entry concerned, where there is one
    KLines text; // a paragraph a line; slides are parted by an empty line
    QStringList sheets; // a spreadsheet's sheet names in their order
    QVector<KCell> cells;
};

// The text of the zipped XML documents of office suites, read with KArchive. A document is an
// input like any other: whatever it holds ends in its content or in a problem, within the caps
// below, without an entry ever being written anywhere.
namespace KDocumentText {

enum class Format
{
    OpenText, // odt
    OpenSpreadsheet, // ods
    OpenPresentation, // odp
    WordText, // docx
    Workbook, // xlsx
    Slides, // pptx
};

// The format the suffix of `fileName` names; false for any other file.
bool formatOf(const QString& fileName, Format* format);
bool isSpreadsheet(Format format);

constexpr qint64 MaxArchiveBytes = 64 << 20;
// Zip headers, local and central together: KArchive keeps an object for each.
constexpr int MaxHeaders = 20000;
// Folders in the central headers' names, each an object of KArchive's.
constexpr int MaxFolders = 100000;
// An entry is streamed into the parser; it may not declare or inflate to more than this.
constexpr qint64 MaxEntryBytes = 32 << 20;
// More than this times its compressed size is no document's XML.
constexpr int MaxRatio = 200;
constexpr qint64 MaxReadBytes = 256 << 20;
constexpr int MaxTextCharacters = 20 << 20;
constexpr int MaxCells = 500000;
constexpr int MaxParts = 1000; // sheets or slides

// Reads the document on `device` (not yet open, or open for reading).
KDocumentContent extract(QIODevice* device, Format format, const KCancel& cancel);
// The same from bytes in memory.
KDocumentContent extract(const QByteArray& bytes, Format format);

} // namespace KDocumentText
