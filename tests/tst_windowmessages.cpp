#include "platform/klocalsocketmessaging.h"
#include "platform/kmessageframe.h"

#include <QLocalSocket>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>
#include <mutex>
#include <sys/stat.h>

namespace {

// Set in a child process that claims a property and prints what reaches it until it is killed.
const char* const ClaimVariable = "VK_CLAIM_PROPERTY";
const QString Property = QStringLiteral("KVAULTKEEP_MAIN_FRAME");
const HWND Window = reinterpret_cast<HWND>(quintptr(0x5001));

// What a window received.
struct Received
{
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    ULONG_PTR dwData = 0;
    bool copyData = false;
    QByteArray block; // exactly cbData bytes
    bool blockIsNull = false;
};

// A window whose handler records every message and answers copy-data with its dwData + 1000.
struct RecordingWindow
{
    std::mutex mutex;
    QVector<Received> received;

    KWindowMessageHandler handler()
    {
        return [this](MSG* msg, long* result) {
            Received r;
            r.message = msg->message;
            r.wParam = msg->wParam;
            r.lParam = msg->lParam;
            if (msg->message == WM_COPYDATA) {
                const auto* copyData = reinterpret_cast<const COPYDATASTRUCT*>(msg->lParam);
                r.copyData = true;
                r.dwData = copyData->dwData;
                r.blockIsNull = copyData->lpData == nullptr;
                r.block = QByteArray(static_cast<const char*>(copyData->lpData), int(copyData->cbData));
                *result = long(copyData->dwData + 1000);
            }
            const std::lock_guard<std::mutex> locker(mutex);
            received << r;
            return true;
        };
    }
    int count()
    {
        const std::lock_guard<std::mutex> locker(mutex);
        return received.size();
    }
    QVector<Received> all()
    {
        const std::lock_guard<std::mutex> locker(mutex);
        return received;
    }
};

int runClaimant(const QString& spec)
{
    const QString folder = spec.section(QLatin1Char('|'), 0, 0);
    const QString name = spec.section(QLatin1Char('|'), 1);
    KLocalSocketMessaging messaging(folder, nullptr);
    QTextStream out(stdout);
    const bool claimed = messaging.setWindowProperty(Window, name, [&out](MSG* msg, long*) {
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

// Runs `work` on a thread of its own, as another program's sender would run beside this one's
// GUI thread. (Qt's sockets need a QThread.)
std::unique_ptr<QThread> startThread(std::function<void()> work)
{
    std::unique_ptr<QThread> thread(QThread::create(std::move(work)));
    thread->start();
    return thread;
}

// A connection from another thread, as another program's would be: blocking, no event loop.
bool sendRaw(const QString& path, const QByteArray& bytes)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(5000))
        return false;
    socket.write(bytes);
    socket.waitForBytesWritten(5000);
    socket.disconnectFromServer();
    return true;
}

} // namespace

class TestWindowMessages : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void framesRoundTrip_data();
    void framesRoundTrip();
    void badFramesAreRejected_data();
    void badFramesAreRejected();
    void socketAndFolderAreForTheUserAlone();
    void aFolderOthersMayEnterIsNotUsed();
    void copyDataReachesTheWindowExactly_data();
    void copyDataReachesTheWindowExactly();
    void postsArriveInOrder();
    void aSecondWindowInTheProcessDoesNotTakeAProperty();
    void theFirstLiveProgramKeepsAProperty();
    void aKilledProgramsSocketIsTakenOver();
    void fuzzedFramesLeaveTheWindowAnswering();
    void aHalfFrameIsDroppedAfterAWhile();

private:
    QString startClaimant(QProcess* claimant, const QString& folder);

    QScopedPointer<QTemporaryDir> m_dir;
    QScopedPointer<KLocalSocketMessaging> m_messaging;
    RecordingWindow m_window;
};

void TestWindowMessages::init()
{
    m_dir.reset(new QTemporaryDir);
    m_messaging.reset(new KLocalSocketMessaging(m_dir->filePath(QStringLiteral("windows")), nullptr));
    m_window.received.clear();
}

