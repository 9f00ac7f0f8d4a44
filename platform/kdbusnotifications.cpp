#include "platform/kdbusnotifications.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QtConcurrent>

Q_LOGGING_CATEGORY(lcNotifications, "vaultkeep.notifications", QtInfoMsg)

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = Service;
const QString BusService = QStringLiteral("org.freedesktop.DBus");
const QString BusPath = QStringLiteral("/org/freedesktop/DBus");
const QString BusInterface = BusService;
constexpr int CapabilitiesTimeoutMs = 5000;
constexpr int NeverExpires = 0;

QDBusConnection busNamed(const QString& connectionName)
{
    return connectionName.isEmpty() ? QDBusConnection::sessionBus() : QDBusConnection(connectionName);
}

QDBusMessage serverCall(const QString& method)
{
    return QDBusMessage::createMethodCall(Service, Path, Interface, method);
}

// On a pool thread: everything that may wait on the bus. `receiver` is only handed to the bus.
KDBusNotifications::BusState connectAndSubscribe(
    const QString& busAddress, const QString& connectionName, QObject* receiver)
{
    KDBusNotifications::BusState state;
    QDBusConnection bus = busAddress.isEmpty() ? QDBusConnection::sessionBus()
                                               : QDBusConnection::connectToBus(busAddress, connectionName);
    if (!bus.isConnected())
        return state;
    state.connected = true;
    // Subscribed before the server is looked up, so that no change of server is missed.
    bus.connect(BusService, BusPath, BusInterface, QStringLiteral("NameOwnerChanged"), { Service }, QString(),
        receiver, SLOT(onNameOwnerChanged(QString, QString, QString)));
    bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), receiver,
        SLOT(onActionInvoked(uint, QString)));
    bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), receiver,
        SLOT(onNotificationClosed(uint, uint)));
    state.serverPresent = bus.interface()->isServiceRegistered(Service);
    if (state.serverPresent) {
        const QDBusMessage reply
            = bus.call(serverCall(QStringLiteral("GetCapabilities")), QDBus::Block, CapabilitiesTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
            state.capabilities = reply.arguments().constFirst().toStringList();
    }
    return state;
}

} // namespace

KDesktopNotifications::KDesktopNotifications(QObject* parent)
    : QObject(parent)
{ }

KDesktopNotifications::~KDesktopNotifications() = default;

KDBusNotifications::KDBusNotifications(
    const QString& appName, const QString& desktopEntry, const QString& busAddress, QObject* parent)
    : KDesktopNotifications(parent)
    , m_appName(appName)
    , m_desktopEntry(desktopEntry)
    , m_busAddress(busAddress)
    , m_connectionName(busAddress.isEmpty()
              ? QString()
              : QStringLiteral("vaultkeep-notifications-%1").arg(quintptr(this), 0, 16))
{
    connect(&m_connecting, &QFutureWatcher<void>::finished, this, &KDBusNotifications::onConnected);
    m_connecting.setFuture(QtConcurrent::run([this, address = m_busAddress, name = m_connectionName] {
        const BusState state = connectAndSubscribe(address, name, this);
        const std::lock_guard<std::mutex> lock(m_connectedMutex);
        m_connectedState = state;
    }));
}

KDBusNotifications::~KDBusNotifications()
{
    m_connecting.waitForFinished();
    if (!m_connectionName.isEmpty())
        QDBusConnection::disconnectFromBus(m_connectionName);
}

bool KDBusNotifications::isAvailable() const
{
    return m_connected && m_serverPresent;
}

bool KDBusNotifications::showsActions() const
{
    return isAvailable() && m_capabilities.contains(QLatin1String("actions"));
}

