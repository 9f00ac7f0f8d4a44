#include "AtriumCommon/atriumuserdatalogutils.h"
#include "ktestenvironment.h"
#include "ktracestore.h"
#include "storage/atriumthread.h"

#include <QtTest>

#include <atomic>
#include <stdexcept>

namespace {

constexpr int FlushMs = 10000;

enum Behaviour
{
    ThrowStandardException,
    ThrowAnythingElse,
    SleepUntilStopped,
};

class TestWorker final : public AtriumThread
{
    Q_OBJECT

public:
    explicit TestWorker(Behaviour behaviour)
        : m_behaviour(behaviour)
    { }
    ~TestWorker() override { stopThread(); }

    std::atomic<quintptr> threadId { 0 };
    std::atomic<bool> started { false };
    std::atomic<bool> leftNormally { false };

protected:
    void doWork() override
    {
        threadId = reinterpret_cast<quintptr>(QThread::currentThreadId());
        leftNormally = false;
        started = true;
        switch (m_behaviour) {
        case ThrowStandardException:
            throw std::runtime_error("the backup drive went away");
        case ThrowAnythingElse:
            throw 42;
        case SleepUntilStopped:
            while (sleepInterruptibly(60000)) { }
            break;
        }
        leftNormally = true;
    }

private:
    const Behaviour m_behaviour;
};

} // namespace

class TestWorkerThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void aThrowingBodyEndsOnlyItsThreadWithOneRecord_data();
    void aThrowingBodyEndsOnlyItsThreadWithOneRecord();
    void aNeverStartedWorkerWritesNothing();
    void stopThreadEndsASleepingBodyWhichCanRunAgain();

private:
    QVector<KStoredTrace> storedTraces() const;

    KTestEnvironment m_env;
};

void TestWorkerThread::initTestCase()
{
    QVERIFY(!installHostWithPathmark(m_env, QStringLiteral("5.2")).isEmpty());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_env.path(QStringLiteral("cache"))));
    QVERIFY(AtriumUserDataLogUtils::instance()->isBound());
}

QVector<KStoredTrace> TestWorkerThread::storedTraces() const
{
    if (!AtriumUserDataLogUtils::instance()->waitForUpload(FlushMs))
        return {};
    return readStoredTraces(traceDatabase(m_env.path(QStringLiteral("cache"))));
}

void TestWorkerThread::aThrowingBodyEndsOnlyItsThreadWithOneRecord_data()
{
    QTest::addColumn<int>("behaviour");
    QTest::newRow("a standard exception") << int(ThrowStandardException);
    QTest::newRow("an exception of any other type") << int(ThrowAnythingElse);
}

void TestWorkerThread::aThrowingBodyEndsOnlyItsThreadWithOneRecord()
{
    QFETCH(int, behaviour);
    const int before = storedTraces().size();

    TestWorker worker { Behaviour(behaviour) };
    worker.start();
    QVERIFY(worker.wait(FlushMs));

    const QVector<KStoredTrace> traces = storedTraces();
    QCOMPARE(traces.size(), before + 1);
    QCOMPARE(traces.last().operation, QStringLiteral("线程执行崩溃"));
    QCOMPARE(
        traces.last().page, QStringLiteral("className:TestWorker threadID:%1").arg(worker.threadId.load()));
    QVERIFY(traces.last().kind.startsWith(QStringLiteral("自动发送;;")));
}

void TestWorkerThread::aNeverStartedWorkerWritesNothing()
{
    const int before = storedTraces().size();
    delete new TestWorker(SleepUntilStopped);
    QCOMPARE(storedTraces().size(), before);
}

void TestWorkerThread::stopThreadEndsASleepingBodyWhichCanRunAgain()
{
    TestWorker worker(SleepUntilStopped);
    for (int run = 0; run < 2; ++run) {
        worker.started = false;
        worker.start();
        QTRY_VERIFY(worker.started);
        worker.stopThread();
        QVERIFY(!worker.isRunning());
        QVERIFY(worker.leftNormally); // woken, not terminated
    }
}

QTEST_GUILESS_MAIN(TestWorkerThread)
#include "tst_workerthread.moc"
