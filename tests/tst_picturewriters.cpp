#include "kgifwriter.h"

#include <QBuffer>
#include <QImageReader>
#include <QRandomGenerator>
#include <QtTest>

#include <functional>
#include <vector>

using Frames = QVector<QImage>;

namespace {

QImage paint(int width, int height, const std::function<QRgb(int, int)>& pixel)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, pixel(x, y));
    }
    return image;
}

// What these tests read back from a GIF file, parsed by hand so that every byte is accounted for.
struct GifFile
{
    bool ok = false;
    QSize size;
    QVector<int> minCodeSizes;
    QVector<QByteArray> streams; // each frame's code stream, sub-blocks joined
};

GifFile parseGif(const QByteArray& bytes)
{
    GifFile gif;
    int at = 0;
    auto byte = [&]() {
        return at < bytes.size() ? int(uchar(bytes.at(at++))) : -1;
    };
    auto word = [&]() {
        const int lo = byte(), hi = byte();
        return lo | (hi << 8);
    };
    auto subBlocks = [&]() {
        QByteArray joined;
        for (int length = byte(); length > 0; length = byte()) {
            joined += bytes.mid(at, length);
            at += length;
        }
        return joined;
    };
    if (!bytes.startsWith("GIF89a"))
        return gif;
    at = 6;
    const int width = word();
    gif.size = QSize(width, word());
    const int packed = byte();
    if (!(packed & 0x80))
        return gif; // no global palette: not what the writer makes
    at += 2 + 3 * (2 << (packed & 7));
    for (int block = byte(); block >= 0; block = byte()) {
        if (block == 0x3b) {
            gif.ok = at == bytes.size();
            return gif;
        }
        if (block == 0x21) {
            byte(); // the extension's label
            subBlocks();
        } else if (block == 0x2c) {
            at += 8;
            if (byte() != 0)
                return gif; // a local palette or interlacing: not what the writer makes
            gif.minCodeSizes.append(byte());
            gif.streams.append(subBlocks());
        } else {
            return gif;
        }
    }
    return gif;
}

// A strict GIF LZW decoder: the stream must open with a clear code and end with the end code
// right after the last pixel, read at the width the decoder has reached by then.
bool decodeStrictly(const QByteArray& stream, int minCodeSize, int pixels, QByteArray* indexes)
{
    const int clear = 1 << minCodeSize, end = clear + 1;
    std::vector<QByteArray> table(4096);
    for (int i = 0; i < clear; ++i)
        table[size_t(i)] = QByteArray(1, char(i));
    int codeSize = minCodeSize + 1, next = end + 1;
    qint64 bit = 0;
    auto read = [&]() {
        if (bit + codeSize > qint64(stream.size()) * 8)
            return -1;
        int code = 0;
        for (int i = 0; i < codeSize; ++i, ++bit)
            code |= ((uchar(stream.at(int(bit / 8))) >> (bit % 8)) & 1) << i;
        return code;
    };
    if (read() != clear)
        return false;
    QByteArray previous;
    for (;;) {
        const int code = read();
        if (code < 0)
            return false;
        if (code == clear) {
            codeSize = minCodeSize + 1;
            next = end + 1;
            previous.clear();
            continue;
        }
        if (code == end)
            break;
        QByteArray entry;
        if (code < clear || (code > end && code < next))
            entry = table[size_t(code)];
        else if (code == next && !previous.isEmpty())
            entry = previous + previous.at(0);
        else
            return false;
        indexes->append(entry);
        if (!previous.isEmpty() && next < 4096)
            table[size_t(next++)] = previous + entry.at(0);
        if (next == (1 << codeSize) && codeSize < 12)
            ++codeSize;
        previous = entry;
    }
    return indexes->size() == pixels && qint64(stream.size()) * 8 - bit < 8;
}

QRgb flattenedOnWhite(QRgb pixel)
{
    const int a = qAlpha(pixel);
    auto mix = [a](int c) {
        return (c * a + 255 * (255 - a) + 127) / 255;
    };
    return qRgb(mix(qRed(pixel)), mix(qGreen(pixel)), mix(qBlue(pixel)));
}

} // namespace

