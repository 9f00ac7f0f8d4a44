#include "compare/kcomparison.h"
#include "ktestenvironment.h"
#include "platform/kviewcopies.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QRandomGenerator>
#include <QtTest>

#include <KZip>
#include <algorithm>

Q_DECLARE_METATYPE(KCompareProblem)

namespace {

using Entries = QVector<QPair<QString, QByteArray>>;

QByteArray zipOf(const Entries& entries)
{
    QBuffer buffer;
    KZip zip(&buffer);
    if (!zip.open(QIODevice::WriteOnly))
        return {};
    for (const auto& entry : entries) {
        if (!zip.writeFile(entry.first, entry.second))
            return {};
    }
    zip.close();
    return buffer.data();
}

// Sets the uncompressed size that the local and central headers of `name` declare.
QByteArray withDeclaredSize(QByteArray zip, const QByteArray& name, quint32 size)
{
    const char* const signatures[] = { "PK\3\4", "PK\1\2" };
    for (int kind = 0; kind < 2; ++kind) {
        const int sizeAt = kind == 0 ? 22 : 24;
        const int nameAt = kind == 0 ? 30 : 46;
        for (int at = zip.indexOf(signatures[kind]); at >= 0; at = zip.indexOf(signatures[kind], at + 4)) {
            if (zip.mid(at + nameAt, name.size()) != name)
                continue;
            for (int byte = 0; byte < 4; ++byte)
                zip[at + sizeAt + byte] = char(size >> (8 * byte));
        }
    }
    return zip;
}

QByteArray openDocumentText(const QByteArray& body)
{
    return zipOf({ { QStringLiteral("mimetype"), "application/vnd.oasis.opendocument.text" },
        { QStringLiteral("content.xml"),
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><office:document-content "
            "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
            "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"><office:body><office:text>"
                + body + "</office:text></office:body></office:document-content>" } });
}

// A workbook of two sheets; `rows` are the first sheet's <row> elements, whose shared strings are
// 0 "项目", 1 "数量", 2 "土方".
QByteArray workbook(const QByteArray& rows, const QByteArray& secondSheetTotal)
{
    const QByteArray main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const QByteArray rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    return zipOf({
        { QStringLiteral("xl/workbook.xml"),
            "<workbook xmlns=\"" + main + "\" xmlns:r=\"" + rel
                + "\"><sheets><sheet name=\"清单\" sheetId=\"1\" r:id=\"rId1\"/>"
                  "<sheet name=\"汇总\" sheetId=\"2\" r:id=\"rId2\"/></sheets></workbook>" },
        { QStringLiteral("xl/_rels/workbook.xml.rels"),
            "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
            "<Relationship Id=\"rId2\" Target=\"worksheets/sheet2.xml\"/>"
            "<Relationship Id=\"rId1\" Target=\"/xl/worksheets/sheet1.xml\"/></Relationships>" },
        { QStringLiteral("xl/sharedStrings.xml"),
            "<sst xmlns=\"" + main
                + "\"><si><t>项目</t></si><si><r><t>数</t></r><r><t>量</t></r></si>"
                  "<si><t>土方</t><rPh><t>ど</t></rPh></si></sst>" },
        { QStringLiteral("xl/worksheets/sheet1.xml"),
            "<worksheet xmlns=\"" + main + "\"><sheetData>" + rows + "</sheetData></worksheet>" },
        { QStringLiteral("xl/worksheets/sheet2.xml"),
            "<worksheet xmlns=\"" + main
                + "\"><sheetData><row r=\"1\"><c r=\"A1\" t=\"str\"><f>SUM(清单!B:B)</f><v>"
                + secondSheetTotal + "</v></c></row></sheetData></worksheet>" },
    });
}

// A PNG chunk: length, type, data, CRC.
QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    const auto bigEndian = [](quint32 value) {
        return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
    };
    quint32 crc = 0xffffffffu;
    const QByteArray covered = type + data;
    for (const char byte : covered) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = crc & 1 ? (crc >> 1) ^ 0xedb88320u : crc >> 1;
    }
    return bigEndian(quint32(data.size())) + type + data + bigEndian(crc ^ 0xffffffffu);
}

