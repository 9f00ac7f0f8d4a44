#include "compare/kdocumenttext.h"

#include "compare/kcomparelog.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QXmlStreamReader>

#include <KArchive>
#include <KArchiveDirectory>
#include <KZip>
#include <KZipFileEntry>
#include <functional>
#include <memory>

namespace KDocumentText {

namespace {

using Token = QXmlStreamReader::TokenType;

constexpr qint64 ChunkBytes = 64 << 10;
constexpr int MaxFolderDepth = 100;
constexpr int MaxRows = 1 << 20;
constexpr int MaxColumns = 1 << 14;

const QLatin1String TableNs("urn:oasis:names:tc:opendocument:xmlns:table:1.0");
const QLatin1String TextNs("urn:oasis:names:tc:opendocument:xmlns:text:1.0");
const QLatin1String OfficeNs("urn:oasis:names:tc:opendocument:xmlns:office:1.0");

// A name that stays inside the archive's own folder, whatever system unpacks it.
bool isSafeName(const QString& path)
{
    if (path.startsWith(QLatin1Char('/')) || path.contains(QLatin1Char('\\'))
        || path.contains(QLatin1Char(':')))
        return false;
    const QVector<QStringRef> parts = path.splitRef(QLatin1Char('/'));
    for (const QStringRef& part : parts) {
        if (part == QLatin1String(".."))
            return false;
    }
    return true;
}

// The number of an attribute, within bounds; `fallback` when it is missing or no number.
int numberAttribute(const QXmlStreamReader& xml, QLatin1String ns, QLatin1String name, int fallback, int most)
{
    bool ok = false;
    const int value = xml.attributes().value(ns, name).toInt(&ok);
    return ok && value > 0 ? qMin(value, most) : fallback;
}

// An attribute by its local name in any namespace ("r:id" whichever URI the prefix stands for).
QString attributeNamed(const QXmlStreamReader& xml, QLatin1String name)
{
    const QXmlStreamAttributes attributes = xml.attributes();
    for (const QXmlStreamAttribute& attribute : attributes) {
        if (attribute.name() == name && !attribute.namespaceUri().isEmpty())
            return attribute.value().toString();
    }
    return xml.attributes().value(name).toString();
}

// "AB12": column 27 and row 11, from 0; false for anything else.
bool parseCellReference(QStringView reference, int* row, int* column)
{
    int i = 0;
    int col = 0;
    while (i < reference.size() && i < 3 && reference.at(i).isUpper() && reference.at(i).unicode() <= 'Z')
        col = col * 26 + (reference.at(i++).unicode() - 'A' + 1);
    bool ok = false;
    const int number = reference.mid(i).toInt(&ok);
    if (col == 0 || !ok || number < 1 || number > MaxRows)
        return false;
    *row = number - 1;
    *column = col - 1;
    return true;
}

class KExtractor
{
public:
    KExtractor(QIODevice* device, const KCancel& cancel)
        : m_device(device)
        , m_zip(device)
        , m_cancel(cancel)
    { }

    KDocumentContent run(Format format)
    {
        if (open()) {
            switch (format) {
            case Format::OpenText:
            case Format::OpenPresentation:
                readOpenDocument(false);
                break;
            case Format::OpenSpreadsheet:
                readOpenDocument(true);
                break;
            case Format::WordText:
                readWordText();
                break;
            case Format::Workbook:
                readWorkbook();
                break;
            case Format::Slides:
                readSlides();
                break;
            }
        }
        if (m_content.problem != KCompareProblem::None) {
            qCInfo(lcCompare) << "cannot read the document:" << int(m_content.problem) << m_content.detail;
            m_content.text = KLines();
            m_content.cells.clear();
        }
        return std::move(m_content);
    }

private:
    bool ok() const { return m_content.problem == KCompareProblem::None; }

