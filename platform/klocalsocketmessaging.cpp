#include "platform/klocalsocketmessaging.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>
#include <QTimer>
#include <QtDebug>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The longest socket path the system accepts.
constexpr int MaxSocketPath = int(sizeof(sockaddr_un::sun_path)) - 1;

bool onApplicationThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

// Letters, digits, "_" and "-" stay; everything else is written as "%XX" of its UTF-8 bytes, so
// that every property has one file name, none can leave the folder, and none ends like the
// claim lock beside it.
QString fileNameOf(const QString& name)
{
    QString file;
    const QByteArray utf8 = name.toUtf8();
    for (const char c : utf8) {
        const uchar byte = uchar(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9')
            || byte == '_' || byte == '-')
            file += QLatin1Char(char(byte));
        else
            file += QStringLiteral("%%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    }
    return file;
}

// One accepted connection: reads frames as they complete and hands them to the window.
class KMessageConnection final : public QObject
{
public:
    KMessageConnection(
        QLocalSocket* socket, KLocalSocketMessaging* messaging, const QString& name, QObject* parent)
        : QObject(parent)
        , m_socket(socket)
        , m_messaging(messaging)
        , m_name(name)
    {
        m_socket->setParent(this);
        // A sender can make us hold one frame at most, plus what the system buffers.
        m_socket->setReadBufferSize(KMessageFrame::MaxFrameSize);
        m_partialTimer.setSingleShot(true);
        m_partialTimer.setInterval(messaging->partialFrameTimeout());
        QObject::connect(&m_partialTimer, &QTimer::timeout, this, [this] { drop(); });
        QObject::connect(m_socket, &QLocalSocket::readyRead, this, [this] { readFrames(); });
        QObject::connect(m_socket, &QLocalSocket::disconnected, this, [this] { deleteLater(); });
    }

    void readFrames()
    {
        // A handler that runs an event loop must not see the frames after its own one first.
        if (m_reading || m_dropped)
            return;
        m_reading = true;
        const QPointer<KMessageConnection> alive(this);
        for (;;) {
            const qint64 room = KMessageFrame::MaxFrameSize - m_buffer.size();
            if (room > 0 && m_socket->bytesAvailable() > 0)
                m_buffer += m_socket->read(room);
            KMessageFrame frame;
            const KMessageFrame::Decoded decoded = KMessageFrame::decode(&m_buffer, &frame);
            if (decoded == KMessageFrame::Decoded::Malformed) {
                drop();
                return;
            }
            if (decoded == KMessageFrame::Decoded::Incomplete) {
                if (m_socket->bytesAvailable() > 0)
                    continue;
                break;
            }
            LRESULT result = 0;
            m_messaging->deliver(m_name, frame, &result);
            if (!alive)
                return;
            if (frame.kind == KMessageFrame::CopyData) {
                m_socket->write(KMessageFrame::encodeReply(result));
                m_socket->flush();
            }
        }
        // Half a frame may wait for its rest only so long.
        if (m_buffer.isEmpty())
            m_partialTimer.stop();
        else if (!m_partialTimer.isActive())
            m_partialTimer.start();
        m_reading = false;
    }

private:
    void drop()
    {
        m_dropped = true;
        m_partialTimer.stop();
        m_buffer.clear();
        m_socket->abort();
        deleteLater();
    }

    QLocalSocket* m_socket;
    KLocalSocketMessaging* m_messaging;
    const QString m_name;
    QByteArray m_buffer;
    QTimer m_partialTimer;
    bool m_reading = false;
    bool m_dropped = false;
};

} // namespace

KWindowMessaging::~KWindowMessaging() = default;

KLocalSocketMessaging::KLocalSocketMessaging(const QString& folder, Activator activate)
    : m_folder(QDir::cleanPath(folder))
    , m_activate(std::move(activate))
{ }

KLocalSocketMessaging::~KLocalSocketMessaging()
{
    // Closing a server removes its socket file; open connections go with it.
    for (Owned& owned : m_owned)
        delete owned.server;
    for (auto& entry : m_endpoints)
        delete entry.second->connection.data();
}

QString KLocalSocketMessaging::socketPath(const QString& name) const
{
    if (name.isEmpty())
        return QString();
    const QString path = m_folder + QLatin1Char('/') + fileNameOf(name);
    return QFile::encodeName(path).size() <= MaxSocketPath ? path : QString();
}

bool KLocalSocketMessaging::ensureFolder() const
{
    const QByteArray path = QFile::encodeName(m_folder);
    struct stat info;
    if (::lstat(path.constData(), &info) != 0) {
        QDir().mkpath(QFileInfo(m_folder).absolutePath());
        if (::mkdir(path.constData(), S_IRWXU) != 0 && errno != EEXIST) {
            qWarning("Window messages: cannot create the folder %s", path.constData());
            return false;
        }
        if (::lstat(path.constData(), &info) != 0)
            return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        qWarning("Window messages: %s is not a folder for this user alone; it is not used", path.constData());
        return false;
    }
    return true;
}

bool KLocalSocketMessaging::isLive(const QString& path) const
{
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(ConnectTimeoutMs))
        return true;
    // A listener too busy to accept still holds its name.
    return probe.error() == QLocalSocket::SocketTimeoutError;
}

