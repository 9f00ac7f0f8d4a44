#include "kfuzzrequire.h"
#include "platform/kmessageframe.h"

#include <QVector>

// The bytes another local process sends the window. Every frame taken off the stream encodes to
// the very bytes it was taken from and is one the module could have sent; the stream reads the
// same whether its bytes arrive at once or a few at a time. Replies are read the same way.

namespace {

struct Reading
{
    QVector<QByteArray> frames; // each as encoded again
    KMessageFrame::Decoded last = KMessageFrame::Decoded::Incomplete;
    int left = 0; // bytes not taken
};

// Reads `bytes` as they arrive, `step` at a time, until the stream is malformed or ends.
Reading read(const QByteArray& bytes, int step)
{
    Reading reading;
    QByteArray buffer;
    for (int at = 0; at < bytes.size() && reading.last != KMessageFrame::Decoded::Malformed; at += step) {
        buffer += bytes.mid(at, step);
        for (;;) {
            const QByteArray before = buffer;
            KMessageFrame frame;
            reading.last = KMessageFrame::decode(&buffer, &frame);
            if (reading.last != KMessageFrame::Decoded::Complete) {
                require(buffer == before, "a frame that was not taken changed the buffer");
                break;
            }
            require(frame.isValid(), "a frame that could not be sent was taken");
            const QByteArray encoded = frame.encode();
            require(before.startsWith(encoded) && buffer == before.mid(encoded.size()),
                "a frame was taken from other bytes than it encodes to");
            reading.frames.append(encoded);
        }
    }
    reading.left = buffer.size();
    return reading;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte says how many bytes arrive at a time.
    const int step = 1 + data[0] % 16;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, int(size - 1));
    const Reading whole = read(bytes, qMax(1, bytes.size()));
    const Reading trickled = read(bytes, step);
    require(whole.frames == trickled.frames, "frames depend on how the bytes arrive");
    require(whole.last == trickled.last
            && (whole.last == KMessageFrame::Decoded::Malformed || whole.left == trickled.left),
        "a stream read whole ends otherwise than read in parts");

    QByteArray replies = bytes;
    for (;;) {
        const QByteArray before = replies;
        LRESULT result = 0;
        if (KMessageFrame::decodeReply(&replies, &result) != KMessageFrame::Decoded::Complete) {
            require(replies == before, "a reply that was not taken changed the buffer");
            break;
        }
        require(KMessageFrame::encodeReply(result) + replies == before, "a reply was taken from other bytes");
    }
    return 0;
}
