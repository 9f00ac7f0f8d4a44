#include "AtriumCommon/atriumuserdatalogutils.h"
#include "ktestenvironment.h"
#include "ktracestore.h"
#include "storage/atriumthread.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <stdexcept>

namespace {

constexpr int FlushMs = 10000;
const char* const FaultChildOption = "--fault-child";

quintptr callingThreadId()
{
    return reinterpret_cast<quintptr>(QThread::currentThreadId());
}

class ThrowingWorker final : public AtriumThread
{
    Q_OBJECT

public:
    explicit ThrowingWorker(bool standardException)
        : m_standardException(standardException)
    {
    }
    ~ThrowingWorker() override { stopThread(); }

    std::atomic<quintptr> threadId { 0 };

protected:
    void doWork() override
    {
        threadId = callingThreadId();
        if (m_standardException)
            throw std::runtime_error("the backup drive went away");
        throw 42;
    }

private:
    const bool m_standardException;
};

class SleepingWorker final : public AtriumThread
{
    Q_OBJECT

public:
    ~SleepingWorker() override { stopThread(); }

    std::atomic<bool> started { false };
    std::atomic<bool> leftNormally { false };

protected:
    void doWork() override
    {
        leftNormally = false;
        started = true;
        while (sleepInterruptibly(60000)) {
        }
        leftNormally = true;
    }
};

// Ignores stop requests; only termination ends it.
class StubbornWorker final : public AtriumThread
{
    Q_OBJECT

public:
    ~StubbornWorker() override { stopThread(); }

    std::atomic<bool> started { false };

protected:
    void doWork() override
    {
        started = true;
        for (;;)
            QThread::msleep(5);
    }
};

enum Fault {
    InvalidAccess,
    IllegalInstruction,
    RaisedArithmeticFault,
    StackOverflow,
};

int descend(int depth)
{
    volatile char frame[1024];
    frame[depth % 1024] = char(depth);
    if (depth < 0)
        return 0;
    return descend(depth + 1) + frame[depth % 1024];
}

class FaultingWorker final : public AtriumThread
{
    Q_OBJECT

public:
    explicit FaultingWorker(Fault fault)
        : m_fault(fault)
    {
    }
    ~FaultingWorker() override { stopThread(); }

protected:
    void doWork() override
    {
        switch (m_fault) {
        case InvalidAccess: {
            volatile quintptr address = 16;
            *reinterpret_cast<volatile int*>(quintptr(address)) = 1;
            break;
        }
        case IllegalInstruction:
            __builtin_trap();
        case RaisedArithmeticFault:
            std::raise(SIGFPE);
            break;
        case StackOverflow:
            descend(0);
            break;
        }
    }

private:
    const Fault m_fault;
};

// The test process re-run with FaultChildOption: a worker faults; returning means it survived.
int runFaultingChild(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    KTestEnvironment env;
    env.platform()->setHostExecutablePath(QString::fromLocal8Bit(argv[3]));
    FaultingWorker worker(Fault(QByteArray(argv[2]).toInt()));
    worker.start();
    worker.wait();
    return 0;
}

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
    void stopThreadTerminatesABodyThatIgnoresTheRequest();
    void aHardwareFaultIsTracedBeforeTheProcessEnds_data();
    void aHardwareFaultIsTracedBeforeTheProcessEnds();

private:
    QVector<KStoredTrace> storedTraces() const;

    QScopedPointer<KTestEnvironment> m_env;
    QString m_host;
};

void TestWorkerThread::initTestCase()
{
    m_env.reset(new KTestEnvironment);
    m_host = m_env->writeFile(QStringLiteral("host/atrium"), "host");
    QVERIFY(!installPathmark(m_env->path(QStringLiteral("host"))).isEmpty());
    m_env->platform()->setHostExecutablePath(m_host);
    m_env->platform()->setFileVersion(QStringLiteral("5.2"));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_env->path(QStringLiteral("cache"))));
    QVERIFY(AtriumUserDataLogUtils::instance()->isBound());
}

