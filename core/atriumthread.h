#pragma once

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

// The base of the module's worker threads. The body runs inside a guard: a C++ exception ends
// only this thread, a hardware fault is reported before it ends the process, and either leaves
// one usage-trace record. Bodies that wait use sleepInterruptibly(), so that stopThread() ends
// them promptly. Subclasses call stopThread() in their own destructor: the body must not
// outlive the object it runs on.
class AtriumThread : public QThread
{
    Q_OBJECT

public:
    explicit AtriumThread(QObject* parent = nullptr);
    ~AtriumThread() override;

    // Ends a running thread: asks the body to stop, terminates it if it has not ended within
    // StopGracePeriodMs, then waits for it. For a thread that is not running, it only forgets a
    // stop asked for as its body ended.
    void stopThread();
    // Asks a running body to stop; it sees the request in isStopRequested() and
    // sleepInterruptibly(), and code it calls sees it in QThread::isInterruptionRequested().
    void requestStop();
    // Ends the body's current sleepInterruptibly() early, or its next one at once.
    void wakeUp();

    static constexpr int StopGracePeriodMs = 2000;

protected:
    void run() final;
    // The body, on the worker thread.
    virtual void doWork() = 0;
    // Names the object after its most derived class.
    virtual void initThread();

    bool isStopRequested() const;
    // Sleeps for `msecs` or until a stop is requested or wakeUp() is called; false when the
    // body should end.
    bool sleepInterruptibly(int msecs);

private:
    QString failureDetail(quintptr threadId) const;
    void clearStopRequest();
    void awaitRunEnd() const;

    mutable std::mutex m_stopMutex;
    std::condition_variable m_stopRequestedChanged;
    bool m_stopRequested = false;
    bool m_wakeRequested = false;
    // Set while stopThread() terminates the thread.
    std::atomic<bool> m_terminating { false };
    // Released as the worker's last use of this object and acquired by whoever has seen the
    // thread finish, so that this order is visible to ThreadSanitizer: Qt's own finishing
    // handshake is not.
    std::atomic<bool> m_runEnded { false };

    Q_DISABLE_COPY(AtriumThread)
};
