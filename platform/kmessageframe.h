#pragma once

#include "platform/knativemessage.h"

#include <QByteArray>

// One window message on the wire between two local processes.
//
// A frame is a 32-bit big-endian length of what follows, then a kind byte, the message number
// (32 bits), wParam, lParam and the copy-data id (64 bits each, big-endian) and the copy-data
// bytes. A posted message carries no copy-data; a copy-data message is answered with a reply
// frame that holds the handler's 64-bit result. A whole frame is at most 64 KiB.
struct KMessageFrame
{
    enum Kind : quint8
    {
        Post = 1,
        CopyData = 2,
    };

    Kind kind = Post;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    ULONG_PTR dwData = 0;
    QByteArray payload;

    static constexpr int LengthSize = 4;
    static constexpr int HeaderSize = 1 + 4 + 8 + 8 + 8;
    static constexpr int MaxFrameSize = 64 * 1024;
    static constexpr int MaxPayloadSize = MaxFrameSize - LengthSize - HeaderSize;
    static constexpr int ReplySize = LengthSize + 8;
    // Window messages are 16-bit numbers; 0 is no message.
    static constexpr UINT LastMessage = 0xFFFF;

    static KMessageFrame post(UINT message, WPARAM wParam, LPARAM lParam);
    static KMessageFrame copyData(ULONG_PTR dwData, const QByteArray& payload);

    // A post of a window message without copy-data, or a copy-data message without wParam and
    // lParam: nothing else is ever sent or accepted.
    bool isValid() const;
    // The frame's bytes; empty for a frame that is not valid or too large.
    QByteArray encode() const;

    enum class Decoded
    {
        Incomplete, // more bytes are needed
        Complete, // `frame` holds the first frame, which was taken off `buffer`
        Malformed, // the stream cannot be trusted any more
    };
    // Takes the first frame off the front of `buffer`.
    static Decoded decode(QByteArray* buffer, KMessageFrame* frame);

    static QByteArray encodeReply(LRESULT result);
    // Takes a reply off the front of `buffer`; Malformed when it does not start with one.
    static Decoded decodeReply(QByteArray* buffer, LRESULT* result);
};
