#include "platform/kx11activation.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QtTest>

#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace {

struct Disconnect
{
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

// What the window manager heard about one window.
struct Heard
{
    bool mapRequested = false;
    bool raiseRequested = false;
    bool activationRequested = false;
    quint32 activationSource = 0;
};

} // namespace

// Activation on a private X server, where the test itself plays the window manager: it selects
// the redirection of the root window's children, so requests to map and restack them reach it,
// and it hears the client messages sent to the root.
class TestX11Activation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void activationAsksTheWindowManager();
    void anUnknownWindowIsNotActivated();
    void withoutADisplayNothingIsSent();

private:
    Heard listen(quint32 window);

    QProcess m_server;
    Connection m_manager;
    xcb_window_t m_root = 0;
    xcb_atom_t m_activeWindow = 0;
};

void TestX11Activation::initTestCase()
{
    // The server writes its display number to the descriptor given, here its standard output.
    m_server.start(QStringLiteral("Xvfb"),
        { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
            QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
            QStringLiteral("640x480x24") });
    QVERIFY2(m_server.waitForStarted(), "Xvfb is needed (tools/install-deps installs it)");
    QDeadlineTimer deadline(20000);
    while (!m_server.canReadLine() && !deadline.hasExpired())
        m_server.waitForReadyRead(100);
    const QByteArray display = m_server.readLine().trimmed();
    QVERIFY(!display.isEmpty());
    qputenv("DISPLAY", ":" + display);

    m_manager.reset(xcb_connect(nullptr, nullptr));
    QVERIFY(!xcb_connection_has_error(m_manager.get()));
    m_root = xcb_setup_roots_iterator(xcb_get_setup(m_manager.get())).data->root;
    const quint32 events[] = { XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY };
    xcb_generic_error_t* error = xcb_request_check(m_manager.get(),
        xcb_change_window_attributes_checked(m_manager.get(), m_root, XCB_CW_EVENT_MASK, events));
    QVERIFY2(!error, "another window manager runs on the private server");
    const char name[] = "_NET_ACTIVE_WINDOW";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        m_manager.get(), xcb_intern_atom(m_manager.get(), 0, sizeof(name) - 1, name), nullptr);
    QVERIFY(atom);
    m_activeWindow = atom->atom;
    std::free(atom);
}

void TestX11Activation::cleanupTestCase()
{
    m_manager.reset();
    m_server.terminate();
    m_server.waitForFinished();
}

Heard TestX11Activation::listen(quint32 window)
{
    Heard heard;
    QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired() && !heard.activationRequested) {
        xcb_generic_event_t* event = xcb_poll_for_event(m_manager.get());
        if (!event) {
            QThread::msleep(5);
            continue;
        }
        switch (event->response_type & ~0x80) {
        case XCB_MAP_REQUEST:
            heard.mapRequested |= reinterpret_cast<xcb_map_request_event_t*>(event)->window == window;
            break;
        case XCB_CONFIGURE_REQUEST: {
            const auto* request = reinterpret_cast<xcb_configure_request_event_t*>(event);
            heard.raiseRequested |= request->window == window
                && (request->value_mask & XCB_CONFIG_WINDOW_STACK_MODE)
                && request->stack_mode == XCB_STACK_MODE_ABOVE;
            break;
        }
        case XCB_CLIENT_MESSAGE: {
            const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
            if (message->type == m_activeWindow && message->window == window) {
                heard.activationRequested = true;
                heard.activationSource = message->data.data32[0];
            }
            break;
        }
        default:
            break;
        }
        std::free(event);
    }
    return heard;
}

void TestX11Activation::activationAsksTheWindowManager()
{
    // A hidden window of another client, as the plug-in's own window is to a second connection.
    const Connection client(xcb_connect(nullptr, nullptr));
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(client.get())).data;
    const xcb_window_t window = xcb_generate_id(client.get());
    xcb_create_window(client.get(), XCB_COPY_FROM_PARENT, window, screen->root, 10, 10, 200, 100, 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_flush(client.get());

    QVERIFY(kActivateX11Window(window));
    const Heard heard = listen(window);
    QVERIFY(heard.mapRequested);
    QVERIFY(heard.raiseRequested);
    QVERIFY(heard.activationRequested);
    // As a pager asks: a user's direct choice, which focus-stealing prevention lets through.
    QCOMPARE(heard.activationSource, 2u);
}

void TestX11Activation::anUnknownWindowIsNotActivated()
{
    QVERIFY(!kActivateX11Window(0x1fffff));
}

void TestX11Activation::withoutADisplayNothingIsSent()
{
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    QVERIFY(!kActivateX11Window(0x400001));
    qputenv("DISPLAY", display);
    // A program that does not show X11 windows never asks.
    QVERIFY(!kApplicationUsesX11());
}

QTEST_GUILESS_MAIN(TestX11Activation)
#include "tst_x11activation.moc"
