#include "ktestenvironment.h"
#include "platform/klocalsocketmessaging.h"
#include "platform/kmessageframe.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Set in a child process that claims a property and prints what reaches it until it is killed.
const char* const ClaimVariable = "VK_CLAIM_PROPERTY";
const QString Property = QStringLiteral("KVAULTKEEP_MAIN_FRAME");
const HWND Window = reinterpret_cast<HWND>(quintptr(0x5001));

// What reached a window: "message wParam lParam", or for copy-data "copy dwData" and its block
// in `blocks` (null when the block pointer was). Copy-data is answered with dwData + 1000.
struct RecordingWindow
{
    QStringList received;
    QList<QByteArray> blocks;

    KWindowMessageHandler handler()
    {
        return [this](MSG* msg, long* result) {
            if (msg->message != WM_COPYDATA) {
                received << QStringLiteral("%1 %2 %3").arg(msg->message).arg(msg->wParam).arg(msg->lParam);
                return true;
            }
            const auto* copyData = reinterpret_cast<const COPYDATASTRUCT*>(msg->lParam);
            received << QStringLiteral("copy %1").arg(copyData->dwData);
            blocks << (copyData->lpData
                    ? QByteArray(static_cast<const char*>(copyData->lpData), int(copyData->cbData))
                    : QByteArray());
            *result = long(copyData->dwData + 1000);
            return true;
        };
    }
};

// `spec`: folder|property|descriptor limit|connections kept at most (the last two optional).
int runClaimant(const QString& spec)
{
    const QStringList fields = spec.split(QLatin1Char('|'));
    if (const rlim_t limit = fields.value(2).toULong()) {
        const rlimit descriptors { limit, limit };
        if (::setrlimit(RLIMIT_NOFILE, &descriptors) != 0)
            return 2;
    }
    KLocalSocketMessaging messaging(fields.at(0), nullptr);
    if (const int connections = fields.value(3).toInt())
        messaging.setMaxConnections(connections);
    QTextStream out(stdout);
    const bool claimed = messaging.setWindowProperty(Window, fields.at(1), [&out](MSG* msg, long*) {
        out << "message " << msg->message << ' ' << msg->wParam << ' ' << msg->lParam << Qt::endl;
        return true;
    });
    out << (claimed ? "claimed" : "refused") << Qt::endl;
    return claimed ? QCoreApplication::exec() : 1;
}

// Runs `work` on a thread of its own, as another program beside this one's GUI thread would,
// while this thread's event loop runs until it is done.
void runBeside(const std::function<void()>& work)
{
    std::atomic<bool> done { false };
    std::unique_ptr<QThread> thread(QThread::create([&] {
        work();
        done = true;
    }));
    thread->start();
    QDeadlineTimer deadline(120000);
    while (!done && !deadline.hasExpired())
        QTest::qWait(5);
    thread->wait();
}

// A frame as a careless or hostile sender could write it, past what encode() allows.
QByteArray rawFrame(quint8 kind, quint32 message, quint64 wParam, quint64 lParam)
{
    char raw[KMessageFrame::LengthSize + KMessageFrame::HeaderSize] = {};
    qToBigEndian(quint32(KMessageFrame::HeaderSize), raw);
    raw[4] = char(kind);
    qToBigEndian(message, raw + 5);
    qToBigEndian(wParam, raw + 9);
    qToBigEndian(lParam, raw + 17);
    return QByteArray(raw, int(sizeof(raw)));
}

// Starts this test program as a claimant of `spec` and waits until it has claimed.
bool startClaimant(QProcess* claimant, const QString& spec)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(ClaimVariable), spec);
    claimant->setProcessEnvironment(environment);
    claimant->start(QCoreApplication::applicationFilePath(), QStringList());
    QDeadlineTimer deadline(10000);
    while (!claimant->canReadLine() && !deadline.hasExpired())
        claimant->waitForReadyRead(100);
    return claimant->readLine().trimmed() == "claimed";
}

} // namespace