bool KLocalSocketMessaging::setWindowProperty(HWND window, const QString& name, KWindowMessageHandler handler)
{
    const QString path = socketPath(name);
    if (!window || !handler || path.isEmpty() || !onApplicationThread())
        return false;
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        const auto owned = m_owned.constFind(name);
        if (owned != m_owned.constEnd())
            return owned->window == window;
    }
    if (!ensureFolder())
        return false;

    // Two programs claiming one name at once: the lock lets one look and listen at a time.
    QLockFile claim(path + QStringLiteral(".lock"));
    if (!claim.tryLock(ClaimLockTimeoutMs))
        return false;
    if (isLive(path))
        return false;
    auto server = std::make_unique<QLocalServer>();
    // The socket is made in a private temporary folder, restricted to the user, and renamed over
    // whatever a dead owner left at the name.
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path)) {
        qWarning(
            "Window messages: cannot listen on %s: %s", qPrintable(path), qPrintable(server->errorString()));
        return false;
    }
    QLocalServer* listening = server.release();
    QObject::connect(listening, &QLocalServer::newConnection, listening, [this, listening, name] {
        while (QLocalSocket* socket = listening->nextPendingConnection())
            new KMessageConnection(socket, this, name, listening);
    });
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_owned.insert(name, Owned { window, std::move(handler), listening });
    return true;
}

void KLocalSocketMessaging::removeWindowProperties(HWND window)
{
    QList<QLocalServer*> servers;
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        for (auto it = m_owned.begin(); it != m_owned.end();) {
            if (it->window == window) {
                servers << it->server;
                it = m_owned.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (QLocalServer* server : servers) {
        // The name is free at once; a connection in the middle of a message finishes first.
        server->close();
        server->deleteLater();
    }
}

KLocalSocketMessaging::Endpoint* KLocalSocketMessaging::endpointFor(const QString& name)
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    std::unique_ptr<Endpoint>& endpoint = m_endpoints[name];
    if (!endpoint) {
        endpoint = std::make_unique<Endpoint>();
        endpoint->name = name;
    }
    return endpoint.get();
}

QString KLocalSocketMessaging::nameOf(HWND handle) const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    for (const auto& entry : m_endpoints) {
        if (static_cast<void*>(entry.second.get()) == handle)
            return entry.first;
    }
    return QString();
}

bool KLocalSocketMessaging::isOwnedHere(const QString& name) const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    return m_owned.contains(name);
}

HWND KLocalSocketMessaging::findWindowByProperty(const QString& name)
{
    const QString path = socketPath(name);
    if (path.isEmpty())
        return nullptr;
    if (isOwnedHere(name))
        return endpointFor(name);
    if (!onApplicationThread())
        return isLive(path) ? endpointFor(name) : nullptr;
    // The connection that answers is kept for the posts that usually follow.
    Endpoint* endpoint = endpointFor(name);
    return postConnection(endpoint) ? endpoint : nullptr;
}

QString KLocalSocketMessaging::windowAddress(HWND window) const
{
    const QString name = nameOf(window);
    return name.isEmpty() ? QString() : socketPath(name);
}

QLocalSocket* KLocalSocketMessaging::postConnection(Endpoint* endpoint)
{
    if (endpoint->connection && endpoint->connection->state() == QLocalSocket::ConnectedState) {
        // A window that has gone closed its end: that shows without waiting, not only once this
        // thread's event loop has run.
        endpoint->connection->waitForReadyRead(0);
        if (endpoint->connection->state() == QLocalSocket::ConnectedState)
            return endpoint->connection;
    }
    delete endpoint->connection.data();
    auto socket = std::make_unique<QLocalSocket>();
    // Nothing is ever read from it.
    socket->setReadBufferSize(KMessageFrame::ReplySize);
    socket->connectToServer(socketPath(endpoint->name));
    if (!socket->waitForConnected(ConnectTimeoutMs))
        return nullptr;
    QLocalSocket* connected = socket.release();
    QObject::connect(connected, &QLocalSocket::disconnected, connected, &QObject::deleteLater);
    endpoint->connection = connected;
    return connected;
}