// The diff as text: "-n", "+n" or " n" and the line, changed words in brackets; "~n" for n lines
// left out.
QStringList rendered(const KTextDiff& diff)
{
    QStringList lines;
    for (const KDiffLine& line : diff.lines) {
        if (line.op == KDiffLine::Skipped) {
            lines << QStringLiteral("~%1").arg(line.oldNumber);
            continue;
        }
        QString text = line.text;
        for (int m = line.marks.size() - 1; m >= 0; --m) {
            text.insert(line.marks.at(m).start + line.marks.at(m).length, QLatin1Char(']'));
            text.insert(line.marks.at(m).start, QLatin1Char('['));
        }
        const QChar sign = line.op == KDiffLine::Removed ? QLatin1Char('-')
            : line.op == KDiffLine::Added                ? QLatin1Char('+')
                                                         : QLatin1Char(' ');
        lines << sign + QString::number(line.op == KDiffLine::Added ? line.newNumber : line.oldNumber)
                + QLatin1Char(' ') + text;
    }
    return lines;
}

// The length of a longest common subsequence, by the textbook table.
int commonLength(const QVector<int>& a, const QVector<int>& b)
{
    QVector<int> row(b.size() + 1, 0);
    for (int i = 1; i <= a.size(); ++i) {
        int diagonal = 0;
        for (int j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = a[i - 1] == b[j - 1] ? diagonal + 1 : qMax(row[j], row[j - 1]);
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Compares two files in a child process and reports what it found and the most memory it held
// (the high-water mark of its own address space: getrusage would count the parent it was forked
// from).
int compareInChild(const char* before, const char* after, const char* name)
{
    const KComparison result = KComparer::compare(QString::fromLocal8Bit(before),
        QString::fromLocal8Bit(after), QString::fromLocal8Bit(name), KCancel());
    QFile status(QStringLiteral("/proc/self/status"));
    long peakKiB = -1;
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:"))
                peakKiB = line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    printf("%d %ld\n", int(result.problem), peakKiB);
    return 0;
}

} // namespace

class TestComparison : public QObject
{
    Q_OBJECT

private slots:
    void theLineDiff_data();
    void theLineDiff();
    void theLineDiffIsAMinimalEditScript();
    void eachKindComparesByWhatItHolds_data();
    void eachKindComparesByWhatItHolds();
    void hostileInputsEndInAReason_data();
    void hostileInputsEndInAReason();
    void picturesComparePixelByPixel();
    void readOnlyCopiesArePrivateAndGoAtQuit();

private:
    QString write(const QString& name, const QByteArray& content) { return m_env.writeFile(name, content); }
    KTestEnvironment m_env;
};

void TestComparison::theLineDiff_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("the same text, whatever its line breaks, has no lines")
        << QStringLiteral("a\r\nb\r\n") << QStringLiteral("a\nb") << QStringList();
    QTest::newRow("a changed line pairs up with its words marked, Chinese a character at a time")
        << QStringLiteral("工期 180 天\n单价 12.5\n") << QStringLiteral("工期 150 天\n单价 12.5\n")
        << QStringList { QStringLiteral("-1 工期 [180] 天"), QStringLiteral("+1 工期 [150] 天"),
               QStringLiteral(" 2 单价 12.5") };
    QTest::newRow("unchanged stretches beyond three lines of context are left out")
        << QStringLiteral("1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n")
        << QStringLiteral("1\n2\n3\n4\n5\n6\nsix\n7\n8\n9\n10\n11\n12\n")
        << QStringList { QStringLiteral("~3"), QStringLiteral(" 4 4"), QStringLiteral(" 5 5"),
               QStringLiteral(" 6 6"), QStringLiteral("+7 six"), QStringLiteral(" 7 7"),
               QStringLiteral(" 8 8"), QStringLiteral(" 9 9"), QStringLiteral("~3") };
    QTest::newRow("more removed than added: the extra lines stay unmarked")
        << QStringLiteral("x\na b\nc d\ny\n") << QStringLiteral("x\na B\ny\n")
        << QStringList { QStringLiteral(" 1 x"), QStringLiteral("-2 a [b]"), QStringLiteral("-3 c d"),
               QStringLiteral("+2 a [B]"), QStringLiteral(" 4 y") };
}

void TestComparison::theLineDiff()
{
    QFETCH(QString, before);
    QFETCH(QString, after);
    QFETCH(QStringList, expected);
    QCOMPARE(rendered(KTextDiffer::diff(KLines(before), KLines(after), KCancel())), expected);
}

void TestComparison::theLineDiffIsAMinimalEditScript()
{
    QRandomGenerator random(20261206);
    for (int round = 0; round < 300; ++round) {
        QStringList a;
        QStringList b;
        for (int i = int(random.bounded(40)); i > 0; --i)
            a << QString::number(random.bounded(6));
        for (int i = int(random.bounded(40)); i > 0; --i)
            b << QString::number(random.bounded(6));
        QVector<int> numbersA;
        QVector<int> numbersB;
        for (const QString& line : qAsConst(a))
            numbersA << line.toInt();
        for (const QString& line : qAsConst(b))
            numbersB << line.toInt();
        const KTextDiff diff = KTextDiffer::diff(
            KLines(a.join(QLatin1Char('\n'))), KLines(b.join(QLatin1Char('\n'))), KCancel(), 1000);
        QStringList fromA;
        QStringList fromB;
        for (const KDiffLine& line : diff.lines) {
            if (line.op != KDiffLine::Added)
                fromA << line.text;
            if (line.op != KDiffLine::Removed)
                fromB << line.text;
        }
        if (diff.identical())
            QCOMPARE(a, b);
        else
            QVERIFY2(fromA == a && fromB == b,
                qPrintable(a.join(QLatin1Char(',')) + QLatin1String(" / ") + b.join(QLatin1Char(','))));
        const int common = commonLength(numbersA, numbersB);
        QCOMPARE(diff.removed, a.size() - common);
        QCOMPARE(diff.added, b.size() - common);
    }
}

void TestComparison::eachKindComparesByWhatItHolds_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("found"); // the text's lines, the changed cells, or the bytes' summary

    QTest::newRow("a document by its text, spaces and breaks kept, tracked deletions left out")
        << openDocumentText(
               "<text:h>投标说明</text:h><text:p>工期：<text:s text:c=\"2\"/>180 天</text:p>"
               "<text:tracked-changes><text:changed-region><text:deletion><text:p>已删除的段落</text:p>"
               "</text:deletion></text:changed-region></text:tracked-changes>"
               "<text:p>报价<text:tab/>1,250,000 元</text:p>")
        << openDocumentText(
               "<text:h>投标说明</text:h><text:p>工期：<text:s text:c=\"2\"/>150 天</text:p>"
               "<text:p>报价<text:tab/>1,250,000 元</text:p><text:p>质保<text:line-break/>两年</text:p>")
        << QStringLiteral("说明.odt")
        << QStringList { QStringLiteral(" 1 投标说明"), QStringLiteral("-2 工期：  [180] 天"),
               QStringLiteral("+2 工期：  [150] 天"), QStringLiteral(" 3 报价\t1,250,000 元"),
               QStringLiteral("+4 质保"), QStringLiteral("+5 两年") };
    QTest::newRow("a spreadsheet cell by cell on every sheet")
        << workbook("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c></row>"
                    "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>2</v></c><c r=\"B2\"><v>120</v></c><c r=\"AA2\" "
                    "t=\"b\"><v>1</v></c></row>",
               "120")
        << workbook("<row r=\"1\"><c r=\"A1\" t=\"s\"><v>0</v></c><c r=\"B1\" t=\"s\"><v>1</v></c></row>"
                    "<row r=\"2\"><c r=\"A2\" t=\"s\"><v>1</v></c><c r=\"B2\"><v>135</v></c></row>"
                    "<row r=\"3\"><c r=\"C3\" t=\"inlineStr\"><is><t>含运费</t></is></c></row>",
               "135")
        << QStringLiteral("清单.xlsx")
        << QStringList { QStringLiteral("清单|A2|土方|数量"), QStringLiteral("清单|B2|120|135"),
               QStringLiteral("清单|AA2|TRUE|"), QStringLiteral("清单|C3||含运费"),
               QStringLiteral("汇总|A1|120|135"), QStringLiteral("5 cells") };
    const QByteArray big(3 << 20, 'x');
    QTest::newRow("the same bytes") << big << big << QStringLiteral("报价.pra4")
                                    << QStringList { QStringLiteral("3145728 3145728 -1") };
    QTest::newRow("a byte changed past the first chunk")
        << big << QByteArray(big).replace(2500000, 1, "y") << QStringLiteral("报价.pra4")
        << QStringList { QStringLiteral("3145728 3145728 2500000") };
    QTest::newRow("one file the start of the other")
        << big << big + "tail" << QStringLiteral("报价.pra4")
        << QStringList { QStringLiteral("3145728 3145732 3145728") };
}