// Window properties and messages over real local sockets.
class TestWindowMessages : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void aFolderNotTheUsersAloneCarriesNothing_data();
    void aFolderNotTheUsersAloneCarriesNothing();
    void aPropertyBelongsToTheFirstLiveProgram();
    void aDamagedFrameClosesOnlyItsConnection_data();
    void aDamagedFrameClosesOnlyItsConnection();
    void aFloodOfConnectionsLeavesTheWindowAnswering_data();
    void aFloodOfConnectionsLeavesTheWindowAnswering();

private:
    QScopedPointer<QTemporaryDir> m_dir;
    QScopedPointer<KLocalSocketMessaging> m_messaging;
    RecordingWindow m_window;
};

void TestWindowMessages::init()
{
    m_dir.reset(new QTemporaryDir);
    m_messaging.reset(new KLocalSocketMessaging(m_dir->filePath(QStringLiteral("windows")), nullptr));
    m_window = RecordingWindow();
}

void TestWindowMessages::cleanup()
{
    m_messaging.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestWindowMessages::aFolderNotTheUsersAloneCarriesNothing_data()
{
    // How the folder of a window that listens is spoilt, and what the refusal says about it.
    QTest::addColumn<QString>("spoil");
    QTest::addColumn<QString>("reason");
    QTest::newRow("other users may pass through it") << "mode"
                                                     << "has mode 0711";
    QTest::newRow("it is a symbolic link to the user's own folder") << "link"
                                                                    << "is a symbolic link";
    QTest::newRow("another user made it") << "owner"
                                          << "belongs to another user";
}

void TestWindowMessages::aFolderNotTheUsersAloneCarriesNothing()
{
    QFETCH(QString, spoil);
    QFETCH(QString, reason);
    QVERIFY(m_messaging->setWindowProperty(Window, Property, m_window.handler()));
    KLocalSocketMessaging sender(m_messaging->folder(), nullptr);
    const HWND found = sender.findWindowByProperty(Property);
    QVERIFY(found);

    QString folder = m_messaging->folder();
    const QByteArray encoded = QFile::encodeName(folder);
    if (spoil == QLatin1String("mode")) {
        QVERIFY(::chmod(encoded.constData(), 0711) == 0);
    } else if (spoil == QLatin1String("link")) {
        QVERIFY(::rename(encoded.constData(), QFile::encodeName(folder + QStringLiteral(".real")).constData())
            == 0);
        QVERIFY(QFile::link(folder + QStringLiteral(".real"), folder));
    } else {
        // Without a second account, a private folder of another user that exists anyway.
        folder = QStringLiteral("/root");
        struct stat info;
        if (::lstat("/root", &info) != 0 || info.st_uid == ::geteuid() || (info.st_mode & 0777) != 0700)
            QSKIP("needs /root as another user's 0700 folder: run as an unprivileged user");
    }

    // Whoever means to listen or send there is told what is wrong with which folder.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(folder)));
    KLocalSocketMessaging there(folder, nullptr);
    QVERIFY(!there.setWindowProperty(Window, QStringLiteral("OTHER"), m_window.handler()));
    QVERIFY2(there.lastError().contains(folder) && there.lastError().contains(reason),
        qPrintable(there.lastError()));
    QVERIFY(!there.findWindowByProperty(Property));
    QVERIFY(there.lastError().contains(reason));

    // A window found before the folder was spoilt hears nothing more, posted or sent from any thread.
    if (spoil != QLatin1String("owner")) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(folder)));
        QVERIFY(!sender.postMessage(found, 2029, 0, 0));
        bool sent = true;
        runBeside([&] { sent = sender.sendCopyData(found, 28, QByteArray(), nullptr); });
        QVERIFY(!sent);
        QVERIFY(sender.lastError().contains(reason));
        QTest::qWait(50);
        QVERIFY(m_window.received.isEmpty());
    }
}