void TestWindowMessages::cleanup()
{
    m_messaging.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestWindowMessages::framesRoundTrip_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<uint>("message");
    QTest::addColumn<qulonglong>("wParam");
    QTest::addColumn<qlonglong>("lParam");
    QTest::addColumn<qulonglong>("dwData");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("a post keeps a negative lParam")
        << int(KMessageFrame::Post) << 2053u << 1ull << -7ll << 0ull << QByteArray();
    QTest::newRow("a post of the highest message number")
        << int(KMessageFrame::Post) << 0xFFFFu << 0xFFFFFFFFFFFFull << 0ll << 0ull << QByteArray();
    QTest::newRow("copy-data with zero bytes inside") << int(KMessageFrame::CopyData) << uint(WM_COPYDATA)
                                                      << 0ull << 0ll << 27ull << QByteArray("a\0b\0", 4);
    QTest::newRow("the largest copy-data block")
        << int(KMessageFrame::CopyData) << uint(WM_COPYDATA) << 0ull << 0ll << 5ull
        << QByteArray(KMessageFrame::MaxPayloadSize, 'x');
}

void TestWindowMessages::framesRoundTrip()
{
    QFETCH(int, kind);
    QFETCH(uint, message);
    QFETCH(qulonglong, wParam);
    QFETCH(qlonglong, lParam);
    QFETCH(qulonglong, dwData);
    QFETCH(QByteArray, payload);

    const KMessageFrame sent = kind == KMessageFrame::Post ? KMessageFrame::post(message, wParam, lParam)
                                                           : KMessageFrame::copyData(dwData, payload);
    const QByteArray bytes = sent.encode();
    QVERIFY(bytes.size() <= KMessageFrame::MaxFrameSize);
    // Arriving byte by byte, the frame is complete only with its last byte.
    QByteArray buffer;
    KMessageFrame received;
    for (int i = 0; i < bytes.size() - 1; ++i) {
        buffer.append(bytes.at(i));
        QCOMPARE(KMessageFrame::decode(&buffer, &received), KMessageFrame::Decoded::Incomplete);
    }
    buffer.append(bytes.back());
    buffer.append("next");
    QCOMPARE(KMessageFrame::decode(&buffer, &received), KMessageFrame::Decoded::Complete);
    QCOMPARE(buffer, QByteArray("next"));
    QCOMPARE(int(received.kind), kind);
    QCOMPARE(received.message, sent.message);
    QCOMPARE(received.wParam, sent.wParam);
    QCOMPARE(received.lParam, sent.lParam);
    QCOMPARE(received.dwData, sent.dwData);
    QCOMPARE(received.payload, payload);
}

void TestWindowMessages::badFramesAreRejected_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QByteArray post = KMessageFrame::post(2029, 0, 0).encode();
    const QByteArray copyData = KMessageFrame::copyData(27, "x").encode();
    const auto withByte = [](QByteArray bytes, int at, char value) {
        bytes[at] = value;
        return bytes;
    };
    const auto withLength = [](QByteArray bytes, quint32 length) {
        qToBigEndian(length, bytes.data());
        return bytes;
    };
    // Offsets: 0 length, 4 kind, 5 message, 9 wParam, 17 lParam, 25 copy-data id, 33 block.
    QTest::newRow("a length shorter than the header") << withLength(post, KMessageFrame::HeaderSize - 1);
    QTest::newRow("a length beyond 64 KiB") << withLength(post, KMessageFrame::MaxFrameSize);
    QTest::newRow("an unknown kind") << withByte(post, 4, 7);
    QTest::newRow("message number 0") << withByte(withByte(post, 7, 0), 8, 0);
    QTest::newRow("a message number beyond 16 bits") << withByte(post, 6, 1);
    QTest::newRow("WM_COPYDATA posted") << withByte(withByte(post, 7, 0), 8, 0x4A);
    QTest::newRow("a post with a copy-data id") << withByte(post, 32, 1);
    QTest::newRow("a post with bytes") << withLength(post + 'x', KMessageFrame::HeaderSize + 1);
    QTest::newRow("copy-data under another message number") << withByte(copyData, 8, 0x4B);
    QTest::newRow("copy-data with an lParam") << withByte(copyData, 20, 1);
}

