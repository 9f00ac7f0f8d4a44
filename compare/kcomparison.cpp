#include "compare/kcomparison.h"

#include "compare/kcomparelog.h"
#include "platform/kfileio.h"

#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QTextCodec>

#include <cerrno>
#include <cstring>
#include <limits>
#include <vector>

namespace KComparer {

namespace {

constexpr qint64 ChunkBytes = 1 << 20;

std::unique_ptr<QFile> openForReading(const QString& path, qint64 cap, KCompareProblem* problem)
{
    auto file = KFileIO::openRegularFile(path, cap);
    if (!file) {
        *problem = errno == EFBIG ? KCompareProblem::TooMuchText : KCompareProblem::Unreadable;
        qCInfo(lcCompare) << "cannot read" << path << std::strerror(errno);
    }
    return file;
}

// UTF-8, or the encoding a byte-order mark names; a file that is no valid UTF-8 is read as
// GB 18030, as Chinese programs write it.
KCompareProblem readText(const QString& path, KLines* lines)
{
    KCompareProblem problem = KCompareProblem::None;
    const auto file = openForReading(path, MaxTextBytes, &problem);
    if (!file)
        return problem;
    const QByteArray bytes = file->readAll();
    // Counted on the bytes: short lines cost more split than read.
    if (qMax(bytes.count('\n'), bytes.count('\r')) > KTextDiffer::MaxLines)
        return KCompareProblem::TooMuchText;
    QTextCodec* codec = QTextCodec::codecForUtfText(bytes, nullptr);
    if (!codec && bytes.contains('\0'))
        return KCompareProblem::NotText;
    QTextCodec::ConverterState state;
    QString text = (codec ? codec : QTextCodec::codecForName("UTF-8"))
                       ->toUnicode(bytes.constData(), bytes.size(), &state);
    if (!codec && state.invalidChars > 0)
        text = QTextCodec::codecForName("GB18030")->toUnicode(bytes);
    if (!text.isEmpty() && text.at(0) == QChar(QChar::ByteOrderMark))
        text.remove(0, 1);
    *lines = KLines(std::move(text));
    return KCompareProblem::None;
}

KCompareProblem readDocument(const QString& path, KDocumentText::Format format, const KCancel& cancel,
    KDocumentContent* content, QString* detail)
{
    KCompareProblem problem = KCompareProblem::None;
    const auto file = openForReading(path, KDocumentText::MaxArchiveBytes, &problem);
    if (!file)
        return problem == KCompareProblem::TooMuchText ? KCompareProblem::ArchiveTooLarge : problem;
    *content = KDocumentText::extract(file.get(), format, cancel);
    *detail = content->detail;
    return content->problem;
}

KCompareProblem readImage(const QString& path, QImage* image, QSize* size)
{
    KCompareProblem problem = KCompareProblem::None;
    const auto file = openForReading(path, 64 << 20, &problem);
    if (!file)
        return problem == KCompareProblem::TooMuchText ? KCompareProblem::ImageTooLarge : problem;
    return KImageDiffer::read(file.get(), QFileInfo(path).suffix().toLower().toLatin1(), image, size);
}

void compareDocuments(const QString& before, const QString& after, KDocumentText::Format format,
    const KCancel& cancel, KComparison* result)
{
    KDocumentContent old;
    KDocumentContent current;
    result->problem = readDocument(before, format, cancel, &old, &result->detail);
    if (result->problem == KCompareProblem::None)
        result->problem = readDocument(after, format, cancel, &current, &result->detail);
    if (result->problem != KCompareProblem::None)
        return;
    if (result->kind == KCompareKind::Spreadsheet)
        result->cells = compareCells(old, current, &result->changedCells);
    else
        result->text = KTextDiffer::diff(old.text, current.text, cancel);
}

} // namespace

KCompareKind kindOf(const QString& fileName)
{
    static const QSet<QString> texts = {
        QStringLiteral("txt"),
        QStringLiteral("text"),
        QStringLiteral("log"),
        QStringLiteral("md"),
        QStringLiteral("csv"),
        QStringLiteral("tsv"),
        QStringLiteral("ini"),
        QStringLiteral("conf"),
        QStringLiteral("cfg"),
        QStringLiteral("json"),
        QStringLiteral("yaml"),
        QStringLiteral("yml"),
        QStringLiteral("toml"),
        QStringLiteral("xml"),
        QStringLiteral("xsd"),
        QStringLiteral("xsl"),
        QStringLiteral("xslt"),
        QStringLiteral("html"),
        QStringLiteral("htm"),
        QStringLiteral("xhtml"),
        QStringLiteral("css"),
        QStringLiteral("c"),
        QStringLiteral("cc"),
        QStringLiteral("cpp"),
        QStringLiteral("cxx"),
        QStringLiteral("h"),
        QStringLiteral("hpp"),
        QStringLiteral("java"),
        QStringLiteral("cs"),
        QStringLiteral("go"),
        QStringLiteral("rs"),
        QStringLiteral("py"),
        QStringLiteral("js"),
        QStringLiteral("ts"),
        QStringLiteral("sql"),
        QStringLiteral("sh"),
        QStringLiteral("bat"),
        QStringLiteral("ps1"),
        QStringLiteral("tex"),
        QStringLiteral("dxf"),
    };
    static const QSet<QString> images = {
        QStringLiteral("png"),
        QStringLiteral("jpg"),
        QStringLiteral("jpeg"),
        QStringLiteral("bmp"),
        QStringLiteral("gif"),
        QStringLiteral("svg"),
    };
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    KDocumentText::Format format;
    if (KDocumentText::formatOf(fileName, &format))
        return KDocumentText::isSpreadsheet(format) ? KCompareKind::Spreadsheet : KCompareKind::Document;
    if (texts.contains(suffix))
        return KCompareKind::Text;
    if (images.contains(suffix))
        return KCompareKind::Image;
    return KCompareKind::Bytes;
}

KByteSummary summarize(const QString& before, const QString& after, const KCancel& cancel)
{
    KByteSummary summary;
    KCompareProblem ignored = KCompareProblem::None;
    const qint64 any = std::numeric_limits<qint64>::max();
    const auto old = openForReading(before, any, &ignored);
    const auto current = openForReading(after, any, &ignored);
    if (!old || !current)
        return summary;
    summary.beforeSize = old->size();
    summary.afterSize = current->size();
    std::vector<char> a(static_cast<size_t>(ChunkBytes));
    std::vector<char> b(static_cast<size_t>(ChunkBytes));
    qint64 offset = 0;
    while (!cancel.isCancelled()) {
        const qint64 gotA = old->read(a.data(), ChunkBytes);
        const qint64 gotB = current->read(b.data(), ChunkBytes);
        if (gotA < 0 || gotB < 0) {
            summary.beforeSize = summary.afterSize = -1;
            return summary;
        }
        const qint64 common = qMin(gotA, gotB);
        if (std::memcmp(a.data(), b.data(), size_t(common)) != 0) {
            qint64 i = 0;
            while (a[size_t(i)] == b[size_t(i)])
                ++i;
            summary.firstDifference = offset + i;
            return summary;
        }
        if (gotA != gotB) {
            summary.firstDifference = offset + common;
            return summary;
        }
        if (gotA == 0)
            return summary;
        offset += gotA;
    }
    return summary;
}

QString cellName(int row, int column)
{
    QString letters;
    for (int c = column + 1; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(ushort('A' + (c - 1) % 26)));
    return letters + QString::number(row + 1);
}

QVector<KCellChange> compareCells(const KDocumentContent& before, const KDocumentContent& after, int* changed)
{
    using Grid = QMap<qint64, QString>;
    auto grids = [](const KDocumentContent& document) {
        QHash<QString, Grid> bySheet;
        for (const KCell& cell : document.cells)
            bySheet[document.sheets.value(cell.sheet)].insert(
                qint64(cell.row) << 16 | cell.column, cell.value);
        return bySheet;
    };
    const QHash<QString, Grid> old = grids(before);
    const QHash<QString, Grid> current = grids(after);
    QStringList sheets = after.sheets;
    for (const QString& sheet : before.sheets) {
        if (!sheets.contains(sheet))
            sheets << sheet;
    }
    sheets.removeDuplicates();
    QVector<KCellChange> changes;
    *changed = 0;
    auto note = [&](const QString& sheet, qint64 key, const QString& was, const QString& is) {
        if (was == is)
            return;
        ++*changed;
        if (changes.size() < MaxListedCells)
            changes.append({ sheet, cellName(int(key >> 16), int(key & 0xffff)), was, is });
    };
    for (const QString& sheet : qAsConst(sheets)) {
        const Grid a = old.value(sheet);
        const Grid b = current.value(sheet);
        auto i = a.constBegin();
        auto j = b.constBegin();
        while (i != a.constEnd() || j != b.constEnd()) {
            if (j == b.constEnd() || (i != a.constEnd() && i.key() < j.key())) {
                note(sheet, i.key(), i.value(), QString());
                ++i;
            } else if (i == a.constEnd() || j.key() < i.key()) {
                note(sheet, j.key(), QString(), j.value());
                ++j;
            } else {
                note(sheet, i.key(), i.value(), j.value());
                ++i;
                ++j;
            }
        }
    }
    return changes;
}

KComparison compare(
    const QString& before, const QString& after, const QString& fileName, const KCancel& cancel)
{
    KComparison result;
    result.kind = kindOf(fileName);
    result.bytes = summarize(before, after, cancel);
    if (!result.bytes.readable()) {
        result.problem = KCompareProblem::Unreadable;
        return result;
    }
    // The same bytes need no reading of what they mean.
    if (result.bytes.same())
        return result;
    KDocumentText::Format format;
    switch (result.kind) {
    case KCompareKind::Text: {
        KLines old;
        KLines current;
        result.problem = readText(before, &old);
        if (result.problem == KCompareProblem::None)
            result.problem = readText(after, &current);
        if (result.problem == KCompareProblem::None)
            result.text = KTextDiffer::diff(old, current, cancel);
        break;
    }
    case KCompareKind::Document:
    case KCompareKind::Spreadsheet:
        if (KDocumentText::formatOf(fileName, &format))
            compareDocuments(before, after, format, cancel, &result);
        break;
    case KCompareKind::Image: {
        QImage old;
        QImage current;
        QSize oldSize;
        QSize currentSize;
        result.problem = readImage(before, &old, &oldSize);
        if (result.problem == KCompareProblem::None)
            result.problem = readImage(after, &current, &currentSize);
        if (result.problem == KCompareProblem::None) {
            result.image = KImageDiffer::compare(old, current);
            result.image.beforeSize = oldSize;
            result.image.afterSize = currentSize;
        }
        break;
    }
    case KCompareKind::Bytes:
        break;
    }
    if (cancel.isCancelled())
        result.problem = KCompareProblem::Cancelled;
    return result;
}

} // namespace KComparer
