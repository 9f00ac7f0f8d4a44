#include "AtriumCommon/atriumuserdatalogutils.h"
#include "core/atriumthread.h"
#include "ktestenvironment.h"
#include "ktracestore.h"
#include "platform/kregistry.h"

#include <QProcess>
#include <QtTest>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace {

const QString HostKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Atrium");
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
    std::atomic<bool> stopPendingAtStart { false };

protected:
    void doWork() override
    {
        threadId = reinterpret_cast<quintptr>(QThread::currentThreadId());
        leftNormally = false;
        stopPendingAtStart = isStopRequested();
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

// The usage trace library: where it is found, what it stores, and the faults of the worker threads
// it records.
class TestUsageTrace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void librarySearch_data();
    void librarySearch();
    void recordsFromTwoThreadsAreStoredExactly();
    void aNeverStartedWorkerWritesNothing();
    void stopThreadEndsASleepingBodyWhichCanRunAgain();
    void aFaultIsTracedOnceAndEndsOnlyItsThreadIfItCan_data();
    void aFaultIsTracedOnceAndEndsOnlyItsThreadIfItCan();

private:
    void useCacheHome(const QString& folder);
    QVector<KStoredTrace> storedTraces() const;

    KTestEnvironment m_env;
    QString m_host; // the host of the process-wide binding, with the library beside it
    int m_row = 0;
};

void TestUsageTrace::initTestCase()
{
    m_host = installHostWithPathmark(m_env, QStringLiteral("5.2.0.1"));
    QVERIFY(!m_host.isEmpty());
}

void TestUsageTrace::init()
{
    useCacheHome(m_env.path(QStringLiteral("cache")));
    KRegistryKey(HostKey).removeKey();
    KRegistryKey host(HostKey);
    host.setValue(QStringLiteral("UserName"), QStringLiteral("张三"));
    host.setValue(QStringLiteral("tag"), 2);
}

void TestUsageTrace::useCacheHome(const QString& folder)
{
    // Read by the library when it is bound; keeps the trace file out of the real cache.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(folder));
}

void TestUsageTrace::librarySearch_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("library"); // where the library lies; empty for nowhere
    QTest::addColumn<QString>("version"); // the registry's Version; null for none
    QTest::addColumn<QString>("expected"); // the path looked at; empty for none

    const auto lib = [](const char* folder) -> QString {
        return QString::fromUtf8(folder) + QStringLiteral("libPathmark.so");
    };
    QTest::newRow("a library beside the host executable is used")
        << "inst/bin/atrium" << lib("inst/bin/") << QString() << lib("inst/bin/");
    QTest::newRow("a host in a Core folder looks in the Service folder beside it")
        << "inst/Core/atrium" << lib("inst/Service/") << QString() << lib("inst/Core/../Service/");
    QTest::newRow("an apps host in any case uses the version folder under its base")
        << "Inst/APPS/tool/atrium" << lib("Inst/Core/2.5/Service/") << "2.5" << lib("Inst/Core/2.5/Service/");
    QTest::newRow("a channels host uses its base")
        << "inst/channels/beta/atrium" << lib("inst/Core/3/Service/") << "3" << lib("inst/Core/3/Service/");
    QTest::newRow("a missing file at the chosen place binds nothing")
        << "inst/apps/atrium" << QString() << QString() << lib("inst/Core/Service/");
}

void TestUsageTrace::librarySearch()
{
    QFETCH(QString, host);
    QFETCH(QString, library);
    QFETCH(QString, version);
    QFETCH(QString, expected);

    const QString root = m_env.path(QStringLiteral("search/%1").arg(++m_row));
    const QString hostPath = m_env.writeFile(QStringLiteral("search/%1/").arg(m_row) + host, "host");
    if (!library.isEmpty())
        QVERIFY(!installPathmark(QFileInfo(root + QLatin1Char('/') + library).absolutePath()).isEmpty());
    KRegistryKey key(HostKey);
    if (!version.isNull())
        key.setValue(QStringLiteral("Version"), version);
    QVERIFY(key.sync());
    useCacheHome(root + QStringLiteral("/cache"));

    const AtriumUserDataLogUtils utils(hostPath);
    QCOMPARE(utils.libraryPath(), expected.isEmpty() ? QString() : root + QLatin1Char('/') + expected);
    QCOMPARE(utils.isBound(), !library.isEmpty());
    if (library.isEmpty()) {
        // Unbound, a record goes nowhere and nothing is written.
        AtriumTraceRecord record;
        record.operation = QStringLiteral("保存");
        utils.send(record);
        QVERIFY(!utils.waitForUpload(0));
        QVERIFY(!QFileInfo::exists(root + QStringLiteral("/cache")));
    }
}