void TestComparison::eachKindComparesByWhatItHolds()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(QString, name);
    QFETCH(QStringList, found);
    const QString folder = QStringLiteral("kinds/%1/").arg(QString::fromUtf8(QTest::currentDataTag()));
    const KComparison result = KComparer::compare(write(folder + QStringLiteral("v1"), before),
        write(folder + QStringLiteral("v2"), after), name, KCancel());
    QCOMPARE(result.problem, KCompareProblem::None);
    QStringList summary;
    if (result.kind == KCompareKind::Document)
        summary = rendered(result.text);
    for (const KCellChange& change : result.cells)
        summary << QStringList { change.sheet, change.cell, change.before, change.after }.join(
            QLatin1Char('|'));
    if (result.kind == KCompareKind::Spreadsheet)
        summary << QStringLiteral("%1 cells").arg(result.changedCells);
    if (result.kind == KCompareKind::Bytes)
        summary << QStringLiteral("%1 %2 %3")
                       .arg(result.bytes.beforeSize)
                       .arg(result.bytes.afterSize)
                       .arg(result.bytes.firstDifference);
    QCOMPARE(summary, found);
}

void TestComparison::hostileInputsEndInAReason_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("name");
    QTest::addColumn<KCompareProblem>("expected");

    const QByteArray spaces(30 << 20, ' ');
    const QByteArray bomb = zipOf({ { QStringLiteral("content.xml"), spaces } });
    QTest::newRow("a zip bomb") << bomb << QStringLiteral("a.odt") << KCompareProblem::ZipBomb;
    QTest::newRow("a bomb whose header claims a small entry")
        << withDeclaredSize(bomb, "content.xml", 1000) << QStringLiteral("a.odt") << KCompareProblem::ZipBomb;
    QTest::newRow("a 2 GB entry") << withDeclaredSize(
        openDocumentText("<text:p>a</text:p>"), "content.xml", 0x80000000u)
                                  << QStringLiteral("a.odt") << KCompareProblem::EntryTooLarge;
    QTest::newRow("a path escaping its folder")
        << zipOf({ { QStringLiteral("../../outside.xml"), "x" }, { QStringLiteral("content.xml"), "<a/>" } })
        << QStringLiteral("a.odt") << KCompareProblem::UnsafeEntryName;
    QTest::newRow("an absolute path") << zipOf(
        { { QStringLiteral("/etc/cron.d/job"), "x" }, { QStringLiteral("word/document.xml"), "<a/>" } })
                                      << QStringLiteral("a.docx") << KCompareProblem::UnsafeEntryName;
    QTest::newRow("broken XML") << openDocumentText("<text:p>unclosed") << QStringLiteral("a.odt")
                                << KCompareProblem::BrokenXml;
    QTest::newRow("entities that expand a billion times")
        << zipOf({ { QStringLiteral("content.xml"),
               "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY x \"xxxxxxxxxx\"><!ENTITY y "
               "\"&x;&x;&x;&x;&x;&x;&x;&x;&x;&x;\">"
               "<!ENTITY z \"&y;&y;&y;&y;&y;&y;&y;&y;&y;&y;\">]><a>&z;&z;&z;&z;&z;&z;&z;&z;&z;&z;</a>" } })
        << QStringLiteral("a.odt") << KCompareProblem::BrokenXml;
    Entries many;
    for (int i = 0; i < KDocumentText::MaxHeaders; ++i)
        many.append({ QString::number(i), QByteArray() });
    Entries deep;
    for (int i = 0; i < 400; ++i)
        deep.append({ QString::number(i) + QStringLiteral("/a").repeated(300), QByteArray() });
    QTest::newRow("names nested hundreds of folders deep")
        << zipOf(deep) << QStringLiteral("a.odt") << KCompareProblem::TooManyEntries;
    QTest::newRow("tens of thousands of entries")
        << zipOf(many) << QStringLiteral("a.pptx") << KCompareProblem::TooManyEntries;
    QTest::newRow("a workbook without its sheets' relationships")
        << zipOf({ { QStringLiteral("xl/workbook.xml"), "<workbook/>" } }) << QStringLiteral("a.xlsx")
        << KCompareProblem::MissingContent;
    QByteArray lines;
    lines.reserve(KTextDiffer::MaxLines * 13);
    for (int i = 0; i < KTextDiffer::MaxLines; ++i)
        lines.append("line ").append(QByteArray::number(i)).append('\n');
    QTest::newRow("texts of as many lines as allowed, every one changed")
        << lines << QStringLiteral("a.txt") << KCompareProblem::None;
    QTest::newRow("a text of more lines than allowed") << QByteArray(KTextDiffer::MaxLines + 1,
        '\n') << QStringLiteral("a.txt") << KCompareProblem::TooMuchText;
}

