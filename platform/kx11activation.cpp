#include "platform/kx11activation.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>
#include <QVariant>

#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace {

// EWMH source indication of a pager: a request that comes straight from the user.
constexpr quint32 SourcePager = 2;

struct Disconnect
{
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};

template<typename Reply> std::unique_ptr<Reply, decltype(&std::free)> owned(Reply* reply)
{
    return std::unique_ptr<Reply, decltype(&std::free)>(reply, &std::free);
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const auto reply = owned(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, quint16(qstrlen(name)), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

bool kActivateX11Window(quint32 window)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") || window == 0)
        return false;
    const std::unique_ptr<xcb_connection_t, Disconnect> connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get()))
        return false;
    xcb_connection_t* c = connection.get();

    // The window's root is where the window manager listens.
    const auto geometry = owned(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    const xcb_atom_t activeWindow = atom(c, "_NET_ACTIVE_WINDOW");
    if (!geometry || activeWindow == XCB_ATOM_NONE)
        return false;

    xcb_map_window(c, window);
    const quint32 above[] = { XCB_STACK_MODE_ABOVE };
    xcb_configure_window(c, window, XCB_CONFIG_WINDOW_STACK_MODE, above);

    xcb_client_message_event_t request {};
    request.response_type = XCB_CLIENT_MESSAGE;
    request.format = 32;
    request.window = window;
    request.type = activeWindow;
    request.data.data32[0] = SourcePager;
    request.data.data32[1] = XCB_CURRENT_TIME;
    request.data.data32[2] = XCB_WINDOW_NONE; // no window of ours is active
    xcb_send_event(c, 0, geometry->root,
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
        reinterpret_cast<const char*>(&request));
    // A round trip, so that the requests have reached the server before the connection closes.
    const auto focus = owned(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return focus != nullptr;
}

bool kApplicationUsesX11()
{
    // Read as a property, so that the engine needs no QtGui: only a GUI application has it.
    const QCoreApplication* app = QCoreApplication::instance();
    return app && app->property("platformName").toString() == QLatin1String("xcb");
}
