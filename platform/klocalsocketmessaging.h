#pragma once

#include "platform/kmessageframe.h"
#include "platform/kwindowmessaging.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QString>

#include <map>
#include <memory>
#include <mutex>

class KMessageListener;
class QLocalSocket;

// Window properties and messages over local sockets. A window that carries a property listens
// on a socket named after it, in a folder only the user may enter; the first live window to
// claim a name keeps it, and a socket left by a process that died is taken over. Messages
// travel as KMessageFrame frames and reach the window's handler as MSG structures (with a
// COPYDATASTRUCT for copy-data), so that nativeEvent handles them as it would on Windows.
//
// A frame that is short, too long, of an unknown kind or with fields its kind does not allow
// closes its connection unread; so does a connection that brings nothing for a while. A window
// keeps a bounded number of connections, closing the one idle longest to take a new one, so
// that no crowd of connections can leave it deaf.
class KLocalSocketMessaging final : public KWindowMessaging
{
    Q_DECLARE_TR_FUNCTIONS(KLocalSocketMessaging)

public:
    // Shows, raises and activates a window of this process.
    using Activator = std::function<bool(HWND window)>;

    // Sockets live in `folder`. A listener creates it for the user alone when missing. Listeners
    // and senders alike use it only while it is a real folder (not a link) of this user that
    // nobody else may enter (0700); otherwise nothing is sent or received, and lastError() says
    // what is wrong with it.
    KLocalSocketMessaging(const QString& folder, Activator activate);
    ~KLocalSocketMessaging() override;

    QString folder() const { return m_folder; }
    // The socket of a property; empty when the name makes no usable socket path.
    QString socketPath(const QString& name) const;

    // How long a sender waits for a copy-data answer.
    void setReplyTimeout(int msecs) { m_replyTimeoutMs = msecs; }
    // How long an accepted connection may bring nothing (or only part of a frame) before it is
    // closed.
    void setIdleTimeout(int msecs) { m_idleTimeoutMs = msecs; }
    int idleTimeout() const { return m_idleTimeoutMs; }
    // How many connections one property keeps open at most.
    void setMaxConnections(int count) { m_maxConnections = count; }
    int maxConnections() const { return m_maxConnections; }

    bool setWindowProperty(HWND window, const QString& name, KWindowMessageHandler handler) override;
    void removeWindowProperties(HWND window) override;
    HWND findWindowByProperty(const QString& name) override;
    QString windowAddress(HWND window) const override;
    bool postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    bool sendCopyData(HWND window, ULONG_PTR dwData, const QByteArray& data, LRESULT* result) override;
    bool forceForegroundWindow(HWND window) override;
    QString lastError() const override;

    // Hands a frame that arrived for the property `name` to its window. Returns whether the
    // window handled it; `result` is its answer (0 when unhandled).
    bool deliver(const QString& name, const KMessageFrame& frame, LRESULT* result);

    static constexpr int DefaultReplyTimeoutMs = 5000;
    static constexpr int DefaultIdleTimeoutMs = 30000;
    static constexpr int DefaultMaxConnections = 32;
    // A sender writes its posts on a kept connection only this long after its last use, well
    // within a receiver's idle timeout, so that a post never meets a connection being closed.
    static constexpr int KeptConnectionMs = DefaultIdleTimeoutMs / 3;
    static constexpr int ConnectTimeoutMs = 1000;
    static constexpr int ClaimLockTimeoutMs = 3000;

private:
    // A property of a window of this process.
    struct Owned
    {
        HWND window = nullptr;
        KWindowMessageHandler handler;
        KMessageListener* listener = nullptr;
    };
    // A property as a sender sees it; its address is the handle findWindowByProperty() gives.
    struct Endpoint
    {
        QString name;
        QPointer<QLocalSocket> connection; // kept open for posts, on the GUI thread
        QElapsedTimer lastUsed;
    };
    enum class FolderState
    {
        Private, // a folder of this user's alone
        Missing,
        Refused, // `problem` says why
    };

    FolderState inspectFolder(QString* problem) const;
    bool ensureFolder() const;
    // Whether a sender may reach the property's window: only through a folder of the user's alone.
    bool mayReach(const QString& name) const;
    // Connects `socket` to the property's window once the folder has passed inspection.
    bool connectTo(QLocalSocket* socket, const QString& name) const;
    bool isLive(const QString& name) const;
    Endpoint* endpointFor(const QString& name);
    // The property behind a handle; empty when the handle is not one of ours.
    QString nameOf(HWND handle) const;
    bool isOwnedHere(const QString& name) const;
    QLocalSocket* postConnection(Endpoint* endpoint);
    bool writeFrame(const QString& name, const QByteArray& bytes);
    // Records why a call of this thread failed; always false. Each public call starts afresh.
    bool fail(const QString& why) const;
    void clearLastError() const;
    // A folder that is not the user's alone is reported once per problem, not on every message.
    void warnOnce(const QString& problem) const;

    const QString m_folder;
    const Activator m_activate;
    int m_replyTimeoutMs = DefaultReplyTimeoutMs;
    int m_idleTimeoutMs = DefaultIdleTimeoutMs;
    int m_maxConnections = DefaultMaxConnections;

    mutable std::mutex m_mutex; // guards the tables and the last warning; sockets stay on the GUI thread
    QHash<QString, Owned> m_owned;
    std::map<QString, std::unique_ptr<Endpoint>> m_endpoints;
    mutable QString m_warned;
    // Per thread, like the system's last error. Not thread_local: that would pin the library in
    // memory after the host unloads it.
    mutable std::mutex m_errorMutex;
    mutable QHash<Qt::HANDLE, QString> m_lastErrors;
};
