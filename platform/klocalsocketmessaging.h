#pragma once

#include "platform/kmessageframe.h"
#include "platform/kwindowmessaging.h"

#include <QHash>
#include <QPointer>
#include <QString>

#include <map>
#include <memory>
#include <mutex>

class QLocalServer;
class QLocalSocket;

// Window properties and messages over local sockets. A window that carries a property listens
// on a socket named after it, in a folder only the user may enter; the first live window to
// claim a name keeps it, and a socket left by a process that died is taken over. Messages
// travel as KMessageFrame frames and reach the window's handler as MSG structures (with a
// COPYDATASTRUCT for copy-data), so that nativeEvent handles them as it would on Windows.
//
// A frame that is short, too long, of an unknown kind or with fields its kind does not allow
// closes its connection unread; the window goes on answering everyone else.
class KLocalSocketMessaging final : public KWindowMessaging
{
public:
    // Shows, raises and activates a window of this process.
    using Activator = std::function<bool(HWND window)>;

    // Sockets live in `folder`. It is created for the user alone when missing; a folder that
    // others may enter, or that belongs to someone else, is never used.
    KLocalSocketMessaging(const QString& folder, Activator activate);
    ~KLocalSocketMessaging() override;

    QString folder() const { return m_folder; }
    // The socket of a property; empty when the name makes no usable socket path.
    QString socketPath(const QString& name) const;

    // How long a sender waits for a copy-data answer, and a receiver for the rest of a frame.
    void setReplyTimeout(int msecs) { m_replyTimeoutMs = msecs; }
    void setPartialFrameTimeout(int msecs) { m_partialFrameTimeoutMs = msecs; }
    int partialFrameTimeout() const { return m_partialFrameTimeoutMs; }

    bool setWindowProperty(HWND window, const QString& name, KWindowMessageHandler handler) override;
    void removeWindowProperties(HWND window) override;
    HWND findWindowByProperty(const QString& name) override;
    QString windowAddress(HWND window) const override;
    bool postMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    bool sendCopyData(HWND window, ULONG_PTR dwData, const QByteArray& data, LRESULT* result) override;
    bool forceForegroundWindow(HWND window) override;

    // Hands a frame that arrived for the property `name` to its window. Returns whether the
    // window handled it; `result` is its answer (0 when unhandled).
    bool deliver(const QString& name, const KMessageFrame& frame, LRESULT* result);

    static constexpr int DefaultReplyTimeoutMs = 5000;
    static constexpr int DefaultPartialFrameTimeoutMs = 10000;
    static constexpr int ConnectTimeoutMs = 1000;
    static constexpr int ClaimLockTimeoutMs = 3000;

private:
    // A property of a window of this process.
    struct Owned
    {
        HWND window = nullptr;
        KWindowMessageHandler handler;
        QLocalServer* server = nullptr;
    };
    // A property as a sender sees it; its address is the handle findWindowByProperty() gives.
    struct Endpoint
    {
        QString name;
        QPointer<QLocalSocket> connection; // kept open for posts, on the GUI thread
    };

    bool ensureFolder() const;
    bool isLive(const QString& path) const;
    Endpoint* endpointFor(const QString& name);
    // The property behind a handle; empty when the handle is not one of ours.
    QString nameOf(HWND handle) const;
    bool isOwnedHere(const QString& name) const;
    QLocalSocket* postConnection(Endpoint* endpoint);
    bool writeFrame(const QString& name, const QByteArray& bytes);

    const QString m_folder;
    const Activator m_activate;
    int m_replyTimeoutMs = DefaultReplyTimeoutMs;
    int m_partialFrameTimeoutMs = DefaultPartialFrameTimeoutMs;

    mutable std::mutex m_mutex; // guards the two tables; sockets stay on the GUI thread
    QHash<QString, Owned> m_owned;
    std::map<QString, std::unique_ptr<Endpoint>> m_endpoints;
};