    void fail(KCompareProblem problem, const QString& detail = QString())
    {
        if (!ok())
            return;
        m_content.problem = problem;
        m_content.detail = detail;
    }

    // KArchive keeps an object for every header it meets and for every folder their names make,
    // so both are counted before it reads.
    bool countHeaders()
    {
        if (!m_device->isOpen() && !m_device->open(QIODevice::ReadOnly))
            return false;
        if (m_device->size() > MaxArchiveBytes) {
            fail(KCompareProblem::ArchiveTooLarge);
            return false;
        }
        int headers = 0;
        QVector<qint64> central;
        QByteArray carry;
        qint64 read = 0;
        while (!m_device->atEnd()) {
            const QByteArray window = carry + m_device->read(1 << 20);
            if (window.size() == carry.size())
                break;
            const qint64 windowStart = read - carry.size();
            read += window.size() - carry.size();
            for (int at = window.indexOf("PK"); at >= 0 && at + 3 < window.size();
                 at = window.indexOf("PK", at + 1)) {
                const char third = window.at(at + 2);
                const char fourth = window.at(at + 3);
                const bool isCentral = third == 1 && fourth == 2;
                if (!isCentral && !(third == 3 && fourth == 4))
                    continue;
                if (++headers > MaxHeaders) {
                    fail(KCompareProblem::TooManyEntries);
                    return false;
                }
                if (isCentral)
                    central.append(windowStart + at);
            }
            carry = window.right(3);
            if (m_cancel.isCancelled()) {
                fail(KCompareProblem::Cancelled);
                return false;
            }
        }
        qint64 folders = 0;
        for (const qint64 at : qAsConst(central)) {
            if (!m_device->seek(at + 28))
                break;
            const QByteArray length = m_device->read(2);
            if (length.size() < 2 || !m_device->seek(at + 46))
                break;
            folders += m_device->read(quint8(length.at(0)) | quint8(length.at(1)) << 8).count('/');
            if (folders > MaxFolders) {
                fail(KCompareProblem::TooManyEntries);
                return false;
            }
        }
        return m_device->seek(0);
    }

    bool namesAreSafe(const KArchiveDirectory* folder, int depth)
    {
        if (depth > MaxFolderDepth) {
            fail(KCompareProblem::BrokenArchive);
            return false;
        }
        const QStringList names = folder->entries();
        for (const QString& name : names) {
            if (name == QLatin1String("..") || name == QLatin1String(".")) {
                fail(KCompareProblem::UnsafeEntryName, name);
                return false;
            }
            const KArchiveEntry* entry = folder->entry(name);
            if (!entry)
                continue;
            if (entry->isDirectory()) {
                if (!namesAreSafe(static_cast<const KArchiveDirectory*>(entry), depth + 1))
                    return false;
            } else if (!isSafeName(static_cast<const KZipFileEntry*>(entry)->path())) {
                fail(KCompareProblem::UnsafeEntryName, static_cast<const KZipFileEntry*>(entry)->path());
                return false;
            }
        }
        return true;
    }

    bool open()
    {
        if (!countHeaders()) {
            fail(KCompareProblem::BrokenArchive);
            return false;
        }
        if (!m_zip.open(QIODevice::ReadOnly)) {
            fail(KCompareProblem::BrokenArchive, m_zip.errorString());
            return false;
        }
        return namesAreSafe(m_zip.directory(), 0);
    }

    const KZipFileEntry* fileEntry(const QString& path) const
    {
        const KArchiveEntry* entry = m_zip.directory()->entry(path);
        return entry && entry->isFile() ? static_cast<const KZipFileEntry*>(entry) : nullptr;
    }