void TestComparison::hostileInputsEndInAReason()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, name);
    QFETCH(KCompareProblem, expected);
    QVERIFY(!document.isEmpty());
    // Compared with its own bytes reversed and one more, so that every line of a text differs.
    const QString folder = QStringLiteral("hostile/%1/").arg(QString::fromUtf8(QTest::currentDataTag()));
    const QString path = write(folder + QStringLiteral("before"), document);
    std::reverse(document.begin(), document.end());
    const QString other = write(folder + QStringLiteral("after"), document + 'x');
    const QList<QByteArray> report
        = KTestEnvironment::runSelf({ QStringLiteral("--compare"), path, other, name }).trimmed().split(' ');
    QCOMPARE(report.size(), 2);
    QCOMPARE(KCompareProblem(report.at(0).toInt()), expected);
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    qInfo("peak memory %ld KiB", report.at(1).toLong());
    QVERIFY2(report.at(1).toLong() > 0 && report.at(1).toLong() < 200 * 1024, report.at(1).constData());
#endif
}

void TestComparison::picturesComparePixelByPixel()
{
    QImage picture(120, 80, QImage::Format_ARGB32);
    picture.fill(QColor(40, 90, 160));
    const QString before = m_env.path(QStringLiteral("v1.png"));
    QVERIFY(picture.save(before));
    for (int y = 10; y < 20; ++y) {
        for (int x = 30; x < 40; ++x)
            picture.setPixel(x, y, qRgb(250, 250, 0));
    }
    picture.setPixel(0, 0, qRgb(50, 100, 170)); // within what a JPEG saved again changes
    const QString after = m_env.path(QStringLiteral("v2.png"));
    QVERIFY(picture.save(after));
    KComparison result = KComparer::compare(before, after, QStringLiteral("总平面图.png"), KCancel());
    QCOMPARE(result.problem, KCompareProblem::None);
    QCOMPARE(result.image.differingPixels, 100);
    QCOMPARE(result.image.difference.pixel(35, 15), qRgb(230, 40, 40));

    const QString wider = m_env.path(QStringLiteral("v3.png"));
    QVERIFY(picture.copy(0, 0, 130, 80).save(wider));
    result = KComparer::compare(after, wider, QStringLiteral("总平面图.png"), KCancel());
    QCOMPARE(result.image.differingPixels, 10 * 80);
    QCOMPARE(result.image.afterSize, QSize(130, 80));

    // Drawings are rendered; a large one at most MaxSide across.
    const QByteArray svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"4000\" height=\"1000\">"
                           "<rect width=\"4000\" height=\"1000\" fill=\"#fff\"/><rect width=\"400\" "
                           "height=\"1000\" fill=\"%1\"/></svg>";
    result = KComparer::compare(write(QStringLiteral("a.svg"), QByteArray(svg).replace("%1", "#000")),
        write(QStringLiteral("b.svg"), QByteArray(svg).replace("%1", "#fff")), QStringLiteral("总平面图.svg"),
        KCancel());
    QCOMPARE(result.problem, KCompareProblem::None);
    QCOMPARE(result.image.after.size(), QSize(KImageDiffer::MaxSide, KImageDiffer::MaxSide / 4));
    // A tenth of the width, to the column that the edge of the black half covers in part.
    QCOMPARE(
        result.image.differingPixels, qint64(KImageDiffer::MaxSide / 10 + 1) * (KImageDiffer::MaxSide / 4));

    // A header that claims 30000 x 30000 pixels is refused before anything is decoded.
    const QString bomb = write(QStringLiteral("bomb.png"),
        QByteArray::fromHex("89504e470d0a1a0a")
            + pngChunk("IHDR", QByteArray::fromHex("00007530000075300806000000")) + pngChunk("IDAT", "x")
            + pngChunk("IEND", QByteArray()));
    QCOMPARE(KComparer::compare(before, bomb, QStringLiteral("a.png"), KCancel()).problem,
        KCompareProblem::ImageTooLarge);
}

