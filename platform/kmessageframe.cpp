#include "platform/kmessageframe.h"

#include <QtEndian>

namespace {

void append32(QByteArray* bytes, quint32 value)
{
    char raw[4];
    qToBigEndian(value, raw);
    bytes->append(raw, 4);
}

void append64(QByteArray* bytes, quint64 value)
{
    char raw[8];
    qToBigEndian(value, raw);
    bytes->append(raw, 8);
}

quint32 read32(const char* at)
{
    return qFromBigEndian<quint32>(at);
}

quint64 read64(const char* at)
{
    return qFromBigEndian<quint64>(at);
}

} // namespace

KMessageFrame KMessageFrame::post(UINT message, WPARAM wParam, LPARAM lParam)
{
    KMessageFrame frame;
    frame.kind = Post;
    frame.message = message;
    frame.wParam = wParam;
    frame.lParam = lParam;
    return frame;
}

KMessageFrame KMessageFrame::copyData(ULONG_PTR dwData, const QByteArray& payload)
{
    KMessageFrame frame;
    frame.kind = CopyData;
    frame.message = WM_COPYDATA;
    frame.dwData = dwData;
    frame.payload = payload;
    return frame;
}

bool KMessageFrame::isValid() const
{
    if (payload.size() > MaxPayloadSize)
        return false;
    switch (kind) {
    case Post:
        // Copy-data cannot be posted: its block lives only as long as the call.
        return message >= 1 && message <= LastMessage && message != WM_COPYDATA && dwData == 0
            && payload.isEmpty();
    case CopyData:
        return message == WM_COPYDATA && wParam == 0 && lParam == 0;
    }
    return false;
}

QByteArray KMessageFrame::encode() const
{
    if (!isValid())
        return QByteArray();
    QByteArray bytes;
    bytes.reserve(LengthSize + HeaderSize + payload.size());
    append32(&bytes, quint32(HeaderSize + payload.size()));
    bytes.append(char(kind));
    append32(&bytes, message);
    append64(&bytes, quint64(wParam));
    append64(&bytes, quint64(lParam));
    append64(&bytes, quint64(dwData));
    bytes.append(payload);
    return bytes;
}

KMessageFrame::Decoded KMessageFrame::decode(QByteArray* buffer, KMessageFrame* frame)
{
    if (buffer->size() < LengthSize)
        return Decoded::Incomplete;
    const quint32 length = read32(buffer->constData());
    if (length < quint32(HeaderSize) || length > quint32(MaxFrameSize - LengthSize))
        return Decoded::Malformed;
    // The kind can be judged before the rest has arrived.
    if (buffer->size() > LengthSize) {
        const quint8 kind = quint8(buffer->at(LengthSize));
        if (kind != Post && kind != CopyData)
            return Decoded::Malformed;
    }
    if (buffer->size() < int(LengthSize + length))
        return Decoded::Incomplete;

    const char* at = buffer->constData() + LengthSize;
    KMessageFrame decoded;
    decoded.kind = Kind(quint8(at[0]));
    decoded.message = read32(at + 1);
    decoded.wParam = WPARAM(read64(at + 5));
    decoded.lParam = LPARAM(read64(at + 13));
    decoded.dwData = ULONG_PTR(read64(at + 21));
    decoded.payload = QByteArray(at + HeaderSize, int(length) - HeaderSize);
    if (!decoded.isValid())
        return Decoded::Malformed;
    buffer->remove(0, int(LengthSize + length));
    *frame = decoded;
    return Decoded::Complete;
}

QByteArray KMessageFrame::encodeReply(LRESULT result)
{
    QByteArray bytes;
    append32(&bytes, 8);
    append64(&bytes, quint64(result));
    return bytes;
}

KMessageFrame::Decoded KMessageFrame::decodeReply(QByteArray* buffer, LRESULT* result)
{
    if (buffer->size() >= LengthSize && read32(buffer->constData()) != 8)
        return Decoded::Malformed;
    if (buffer->size() < ReplySize)
        return Decoded::Incomplete;
    *result = LRESULT(read64(buffer->constData() + LengthSize));
    buffer->remove(0, ReplySize);
    return Decoded::Complete;
}