    // Streams the entry `path` through `onToken` without holding more than a chunk of it. False
    // when it could not be read whole, or `onToken` asked to stop (then the reason is set).
    bool parse(const QString& path, const std::function<bool(const QXmlStreamReader&)>& onToken)
    {
        const KZipFileEntry* entry = fileEntry(path);
        if (!entry) {
            fail(KCompareProblem::MissingContent, path);
            return false;
        }
        const qint64 declared = entry->size();
        if (declared > MaxEntryBytes) {
            fail(KCompareProblem::EntryTooLarge, path);
            return false;
        }
        if (declared > (1 << 20) && declared > qint64(entry->compressedSize()) * MaxRatio) {
            fail(KCompareProblem::ZipBomb, path);
            return false;
        }
        const std::unique_ptr<QIODevice> device(entry->createDevice());
        if (!device) {
            fail(KCompareProblem::BrokenArchive, path);
            return false;
        }
        QXmlStreamReader xml;
        qint64 inflated = 0;
        for (;;) {
            const Token token = xml.readNext();
            if (token == Token::Invalid) {
                if (xml.error() != QXmlStreamReader::PrematureEndOfDocumentError) {
                    fail(KCompareProblem::BrokenXml, QStringLiteral("%1:%2").arg(path).arg(xml.lineNumber()));
                    return false;
                }
                if (m_cancel.isCancelled()) {
                    fail(KCompareProblem::Cancelled);
                    return false;
                }
                const QByteArray chunk = device->read(ChunkBytes);
                if (chunk.isEmpty()) {
                    fail(KCompareProblem::BrokenXml, path);
                    return false;
                }
                inflated += chunk.size();
                m_inflated += chunk.size();
                // A header that understates its entry is a bomb in disguise.
                if (inflated > declared) {
                    fail(KCompareProblem::ZipBomb, path);
                    return false;
                }
                if (m_inflated > MaxReadBytes) {
                    fail(KCompareProblem::TooMuchText, path);
                    return false;
                }
                xml.addData(chunk);
                continue;
            }
            if (token == Token::DTD) {
                fail(KCompareProblem::BrokenXml, path);
                return false;
            }
            if (token == Token::EndDocument)
                return true;
            if (!onToken(xml))
                return false;
        }
    }

    // The relationships of a part: identifier to the path of the part it names, inside the archive.
    QHash<QString, QString> relationships(const QString& relsPath, const QString& folder)
    {
        QHash<QString, QString> targets;
        parse(relsPath, [&](const QXmlStreamReader& xml) {
            if (xml.isStartElement() && xml.name() == QLatin1String("Relationship")
                && xml.attributes().value(QLatin1String("TargetMode")) != QLatin1String("External")) {
                const QString target = xml.attributes().value(QLatin1String("Target")).toString();
                QString path = target.startsWith(QLatin1Char('/')) ? target.mid(1) : folder + target;
                path = QDir::cleanPath(path);
                if (isSafeName(path))
                    targets.insert(xml.attributes().value(QLatin1String("Id")).toString(), path);
            }
            return targets.size() <= MaxParts * 4;
        });
        return targets;
    }

    // Paragraph text, a line at a time, into the document's lines or, in a spreadsheet, the cell.
    void addText(QStringView text)
    {
        m_characters += text.size();
        if (m_characters > MaxTextCharacters)
            fail(KCompareProblem::TooMuchText);
        else
            m_line.append(text.data(), text.size());
    }

    void endLine()
    {
        if (m_inCell) {
            if (!m_cellText.isEmpty() && !m_line.isEmpty())
                m_cellText += QLatin1Char('\n');
            m_cellText += m_line;
        } else if (!m_line.isEmpty()) {
            if (m_content.text.count() >= KTextDiffer::MaxLines)
                fail(KCompareProblem::TooMuchText);
            else
                m_content.text.append(m_line);
        }
        m_line.clear();
    }

    void addCell(int sheet, int row, int column, const QString& value)
    {
        if (m_content.cells.size() >= MaxCells)
            fail(KCompareProblem::TooMuchText);
        else
            m_content.cells.append({ sheet, row, column, value });
    }

