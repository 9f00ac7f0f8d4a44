#include "kdemodocuments.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QLocale>
#include <QPainter>
#include <QVariant>

#include <KZip>

namespace KDemoDocuments {

namespace {

const QByteArray Header = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const QByteArray Relationships = "http://schemas.openxmlformats.org/package/2006/relationships";
const QByteArray OfficeRelationships = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

QByteArray zipOf(const QVector<QPair<QString, QByteArray>>& parts)
{
    QBuffer buffer;
    KZip zip(&buffer);
    if (!zip.open(QIODevice::WriteOnly))
        return {};
    for (const auto& part : parts) {
        if (!zip.writeFile(part.first, part.second))
            return {};
    }
    return zip.close() ? buffer.data() : QByteArray();
}

QByteArray contentTypes(const QByteArray& overrides)
{
    return Header
        + "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
          "<Default Extension=\"rels\" "
          "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
          "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        + overrides + "</Types>";
}

QByteArray packageRelationship(const QByteArray& target)
{
    return Header + "<Relationships xmlns=\"" + Relationships + "\"><Relationship Id=\"rId1\" Type=\""
        + OfficeRelationships + "/officeDocument\" Target=\"" + target + "\"/></Relationships>";
}

QByteArray escaped(const QString& text)
{
    return text.toHtmlEscaped().toUtf8();
}

QByteArray bid(const QString& project, int version)
{
    const qint64 total = 12'486'300 + 37'500 * version;
    const QStringList paragraphs = {
        QStringLiteral("投标文件（商务部分）"),
        QStringLiteral("项目名称：%1").arg(project),
        QStringLiteral("一、投标报价"),
        QStringLiteral("投标总价（小写）：¥%1 元").arg(QLocale(QLocale::Chinese).toString(total)),
        QStringLiteral("其中安全文明施工费：¥%1 元，不参与让利。")
            .arg(QLocale(QLocale::Chinese).toString(total / 40)),
        QStringLiteral("二、工期"),
        QStringLiteral("计划工期：%1 日历天，自开工令发出之日起计算。").arg(version == 0 ? 365 : 330),
        QStringLiteral("三、质量标准"),
        QStringLiteral("工程质量达到国家现行施工质量验收规范合格标准。"),
        QStringLiteral("四、投标有效期"),
        QStringLiteral("投标有效期为投标截止之日起 %1 日历天。").arg(version == 0 ? 90 : 120),
    };
    QByteArray body;
    for (const QString& paragraph : paragraphs)
        body += "<w:p><w:r><w:t xml:space=\"preserve\">" + escaped(paragraph) + "</w:t></w:r></w:p>";
    if (version > 0) {
        body += "<w:p><w:r><w:t>五、优惠承诺</w:t></w:r></w:p>"
                "<w:p><w:r><w:t>若我方中标，措施项目费让利 2%，并免费提供竣工资料电子版。</w:t></w:r></w:p>";
    }
    return zipOf({
        { QStringLiteral("[Content_Types].xml"),
            contentTypes("<Override PartName=\"/word/document.xml\" ContentType=\"application/"
                         "vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml\"/>") },
        { QStringLiteral("_rels/.rels"), packageRelationship("word/document.xml") },
        { QStringLiteral("word/document.xml"),
            Header
                + "<w:document "
                  "xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>"
                + body + "</w:body></w:document>" },
    });
}

QByteArray cell(const QByteArray& reference, const QVariant& value)
{
    if (value.type() == QVariant::String)
        return "<c r=\"" + reference + "\" t=\"inlineStr\"><is><t>" + escaped(value.toString())
            + "</t></is></c>";
    return "<c r=\"" + reference + "\"><v>" + QByteArray::number(value.toDouble()) + "</v></c>";
}

QByteArray sheet(const QVector<QVariantList>& rows)
{
    QByteArray data;
    for (int r = 0; r < rows.size(); ++r) {
        const QByteArray number = QByteArray::number(r + 1);
        data += "<row r=\"" + number + "\">";
        for (int c = 0; c < rows.at(r).size(); ++c) {
            if (!rows.at(r).at(c).isNull())
                data += cell(QByteArray(1, char('A' + c)) + number, rows.at(r).at(c));
        }
        data += "</row>";
    }
    return Header
        + "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>" + data
        + "</sheetData></worksheet>";
}

QByteArray quantities(int version)
{
    const struct
    {
        const char* item;
        const char* unit;
        double tendered;
        double drawn;
    } items[] = {
        { "土方开挖", "m³", 1250, 1268 },
        { "C30 混凝土", "m³", 860, 872 },
        { "钢筋 HRB400", "t", 142.5, 146.8 },
        { "砌体 MU10", "m³", 420, 415 },
        { "屋面防水", "m²", 1680, 1680 },
        { "外墙保温", "m²", 3250, 3310 },
        { "铝合金门窗", "m²", 540, 552 },
        { "室内地砖", "m²", 2860, 2860 },
    };
    QVector<QVariantList> rows { { QStringLiteral("序号"), QStringLiteral("项目名称"), QStringLiteral("单位"),
        QStringLiteral("招标工程量"), QStringLiteral("施工图工程量"), QStringLiteral("差值") } };
    int number = 0;
    for (const auto& item : items) {
        ++number;
        // Each check of the drawings corrects one more quantity.
        const double drawn = number <= version ? item.drawn + 2 * number : item.drawn;
        rows.append({ number, QString::fromUtf8(item.item), QString::fromUtf8(item.unit), item.tendered,
            drawn, drawn - item.tendered });
    }
    if (version >= 3)
        rows.append({ number + 1, QStringLiteral("零星工程"), QStringLiteral("项"), 1, 1, 0 });
    const QVector<QVariantList> notes {
        { QStringLiteral("第 %1 次核对").arg(version + 1) },
        { version >= 2 ? QStringLiteral("核对人：王工、李工") : QStringLiteral("核对人：王工") },
    };
    const QByteArray worksheet = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
    return zipOf({
        { QStringLiteral("[Content_Types].xml"),
            contentTypes("<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
                         "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                         "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\""
                + worksheet + "\"/><Override PartName=\"/xl/worksheets/sheet2.xml\" ContentType=\""
                + worksheet + "\"/>") },
        { QStringLiteral("_rels/.rels"), packageRelationship("xl/workbook.xml") },
        { QStringLiteral("xl/workbook.xml"),
            Header
                + "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" xmlns:r=\""
                + OfficeRelationships
                + "\"><sheets><sheet name=\"工程量对比\" sheetId=\"1\" r:id=\"rId1\"/>"
                  "<sheet name=\"说明\" sheetId=\"2\" r:id=\"rId2\"/></sheets></workbook>" },
        { QStringLiteral("xl/_rels/workbook.xml.rels"),
            Header + "<Relationships xmlns=\"" + Relationships + "\"><Relationship Id=\"rId1\" Type=\""
                + OfficeRelationships
                + "/worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\""
                + OfficeRelationships + "/worksheet\" Target=\"worksheets/sheet2.xml\"/></Relationships>" },
        { QStringLiteral("xl/worksheets/sheet1.xml"), sheet(rows) },
        { QStringLiteral("xl/worksheets/sheet2.xml"), sheet(notes) },
    });
}

// A building against the sky: one more floor from the second version on, a tree from the third.
QByteArray rendering(int version)
{
    QImage image(480, 300, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 240);
    sky.setColorAt(0, QColor(0x8e, 0xc5, 0xf0));
    sky.setColorAt(1, QColor(0xe4, 0xf1, 0xfb));
    painter.fillRect(0, 0, 480, 240, sky);
    painter.fillRect(0, 240, 480, 60, QColor(0x9b, 0xc4, 0x7a));
    const int floors = version >= 1 ? 6 : 5;
    const int top = 240 - floors * 30;
    painter.fillRect(150, top, 180, floors * 30, QColor(0xe8, 0xdc, 0xc8));
    painter.fillRect(140, top - 10, 200, 12, QColor(0x7a, 0x5c, 0x48));
    for (int floor = 0; floor < floors; ++floor) {
        for (int window = 0; window < 5; ++window)
            painter.fillRect(162 + 34 * window, top + 8 + 30 * floor, 22, 16, QColor(0x5a, 0x86, 0xb0));
    }
    painter.fillRect(224, 214, 32, 26, QColor(0x6b, 0x4a, 0x33));
    if (version >= 2) {
        painter.fillRect(392, 200, 10, 42, QColor(0x6b, 0x4a, 0x33));
        painter.setBrush(QColor(0x3f, 0x8f, 0x3a));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QPointF(397, 188), 32, 36);
    }
    painter.end();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

} // namespace

QByteArray content(const QString& path, int version)
{
    const QFileInfo file(path);
    const QString suffix = file.suffix().toLower();
    if (suffix == QLatin1String("docx"))
        return bid(file.completeBaseName(), version);
    if (suffix == QLatin1String("xlsx"))
        return quantities(version);
    if (suffix == QLatin1String("png"))
        return rendering(version);
    return {};
}

} // namespace KDemoDocuments