QVector<KStoredTrace> TestWorkerThread::storedTraces() const
{
    if (!AtriumUserDataLogUtils::instance()->waitForUpload(FlushMs))
        return {};
    return readStoredTraces(traceDatabase(m_env->path(QStringLiteral("cache"))));
}

void TestWorkerThread::aThrowingBodyEndsOnlyItsThreadWithOneRecord_data()
{
    QTest::addColumn<bool>("standardException");
    QTest::newRow("a standard exception") << true;
    QTest::newRow("an exception of any other type") << false;
}

void TestWorkerThread::aThrowingBodyEndsOnlyItsThreadWithOneRecord()
{
    QFETCH(bool, standardException);
    const int before = storedTraces().size();

    ThrowingWorker worker(standardException);
    worker.start();
    QVERIFY(worker.wait(FlushMs));

    const QVector<KStoredTrace> traces = storedTraces();
    QCOMPARE(traces.size(), before + 1);
    QCOMPARE(traces.last().operation, QStringLiteral("线程执行崩溃"));
    QCOMPARE(traces.last().page, QStringLiteral("className:ThrowingWorker threadID:%1").arg(worker.threadId.load()));
    QCOMPARE(traces.last().product, QString());
    QCOMPARE(traces.last().version, QStringLiteral("版本号=5.2,App=atrium"));
    QVERIFY(traces.last().kind.startsWith(QStringLiteral("自动发送;;")));
}

void TestWorkerThread::aNeverStartedWorkerWritesNothing()
{
    const int before = storedTraces().size();
    delete new SleepingWorker;
    QCOMPARE(storedTraces().size(), before);
}

void TestWorkerThread::stopThreadEndsASleepingBodyWhichCanRunAgain()
{
    SleepingWorker worker;
    for (int run = 0; run < 2; ++run) {
        worker.started = false;
        worker.start();
        QTRY_VERIFY(worker.started);
        worker.stopThread();
        QVERIFY(!worker.isRunning());
        QVERIFY(worker.leftNormally); // woken, not terminated
    }
}

void TestWorkerThread::stopThreadTerminatesABodyThatIgnoresTheRequest()
{
    const int before = storedTraces().size();
    StubbornWorker worker;
    worker.start();
    QTRY_VERIFY(worker.started);
    worker.stopThread();
    QVERIFY(!worker.isRunning());
    QCOMPARE(storedTraces().size(), before); // termination is no failure
}

void TestWorkerThread::aHardwareFaultIsTracedBeforeTheProcessEnds_data()
{
    QTest::addColumn<int>("fault");
    QTest::newRow("an invalid memory access") << int(InvalidAccess);
    QTest::newRow("an illegal instruction") << int(IllegalInstruction);
    QTest::newRow("an arithmetic fault sent to the thread") << int(RaisedArithmeticFault);
    QTest::newRow("a stack overflow") << int(StackOverflow);
}

void TestWorkerThread::aHardwareFaultIsTracedBeforeTheProcessEnds()
{
    QFETCH(int, fault);
    const QString cache = m_env->path(QStringLiteral("fault/%1").arg(fault));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), cache);
    // ThreadSanitizer reports a fault itself and exits with a code of its own; the child lets
    // the fault end it as it does in production. (AddressSanitizer aborts, which is a crash.)
    environment.insert(QStringLiteral("TSAN_OPTIONS"),
        environment.value(QStringLiteral("TSAN_OPTIONS"))
            + QStringLiteral(":handle_segv=0:handle_sigbus=0:handle_sigill=0:handle_sigfpe=0"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
        { QString::fromLatin1(FaultChildOption), QString::number(fault), m_host });
    QVERIFY(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    QVERIFY2(child.exitStatus() == QProcess::CrashExit, output.constData());

    const QVector<KStoredTrace> traces = readStoredTraces(traceDatabase(cache));
    QCOMPARE(traces.size(), 1);
    QCOMPARE(traces.first().operation, QStringLiteral("线程执行崩溃"));
    const QRegularExpression detail(QStringLiteral("^className:FaultingWorker threadID:\\d+$"));
    QVERIFY2(detail.match(traces.first().page).hasMatch(), qPrintable(traces.first().page));
    QCOMPARE(traces.first().product, QString());
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
