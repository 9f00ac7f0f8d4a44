#pragma once

#include "platform/kdesktopnotifications.h"

#include <QFutureWatcher>
#include <QHash>
#include <QStringList>

#include <mutex>

// The freedesktop notification server, org.freedesktop.Notifications on a D-Bus bus. Connecting to
// the bus and subscribing to the server's signals can wait on the bus, so that runs on a pool
// thread; every call after it is asynchronous.
class KDBusNotifications final : public KDesktopNotifications
{
    Q_OBJECT

public:
    // Notifications of the application `appName`, whose desktop entry (and icon) is named
    // `desktopEntry`, on the session bus or, for tests, on the bus at `busAddress`.
    KDBusNotifications(const QString& appName, const QString& desktopEntry,
        const QString& busAddress = QString(), QObject* parent = nullptr);
    // Waits for the connection under way, if any.
    ~KDBusNotifications() override;

    bool isAvailable() const override;
    bool showsActions() const override;
    quint32 notify(const Notification& notification) override;
    void close(quint32 id) override;

    struct BusState
    {
        bool connected = false;
        bool serverPresent = false;
        QStringList capabilities;
    };

private slots:
    void onActionInvoked(uint serverId, const QString& key);
    void onNotificationClosed(uint serverId, uint reason);
    void onNameOwnerChanged(const QString& name, const QString& oldOwner, const QString& newOwner);

private:
    void onConnected();
    void setServer(bool present, const QStringList& capabilities);
    void askCapabilities();
    void closeOnServer(uint serverId);

    const QString m_appName;
    const QString m_desktopEntry;
    const QString m_busAddress;
    const QString m_connectionName;
    QFutureWatcher<void> m_connecting;
    std::mutex m_connectedMutex; // hands the connecting thread's findings over
    BusState m_connectedState;
    bool m_connected = false;
    bool m_ownerChangeHeard = false; // newer than what the connecting thread saw
    bool m_serverPresent = false;
    QStringList m_capabilities;
    quint32 m_lastId = 0;
    QHash<uint, quint32> m_idsByServerId;
    QHash<quint32, bool> m_pending; // sent, not answered yet: whether to close it once it is

    Q_DISABLE_COPY(KDBusNotifications)
};
