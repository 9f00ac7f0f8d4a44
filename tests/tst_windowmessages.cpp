#include "platform/klocalsocketmessaging.h"
#include "platform/kmessageframe.h"

#include <QLocalSocket>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>
#include <sys/stat.h>

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

int runClaimant(const QString& spec)
{
    KLocalSocketMessaging messaging(spec.section(QLatin1Char('|'), 0, 0), nullptr);
    QTextStream out(stdout);
    const bool claimed
        = messaging.setWindowProperty(Window, spec.section(QLatin1Char('|'), 1), [&out](MSG* msg, long*) {
              out << "message " << msg->message << ' ' << msg->wParam << ' ' << msg->lParam << Qt::endl;
              return true;
          });
    out << (claimed ? "claimed" : "refused") << Qt::endl;
    return claimed ? QCoreApplication::exec() : 1;
}

mode_t modeOf(const QString& path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode : 0;
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

} // namespace

// Window properties and messages over real local sockets.
class TestWindowMessages : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void socketAndFolderAreForTheUserAlone();
    void aFolderOthersMayEnterIsNotUsed();
    void copyDataReachesTheWindowExactly_data();
    void copyDataReachesTheWindowExactly();
    void aPropertyBelongsToTheFirstLiveProgram();
    void fuzzedFramesLeaveTheWindowAnswering();
    void aHalfFrameIsDroppedAfterAWhile();

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

void TestWindowMessages::socketAndFolderAreForTheUserAlone()
{
    QVERIFY(m_messaging->setWindowProperty(Window, Property, m_window.handler()));
    const QString socket = m_messaging->socketPath(Property);
    QVERIFY(S_ISSOCK(modeOf(socket)));
    QCOMPARE(modeOf(socket) & 0777, mode_t(0700));
    QCOMPARE(modeOf(m_messaging->folder()) & 0777, mode_t(0700));
    // Taking the property off frees the name at once.
    m_messaging->removeWindowProperties(Window);
    QVERIFY(!QFileInfo::exists(socket));
}

void TestWindowMessages::aFolderOthersMayEnterIsNotUsed()
{
    const QString folder = m_dir->filePath(QStringLiteral("shared"));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0770) == 0);
    KLocalSocketMessaging shared(folder, nullptr);
    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("not a folder for this user alone")));
    QVERIFY(!shared.setWindowProperty(Window, Property, m_window.handler()));
    QVERIFY(QDir(folder).isEmpty());
}

void TestWindowMessages::copyDataReachesTheWindowExactly_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::newRow("an empty block arrives as none") << QByteArray();
    QTest::newRow("a path with its zero byte") << QByteArray("/home/ann/工程/报价.GBQ4\0", 28);
    QTest::newRow("text without a zero byte") << QByteArray("SkinChanged:/skins/blue.png");
}

void TestWindowMessages::copyDataReachesTheWindowExactly()
{
    QFETCH(QByteArray, block);
    QVERIFY(m_messaging->setWindowProperty(Window, Property, m_window.handler()));
    KLocalSocketMessaging sender(m_messaging->folder(), nullptr);
    const HWND found = sender.findWindowByProperty(Property);
    bool sent = false;
    LRESULT answer = 0;
    runBeside([&] { sent = sender.sendCopyData(found, 27, block, &answer); });
    QVERIFY(sent);
    QCOMPARE(answer, LRESULT(1027));
    QCOMPARE(m_window.received, QStringList { QStringLiteral("copy 27") });
    QCOMPARE(m_window.blocks.first(), block);
    QCOMPARE(m_window.blocks.first().isNull(), block.isEmpty());
}

void TestWindowMessages::aPropertyBelongsToTheFirstLiveProgram()
{
    QProcess claimant;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(
        QString::fromLatin1(ClaimVariable), m_messaging->folder() + QLatin1Char('|') + Property);
    claimant.setProcessEnvironment(environment);
    claimant.start(QCoreApplication::applicationFilePath(), QStringList());
    QTRY_VERIFY(claimant.canReadLine());
    QCOMPARE(claimant.readLine().trimmed(), QByteArray("claimed"));

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
    QVERIFY(m_messaging->postMessage(m_messaging->findWindowByProperty(Property), 2029, 0, 0));
    QTRY_COMPARE(m_window.received, QStringList { QStringLiteral("2029 0 0") });
}

void TestWindowMessages::fuzzedFramesLeaveTheWindowAnswering()
{
    QVERIFY(m_messaging->setWindowProperty(Window, Property, m_window.handler()));
    // Each connection carries one damaged frame, some after a valid post, which alone arrives.
    QRandomGenerator random(20240611);
    QStringList validPosts;
    QVector<QByteArray> connections;
    for (int i = 0; i < 3000; ++i) {
        const QByteArray valid = KMessageFrame::post(2053, WPARAM(i), LPARAM(i)).encode();
        QByteArray bytes;
        if (random.bounded(4) == 0) {
            bytes += valid;
            validPosts << QStringLiteral("2053 %1 %1").arg(i);
        }
        QByteArray damaged = random.bounded(2)
            ? valid
            : KMessageFrame::copyData(27, QByteArray(int(random.bounded(300)), 'p')).encode();
        switch (random.bounded(6)) {
        case 0: // random bytes
            damaged.resize(int(random.bounded(200)));
            for (char& c : damaged)
                c = char(random.bounded(256));
            break;
        case 1: // cut short
            damaged.truncate(int(random.bounded(quint32(damaged.size()))));
            break;
        case 2: // a length beyond what comes
            qToBigEndian(quint32(damaged.size() - KMessageFrame::LengthSize + 1 + int(random.bounded(1000))),
                damaged.data());
            break;
        case 3: // an unknown kind
            damaged[4] = char(random.bounded(3, 256));
            break;
        case 4: // a message number beyond the range
            damaged[5] = char(random.bounded(1, 256));
            break;
        case 5: // oversized
            qToBigEndian(quint32(KMessageFrame::MaxFrameSize + random.bounded(1000)), damaged.data());
            damaged += QByteArray(1000, 'o');
            break;
        }
        connections << bytes + damaged;
    }
    const QString path = m_messaging->socketPath(Property);
    int connected = 0;
    runBeside([&] {
        for (const QByteArray& bytes : qAsConst(connections)) {
            QLocalSocket socket;
            socket.connectToServer(path);
            connected += socket.waitForConnected(5000) ? 1 : 0;
            socket.write(bytes);
            socket.waitForBytesWritten(5000);
        }
    });
    QCOMPARE(connected, connections.size());
    QTRY_COMPARE(m_window.received.size(), validPosts.size());
    QCOMPARE(m_window.received, validPosts);

    // And it still answers.
    KLocalSocketMessaging other(m_messaging->folder(), nullptr);
    LRESULT answer = 0;
    runBeside([&] { other.sendCopyData(other.findWindowByProperty(Property), 28, QByteArray(), &answer); });
    QCOMPARE(answer, LRESULT(1028));
}

void TestWindowMessages::aHalfFrameIsDroppedAfterAWhile()
{
    m_messaging->setPartialFrameTimeout(100);
    QVERIFY(m_messaging->setWindowProperty(Window, Property, m_window.handler()));
    QLocalSocket idle;
    idle.connectToServer(m_messaging->socketPath(Property));
    QVERIFY(idle.waitForConnected());
    idle.write(KMessageFrame::post(2029, 0, 0).encode().left(10));
    idle.flush();
    QTRY_COMPARE(idle.state(), QLocalSocket::UnconnectedState);
    QVERIFY(m_window.received.isEmpty());
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