void TestWindowMessages::badFramesAreRejected()
{
    QFETCH(QByteArray, bytes);
    QByteArray buffer = bytes;
    KMessageFrame frame;
    QCOMPARE(KMessageFrame::decode(&buffer, &frame), KMessageFrame::Decoded::Malformed);
}

void TestWindowMessages::socketAndFolderAreForTheUserAlone()
{
    QVERIFY(m_messaging->setWindowProperty(Window, Property, m_window.handler()));
    const QString socket = m_messaging->socketPath(Property);
    QVERIFY(S_ISSOCK(modeOf(socket)));
    QCOMPARE(modeOf(socket) & 0777, mode_t(0700));
    QVERIFY(S_ISDIR(modeOf(m_messaging->folder())));
    QCOMPARE(modeOf(m_messaging->folder()) & 0777, mode_t(0700));

    // Taking the property off frees the name at once.
    m_messaging->removeWindowProperties(Window);
    QVERIFY(!QFileInfo::exists(socket));
    QVERIFY(!m_messaging->findWindowByProperty(Property));
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
    QVERIFY(found);

    // Sent from another thread, as from another program: the window answers on this one.
    std::atomic<bool> done { false };
    bool sent = false;
    LRESULT answer = 0;
    const auto other = startThread([&] {
        sent = sender.sendCopyData(found, 27, block, &answer);
        done = true;
    });
    QTRY_VERIFY(done.load());
    other->wait();
    QVERIFY(sent);
    QCOMPARE(answer, LRESULT(1027));
    const QVector<Received> received = m_window.all();
    QCOMPARE(received.size(), 1);
    QVERIFY(received.at(0).copyData);
    QCOMPARE(received.at(0).dwData, ULONG_PTR(27));
    QCOMPARE(received.at(0).block, block);
    QCOMPARE(received.at(0).blockIsNull, block.isEmpty());
}

void TestWindowMessages::postsArriveInOrder()
{
    QVERIFY(m_messaging->setWindowProperty(Window, Property, m_window.handler()));
    KLocalSocketMessaging sender(m_messaging->folder(), nullptr);
    for (int i = 0; i < 200; ++i) {
        const HWND found = sender.findWindowByProperty(Property);
        QVERIFY(found);
        QVERIFY(sender.postMessage(found, 2053, WPARAM(i % 2), LPARAM(i)));
    }
    QTRY_COMPARE(m_window.count(), 200);
    const QVector<Received> received = m_window.all();
    for (int i = 0; i < 200; ++i) {
        QCOMPARE(received.at(i).message, UINT(2053));
        QCOMPARE(received.at(i).wParam, WPARAM(i % 2));
        QCOMPARE(received.at(i).lParam, LPARAM(i));
    }
}

void TestWindowMessages::aSecondWindowInTheProcessDoesNotTakeAProperty()
{
    RecordingWindow second;
    const HWND other = reinterpret_cast<HWND>(quintptr(0x5002));
    QVERIFY(m_messaging->setWindowProperty(Window, Property, m_window.handler()));
    QVERIFY(!m_messaging->setWindowProperty(other, Property, second.handler()));
    const HWND found = m_messaging->findWindowByProperty(Property);
    QVERIFY(m_messaging->postMessage(found, 2029, 0, 0));
    QTRY_COMPARE(m_window.count(), 1);
    QCOMPARE(second.count(), 0);
    // Once the first has gone, the second may have it.
    m_messaging->removeWindowProperties(Window);
    QVERIFY(m_messaging->setWindowProperty(other, Property, second.handler()));
}

