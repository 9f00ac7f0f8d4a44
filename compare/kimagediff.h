#pragma once

#include "compare/kcompareproblem.h"

#include <QImage>

class QIODevice;

struct KImageComparison
{
    QImage before;
    QImage after;
    // The newer picture paled, with every pixel that differs in red; as large as both together.
    QImage difference;
    QSize beforeSize; // as stored, before any scaling for the view
    QSize afterSize;
    qint64 differingPixels = 0;
    qint64 pixels = 0;
};

// Pictures compared pixel by pixel, at most MaxSide on their longer side.
namespace KImageDiffer {

constexpr int MaxSide = 2048;
// Decoded at full size, a picture takes four bytes a pixel.
constexpr qint64 MaxPixels = 25'000'000;

// Reads the picture on `device`; `format` is a hint (the file's suffix). A picture larger than
// MaxSide is scaled down; a format that cannot decode at a smaller scale is refused past MaxPixels.
KCompareProblem read(QIODevice* device, const QByteArray& format, QImage* image, QSize* storedSize);

KImageComparison compare(const QImage& before, const QImage& after);

} // namespace KImageDiffer
