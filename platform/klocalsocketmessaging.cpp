#include "platform/klocalsocketmessaging.h"

#include "platform/kfileio.h"
#include "platform/kmessageslog.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QLocalSocket>
#include <QLockFile>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// The longest socket path the system accepts.
constexpr int MaxSocketPath = int(sizeof(sockaddr_un::sun_path)) - 1;
// Connections the system holds for a listener until it accepts them.
constexpr int ListenBacklog = 64;
// How long a listener with no room waits before it tries to accept again.
constexpr int AcceptRetryMs = 100;

bool onApplicationThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
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

// Orders connections by their last activity.
quint64 nextActivity()
{
    static std::atomic<quint64> counter { 0 };
    return ++counter;
}

// One accepted connection: reads frames as they complete and hands them to the window. It is
// closed when it brings nothing (or only part of a frame) for the idle timeout.
class KMessageConnection final : public QObject
{
public:
    KMessageConnection(
        QLocalSocket* socket, KLocalSocketMessaging* messaging, const QString& name, QObject* parent)
        : QObject(parent)
        , m_socket(socket)
        , m_messaging(messaging)
        , m_name(name)
        , m_lastActivity(nextActivity())
    {
        m_socket->setParent(this);
        // A sender can make us hold one frame at most, plus what the system buffers.
        m_socket->setReadBufferSize(KMessageFrame::MaxFrameSize);
        m_idleTimer.setSingleShot(true);
        m_idleTimer.setInterval(messaging->idleTimeout());
        QObject::connect(&m_idleTimer, &QTimer::timeout, this, [this] { drop(); });
        QObject::connect(m_socket, &QLocalSocket::readyRead, this, [this] { readFrames(); });
        QObject::connect(m_socket, &QLocalSocket::disconnected, this, [this] {
            m_closed = true;
            m_idleTimer.stop();
            deleteLater();
        });
        m_idleTimer.start();
    }

    // Open, with nothing waiting to be read and not inside its window's handler: it may be closed
    // to make room without losing a message. Half a frame waiting for its rest counts as idle.
    bool isIdle() const
    {
        int waiting = 0;
        return !m_closed && !m_reading && m_socket->bytesAvailable() == 0
            && ::ioctl(int(m_socket->socketDescriptor()), FIONREAD, &waiting) == 0 && waiting == 0;
    }
    bool isOpen() const { return !m_closed; }
    quint64 lastActivity() const { return m_lastActivity; }

    void drop()
    {
        m_closed = true;
        m_idleTimer.stop();
        m_buffer.clear();
        m_socket->abort();
        deleteLater();
    }

private:
    void readFrames()
    {
        // A handler that runs an event loop must not see the frames after its own one first.
        if (m_reading || m_closed)
            return;
        m_reading = true;
        m_lastActivity = nextActivity();
        m_idleTimer.stop();
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
                if (room > 0 && m_socket->bytesAvailable() > 0)
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
        m_reading = false;
        if (!m_closed)
            m_idleTimer.start();
    }

    QLocalSocket* m_socket;
    KLocalSocketMessaging* m_messaging;
    const QString m_name;
    QByteArray m_buffer;
    QTimer m_idleTimer;
    quint64 m_lastActivity;
    bool m_reading = false;
    bool m_closed = false;
};

} // namespace

// Listens on one property's socket. The socket file is made for its owner alone (0600) and is
// removed on closing only while it is still the one made here. A listener keeps a bounded number
// of connections and goes on listening when an accept fails: it closes the connection idle
// longest to make room, or leaves new ones waiting in the system's queue for a moment.
class KMessageListener final : public QObject
{
public:
    KMessageListener(KLocalSocketMessaging* messaging, const QString& name)
        : m_messaging(messaging)
        , m_name(name)
    {
        m_retry.setSingleShot(true);
        m_retry.setInterval(AcceptRetryMs);
        QObject::connect(&m_retry, &QTimer::timeout, this, [this] { resume(); });
    }

