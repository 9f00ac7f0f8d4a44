#pragma once

#include <QByteArray>
#include <QImage>
#include <QVector>

// Writes an animated GIF89a: one global palette of at most 256 colours chosen by median cut over
// all frames, LZW-compressed frames, and the NETSCAPE2.0 extension so that it loops for ever.
// Qt 5 reads GIF but cannot write it. The output depends only on the frames: no hash order,
// no time stamp, so a build writes the same bytes every time.
namespace KGifWriter {

// `frames` must be non-empty and of one size; transparency is flattened onto white.
// `delayMs` is rounded to the GIF's hundredths of a second. Returns empty on bad input.
QByteArray encode(const QVector<QImage>& frames, int delayMs);

// The palette median cut chooses for `frames` (exposed for the tests).
QVector<QRgb> palette(const QVector<QImage>& frames, int maxColours = 256);

// GIF's variant of LZW for one frame of palette indexes: the code stream, least significant
// bit first, from the first clear code to the end code, before it is cut into sub-blocks.
QByteArray lzw(const QByteArray& indexes, int minCodeSize);

} // namespace KGifWriter