    // The paragraphs of OpenDocument text, shared by the text and the cells of a spreadsheet.
    // Deleted text kept for change tracking is left out. False to stop.
    bool openDocumentText(const QXmlStreamReader& xml)
    {
        if (m_skipDepth > 0) {
            m_skipDepth += xml.isStartElement() ? 1 : xml.isEndElement() ? -1 : 0;
            return ok();
        }
        const QStringRef name = xml.name();
        if (xml.isStartElement()) {
            if (name == QLatin1String("tracked-changes")) {
                m_skipDepth = 1;
            } else if (name == QLatin1String("p") || name == QLatin1String("h")) {
                endLine();
                ++m_paragraphDepth;
            } else if (m_paragraphDepth > 0 && name == QLatin1String("s")) {
                addText(QString(numberAttribute(xml, TextNs, QLatin1String("c"), 1, 100), QLatin1Char(' ')));
            } else if (m_paragraphDepth > 0 && name == QLatin1String("tab")) {
                addText(u"\t");
            } else if (m_paragraphDepth > 0 && name == QLatin1String("line-break")) {
                endLine();
            }
        } else if (xml.isEndElement() && (name == QLatin1String("p") || name == QLatin1String("h"))) {
            endLine();
            m_paragraphDepth = qMax(0, m_paragraphDepth - 1);
        } else if (xml.isCharacters() && m_paragraphDepth > 0) {
            addText(xml.text());
        }
        return ok();
    }

    void readOpenDocument(bool spreadsheet)
    {
        int row = 0;
        int column = 0;
        int rowRepeat = 1;
        int columnRepeat = 1;
        QString officeValue;
        QVector<QPair<int, QString>> rowCells;
        parse(QStringLiteral("content.xml"), [&](const QXmlStreamReader& xml) {
            if (!spreadsheet || m_skipDepth > 0)
                return openDocumentText(xml);
            const QStringRef name = xml.name();
            const bool cell
                = name == QLatin1String("table-cell") || name == QLatin1String("covered-table-cell");
            if (xml.isStartElement() && name == QLatin1String("table")) {
                if (m_content.sheets.size() >= MaxParts) {
                    fail(KCompareProblem::TooMuchText);
                    return false;
                }
                m_content.sheets << xml.attributes().value(TableNs, QLatin1String("name")).toString();
                row = 0;
            } else if (xml.isStartElement() && name == QLatin1String("table-row")) {
                rowRepeat = numberAttribute(xml, TableNs, QLatin1String("number-rows-repeated"), 1, MaxRows);
                column = 0;
                rowCells.clear();
            } else if (xml.isStartElement() && cell) {
                columnRepeat
                    = numberAttribute(xml, TableNs, QLatin1String("number-columns-repeated"), 1, MaxColumns);
                officeValue = xml.attributes().value(OfficeNs, QLatin1String("value")).toString();
                m_inCell = true;
                m_cellText.clear();
            } else if (xml.isEndElement() && cell) {
                m_inCell = false;
                const QString value = m_cellText.isEmpty() ? officeValue : m_cellText;
                for (int c = 0; !value.isEmpty() && c < columnRepeat && column + c < MaxColumns; ++c)
                    rowCells.append({ column + c, value });
                column += columnRepeat;
            } else if (xml.isEndElement() && name == QLatin1String("table-row")) {
                for (int r = 0; r < rowRepeat && row + r < MaxRows && ok() && !rowCells.isEmpty(); ++r) {
                    for (const auto& entry : qAsConst(rowCells))
                        addCell(m_content.sheets.size() - 1, row + r, entry.first, entry.second);
                }
                row += rowRepeat;
            } else {
                return openDocumentText(xml);
            }
            return ok();
        });
    }