bool KLocalSocketMessaging::writeFrame(const QString& name, const QByteArray& bytes)
{
    const bool ownedHere = isOwnedHere(name);
    if (!onApplicationThread()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath(name));
        if (!socket.waitForConnected(ConnectTimeoutMs) || socket.write(bytes) != bytes.size())
            return false;
        return socket.waitForBytesWritten(m_replyTimeoutMs);
    }
    Endpoint* endpoint = endpointFor(name);
    // A kept connection whose window has gone since fails on writing: one fresh try follows.
    for (int attempt = 0; attempt < 2; ++attempt) {
        QLocalSocket* socket = postConnection(endpoint);
        if (!socket)
            return false;
        // Writing to a window that has gone fails at once and drops the connection; a full
        // buffer only leaves the rest for later.
        const bool written = socket->write(bytes) == bytes.size();
        socket->flush();
        if (written && socket->state() == QLocalSocket::ConnectedState) {
            // A window of this process reads when its event loop runs: waiting would stall it.
            if (!ownedHere && socket->bytesToWrite() > 0)
                return socket->waitForBytesWritten(m_replyTimeoutMs);
            return true;
        }
        socket->abort();
    }
    return false;
}

bool KLocalSocketMessaging::postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const QString name = nameOf(window);
    const QByteArray bytes = KMessageFrame::post(message, wParam, lParam).encode();
    if (name.isEmpty() || bytes.isEmpty())
        return false;
    return writeFrame(name, bytes);
}

bool KLocalSocketMessaging::sendCopyData(
    HWND window, ULONG_PTR dwData, const QByteArray& data, LRESULT* result)
{
    const QString name = nameOf(window);
    const KMessageFrame frame = KMessageFrame::copyData(dwData, data);
    const QByteArray bytes = frame.encode();
    if (name.isEmpty() || bytes.isEmpty())
        return false;
    LRESULT answer = 0;
    if (isOwnedHere(name) && onApplicationThread()) {
        // A window of this thread is called directly, as the system does for its own windows.
        deliver(name, frame, &answer);
    } else {
        QLocalSocket socket;
        socket.setReadBufferSize(KMessageFrame::ReplySize);
        socket.connectToServer(socketPath(name));
        if (!socket.waitForConnected(ConnectTimeoutMs) || socket.write(bytes) != bytes.size()
            || !socket.waitForBytesWritten(m_replyTimeoutMs))
            return false;
        QByteArray reply;
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            reply += socket.read(KMessageFrame::ReplySize - reply.size());
            const KMessageFrame::Decoded decoded = KMessageFrame::decodeReply(&reply, &answer);
            if (decoded == KMessageFrame::Decoded::Complete)
                break;
            const qint64 left = m_replyTimeoutMs - waited.elapsed();
            if (decoded == KMessageFrame::Decoded::Malformed || left <= 0
                || !socket.waitForReadyRead(int(left)))
                return false;
        }
    }
    if (result)
        *result = answer;
    return true;
}

bool KLocalSocketMessaging::forceForegroundWindow(HWND window)
{
    // A handle found by property names a window of this process when that process owns it.
    const QString name = nameOf(window);
    if (!name.isEmpty()) {
        const std::lock_guard<std::mutex> locker(m_mutex);
        const auto owned = m_owned.constFind(name);
        window = owned != m_owned.constEnd() ? owned->window : nullptr;
    }
    return window && m_activate && m_activate(window);
}

bool KLocalSocketMessaging::deliver(const QString& name, const KMessageFrame& frame, LRESULT* result)
{
    *result = 0;
    Owned owned;
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        const auto found = m_owned.constFind(name);
        if (found == m_owned.constEnd())
            return false;
        owned = *found;
    }
    MSG msg {};
    msg.hwnd = owned.window;
    msg.message = frame.message;
    msg.wParam = frame.wParam;
    msg.lParam = frame.lParam;
    // Milliseconds since the system started, as the message time counts them.
    msg.time = DWORD(QDeadlineTimer::current().deadline());
    COPYDATASTRUCT copyData {};
    // Exactly the bytes that came, with nothing after them, so that a reader that overruns the
    // count is caught by the memory checkers instead of reading a neighbour's bytes.
    std::unique_ptr<char[]> block;
    if (frame.kind == KMessageFrame::CopyData) {
        if (!frame.payload.isEmpty()) {
            block.reset(new char[size_t(frame.payload.size())]);
            std::memcpy(block.get(), frame.payload.constData(), size_t(frame.payload.size()));
        }
        copyData.dwData = frame.dwData;
        copyData.cbData = DWORD(frame.payload.size());
        copyData.lpData = block.get();
        msg.lParam = LPARAM(&copyData);
    }
    long answer = 0;
    const bool handled = owned.handler(&msg, &answer);
    *result = handled ? LRESULT(answer) : 0;
    return handled;
}