QString TestWindowMessages::startClaimant(QProcess* claimant, const QString& folder)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(ClaimVariable), folder + QLatin1Char('|') + Property);
    claimant->setProcessEnvironment(environment);
    claimant->start(QCoreApplication::applicationFilePath(), QStringList());
    if (!claimant->waitForStarted())
        return QString();
    QDeadlineTimer deadline(10000);
    while (!claimant->canReadLine() && !deadline.hasExpired())
        claimant->waitForReadyRead(100);
    return QString::fromLatin1(claimant->readLine()).trimmed();
}

void TestWindowMessages::theFirstLiveProgramKeepsAProperty()
{
    QProcess claimant;
    QCOMPARE(startClaimant(&claimant, m_messaging->folder()), QStringLiteral("claimed"));
    QVERIFY(!m_messaging->setWindowProperty(Window, Property, m_window.handler()));

    // Its window is the one found, and it hears what is posted.
    const HWND found = m_messaging->findWindowByProperty(Property);
    QVERIFY(found);
    QCOMPARE(m_messaging->windowAddress(found), m_messaging->socketPath(Property));
    QVERIFY(m_messaging->postMessage(found, 2053, 1, -1));
    QTRY_VERIFY(claimant.canReadLine());
    QCOMPARE(QString::fromLatin1(claimant.readLine()).trimmed(), QStringLiteral("message 2053 1 -1"));
    QCOMPARE(m_window.count(), 0);
    claimant.kill();
    claimant.waitForFinished();
}

void TestWindowMessages::aKilledProgramsSocketIsTakenOver()
{
    QProcess claimant;
    QCOMPARE(startClaimant(&claimant, m_messaging->folder()), QStringLiteral("claimed"));
    claimant.kill();
    QVERIFY(claimant.waitForFinished());
    const QString socket = m_messaging->socketPath(Property);
    QVERIFY2(QFileInfo::exists(socket), "the killed program left its socket");

    // Nobody answers there: nothing is found, and a post has nowhere to go.
    QVERIFY(!m_messaging->findWindowByProperty(Property));
    QVERIFY(m_messaging->setWindowProperty(Window, Property, m_window.handler()));
    QCOMPARE(m_window.count(), 0);
    const HWND found = m_messaging->findWindowByProperty(Property);
    QVERIFY(m_messaging->postMessage(found, 2029, 0, 0));
    QTRY_COMPARE(m_window.count(), 1);
}

void TestWindowMessages::fuzzedFramesLeaveTheWindowAnswering()
{
    QVERIFY(m_messaging->setWindowProperty(Window, Property, m_window.handler()));
    const QString path = m_messaging->socketPath(Property);
    QRandomGenerator random(20240611);
    // Every connection carries one kind of damage; some carry a valid post first, which must
    // arrive, while nothing of the damaged frames may.
    std::atomic<bool> done { false };
    std::atomic<int> failures { 0 };
    int validPosts = 0;
    QVector<QByteArray> connections;
    for (int i = 0; i < 3000; ++i) {
        const QByteArray valid = KMessageFrame::post(2053, WPARAM(i), LPARAM(i)).encode();
        const QByteArray copy
            = KMessageFrame::copyData(27, QByteArray(int(random.bounded(300)), 'p')).encode();
        QByteArray bytes;
        if (random.bounded(4) == 0) {
            bytes += valid;
            ++validPosts;
        }
        QByteArray damaged = random.bounded(2) ? copy : valid;
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
    const auto sender = startThread([&] {
        for (const QByteArray& bytes : qAsConst(connections)) {
            if (!sendRaw(path, bytes))
                ++failures;
        }
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 120000);
    sender->wait();
    QCOMPARE(failures.load(), 0);
    QTRY_COMPARE(m_window.count(), validPosts);
    for (const Received& r : m_window.all())
        QCOMPARE(r.message, UINT(2053));

    // And it still answers.
    KLocalSocketMessaging other(m_messaging->folder(), nullptr);
    std::atomic<bool> answered { false };
    LRESULT answer = 0;
    const auto last = startThread([&] {
        answered = other.sendCopyData(other.findWindowByProperty(Property), 28, QByteArray(), &answer);
    });
    QTRY_VERIFY(answered.load());
    last->wait();
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
    QCOMPARE(m_window.count(), 0);
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