    ~KMessageListener() override { close(); }

    bool listen(const QString& path, QString* error)
    {
        const QByteArray encoded = QFile::encodeName(path);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
        KFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        // A socket file takes its mode from the socket, set before the file exists.
        if (!fd.isValid() || ::fchmod(fd.get(), S_IRUSR | S_IWUSR) != 0) {
            *error
                = KLocalSocketMessaging::tr("Cannot make a socket for %1: %2").arg(path, systemError(errno));
            return false;
        }
        // What a program that died left at the name goes; the claim lock keeps the living out.
        struct stat info;
        if (::lstat(encoded.constData(), &info) == 0) {
            if (!S_ISSOCK(info.st_mode)) {
                *error = KLocalSocketMessaging::tr("%1 is in the way of the window's socket").arg(path);
                return false;
            }
            if (::unlink(encoded.constData()) != 0 && errno != ENOENT) {
                *error = KLocalSocketMessaging::tr("Cannot remove the socket a closed program left at %1: %2")
                             .arg(path, systemError(errno));
                return false;
            }
        }
        if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0
            || ::listen(fd.get(), ListenBacklog) != 0 || ::lstat(encoded.constData(), &info) != 0) {
            *error = KLocalSocketMessaging::tr("Cannot listen on %1: %2").arg(path, systemError(errno));
            return false;
        }
        m_path = path;
        m_device = info.st_dev;
        m_inode = info.st_ino;
        m_fd = std::move(fd);
        m_notifier = new QSocketNotifier(m_fd.get(), QSocketNotifier::Read, this);
        QObject::connect(m_notifier, &QSocketNotifier::activated, this, [this] { acceptPending(); });
        return true;
    }

    // Frees the name at once; connections in the middle of a message finish first.
    void close()
    {
        if (!m_fd.isValid())
            return;
        delete m_notifier;
        m_notifier = nullptr;
        m_retry.stop();
        const QByteArray encoded = QFile::encodeName(m_path);
        struct stat info;
        if (::lstat(encoded.constData(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode)
            ::unlink(encoded.constData());
        m_fd = KFd();
    }

private:
    void acceptPending()
    {
        while (m_fd.isValid()) {
            // Full, with every connection busy: the rest wait in the system's queue.
            if (openConnections() >= m_messaging->maxConnections() && !dropLongestIdle()) {
                pause();
                return;
            }
            const int accepted = ::accept4(m_fd.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (accepted < 0) {
                const int error = errno;
                if (error == EINTR || error == ECONNABORTED || error == EPROTO)
                    continue;
                if (error == EAGAIN || error == EWOULDBLOCK)
                    return;
                // Out of descriptors or memory: an idle connection makes room, else a moment passes.
                if ((error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM)
                    && dropLongestIdle())
                    continue;
                if (!m_starved)
                    qCWarning(vkMessages, "Window messages: cannot accept a connection at %s: %s",
                        qPrintable(m_path), std::strerror(error));
                m_starved = true;
                pause();
                return;
            }
            m_starved = false;
            auto socket = std::make_unique<QLocalSocket>();
            if (!socket->setSocketDescriptor(accepted)) {
                ::close(accepted);
                continue;
            }
            auto* connection = new KMessageConnection(socket.release(), m_messaging, m_name, this);
            // A connection that goes makes room for those waiting.
            QObject::connect(connection, &QObject::destroyed, this, [this] { resume(); });
            m_connections << connection;
        }
    }

    void pause()
    {
        m_notifier->setEnabled(false);
        m_retry.start();
    }

    void resume()
    {
        if (!m_notifier || m_notifier->isEnabled())
            return;
        m_retry.stop();
        m_notifier->setEnabled(true);
    }

    int openConnections()
    {
        m_connections.removeAll(nullptr);
        int open = 0;
        for (const QPointer<KMessageConnection>& connection : qAsConst(m_connections))
            open += connection->isOpen() ? 1 : 0;
        return open;
    }

    bool dropLongestIdle()
    {
        KMessageConnection* longest = nullptr;
        for (const QPointer<KMessageConnection>& connection : qAsConst(m_connections)) {
            if (connection && connection->isIdle()
                && (!longest || connection->lastActivity() < longest->lastActivity()))
                longest = connection;
        }
        if (longest)
            longest->drop();
        return longest;
    }

    KLocalSocketMessaging* const m_messaging;
    const QString m_name;
    QString m_path;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    KFd m_fd;
    QSocketNotifier* m_notifier = nullptr;
    QTimer m_retry;
    QList<QPointer<KMessageConnection>> m_connections;
    bool m_starved = false; // accepting failed; reported once until it works again
};

KWindowMessaging::~KWindowMessaging() = default;

KLocalSocketMessaging::KLocalSocketMessaging(const QString& folder, Activator activate)
    : m_folder(QDir::cleanPath(folder))
    , m_activate(std::move(activate))
{ }

KLocalSocketMessaging::~KLocalSocketMessaging()
{
    // Closing a listener removes its socket file; open connections go with it.
    for (Owned& owned : m_owned)
        delete owned.listener;
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

QString KLocalSocketMessaging::lastError() const
{
    const std::lock_guard<std::mutex> locker(m_errorMutex);
    return m_lastErrors.value(QThread::currentThreadId());
}

bool KLocalSocketMessaging::fail(const QString& why) const
{
    const std::lock_guard<std::mutex> locker(m_errorMutex);
    m_lastErrors.insert(QThread::currentThreadId(), why);
    return false;
}

void KLocalSocketMessaging::clearLastError() const
{
    const std::lock_guard<std::mutex> locker(m_errorMutex);
    m_lastErrors.remove(QThread::currentThreadId());
}

void KLocalSocketMessaging::warnOnce(const QString& problem) const
{
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        if (m_warned == problem)
            return;
        m_warned = problem;
    }
    qCWarning(vkMessages).noquote() << problem;
}

KLocalSocketMessaging::FolderState KLocalSocketMessaging::inspectFolder(QString* problem) const
{
    // Looked at itself, never through a link: whoever made the folder decides who else hears.
    struct stat info;
    if (::lstat(QFile::encodeName(m_folder).constData(), &info) != 0) {
        if (errno == ENOENT)
            return FolderState::Missing;
        *problem = tr("The message folder %1 cannot be examined: %2").arg(m_folder, systemError(errno));
    } else if (S_ISLNK(info.st_mode)) {
        *problem = tr("The message folder %1 is a symbolic link; only a folder of the user's own is used")
                       .arg(m_folder);
    } else if (!S_ISDIR(info.st_mode)) {
        *problem = tr("The message folder %1 is not a folder").arg(m_folder);
    } else if (info.st_uid != ::geteuid()) {
        *problem = tr("The message folder %1 belongs to another user (uid %2); it must be the user's own")
                       .arg(m_folder)
                       .arg(info.st_uid);
    } else if ((info.st_mode & 0777) != S_IRWXU) {
        *problem
            = tr("The message folder %1 has mode %2; it must be 0700, so that no other user may enter it")
                  .arg(m_folder)
                  .arg(uint(info.st_mode & 07777), 4, 8, QLatin1Char('0'));
    } else {
        return FolderState::Private;
    }
    return FolderState::Refused;
}

bool KLocalSocketMessaging::ensureFolder() const
{
    QString problem;
    FolderState state = inspectFolder(&problem);
    if (state == FolderState::Missing) {
        QDir().mkpath(QFileInfo(m_folder).absolutePath());
        if (::mkdir(QFile::encodeName(m_folder).constData(), S_IRWXU) != 0 && errno != EEXIST) {
            problem = tr("Cannot create the message folder %1: %2").arg(m_folder, systemError(errno));
            warnOnce(problem);
            return fail(problem);
        }
        // Made here or by someone else a moment ago: looked at again either way.
        state = inspectFolder(&problem);
    }
    if (state == FolderState::Private)
        return true;
    warnOnce(problem);
    return fail(problem);
}

bool KLocalSocketMessaging::mayReach(const QString& name) const
{
    QString problem;
    switch (inspectFolder(&problem)) {
    case FolderState::Private:
        return true;
    case FolderState::Missing:
        return fail(tr("No window carries %1: the message folder %2 does not exist").arg(name, m_folder));
    case FolderState::Refused:
        break;
    }
    warnOnce(problem);
    return fail(problem);
}

bool KLocalSocketMessaging::connectTo(QLocalSocket* socket, const QString& name) const
{
    if (!mayReach(name))
        return false;
    const QString path = socketPath(name);
    socket->connectToServer(path);
    if (socket->waitForConnected(ConnectTimeoutMs))
        return true;
    QString why;
    switch (socket->error()) {
    case QLocalSocket::ServerNotFoundError:
        why = tr("nothing listens there");
        break;
    case QLocalSocket::ConnectionRefusedError:
        why = tr("the program that listened there has ended");
        break;
    default:
        why = socket->errorString();
        break;
    }
    return fail(tr("No window carries %1 at %2: %3").arg(name, path, why));
}

bool KLocalSocketMessaging::isLive(const QString& name) const
{
    QLocalSocket probe;
    if (connectTo(&probe, name))
        return true;
    // A listener too busy to accept still holds its name.
    return probe.error() == QLocalSocket::SocketTimeoutError;
}

bool KLocalSocketMessaging::setWindowProperty(HWND window, const QString& name, KWindowMessageHandler handler)
{
    clearLastError();
    const QString path = socketPath(name);
    if (!window || !handler || path.isEmpty() || !onApplicationThread())
        return fail(tr("A window, a handler and a property name that makes a socket path in %1 are needed, "
                       "on the application's thread")
                        .arg(m_folder));
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        const auto owned = m_owned.constFind(name);
        if (owned != m_owned.constEnd())
            return owned->window == window || fail(tr("Another window of this program carries %1").arg(name));
    }
    if (!ensureFolder())
        return false;

    // Two programs claiming one name at once: the lock lets one look and listen at a time.
    QLockFile claim(path + QStringLiteral(".lock"));
    if (!claim.tryLock(ClaimLockTimeoutMs))
        return fail(tr("Another program is taking %1 at %2").arg(name, path));
    if (isLive(name))
        return fail(tr("A live window of another program carries %1 at %2").arg(name, path));
    auto listener = std::make_unique<KMessageListener>(this, name);
    QString error;
    if (!listener->listen(path, &error)) {
        qCWarning(vkMessages).noquote() << error;
        return fail(error);
    }
    clearLastError();
    const std::lock_guard<std::mutex> locker(m_mutex);
    m_owned.insert(name, Owned { window, std::move(handler), listener.release() });
    return true;
}

void KLocalSocketMessaging::removeWindowProperties(HWND window)
{
    clearLastError();
    QList<KMessageListener*> listeners;
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        for (auto it = m_owned.begin(); it != m_owned.end();) {
            if (it->window == window) {
                listeners << it->listener;
                it = m_owned.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (KMessageListener* listener : listeners) {
        // The name is free at once; a connection in the middle of a message finishes first.
        listener->close();
        listener->deleteLater();
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
    clearLastError();
    const QString path = socketPath(name);
    if (path.isEmpty()) {
        fail(tr("%1 makes no socket path in %2").arg(name, m_folder));
        return nullptr;
    }
    if (isOwnedHere(name))
        return endpointFor(name);
    if (!onApplicationThread())
        return isLive(name) ? endpointFor(name) : nullptr;
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
    // A folder that was the user's alone when the connection was made may not be any more.
    if (!mayReach(endpoint->name)) {
        delete endpoint->connection.data();
        return nullptr;
    }
    if (endpoint->connection && endpoint->connection->state() == QLocalSocket::ConnectedState
        && endpoint->lastUsed.isValid() && !endpoint->lastUsed.hasExpired(KeptConnectionMs)) {
        // A window that has gone closed its end: that shows without waiting, not only once this
        // thread's event loop has run.
        endpoint->connection->waitForReadyRead(0);
        if (endpoint->connection->state() == QLocalSocket::ConnectedState) {
            endpoint->lastUsed.start();
            return endpoint->connection;
        }
    }
    delete endpoint->connection.data();
    auto socket = std::make_unique<QLocalSocket>();
    // Nothing is ever read from it.
    socket->setReadBufferSize(KMessageFrame::ReplySize);
    if (!connectTo(socket.get(), endpoint->name))
        return nullptr;
    QLocalSocket* connected = socket.release();
    QObject::connect(connected, &QLocalSocket::disconnected, connected, &QObject::deleteLater);
    endpoint->connection = connected;
    endpoint->lastUsed.start();
    return connected;
}

bool KLocalSocketMessaging::writeFrame(const QString& name, const QByteArray& bytes)
{
    const bool ownedHere = isOwnedHere(name);
    if (!onApplicationThread()) {
        QLocalSocket socket;
        if (!connectTo(&socket, name))
            return false;
        if (socket.write(bytes) != bytes.size() || !socket.waitForBytesWritten(m_replyTimeoutMs))
            return fail(tr("The message to %1 could not be written: %2").arg(name, socket.errorString()));
        return true;
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
            if (!ownedHere && socket->bytesToWrite() > 0 && !socket->waitForBytesWritten(m_replyTimeoutMs))
                return fail(
                    tr("The message to %1 could not be written: %2").arg(name, socket->errorString()));
            return true;
        }
        socket->abort();
    }
    return fail(tr("The window that carried %1 has gone").arg(name));
}

bool KLocalSocketMessaging::postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    clearLastError();
    const QString name = nameOf(window);
    const QByteArray bytes = KMessageFrame::post(message, wParam, lParam).encode();
    if (name.isEmpty() || bytes.isEmpty())
        return fail(tr("Message %1 cannot be posted to that window").arg(message));
    return writeFrame(name, bytes);
}

bool KLocalSocketMessaging::sendCopyData(
    HWND window, ULONG_PTR dwData, const QByteArray& data, LRESULT* result)
{
    clearLastError();
    const QString name = nameOf(window);
    const KMessageFrame frame = KMessageFrame::copyData(dwData, data);
    const QByteArray bytes = frame.encode();
    if (name.isEmpty() || bytes.isEmpty())
        return fail(tr("That copy-data cannot be sent to that window"));
    LRESULT answer = 0;
    if (isOwnedHere(name) && onApplicationThread()) {
        // A window of this thread is called directly, as the system does for its own windows.
        deliver(name, frame, &answer);
    } else {
        QLocalSocket socket;
        socket.setReadBufferSize(KMessageFrame::ReplySize);
        if (!connectTo(&socket, name))
            return false;
        if (socket.write(bytes) != bytes.size() || !socket.waitForBytesWritten(m_replyTimeoutMs))
            return fail(tr("The copy-data to %1 could not be written: %2").arg(name, socket.errorString()));
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
                return fail(tr("The window that carries %1 did not answer").arg(name));
        }
    }
    if (result)
        *result = answer;
    return true;
}

bool KLocalSocketMessaging::forceForegroundWindow(HWND window)
{
    clearLastError();
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
    // Nothing from the wire is ever taken for an address: only a valid copy-data frame has a
    // block, and the block is this process's own copy.
    if (!frame.isValid())
        return false;
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