class TestPictureWriters : public QObject
{
    Q_OBJECT

private slots:
    void gifKeepsEveryColourOfFewColourFrames_data();
    void gifKeepsEveryColourOfFewColourFrames();
    void gifEndsCleanlyAtEveryLength();
};

void TestPictureWriters::gifKeepsEveryColourOfFewColourFrames_data()
{
    QTest::addColumn<Frames>("frames");
    QRandomGenerator random(42);
    QVector<QRgb> colours;
    for (int i = 0; i < 200; ++i)
        colours.append(qRgb(int(random.bounded(256)), int(random.bounded(256)), int(random.bounded(256))));

    QTest::newRow("one colour over a large area compresses into long codes")
        << Frames { paint(300, 200, [](int, int) { return qRgb(43, 127, 214); }) };
    QTest::newRow("noise longer than the code table makes it start over")
        << Frames { paint(160, 120, [&](int, int) { return colours.at(int(random.bounded(200))); }) };
    QTest::newRow("exactly 256 colours fill the palette")
        << Frames { paint(16, 16, [](int x, int y) { return qRgb(x * 16, y * 16, (x * y) % 256); }) };
    Frames stripes;
    for (int f = 0; f < 3; ++f)
        stripes << paint(
            40, 30, [f](int x, int) { return (x + f * 5) / 5 % 2 ? qRgb(220, 64, 64) : qRgb(93, 181, 42); });
    QTest::newRow("three frames share one palette") << stripes;
    QTest::newRow("transparency is flattened onto white")
        << Frames { paint(8, 8, [](int x, int) { return x < 4 ? qRgba(0, 0, 0, 0) : qRgb(10, 20, 30); }) };
}

void TestPictureWriters::gifKeepsEveryColourOfFewColourFrames()
{
    QFETCH(Frames, frames);
    const QByteArray bytes = KGifWriter::encode(frames, 80);
    QVERIFY(!bytes.isEmpty());

    const GifFile gif = parseGif(bytes);
    QVERIFY2(gif.ok, "the file's blocks do not add up");
    QCOMPARE(gif.size, frames.first().size());
    QCOMPARE(gif.streams.size(), frames.size());
    for (int f = 0; f < frames.size(); ++f) {
        QByteArray indexes;
        QVERIFY2(decodeStrictly(gif.streams.at(f), gif.minCodeSizes.at(f),
                     gif.size.width() * gif.size.height(), &indexes),
            qPrintable(QStringLiteral("frame %1 does not decode strictly").arg(f)));
    }

    // Qt's own reader, which the plug-in's QMovie uses, sees every pixel, looping forever.
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer, "gif");
    QCOMPARE(reader.imageCount(), frames.size());
    QCOMPARE(reader.loopCount(), -1);
    for (int f = 0; f < frames.size(); ++f) {
        const QImage decoded = reader.read();
        QCOMPARE(reader.nextImageDelay(), 80);
        QVERIFY2(!decoded.isNull(), qPrintable(reader.errorString()));
        for (int y = 0; y < decoded.height(); ++y) {
            for (int x = 0; x < decoded.width(); ++x)
                QCOMPARE(decoded.pixel(x, y) | 0xff000000u, flattenedOnWhite(frames.at(f).pixel(x, y)));
        }
    }
}

void TestPictureWriters::gifEndsCleanlyAtEveryLength()
{
    // The end code must be as wide as the decoder's codes have grown by then; a narrower one
    // goes unnoticed unless it ends exactly on a byte, so try many lengths.
    for (int colours : { 2, 4, 16 }) {
        for (int length = 1; length <= 400; ++length) {
            const QImage row = paint(length, 1, [colours](int x, int) {
                const int c = (x * 7 + x / 3) % colours;
                return qRgb(c * 255 / (colours - 1), 0, 0);
            });
            const GifFile gif = parseGif(KGifWriter::encode({ row }, 80));
            QVERIFY(gif.ok);
            QByteArray indexes;
            QVERIFY2(decodeStrictly(gif.streams.first(), gif.minCodeSizes.first(), length, &indexes),
                qPrintable(QStringLiteral("%1 colours, %2 pixels").arg(colours).arg(length)));
        }
    }
}

QTEST_GUILESS_MAIN(TestPictureWriters)
#include "tst_picturewriters.moc"
