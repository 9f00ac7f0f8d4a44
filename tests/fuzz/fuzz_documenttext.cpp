#include "compare/kdocumenttext.h"
#include "kfuzzrequire.h"

#include <QByteArray>

// Office documents as anyone may leave them: whatever the zip holds, the text ends in content
// within the caps or in a problem, never a crash, a hang or memory past the caps. The first byte
// picks the format.

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const auto format = KDocumentText::Format(data[0] % 6);
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, int(size - 1));
    const KDocumentContent content = KDocumentText::extract(bytes, format);
    if (content.problem != KCompareProblem::None)
        return 0;
    require(content.text.characters() <= KDocumentText::MaxTextCharacters, "more text than the cap");
    require(
        content.text.count() <= KTextDiffer::MaxLines + KDocumentText::MaxParts, "more lines than the cap");
    require(content.cells.size() <= KDocumentText::MaxCells, "more cells than the cap");
    require(content.sheets.size() <= KDocumentText::MaxParts, "more sheets than the cap");
    for (const KCell& cell : content.cells)
        require(cell.sheet >= 0 && cell.sheet < content.sheets.size() && cell.row >= 0 && cell.column >= 0,
            "a cell outside its sheets");
    return 0;
}