void TestUsageTrace::recordsFromTwoThreadsAreStoredExactly()
{
    constexpr int PerThread = 60;
    const auto writer = [](bool manual) {
        for (int i = 0; i < PerThread; ++i) {
            const QString operation = QStringLiteral("%1 %2")
                                          .arg(manual ? QStringLiteral("手动") : QStringLiteral("自动"))
                                          .arg(i);
            if (manual)
                writeManualTrace(operation, QStringLiteral("设置对话框"), QStringLiteral("Vaultkeep"));
            else
                writeAutoTrace(operation, QStringLiteral("清理界面"), QStringLiteral("Vaultkeep"));
        }
    };
    // Both threads race for the process-wide object's first use too.
    std::thread automatic(writer, false);
    std::thread manual(writer, true);
    automatic.join();
    manual.join();
    QVERIFY(AtriumUserDataLogUtils::instance()->waitForUpload(FlushMs));

    const QString store = traceDatabase(m_env.path(QStringLiteral("cache")));
    // What the user did is for the user's eyes only: the library made the file and its folder so.
    QCOMPARE(KTestEnvironment::modeOf(store), 0600u);
    QCOMPARE(KTestEnvironment::modeOf(QFileInfo(store).absolutePath()), 0700u);
    const QVector<KStoredTrace> traces = readStoredTraces(store);
    QCOMPARE(traces.size(), 2 * PerThread);
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"));
    QStringList automaticRecords;
    QStringList manualRecords;
    for (const KStoredTrace& trace : traces) {
        QVERIFY2(stamp.match(trace.time).hasMatch(), qPrintable(trace.time));
        const QString texts = QStringList { trace.user, trace.application, trace.operation, trace.page,
            trace.product, trace.version }
                                  .join(QLatin1Char('|'));
        (trace.kind == QStringLiteral("手动操作;;正式版") ? manualRecords : automaticRecords) << texts;
    }
    // Each thread's records arrive complete and in the order it wrote them.
    for (int i = 0; i < PerThread; ++i) {
        QCOMPARE(automaticRecords.value(i),
            QStringLiteral("张三|Atrium|自动 %1|清理界面|Vaultkeep|版本号=5.2.0.1,App=atrium").arg(i));
        QCOMPARE(manualRecords.value(i),
            QStringLiteral("张三|Atrium|手动 %1|设置对话框|Vaultkeep|版本号=5.2.0.1,App=atrium").arg(i));
    }
}

QVector<KStoredTrace> TestUsageTrace::storedTraces() const
{
    if (!AtriumUserDataLogUtils::instance()->waitForUpload(FlushMs))
        return {};
    return readStoredTraces(traceDatabase(m_env.path(QStringLiteral("cache"))));
}

void TestUsageTrace::aNeverStartedWorkerWritesNothing()
{
    QVERIFY(AtriumUserDataLogUtils::instance()->isBound());
    const int before = storedTraces().size();
    delete new TestWorker(SleepUntilStopped);
    QCOMPARE(storedTraces().size(), before);
}

void TestUsageTrace::stopThreadEndsASleepingBodyWhichCanRunAgain()
{
    // Stops asked for as the body ends (the module asks both of its threads before it waits for
    // either) must not stop the next run before it began.
    TestWorker worker(SleepUntilStopped);
    for (int run = 0; run < 500; ++run) {
        worker.started = false;
        worker.start();
        while (!worker.started)
            QThread::yieldCurrentThread();
        QVERIFY2(!worker.stopPendingAtStart, qPrintable(QString::number(run)));
        while (worker.isRunning())
            worker.requestStop();
        worker.stopThread();
        QVERIFY(!worker.isRunning());
        QVERIFY(worker.leftNormally); // woken, not terminated
    }
}

void TestUsageTrace::aFaultIsTracedOnceAndEndsOnlyItsThreadIfItCan_data()
{
    QTest::addColumn<int>("fault");
    QTest::addColumn<bool>("processEnds");
    QTest::newRow("a standard exception ends only its thread") << int(ThrowStandardException) << false;
    QTest::newRow("an exception of any other type ends only its thread") << int(ThrowAnythingElse) << false;
    QTest::newRow("an invalid memory access is traced before the process ends") << int(InvalidAccess) << true;
    QTest::newRow("a stack overflow is traced before the process ends") << int(StackOverflow) << true;
}

void TestUsageTrace::aFaultIsTracedOnceAndEndsOnlyItsThreadIfItCan()
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
    TestUsageTrace test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_usagetrace.moc"
