#include "compare/kimagediff.h"

#include <QImageReader>

namespace KImageDiffer {

namespace {

// Channels closer than this are the same: a picture saved again as JPEG changes them a little.
constexpr int Tolerance = 24;

bool decodesScaled(const QByteArray& format)
{
    // These decode straight at a smaller size; the others decode whole and scale afterwards.
    return format == "jpeg" || format == "jpg" || format == "svg" || format == "svgz";
}

int channelDistance(QRgb a, QRgb b)
{
    return qMax(qMax(qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b))),
        qMax(qAbs(qBlue(a) - qBlue(b)), qAbs(qAlpha(a) - qAlpha(b))));
}

QRgb paled(QRgb pixel)
{
    const int grey = qGray(pixel) * qAlpha(pixel) / 255 + (255 - qAlpha(pixel));
    const int light = 255 - (255 - grey) / 3;
    return qRgb(light, light, light);
}

} // namespace

KCompareProblem read(QIODevice* device, const QByteArray& format, QImage* image, QSize* storedSize)
{
    QImageReader reader(device, format);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return KCompareProblem::BrokenImage;
    *storedSize = size;
    const qint64 pixels = qint64(size.width()) * size.height();
    const bool scaled = decodesScaled(reader.format());
    // Scaled decoding still reads at an eighth of the size at least.
    if (pixels > (scaled ? MaxPixels * 64 : MaxPixels))
        return KCompareProblem::ImageTooLarge;
    const QSize shown = size.width() > MaxSide || size.height() > MaxSide
        ? size.scaled(MaxSide, MaxSide, Qt::KeepAspectRatio)
        : size;
    if (scaled && shown != size)
        reader.setScaledSize(shown);
    QImage decoded = reader.read();
    if (decoded.isNull())
        return KCompareProblem::BrokenImage;
    if (decoded.size() != shown)
        decoded = decoded.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    *image = decoded.convertToFormat(QImage::Format_ARGB32);
    return KCompareProblem::None;
}

KImageComparison compare(const QImage& before, const QImage& after)
{
    KImageComparison result;
    result.before = before;
    result.after = after;
    const int width = qMax(before.width(), after.width());
    const int height = qMax(before.height(), after.height());
    result.difference = QImage(width, height, QImage::Format_ARGB32);
    result.pixels = qint64(width) * height;
    const QRgb red = qRgb(230, 40, 40);
    for (int y = 0; y < height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(result.difference.scanLine(y));
        const auto* oldLine
            = y < before.height() ? reinterpret_cast<const QRgb*>(before.constScanLine(y)) : nullptr;
        const auto* newLine
            = y < after.height() ? reinterpret_cast<const QRgb*>(after.constScanLine(y)) : nullptr;
        for (int x = 0; x < width; ++x) {
            const bool inOld = oldLine && x < before.width();
            const bool inNew = newLine && x < after.width();
            const bool differs = !inOld || !inNew || channelDistance(oldLine[x], newLine[x]) > Tolerance;
            result.differingPixels += differs;
            out[x] = differs ? red : paled(newLine[x]);
        }
    }
    return result;
}

} // namespace KImageDiffer
