#pragma once

#include <QFile>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

// Lets go of a reader stuck in opening one of `fifos`: after a while, each is opened for writing
// and closed again, which ends such an open with an empty read. A test then fails on released()
// instead of hanging.
class KFifoRelease
{
public:
    explicit KFifoRelease(const QStringList& fifos, std::chrono::milliseconds after = std::chrono::seconds(5))
        : m_thread([this, fifos, after] {
            std::unique_lock<std::mutex> locker(m_mutex);
            if (m_stop.wait_for(locker, after, [this] { return m_stopped; }))
                return;
            for (const QString& fifo : fifos) {
                // Opens only when a reader has it open, which is just the stuck one.
                const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    m_released = true;
                    ::close(fd);
                }
            }
        })
    { }
    ~KFifoRelease()
    {
        {
            const std::lock_guard<std::mutex> locker(m_mutex);
            m_stopped = true;
        }
        m_stop.notify_all();
        m_thread.join();
    }

    bool released() const { return m_released; }

private:
    std::mutex m_mutex;
    std::condition_variable m_stop;
    bool m_stopped = false;
    std::atomic<bool> m_released { false };
    std::thread m_thread;
};