    // The runs of word-processing text: w:t holds text; deleted runs use w:delText and are left
    // out, and so is the fallback copy of content given twice.
    void readWordText()
    {
        bool inText = false;
        parse(QStringLiteral("word/document.xml"), [&](const QXmlStreamReader& xml) {
            const QStringRef name = xml.name();
            if (m_skipDepth > 0) {
                m_skipDepth += xml.isStartElement() ? 1 : xml.isEndElement() ? -1 : 0;
            } else if (xml.isStartElement()) {
                if (name == QLatin1String("Fallback"))
                    m_skipDepth = 1;
                else if (name == QLatin1String("p"))
                    endLine();
                else if (name == QLatin1String("t"))
                    inText = true;
                else if (name == QLatin1String("tab"))
                    addText(u"\t");
                else if (name == QLatin1String("br") || name == QLatin1String("cr"))
                    endLine();
            } else if (xml.isEndElement()) {
                if (name == QLatin1String("p"))
                    endLine();
                else if (name == QLatin1String("t"))
                    inText = false;
            } else if (xml.isCharacters() && inText) {
                addText(xml.text());
            }
            return ok();
        });
    }

    // The parts `listPath` names in its order through elements `element`, found by its relationships.
    QStringList partsInOrder(
        const QString& listPath, const QString& folder, QLatin1String element, QStringList* names = nullptr)
    {
        const QString relsPath
            = folder + QStringLiteral("_rels/") + QFileInfo(listPath).fileName() + QStringLiteral(".rels");
        const QHash<QString, QString> targets = relationships(relsPath, folder);
        QStringList parts;
        if (!ok())
            return parts;
        parse(listPath, [&](const QXmlStreamReader& xml) {
            if (xml.isStartElement() && xml.name() == element) {
                const QString part = targets.value(attributeNamed(xml, QLatin1String("id")));
                if (!part.isEmpty()) {
                    parts << part;
                    if (names)
                        *names << xml.attributes().value(QLatin1String("name")).toString();
                }
            }
            if (parts.size() > MaxParts)
                fail(KCompareProblem::TooMuchText);
            return ok();
        });
        return parts;
    }

    void readSlides()
    {
        const QStringList slides = partsInOrder(
            QStringLiteral("ppt/presentation.xml"), QStringLiteral("ppt/"), QLatin1String("sldId"));
        for (const QString& slide : slides) {
            if (!ok())
                return;
            if (m_content.text.count() > 0)
                m_content.text.append(QStringView());
            bool inText = false;
            parse(slide, [&](const QXmlStreamReader& xml) {
                const QStringRef name = xml.name();
                if (xml.isStartElement() && (name == QLatin1String("p") || name == QLatin1String("br")))
                    endLine();
                else if (xml.isStartElement() && name == QLatin1String("t"))
                    inText = true;
                else if (xml.isEndElement() && name == QLatin1String("t"))
                    inText = false;
                else if (xml.isEndElement() && name == QLatin1String("p"))
                    endLine();
                else if (xml.isCharacters() && inText)
                    addText(xml.text());
                return ok();
            });
        }
    }

    QStringList sharedStrings()
    {
        QStringList strings;
        if (!fileEntry(QStringLiteral("xl/sharedStrings.xml")))
            return strings;
        bool inText = false;
        int phoneticDepth = 0;
        parse(QStringLiteral("xl/sharedStrings.xml"), [&](const QXmlStreamReader& xml) {
            const QStringRef name = xml.name();
            if (xml.isStartElement() && name == QLatin1String("si")) {
                if (strings.size() >= MaxCells)
                    fail(KCompareProblem::TooMuchText);
                strings.append(QString());
            } else if (xml.isStartElement() && name == QLatin1String("rPh")) {
                ++phoneticDepth;
            } else if (xml.isEndElement() && name == QLatin1String("rPh")) {
                --phoneticDepth;
            } else if (name == QLatin1String("t") && (xml.isStartElement() || xml.isEndElement())) {
                inText = xml.isStartElement();
            } else if (xml.isCharacters() && inText && phoneticDepth == 0 && !strings.isEmpty()) {
                m_characters += xml.text().size();
                if (m_characters > MaxTextCharacters)
                    fail(KCompareProblem::TooMuchText);
                else
                    strings.last() += xml.text();
            }
            return ok();
        });
        return strings;
    }

