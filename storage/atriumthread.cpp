#include "storage/atriumthread.h"

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
{
}

AtriumThread::~AtriumThread()
{
    stopThread();
}

void AtriumThread::run()
{
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

    // Cleared however the body ends, so that the thread can be started again.
    struct StopRequestReset
    {
        AtriumThread* thread;
        ~StopRequestReset() { thread->clearStopRequest(); }
    } const reset { this };

    try {
        initThread();
        doWork();
    } catch (const KThreadCancellation&) {
        throw; // terminate(): the unwinding must reach the thread's start
    } catch (...) {
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
        if (!isRunning())
            return;
        requestStop();
        if (QThread::currentThread() == this)
            return; // the body stopping itself ends when it returns
        if (wait(StopGracePeriodMs))
            return;
        // The last resort. On Linux this cancels the thread at its next cancellation point,
        // which a body that never waits or sleeps may not reach.
        terminate();
        wait();
    } catch (...) {
        writeAutoTrace(ThreadStopCrashed, failureDetail(callingThreadId()), QString());
    }
}

void AtriumThread::requestStop()
{
    {
        const std::lock_guard<std::mutex> locker(m_stopMutex);
        m_stopRequested = true;
    }
    m_stopRequestedChanged.notify_all();
}

bool AtriumThread::isStopRequested() const
{
    const std::lock_guard<std::mutex> locker(m_stopMutex);
    return m_stopRequested;
}

bool AtriumThread::sleepInterruptibly(int msecs)
{
    std::unique_lock<std::mutex> locker(m_stopMutex);
    m_stopRequestedChanged.wait_for(locker, std::chrono::milliseconds(msecs), [this] { return m_stopRequested; });
    return !m_stopRequested;
}

void AtriumThread::clearStopRequest()
{
    const std::lock_guard<std::mutex> locker(m_stopMutex);
    m_stopRequested = false;
}

QString AtriumThread::failureDetail(quintptr threadId) const
{
    const QString name = objectName().isEmpty() ? QString::fromLatin1(metaObject()->className()) : objectName();
    return QStringLiteral("className:") + name + QStringLiteral(" threadID:") + QString::number(threadId);
}
