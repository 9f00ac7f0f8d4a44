#include "core/atriumthread.h"

#include "AtriumCommon/atriumuserdatalogutils.h"
#include "platform/kfaultguard.h"

#include <chrono>

namespace {

const QString ThreadRunCrashed = QStringLiteral("线程执行崩溃");
const QString ThreadStopCrashed = QStringLiteral("线程终止崩溃");
const QString AutomaticKind = QStringLiteral("自动发送;");
// How long a fault report may take to reach the trace file before the process ends.
constexpr int FaultFlushMs = 2000;

// The id of the calling thread, as the system reports it.
quintptr callingThreadId()
{
    return reinterpret_cast<quintptr>(QThread::currentThreadId());
}

} // namespace

AtriumThread::AtriumThread(QObject* parent)
    : QThread(parent)
{ }

AtriumThread::~AtriumThread()
{
    stopThread();
}

void AtriumThread::run()
{
    m_runEnded = false;
    const quintptr threadId = callingThreadId();
    AtriumUserDataLogUtils* trace = AtriumUserDataLogUtils::instance();

    // After a hardware fault this thread may hold any lock, so the record is prepared now and
    // the report only hands it to the library (see platform/kfaultguard_posix.cpp).
    AtriumTraceCall faultCall;
    if (trace->isBound()) {
        AtriumTraceRecord record;
        record.operation = ThreadRunCrashed;
        record.kind = AutomaticKind;
        faultCall = trace->prepare(record);
    }
    const KFaultGuard guard([this, trace, faultCall, threadId]() mutable {
        if (!trace->isBound())
            return;
        faultCall.page = failureDetail(threadId);
        trace->upload(faultCall);
        trace->waitForUpload(FaultFlushMs);
    });

    // However the body ends: the stop request is cleared, so that the thread can be started
    // again, and the end is published.
    struct RunEnd
    {
        AtriumThread* thread;
        ~RunEnd()
        {
            thread->clearStopRequest();
            thread->m_runEnded.store(true, std::memory_order_release);
        }
    } const runEnd { this };

    try {
        initThread();
        doWork();
    } catch (...) {
        // Where termination unwinds the stack (thread cancellation on Linux), the unwinding
        // must go on to the thread's start: swallowing it aborts the process.
        if (m_terminating)
            throw;
        writeAutoTrace(ThreadRunCrashed, failureDetail(threadId), QString());
    }
}

void AtriumThread::initThread()
{
    setObjectName(QString::fromLatin1(metaObject()->className()));
}

void AtriumThread::stopThread()
{
    try {
        if (QThread::currentThread() == this) {
            requestStop(); // the body stopping itself ends when it returns
            return;
        }
        if (isRunning()) {
            requestStop();
            if (!wait(StopGracePeriodMs)) {
                // The last resort. On Linux this cancels the thread at its next cancellation
                // point, which a body that never waits or sleeps may not reach.
                m_terminating = true;
                terminate();
                wait();
                m_terminating = false;
            }
        }
        awaitRunEnd();
        // A request made as the body ended, while the thread still counted as running, was seen by
        // no body: it must not end the next start at once.
        clearStopRequest();
    } catch (...) {
        writeAutoTrace(ThreadStopCrashed, failureDetail(callingThreadId()), QString());
    }
}

void AtriumThread::requestStop()
{
    // A thread that is not running has nothing to stop, and must not find the request when it
    // is started again.
    if (!isRunning())
        return;
    {
        const std::lock_guard<std::mutex> locker(m_stopMutex);
        m_stopRequested = true;
    }
    m_stopRequestedChanged.notify_all();
    // Long loops of the engine that run on this thread look at the interruption flag.
    requestInterruption();
}

bool AtriumThread::isStopRequested() const
{
    const std::lock_guard<std::mutex> locker(m_stopMutex);
    return m_stopRequested;
}

bool AtriumThread::sleepInterruptibly(int msecs)
{
    std::unique_lock<std::mutex> locker(m_stopMutex);
    m_stopRequestedChanged.wait_for(
        locker, std::chrono::milliseconds(msecs), [this] { return m_stopRequested || m_wakeRequested; });
    m_wakeRequested = false;
    return !m_stopRequested;
}

void AtriumThread::wakeUp()
{
    {
        const std::lock_guard<std::mutex> locker(m_stopMutex);
        m_wakeRequested = true;
    }
    m_stopRequestedChanged.notify_all();
}

void AtriumThread::awaitRunEnd() const
{
    // Only the acquiring matters: it pairs with the release at the end of run().
    m_runEnded.load(std::memory_order_acquire);
}

void AtriumThread::clearStopRequest()
{
    const std::lock_guard<std::mutex> locker(m_stopMutex);
    m_stopRequested = false;
    m_wakeRequested = false;
}

QString AtriumThread::failureDetail(quintptr threadId) const
{
    const QString name
        = objectName().isEmpty() ? QString::fromLatin1(metaObject()->className()) : objectName();
    return QStringLiteral("className:") + name + QStringLiteral(" threadID:") + QString::number(threadId);
}
