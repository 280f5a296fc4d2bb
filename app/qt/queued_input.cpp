#include "queued_input.h"

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTimer>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

// Upper bound for the marker's way through the X server; it normally takes a round trip.
constexpr int kMarkerTimeoutMs = 2000;

// Watches for the client message that marks the end of the input queued before it.
class MarkerFilter : public QAbstractNativeEventFilter {
public:
    MarkerFilter(xcb_atom_t marker, QEventLoop& loop) : marker(marker), loop(loop) {}

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
            return false;
        const auto* client = static_cast<const xcb_client_message_event_t*>(message);
        if (client->type != marker)
            return false;
        loop.quit();
        return true;
    }

private:
    xcb_atom_t marker;
    QEventLoop& loop;
};

xcb_atom_t InternMarker(xcb_connection_t* connection) {
    static constexpr char kName[] = "BRISKO_K71_INPUT_MARK";
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, sizeof kName - 1, kName), nullptr);
    if (reply == nullptr)
        return XCB_ATOM_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

} // namespace

void DispatchQueuedInput(QWidget& window) {
    auto* x11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                   : nullptr;
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    const xcb_atom_t marker =
        connection != nullptr ? InternMarker(connection) : xcb_atom_t{XCB_ATOM_NONE};
    if (marker == XCB_ATOM_NONE || !window.isVisible()) {
        // No X server between the user and the program (offscreen): what came is queued here.
        QCoreApplication::processEvents();
        return;
    }

    // Input still on its way (in the X server, in the socket, in Qt's reader thread) comes
    // before a message that the server sends back to us now, since it keeps the order of events.
    xcb_client_message_event_t event;
    std::memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = static_cast<xcb_window_t>(window.winId());
    event.type = marker;
    QEventLoop loop;
    MarkerFilter filter(marker, loop);
    QCoreApplication::instance()->installNativeEventFilter(&filter);
    xcb_send_event(connection, 0, event.window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection);

    QTimer::singleShot(kMarkerTimeoutMs, &loop, &QEventLoop::quit);
    loop.exec(); // dispatches the input before the marker
    QCoreApplication::instance()->removeNativeEventFilter(&filter);
    // What the dispatched input posted in turn.
    QCoreApplication::processEvents();
}
