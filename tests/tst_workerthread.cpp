#include "AtriumCommon/atriumuserdatalogutils.h"
#include "core/atriumthread.h"
#include "ktestenvironment.h"
#include "ktracestore.h"

#include <QProcess>
#include <QtTest>

#include <atomic>
#include <stdexcept>

namespace {

constexpr int FlushMs = 10000;
const char* const FaultChildOption = "--fault-child";

enum Behaviour
{
    ThrowStandardException,
    ThrowAnythingElse,
    SleepUntilStopped,
    InvalidAccess,
    StackOverflow,
};

int descend(int depth)
{
    volatile char frame[1024];
    frame[depth % 1024] = char(depth);
    return depth < 0 ? 0 : descend(depth + 1) + frame[depth % 1024];
}

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
        case InvalidAccess: {
            volatile quintptr address = 16;
            *reinterpret_cast<volatile int*>(quintptr(address)) = 1;
            break;
        }
        case StackOverflow: // the handler must run on a stack of its own
            descend(0);
            break;
        }
        leftNormally = true;
    }

private:
    const Behaviour m_behaviour;
};

// The test process re-run with FaultChildOption: a worker's body faults. Where only its thread
// ends, the child prints the thread's id once the record is stored, and returns.
int runFaultingChild(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    KTestEnvironment env;
    env.platform()->setHostExecutablePath(QString::fromLocal8Bit(argv[3]));
    TestWorker worker(Behaviour(QByteArray(argv[2]).toInt()));
    worker.start();
    worker.wait();
    if (!AtriumUserDataLogUtils::instance()->waitForUpload(FlushMs))
        return 1;
    QTextStream(stdout) << "threadID:" << worker.threadId.load() << Qt::endl;
    return 0;
}

} // namespace

class TestWorkerThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void aNeverStartedWorkerWritesNothing();
    void stopThreadEndsASleepingBodyWhichCanRunAgain();
    void aFaultIsTracedOnceAndEndsOnlyItsThreadIfItCan_data();
    void aFaultIsTracedOnceAndEndsOnlyItsThreadIfItCan();

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

void TestWorkerThread::aFaultIsTracedOnceAndEndsOnlyItsThreadIfItCan_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("processEnds");
    QTest::newRow("a standard exception ends only its thread") << int(ThrowStandardException) << false;
    QTest::newRow("an exception of any other type ends only its thread") << int(ThrowAnythingElse) << false;
    QTest::newRow("an invalid memory access is traced before the process ends") << int(InvalidAccess) << true;
    QTest::newRow("a stack overflow is traced before the process ends") << int(StackOverflow) << true;
}

void TestWorkerThread::aFaultIsTracedOnceAndEndsOnlyItsThreadIfItCan()
{
    QFETCH(int, fault);
    QFETCH(bool, processEnds);
    const QString cache = m_env.path(QStringLiteral("fault/%1").arg(fault));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
    // ThreadSanitizer would report the fault itself; the child lets it end the process as it
    // does in production. (AddressSanitizer aborts, which is a crash too.)
    environment.insert(QStringLiteral("TSAN_OPTIONS"),
        environment.value(QStringLiteral("TSAN_OPTIONS")) + QStringLiteral(":handle_segv=0:handle_sigbus=0"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    // Through a shell that turns core dumps off: the crash is expected.
    child.start(QStringLiteral("/bin/sh"),
        { QStringLiteral("-c"), QStringLiteral("ulimit -c 0; exec \"$0\" \"$@\""),
            QCoreApplication::applicationFilePath(), QString::fromLatin1(FaultChildOption),
            QString::number(fault), KPlatform::instance()->hostExecutablePath() });
    QVERIFY(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    QVERIFY2(processEnds ? child.exitStatus() == QProcess::CrashExit
                         : child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
        output.constData());

    const QVector<KStoredTrace> traces = readStoredTraces(traceDatabase(cache));
    QCOMPARE(traces.size(), 1);
    QCOMPARE(traces.first().operation, QStringLiteral("线程执行崩溃"));
    QVERIFY(traces.first().page.startsWith(QStringLiteral("className:TestWorker threadID:")));
    if (!processEnds) {
        QVERIFY2(
            output.contains(traces.first().page.section(QLatin1Char(' '), 1).toUtf8()), output.constData());
        QVERIFY(traces.first().kind.startsWith(QStringLiteral("自动发送;;")));
    }
}

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], FaultChildOption) == 0)
        return runFaultingChild(argc, argv);
    QCoreApplication app(argc, argv);
    TestWorkerThread test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_workerthread.moc"
