#pragma once

#include <QByteArray>

class QIODevice;

// How reading a list ended.
enum class KReadResult
{
    Complete,
    Failed, // a read error
    TooLong, // more bytes than the reader may take: the file grew after it was opened
};

// A file read one window at a time, so that a list of any size costs only the window's memory.
// At most `maxBytes` are read in all. A window over text already in memory holds it whole.
class KReadWindow
{
public:
    KReadWindow(QIODevice* device, qint64 maxBytes);
    KReadWindow(const char* begin, const char* end);

    const char* begin() const { return m_begin; }
    const char* end() const { return m_end; }

    // Reads on. The bytes from `keep` to the end stay, now at begin(), unless they are more than
    // MaxKeepBytes (then none stay); any other pointer into the window is invalid afterwards.
    // False when no new bytes came: the end of the file or of what may be read, or an error.
    bool more(const char* keep);
    KReadResult result() const { return m_result; }

    static constexpr int ChunkBytes = 64 * 1024;
    // Longer than any tag or history item a list holds.
    static constexpr int MaxKeepBytes = 4 * 1024 * 1024;

private:
    QIODevice* const m_device = nullptr;
    const qint64 m_maxBytes = 0;
    qint64 m_read = 0;
    bool m_atEnd = false;
    KReadResult m_result = KReadResult::Complete;
    QByteArray m_buffer;
    const char* m_begin = nullptr;
    const char* m_end = nullptr;

    Q_DISABLE_COPY(KReadWindow)
};
