#include "discovery/kreadwindow.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

KReadWindow::KReadWindow(QIODevice* device, qint64 maxBytes)
    : m_device(device)
    , m_maxBytes(maxBytes)
{
    more(nullptr);
}

KReadWindow::KReadWindow(const char* begin, const char* end)
    : m_atEnd(true)
    , m_begin(begin)
    , m_end(end)
{ }

bool KReadWindow::more(const char* keep)
{
    qint64 kept = keep ? m_end - keep : 0;
    if (kept > MaxKeepBytes)
        kept = 0;
    if (!m_device) {
        m_begin = m_end - kept;
        return false;
    }
    // The buffer is only ever this large: what is kept, and one chunk.
    if (kept > 0)
        std::memmove(m_buffer.data(), keep, size_t(kept));
    m_buffer.resize(int(kept) + ChunkBytes);
    qint64 got = 0;
    if (!m_atEnd) {
        const qint64 wanted = std::min<qint64>(ChunkBytes, m_maxBytes - m_read);
        if (wanted > 0) {
            got = m_device->read(m_buffer.data() + kept, wanted);
        } else {
            char extra = 0;
            got = m_device->read(&extra, 1);
            if (got > 0)
                m_result = KReadResult::TooLong;
            got = 0;
        }
        if (got < 0)
            m_result = KReadResult::Failed;
        if (got <= 0)
            m_atEnd = true;
        else
            m_read += got;
    }
    got = std::max<qint64>(got, 0);
    m_begin = m_buffer.constData();
    m_end = m_begin + kept + got;
    return got > 0;
}