void KDBusNotifications::onConnected()
{
    BusState state;
    {
        const std::lock_guard<std::mutex> lock(m_connectedMutex);
        state = m_connectedState;
    }
    m_connected = state.connected;
    if (!m_connected)
        qCInfo(lcNotifications) << "no session bus: tips show in the corner of the screen";
    // A change of server heard meanwhile is newer than what the connecting thread saw.
    if (!m_ownerChangeHeard) {
        setServer(state.serverPresent, state.capabilities);
    } else if (isAvailable()) {
        askCapabilities();
        emit availabilityChanged(true);
    }
}

void KDBusNotifications::setServer(bool present, const QStringList& capabilities)
{
    const bool wasAvailable = isAvailable();
    m_serverPresent = present;
    m_capabilities = capabilities;
    if (isAvailable() != wasAvailable)
        emit availabilityChanged(isAvailable());
}

void KDBusNotifications::onNameOwnerChanged(
    const QString& name, const QString& oldOwner, const QString& newOwner)
{
    Q_UNUSED(oldOwner)
    if (name != Service)
        return;
    m_ownerChangeHeard = true;
    // The notifications of a server that went are gone with it.
    const QList<quint32> shown = m_idsByServerId.values();
    m_idsByServerId.clear();
    for (quint32 id : shown)
        emit closed(id);
    setServer(!newOwner.isEmpty(), {});
    if (!newOwner.isEmpty() && m_connected)
        askCapabilities();
}

void KDBusNotifications::askCapabilities()
{
    auto* watcher = new QDBusPendingCallWatcher(
        busNamed(m_connectionName).asyncCall(serverCall(QStringLiteral("GetCapabilities"))), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<QStringList> reply = *call;
        if (reply.isValid() && m_serverPresent)
            setServer(true, reply.value());
    });
}

quint32 KDBusNotifications::notify(const Notification& notification)
{
    const quint32 id = ++m_lastId;
    if (!isAvailable()) {
        QMetaObject::invokeMethod(
            this, [this, id] { emit failed(id); }, Qt::QueuedConnection);
        return id;
    }
    QStringList actions;
    for (const Action& action : notification.actions)
        actions << action.key << action.text;
    const QVariantMap hints { { QStringLiteral("desktop-entry"), m_desktopEntry } };
    QDBusMessage call = serverCall(QStringLiteral("Notify"));
    // The body may be read as markup.
    call << m_appName << uint(0) << m_desktopEntry << notification.summary
         << notification.body.toHtmlEscaped() << actions << hints << NeverExpires;
    m_pending.insert(id, false);
    auto* watcher = new QDBusPendingCallWatcher(busNamed(m_connectionName).asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, id](QDBusPendingCallWatcher* sent) {
        sent->deleteLater();
        const bool closeAtOnce = m_pending.take(id);
        const QDBusPendingReply<uint> reply = *sent;
        if (!reply.isValid()) {
            qCWarning(lcNotifications)
                << "the notification server refused a notification:" << reply.error().message();
            emit failed(id);
        } else if (closeAtOnce) {
            closeOnServer(reply.value());
        } else {
            m_idsByServerId.insert(reply.value(), id);
        }
    });
    return id;
}

void KDBusNotifications::close(quint32 id)
{
    const uint serverId = m_idsByServerId.key(id);
    if (serverId != 0)
        closeOnServer(serverId);
    else if (m_pending.contains(id))
        m_pending[id] = true; // once the server has said which it is
}

void KDBusNotifications::closeOnServer(uint serverId)
{
    QDBusMessage call = serverCall(QStringLiteral("CloseNotification"));
    call << serverId;
    busNamed(m_connectionName).send(call);
}

void KDBusNotifications::onActionInvoked(uint serverId, const QString& key)
{
    const auto found = m_idsByServerId.constFind(serverId);
    if (found != m_idsByServerId.constEnd())
        emit actionInvoked(found.value(), key);
}

void KDBusNotifications::onNotificationClosed(uint serverId, uint reason)
{
    Q_UNUSED(reason)
    const quint32 id = m_idsByServerId.take(serverId);
    if (id != 0)
        emit closed(id);
}
