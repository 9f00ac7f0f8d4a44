#pragma once

#include <QByteArray>
#include <QImage>
#include <QVector>

// Writes a Windows icon holding several sizes, each a 32-bit image with alpha and the 1-bit
// mask older readers use. Written by hand rather than with Qt's ico plugin, which writes one
// size per file and leaves padding bytes uninitialised, so its output differs between runs.
namespace KIcoWriter {

// Each image at least 1 and at most 256 pixels on each side. Returns empty otherwise.
QByteArray encode(const QVector<QImage>& images);

} // namespace KIcoWriter
