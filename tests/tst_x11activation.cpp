#include "platform/kx11activation.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QtTest>

#include <cstdlib>
#include <xcb/xcb.h>

// Activation on a private X server, where the test plays the window manager: it takes the
// redirection of the root window's children, so requests to map and restack them reach it, and
// it hears the client messages sent to the root.
class TestX11Activation : public QObject
{
    Q_OBJECT

private slots:
    void activationAsksTheWindowManager();
};

void TestX11Activation::activationAsksTheWindowManager()
{
    // The server writes its display number to the descriptor given, here its standard output.
    QProcess server;
    server.start(
        QStringLiteral("Xvfb"), QStringLiteral("-displayfd 1 -nolisten tcp").split(QLatin1Char(' ')));
    QVERIFY2(server.waitForStarted(), "Xvfb is needed (tools/install-deps installs it)");
    QTRY_VERIFY_WITH_TIMEOUT(server.canReadLine(), 20000);
    qputenv("DISPLAY", ":" + server.readLine().trimmed());

    xcb_connection_t* manager = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(manager)).data;
    const quint32 redirect[] = { XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY };
    QVERIFY(!xcb_request_check(
        manager, xcb_change_window_attributes_checked(manager, screen->root, XCB_CW_EVENT_MASK, redirect)));
    // A hidden window of another client, as the plug-in's window is to the connection that asks.
    xcb_connection_t* client = xcb_connect(nullptr, nullptr);
    const xcb_window_t window = xcb_generate_id(client);
    xcb_create_window(client, XCB_COPY_FROM_PARENT, window, screen->root, 10, 10, 200, 100, 0,
        XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_flush(client);

    QVERIFY(kActivateX11Window(window));
    QVERIFY(!kActivateX11Window(0x1fffff)); // no such window

    bool mapped = false;
    bool raised = false;
    quint32 activationSource = 0;
    for (QDeadlineTimer deadline(5000); !activationSource && !deadline.hasExpired();) {
        xcb_generic_event_t* event = xcb_poll_for_event(manager);
        if (!event) {
            QThread::msleep(5);
            continue;
        }
        const auto type = event->response_type & ~0x80;
        if (type == XCB_MAP_REQUEST) {
            mapped |= reinterpret_cast<xcb_map_request_event_t*>(event)->window == window;
        } else if (type == XCB_CONFIGURE_REQUEST) {
            const auto* request = reinterpret_cast<xcb_configure_request_event_t*>(event);
            raised |= request->window == window && (request->value_mask & XCB_CONFIG_WINDOW_STACK_MODE)
                && request->stack_mode == XCB_STACK_MODE_ABOVE;
        } else if (type == XCB_CLIENT_MESSAGE) {
            const auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
            xcb_get_atom_name_reply_t* name
                = xcb_get_atom_name_reply(manager, xcb_get_atom_name(manager, message->type), nullptr);
            if (message->window == window && name
                && QByteArray(xcb_get_atom_name_name(name), xcb_get_atom_name_name_length(name))
                    == "_NET_ACTIVE_WINDOW")
                activationSource = message->data.data32[0];
            std::free(name);
        }
        std::free(event);
    }
    xcb_disconnect(client);
    xcb_disconnect(manager);
    server.terminate();
    server.waitForFinished();
    QVERIFY(mapped);
    QVERIFY(raised);
    // As a pager asks: a user's direct choice, which focus-stealing prevention lets through.
    QCOMPARE(activationSource, 2u);
}

QTEST_GUILESS_MAIN(TestX11Activation)
#include "tst_x11activation.moc"