void TestComparison::readOnlyCopiesArePrivateAndGoAtQuit()
{
    const QDateTime modified = QDateTime::currentDateTime().addDays(-3);
    const QString version = m_env.writeFile(QStringLiteral("backups/{id}_1"), "版本内容", modified);
    const QString copy = KViewCopies::make(version, QStringLiteral("报价.xlsx"));
    QVERIFY(copy.endsWith(QStringLiteral("/报价.xlsx")));
    QCOMPARE(KTestEnvironment::contentOf(copy), QByteArray("版本内容"));
    QCOMPARE(QFileInfo(copy).lastModified().toSecsSinceEpoch(), modified.toSecsSinceEpoch());
    QCOMPARE(KTestEnvironment::modeOf(copy), 0400u);
    QCOMPARE(KTestEnvironment::modeOf(QFileInfo(copy).absolutePath()), 0700u);
    QCOMPARE(KTestEnvironment::modeOf(KViewCopies::folder()), 0700u);
    QVERIFY(KViewCopies::folder().startsWith(m_env.platform()->tempFolder()));
    QVERIFY(KViewCopies::make(m_env.path(), QStringLiteral("a")).isEmpty());
    QVERIFY(KViewCopies::make(version, QStringLiteral("../a")).isEmpty());
    KViewCopies::removeAll();
    QVERIFY(!QFileInfo::exists(copy));

    // A process that ends takes its copies with it.
    const QString folder
        = QString::fromLocal8Bit(KTestEnvironment::runSelf({ QStringLiteral("--copy"), version }).trimmed());
    QVERIFY(folder.contains(QStringLiteral("vaultkeep-view-")));
    QVERIFY(!QFileInfo::exists(folder));
}

int main(int argc, char** argv)
{
    if (argc == 5 && qstrcmp(argv[1], "--compare") == 0)
        return compareInChild(argv[2], argv[3], argv[4]);
    if (argc == 3 && qstrcmp(argv[1], "--copy") == 0) {
        const QString copy = KViewCopies::make(QString::fromLocal8Bit(argv[2]), QStringLiteral("x.txt"));
        printf("%s\n", QFile::encodeName(KViewCopies::folder()).constData());
        return copy.isEmpty() ? 1 : 0;
    }
    QGuiApplication app(argc, argv);
    TestComparison test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_comparison.moc"
