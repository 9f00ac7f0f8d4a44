#include "kgifwriter.h"

#include <QHash>
#include <QPainter>

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace KGifWriter {

namespace {

constexpr int MaxCode = 4095; // GIF codes are at most 12 bits wide

struct ColourCount
{
    QRgb colour;
    qint64 count;
};

QImage flattened(const QImage& frame)
{
    QImage opaque(frame.size(), QImage::Format_RGB32);
    opaque.fill(Qt::white);
    QPainter p(&opaque);
    p.drawImage(0, 0, frame);
    p.end();
    return opaque;
}

int channel(QRgb colour, int which)
{
    return which == 0 ? qRed(colour) : which == 1 ? qGreen(colour) : qBlue(colour);
}

// Colours and how often they occur, in colour order, so that nothing depends on hash order.
std::vector<ColourCount> histogram(const QVector<QImage>& frames)
{
    QHash<QRgb, qint64> counts;
    for (const QImage& frame : frames) {
        for (int y = 0; y < frame.height(); ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
            for (int x = 0; x < frame.width(); ++x)
                ++counts[line[x] | 0xff000000u];
        }
    }
    std::vector<ColourCount> colours;
    colours.reserve(size_t(counts.size()));
    for (auto it = counts.constBegin(); it != counts.constEnd(); ++it)
        colours.push_back({ it.key(), it.value() });
    std::sort(colours.begin(), colours.end(),
        [](const ColourCount& a, const ColourCount& b) { return a.colour < b.colour; });
    return colours;
}

QRgb mean(const ColourCount* begin, const ColourCount* end)
{
    qint64 sum[3] = { 0, 0, 0 };
    qint64 total = 0;
    for (const ColourCount* c = begin; c != end; ++c) {
        for (int i = 0; i < 3; ++i)
            sum[i] += channel(c->colour, i) * c->count;
        total += c->count;
    }
    return qRgb(int((sum[0] + total / 2) / total), int((sum[1] + total / 2) / total),
        int((sum[2] + total / 2) / total));
}

QVector<QRgb> medianCut(std::vector<ColourCount> colours, int maxColours)
{
    struct Box
    {
        size_t begin, end;
    };
    auto widest = [&colours](const Box& box, int* whichChannel) {
        int best = -1;
        for (int ch = 0; ch < 3; ++ch) {
            int lo = 255, hi = 0;
            for (size_t i = box.begin; i < box.end; ++i) {
                lo = std::min(lo, channel(colours[i].colour, ch));
                hi = std::max(hi, channel(colours[i].colour, ch));
            }
            if (hi - lo > best) {
                best = hi - lo;
                *whichChannel = ch;
            }
        }
        return best;
    };

    std::vector<Box> boxes { { 0, colours.size() } };
    while (int(boxes.size()) < maxColours) {
        // Split the box with the widest spread of one channel; the first such box wins a tie.
        int chosen = -1, chosenChannel = 0, chosenSpread = 0;
        for (size_t b = 0; b < boxes.size(); ++b) {
            if (boxes[b].end - boxes[b].begin < 2)
                continue;
            int ch = 0;
            const int spread = widest(boxes[b], &ch);
            if (spread > chosenSpread) {
                chosen = int(b);
                chosenChannel = ch;
                chosenSpread = spread;
            }
        }
        if (chosen < 0)
            break;
        Box& box = boxes[size_t(chosen)];
        std::sort(colours.begin() + long(box.begin), colours.begin() + long(box.end),
            [chosenChannel](const ColourCount& a, const ColourCount& b) {
                const int ca = channel(a.colour, chosenChannel), cb = channel(b.colour, chosenChannel);
                return ca != cb ? ca < cb : a.colour < b.colour;
            });
        qint64 total = 0;
        for (size_t i = box.begin; i < box.end; ++i)
            total += colours[i].count;
        // Cut where half of the pixels lie on each side, keeping both sides non-empty.
        size_t cut = box.begin + 1;
        qint64 running = colours[box.begin].count;
        while (cut < box.end - 1 && running * 2 < total)
            running += colours[cut++].count;
        const Box upper { cut, box.end };
        box.end = cut;
        boxes.push_back(upper);
    }
    QVector<QRgb> result;
    for (const Box& box : boxes)
        result.append(mean(colours.data() + box.begin, colours.data() + box.end));
    return result;
}

int nearest(const QVector<QRgb>& palette, QRgb colour)
{
    int best = 0;
    int bestDistance = INT_MAX;
    for (int i = 0; i < palette.size(); ++i) {
        const int dr = qRed(colour) - qRed(palette[i]);
        const int dg = qGreen(colour) - qGreen(palette[i]);
        const int db = qBlue(colour) - qBlue(palette[i]);
        const int distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return best;
}

class BitWriter
{
public:
    void write(int code, int width)
    {
        m_buffer |= quint32(code) << m_bits;
        m_bits += width;
        while (m_bits >= 8) {
            m_bytes.append(char(m_buffer & 0xff));
            m_buffer >>= 8;
            m_bits -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_bits > 0)
            m_bytes.append(char(m_buffer & 0xff));
        m_buffer = 0;
        m_bits = 0;
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    quint32 m_buffer = 0;
    int m_bits = 0;
};

void put16(QByteArray* out, int value)
{
    out->append(char(value & 0xff));
    out->append(char((value >> 8) & 0xff));
}

} // namespace

QVector<QRgb> palette(const QVector<QImage>& frames, int maxColours)
{
    QVector<QImage> opaque;
    for (const QImage& frame : frames)
        opaque.append(flattened(frame));
    std::vector<ColourCount> colours = histogram(opaque);
    if (int(colours.size()) <= maxColours) {
        QVector<QRgb> exact;
        for (const ColourCount& c : colours)
            exact.append(c.colour);
        return exact;
    }
    return medianCut(std::move(colours), maxColours);
}

QByteArray lzw(const QByteArray& indexes, int minCodeSize)
{
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    BitWriter bits;
    std::unordered_map<quint32, int> table;
    int codeSize = minCodeSize + 1;
    int last = end; // the highest code in the table

    bits.write(clear, codeSize);
    if (indexes.isEmpty()) {
        bits.write(end, codeSize);
        return bits.finish();
    }
    int current = uchar(indexes.at(0));
    for (int i = 1; i < indexes.size(); ++i) {
        const int next = uchar(indexes.at(i));
        const quint32 key = (quint32(current) << 8) | quint32(next);
        const auto found = table.find(key);
        if (found != table.end()) {
            current = found->second;
            continue;
        }
        bits.write(current, codeSize);
        table.emplace(key, ++last);
        // The decoder learns each code one step later, when it reads the following code; both
        // widen when the newest code no longer fits.
        if (last >= (1 << codeSize) && codeSize < 12)
            ++codeSize;
        if (last == MaxCode) {
            bits.write(clear, codeSize);
            table.clear();
            codeSize = minCodeSize + 1;
            last = end;
        }
        current = next;
    }
    bits.write(current, codeSize);
    // Reading that last code gives the decoder one more entry, which may widen its codes.
    if (last + 1 >= (1 << codeSize) && codeSize < 12)
        ++codeSize;
    bits.write(end, codeSize);
    return bits.finish();
}

QByteArray encode(const QVector<QImage>& frames, int delayMs)
{
    if (frames.isEmpty() || frames.first().isNull())
        return QByteArray();
    const QSize size = frames.first().size();
    if (size.width() > 0xffff || size.height() > 0xffff)
        return QByteArray();
    QVector<QImage> opaque;
    for (const QImage& frame : frames) {
        if (frame.size() != size)
            return QByteArray();
        opaque.append(flattened(frame));
    }

    const QVector<QRgb> colours = palette(opaque);
    int tableBits = 1;
    while ((1 << tableBits) < colours.size())
        ++tableBits;
    const int minCodeSize = std::max(2, tableBits);
    QHash<QRgb, uchar> indexOf;
    for (const QImage& frame : opaque) {
        for (int y = 0; y < frame.height(); ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
            for (int x = 0; x < frame.width(); ++x) {
                const QRgb colour = line[x] | 0xff000000u;
                if (!indexOf.contains(colour))
                    indexOf.insert(colour, uchar(nearest(colours, colour)));
            }
        }
    }

    QByteArray out("GIF89a");
    put16(&out, size.width());
    put16(&out, size.height());
    out.append(char(0x80 | (7 << 4) | (tableBits - 1))); // global table, 8 bits per primary
    out.append(char(0)); // background colour index
    out.append(char(0)); // no aspect ratio
    for (int i = 0; i < (1 << tableBits); ++i) {
        const QRgb c = i < colours.size() ? colours.at(i) : qRgb(0, 0, 0);
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
    out.append("\x21\xff\x0bNETSCAPE2.0\x03\x01", 16);
    put16(&out, 0); // loop for ever
    out.append(char(0));

    const int delay = (delayMs + 5) / 10;
    for (const QImage& frame : opaque) {
        out.append("\x21\xf9\x04", 3);
        out.append(char(1 << 2)); // disposal: leave the frame in place; no transparency
        put16(&out, delay);
        out.append(char(0));
        out.append(char(0));

        out.append(char(0x2c));
        put16(&out, 0);
        put16(&out, 0);
        put16(&out, size.width());
        put16(&out, size.height());
        out.append(char(0)); // no local table, not interlaced

        QByteArray indexes;
        indexes.reserve(size.width() * size.height());
        for (int y = 0; y < frame.height(); ++y) {
            const QRgb* line = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
            for (int x = 0; x < frame.width(); ++x)
                indexes.append(char(indexOf.value(line[x] | 0xff000000u)));
        }
        const QByteArray stream = lzw(indexes, minCodeSize);
        out.append(char(minCodeSize));
        for (int at = 0; at < stream.size(); at += 255) {
            const int length = std::min(255, stream.size() - at);
            out.append(char(length));
            out.append(stream.constData() + at, length);
        }
        out.append(char(0));
    }
    out.append(char(0x3b));
    return out;
}

} // namespace KGifWriter