    void readWorkbook()
    {
        const QStringList sheets = partsInOrder(QStringLiteral("xl/workbook.xml"), QStringLiteral("xl/"),
            QLatin1String("sheet"), &m_content.sheets);
        const QStringList strings = ok() ? sharedStrings() : QStringList();
        for (int sheet = 0; sheet < sheets.size() && ok(); ++sheet) {
            int row = 0;
            int column = 0;
            QString type;
            QString value;
            bool inValue = false;
            bool inCell = false;
            parse(sheets.at(sheet), [&](const QXmlStreamReader& xml) {
                const QStringRef name = xml.name();
                if (xml.isStartElement() && name == QLatin1String("row")) {
                    bool numbered = false;
                    const int number = xml.attributes().value(QLatin1String("r")).toInt(&numbered);
                    row = numbered && number >= 1 && number <= MaxRows ? number - 1 : row + 1;
                    column = -1;
                } else if (xml.isStartElement() && name == QLatin1String("c")) {
                    int cellRow = row;
                    if (!parseCellReference(xml.attributes().value(QLatin1String("r")), &cellRow, &column))
                        ++column;
                    row = cellRow;
                    type = xml.attributes().value(QLatin1String("t")).toString();
                    value.clear();
                    inCell = true;
                } else if (inCell && (name == QLatin1String("v") || name == QLatin1String("t"))
                    && (xml.isStartElement() || xml.isEndElement())) {
                    inValue = xml.isStartElement();
                } else if (xml.isCharacters() && inValue) {
                    value += xml.text();
                    if (value.size() > MaxEntryBytes)
                        fail(KCompareProblem::TooMuchText);
                } else if (xml.isEndElement() && name == QLatin1String("c")) {
                    inCell = false;
                    if (type == QLatin1String("s"))
                        value = strings.value(value.toInt());
                    else if (type == QLatin1String("b"))
                        value
                            = value == QLatin1String("1") ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
                    if (!value.isEmpty() && column >= 0 && column < MaxColumns)
                        addCell(sheet, row, column, value);
                }
                return ok();
            });
        }
    }

    QIODevice* m_device;
    KZip m_zip;
    const KCancel& m_cancel;
    KDocumentContent m_content;
    qint64 m_inflated = 0;
    qint64 m_characters = 0;
    QString m_line;
    int m_paragraphDepth = 0;
    int m_skipDepth = 0;
    bool m_inCell = false;
    QString m_cellText;
};

} // namespace

bool formatOf(const QString& fileName, Format* format)
{
    static const QHash<QString, Format> formats = {
        { QStringLiteral("odt"), Format::OpenText },
        { QStringLiteral("ods"), Format::OpenSpreadsheet },
        { QStringLiteral("odp"), Format::OpenPresentation },
        { QStringLiteral("docx"), Format::WordText },
        { QStringLiteral("xlsx"), Format::Workbook },
        { QStringLiteral("pptx"), Format::Slides },
    };
    const auto found = formats.constFind(QFileInfo(fileName).suffix().toLower());
    if (found == formats.constEnd())
        return false;
    *format = *found;
    return true;
}

bool isSpreadsheet(Format format)
{
    return format == Format::OpenSpreadsheet || format == Format::Workbook;
}

KDocumentContent extract(QIODevice* device, Format format, const KCancel& cancel)
{
    return KExtractor(device, cancel).run(format);
}

KDocumentContent extract(const QByteArray& bytes, Format format)
{
    QBuffer buffer;
    buffer.setData(bytes);
    return extract(&buffer, format, KCancel());
}

} // namespace KDocumentText
