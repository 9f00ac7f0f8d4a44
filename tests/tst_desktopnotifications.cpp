#include "platform/kdbusnotifications.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

// The notification server, played by the test on a bus of its own.
class KTestServer : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QList<QVariantList> received;
    QList<uint> closedIds;
    bool refusing = false;

public slots:
    QStringList GetCapabilities() { return { QStringLiteral("actions"), QStringLiteral("body") }; }
    uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
        const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout)
    {
        if (refusing) {
            sendErrorReply(QDBusError::Failed, QStringLiteral("refused"));
            return 0;
        }
        received << QVariantList { appName, replacesId, icon, summary, body, actions,
            hints.value(QStringLiteral("desktop-entry")), timeout };
        return uint(100 + received.size());
    }
    void CloseNotification(uint id) { closedIds << id; }
};

class TestDesktopNotifications : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void aServerOnTheBus();

private:
    QTemporaryDir m_dir;
    QProcess m_bus;
    QString m_address;
};

void TestDesktopNotifications::initTestCase()
{
    QFile config(m_dir.filePath(QStringLiteral("bus.conf")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(
        QStringLiteral("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                       "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                       "<allow eavesdrop=\"true\"/><allow own=\"*\"/>"
                       "</policy></busconfig>")
            .arg(m_dir.path())
            .toUtf8());
    config.close();
    m_bus.start(QStringLiteral("dbus-daemon"),
        { QStringLiteral("--nofork"), QStringLiteral("--print-address"), QStringLiteral("--config-file"),
            config.fileName() });
    if (!m_bus.waitForStarted() || !m_bus.waitForReadyRead(10000))
        QSKIP("no D-Bus daemon could be started for a bus of the test's own");
    m_address = QString::fromUtf8(m_bus.readLine()).trimmed();
}

void TestDesktopNotifications::cleanupTestCase()
{
    QDBusConnection::disconnectFromBus(QStringLiteral("server"));
    m_bus.kill();
    m_bus.waitForFinished();
}

// What is sent, what comes back, and whether a server is there, over a real bus.
void TestDesktopNotifications::aServerOnTheBus()
{
    KDBusNotifications notifications(
        QStringLiteral("Vaultkeep"), QStringLiteral("io.example.app"), m_address);
    QSignalSpy availability(&notifications, &KDesktopNotifications::availabilityChanged);
    QSignalSpy actions(&notifications, &KDesktopNotifications::actionInvoked);
    QSignalSpy closed(&notifications, &KDesktopNotifications::closed);
    QSignalSpy failed(&notifications, &KDesktopNotifications::failed);
    QVERIFY(!notifications.isAvailable());

    // The server comes after the notifications were set up.
    KTestServer server;
    QDBusConnection bus = QDBusConnection::connectToBus(m_address, QStringLiteral("server"));
    QVERIFY(bus.registerObject(Path, &server, QDBusConnection::ExportAllSlots));
    QVERIFY(bus.registerService(Service));
    const auto emitSignal = [&bus](const char* name, const QVariantList& arguments) {
        QDBusMessage signal = QDBusMessage::createSignal(Path, Service, QString::fromLatin1(name));
        signal.setArguments(arguments);
        return bus.send(signal);
    };
    QTRY_VERIFY(notifications.showsActions());
    QCOMPARE(availability, QList<QVariantList> { { true } });

    const quint32 id = notifications.notify({ QStringLiteral("备份盘空间不足"), QStringLiteral("a < b & c"),
        { { QStringLiteral("default"), QStringLiteral("打开") },
            { QStringLiteral("0"), QStringLiteral("更换") } } });
    QTRY_COMPARE(server.received.size(), 1);
    QCOMPARE(server.received.first(),
        QVariantList({ QStringLiteral("Vaultkeep"), 0u, QStringLiteral("io.example.app"),
            QStringLiteral("备份盘空间不足"), QStringLiteral("a &lt; b &amp; c"),
            QStringList { QStringLiteral("default"), QStringLiteral("打开"), QStringLiteral("0"),
                QStringLiteral("更换") },
            QStringLiteral("io.example.app"), 0 }));

    // Only the server's number of this notification is ours.
    QVERIFY(emitSignal("ActionInvoked", { 999u, QStringLiteral("0") }));
    QVERIFY(emitSignal("ActionInvoked", { 101u, QStringLiteral("0") }));
    QTRY_COMPARE(actions.size(), 1);
    QCOMPARE(actions.first(), QVariantList({ id, QStringLiteral("0") }));
    notifications.close(id);
    QTRY_COMPARE(server.closedIds, QList<uint> { 101u });
    QVERIFY(emitSignal("NotificationClosed", { 101u, 3u }));
    QTRY_COMPARE(closed.size(), 1);
    QCOMPARE(closed.first().first().value<quint32>(), id);

    server.refusing = true;
    const quint32 refused = notifications.notify({ QStringLiteral("x"), QString(), {} });
    QTRY_COMPARE(failed.size(), 1);
    QCOMPARE(failed.first().first().value<quint32>(), refused);

    QVERIFY(bus.unregisterService(Service));
    QTRY_VERIFY(!notifications.isAvailable());
    QCOMPARE(availability.last(), QVariantList { false });
}

QTEST_MAIN(TestDesktopNotifications)
#include "tst_desktopnotifications.moc"
