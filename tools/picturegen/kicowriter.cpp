#include "kicowriter.h"

#include <QPainter>
#include <QtEndian>

namespace KIcoWriter {

namespace {

constexpr int DirectorySize = 6;
constexpr int EntrySize = 16;
constexpr int InfoHeaderSize = 40;

void put16(QByteArray* out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out->append(bytes, 2);
}

void put32(QByteArray* out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out->append(bytes, 4);
}

// One entry's data: a bitmap header (its height counts colour and mask rows), the colours as
// BGRA rows from the bottom up, then the mask (1 = transparent) in rows padded to 32 bits.
// Painted rather than converted: Qt converts large images on its thread pool, out of sight of
// ThreadSanitizer.
QImage unpremultiplied(const QImage& source)
{
    if (source.format() == QImage::Format_ARGB32)
        return source;
    QImage image(source.size(), QImage::Format_ARGB32);
    QPainter p(&image);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(0, 0, source);
    return image;
}

QByteArray bitmap(const QImage& source)
{
    const QImage image = unpremultiplied(source);
    const int width = image.width(), height = image.height();
    const int maskStride = ((width + 31) / 32) * 4;
    QByteArray out;
    put32(&out, InfoHeaderSize);
    put32(&out, quint32(width));
    put32(&out, quint32(2 * height));
    put16(&out, 1); // planes
    put16(&out, 32); // bits per pixel
    put32(&out, 0); // no compression
    put32(&out, quint32(width * height * 4 + maskStride * height));
    put32(&out, 0);
    put32(&out, 0);
    put32(&out, 0);
    put32(&out, 0);
    for (int y = height - 1; y >= 0; --y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            out.append(char(qBlue(line[x])));
            out.append(char(qGreen(line[x])));
            out.append(char(qRed(line[x])));
            out.append(char(qAlpha(line[x])));
        }
    }
    for (int y = height - 1; y >= 0; --y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < width; ++x) {
            if (qAlpha(line[x]) == 0)
                row[x / 8] = char(row.at(x / 8) | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
    return out;
}

} // namespace

QByteArray encode(const QVector<QImage>& images)
{
    if (images.isEmpty())
        return QByteArray();
    QVector<QByteArray> data;
    for (const QImage& image : images) {
        if (image.isNull() || image.width() > 256 || image.height() > 256)
            return QByteArray();
        data.append(bitmap(image));
    }

    QByteArray out;
    put16(&out, 0);
    put16(&out, 1); // an icon, not a cursor
    put16(&out, quint16(images.size()));
    quint32 offset = quint32(DirectorySize + EntrySize * images.size());
    for (int i = 0; i < images.size(); ++i) {
        // 256 is written as 0.
        out.append(char(images.at(i).width() & 0xff));
        out.append(char(images.at(i).height() & 0xff));
        out.append(char(0)); // no palette
        out.append(char(0));
        put16(&out, 1);
        put16(&out, 32);
        put32(&out, quint32(data.at(i).size()));
        put32(&out, offset);
        offset += quint32(data.at(i).size());
    }
    for (const QByteArray& bytes : data)
        out.append(bytes);
    return out;
}

} // namespace KIcoWriter
