#include "window/qt/frame_extents.h"

#include <QGuiApplication>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "base/qt/ui_thread.h"

#if defined(GAMESHELL_HAVE_XCB)
#include <xcb/xcb.h>
#endif

namespace gameshell {

#if defined(GAMESHELL_HAVE_XCB)
namespace {

// Window managers answer within a round trip; one that does not gets no more of the start.
constexpr auto kAnswerWithin = std::chrono::milliseconds(100);

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
      nullptr));
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::vector<uint32_t> Cardinals(xcb_connection_t* connection,
                                xcb_window_t window,
                                xcb_atom_t property,
                                xcb_atom_t type,
                                uint32_t count) {
  XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      connection, xcb_get_property(connection, 0, window, property, type, 0, count), nullptr));
  if (!reply || reply->format != 32 || reply->type != type) {
    return {};
  }
  const auto* values = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
  const int length = xcb_get_property_value_length(reply.get()) / 4;
  return std::vector<uint32_t>(values, values + std::max(length, 0));
}

}  // namespace

std::optional<FrameMargins> AskFrameExtents(QWidget* window) {
  GS_REQUIRE_UI_THREAD();
  auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (!connection || !window) {
    return std::nullopt;
  }
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  const xcb_atom_t request = Atom(connection, "_NET_REQUEST_FRAME_EXTENTS");
  const xcb_atom_t extents = Atom(connection, "_NET_FRAME_EXTENTS");
  const std::vector<uint32_t> supported =
      Cardinals(connection, root, Atom(connection, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 4096);
  if (request == XCB_ATOM_NONE ||
      std::find(supported.begin(), supported.end(), request) == supported.end()) {
    return std::nullopt;
  }
  // The native window exists from here on, still unmapped.
  const auto native = static_cast<xcb_window_t>(window->winId());
  xcb_client_message_event_t message{};
  message.response_type = XCB_CLIENT_MESSAGE;
  message.format = 32;
  message.window = native;
  message.type = request;
  xcb_send_event(connection, 0, root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                 reinterpret_cast<const char*>(&message));
  xcb_flush(connection);
  const auto deadline = std::chrono::steady_clock::now() + kAnswerWithin;
  do {
    const std::vector<uint32_t> sides =
        Cardinals(connection, native, extents, XCB_ATOM_CARDINAL, 4);
    if (sides.size() == 4) {
      // Left, right, top, bottom, in the display's pixels.
      const qreal ratio = window->devicePixelRatioF() > 0 ? window->devicePixelRatioF() : 1.0;
      auto logical = [ratio](uint32_t pixels) { return static_cast<int>(pixels / ratio + 0.5); };
      return FrameMargins{logical(sides[0]), logical(sides[2]), logical(sides[1]),
                          logical(sides[3])};
    }
    QThread::msleep(2);
  } while (std::chrono::steady_clock::now() < deadline);
  return std::nullopt;
}

#else

std::optional<FrameMargins> AskFrameExtents(QWidget*) {
  return std::nullopt;
}

#endif

}  // namespace gameshell