void TestWindowMessages::aPropertyBelongsToTheFirstLiveProgram()
{
    QProcess claimant;
    QVERIFY(startClaimant(&claimant, m_messaging->folder() + QLatin1Char('|') + Property));

    // While it lives it keeps the name, and it hears what is posted there.
    QVERIFY(!m_messaging->setWindowProperty(Window, Property, m_window.handler()));
    QCOMPARE(m_messaging->windowAddress(m_messaging->findWindowByProperty(Property)),
        m_messaging->socketPath(Property));
    QVERIFY(m_messaging->postMessage(m_messaging->findWindowByProperty(Property), 2053, 1, -1));
    QTRY_VERIFY(claimant.canReadLine());
    QCOMPARE(claimant.readLine().trimmed(), QByteArray("message 2053 1 -1"));

    // Killed, it leaves its socket behind: nobody answers there, and the name is free to take.
    claimant.kill();
    QVERIFY(claimant.waitForFinished());
    QVERIFY(QFileInfo::exists(m_messaging->socketPath(Property)));
    QVERIFY(!m_messaging->findWindowByProperty(Property));
    QVERIFY(m_messaging->setWindowProperty(Window, Property, m_window.handler()));
    QVERIFY(!m_messaging->setWindowProperty(
        reinterpret_cast<HWND>(quintptr(0x5002)), Property, m_window.handler()));
    QVERIFY(m_messaging->postMessage(m_messaging->findWindowByProperty(Property), 2029, 0, 0));
    QTRY_COMPARE(m_window.received, QStringList { QStringLiteral("2029 0 0") });
    const QString socket = m_messaging->socketPath(Property);
    QCOMPARE(KTestEnvironment::modeOf(socket), 0600u);
    QCOMPARE(KTestEnvironment::modeOf(m_messaging->folder()), 0700u);
    // Taking the property off frees the name at once.
    m_messaging->removeWindowProperties(Window);
    QVERIFY(!QFileInfo::exists(socket));
}

void TestWindowMessages::aDamagedFrameClosesOnlyItsConnection_data()
{
    // What follows a valid post on one connection; a connection that then brings nothing is
    // closed after the idle time (0: the default, so that only the damage can close it).
    QTest::addColumn<QByteArray>("damaged");
    QTest::addColumn<int>("idleMs");
    QByteArray huge(KMessageFrame::LengthSize, '\0');
    qToBigEndian(quint32(0x7FFFFFFF), huge.data());
    QTest::newRow("a length beyond the largest frame, judged before the rest arrives") << huge << 0;
    QTest::newRow("a posted copy-data message, whose lParam would be taken for an address")
        << rawFrame(KMessageFrame::Post, WM_COPYDATA, 0, 0x7FFF0000) << 0;
    QTest::newRow("copy-data carrying an lParam")
        << rawFrame(KMessageFrame::CopyData, WM_COPYDATA, 0, 0x7FFF0000) << 0;
    QTest::newRow("a message number beyond 16 bits")
        << rawFrame(KMessageFrame::Post, 0x10000 | 2029, 0, 0) << 0;
    QTest::newRow("an unknown kind") << rawFrame(3, 2029, 0, 0) << 0;
    QTest::newRow("half a frame, then nothing") << KMessageFrame::post(2029, 0, 0).encode().left(10) << 100;
    QTest::newRow("nothing more") << QByteArray() << 100;
}

void TestWindowMessages::aDamagedFrameClosesOnlyItsConnection()
{
    QFETCH(QByteArray, damaged);
    QFETCH(int, idleMs);
    KMessageFrame frame;
    QByteArray alone = damaged;
    if (!idleMs)
        QCOMPARE(KMessageFrame::decode(&alone, &frame), KMessageFrame::Decoded::Malformed);
    else
        m_messaging->setIdleTimeout(idleMs);
    QVERIFY(m_messaging->setWindowProperty(Window, Property, m_window.handler()));
    QLocalSocket sender;
    sender.connectToServer(m_messaging->socketPath(Property));
    QVERIFY(sender.waitForConnected());
    sender.write(
        KMessageFrame::post(2053, 1, 2).encode() + damaged + (idleMs ? QByteArray() : QByteArray(1000, 'o')));
    sender.flush();
    QTRY_COMPARE(sender.state(), QLocalSocket::UnconnectedState);
    QCOMPARE(m_window.received, QStringList { QStringLiteral("2053 1 2") });

    // The window answers everyone else, from another thread, with what its handler returned; a
    // path arrives with its zero byte.
    KLocalSocketMessaging other(m_messaging->folder(), nullptr);
    const QByteArray path("/home/ann/工程/报价.GBQ4\0", 28);
    LRESULT answer = 0;
    runBeside([&] { other.sendCopyData(other.findWindowByProperty(Property), 28, path, &answer); });
    QCOMPARE(answer, LRESULT(1028));
    QCOMPARE(m_window.blocks, QList<QByteArray> { path });
}

void TestWindowMessages::aFloodOfConnectionsLeavesTheWindowAnswering_data()
{
    // The window's program in a child with few descriptors, so that the flood exhausts them.
    QTest::addColumn<int>("descriptors");
    QTest::addColumn<int>("connections"); // kept at most; 0: the default
    QTest::addColumn<int>("keptOpen"); // at most, of the flood
    QTest::newRow("more connections than a window keeps")
        << 256 << 0 << KLocalSocketMessaging::DefaultMaxConnections;
    QTest::newRow("more connections than its program has descriptors") << 64 << 1000 << 64;
}

void TestWindowMessages::aFloodOfConnectionsLeavesTheWindowAnswering()
{
    QFETCH(int, descriptors);
    QFETCH(int, connections);
    QFETCH(int, keptOpen);
#if defined(__SANITIZE_ADDRESS__)
    // UBSan's type check opens a pipe of its own: in a program without a free descriptor it takes
    // every virtual call for a fault.
    if (connections > descriptors)
        QSKIP("the normal and TSan builds run out of descriptors; UBSan cannot");
#endif
    QProcess claimant;
    QVERIFY(startClaimant(&claimant,
        QStringLiteral("%1|%2|%3|%4")
            .arg(m_messaging->folder(), Property)
            .arg(descriptors)
            .arg(connections)));

    // Connections that say nothing and stay, more than the program could hold at once.
    std::vector<std::unique_ptr<QLocalSocket>> flood;
    for (int i = 0; i < 300; ++i) {
        flood.push_back(std::make_unique<QLocalSocket>());
        flood.back()->connectToServer(m_messaging->socketPath(Property));
        flood.back()->waitForConnected(1000);
    }
    // A message gets through during the flood, and after it.
    const HWND window = m_messaging->findWindowByProperty(Property);
    QVERIFY2(window, qPrintable(m_messaging->lastError()));
    QVERIFY(m_messaging->postMessage(window, 2029, 1, 0));
    QTRY_VERIFY(claimant.canReadLine());
    QCOMPARE(claimant.readLine().trimmed(), QByteArray("message 2029 1 0"));
    const auto open = [&flood] {
        return std::count_if(flood.begin(), flood.end(),
            [](const auto& socket) { return socket->state() == QLocalSocket::ConnectedState; });
    };
    QTRY_VERIFY2(open() < keptOpen, qPrintable(QString::number(open())));
    flood.clear();
    QVERIFY(m_messaging->postMessage(m_messaging->findWindowByProperty(Property), 2029, 2, 0));
    QTRY_VERIFY(claimant.canReadLine());
    QCOMPARE(claimant.readLine().trimmed(), QByteArray("message 2029 2 0"));
    claimant.kill();
    claimant.waitForFinished();
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString claim = qEnvironmentVariable(ClaimVariable);
    if (!claim.isEmpty())
        return runClaimant(claim);
    TestWindowMessages test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowmessages.moc"
