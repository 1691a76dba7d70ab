#include <poll.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>

#include "window/devtools/game_window_keeper.h"

#include "base/core/mutex.h"
#include "embedded/game_icon.h"

namespace gameshell {

namespace {

// What the watching thread reads on its pipe.
constexpr char kStop = 1;
constexpr char kLookAgain = 2;

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
  Reply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name),
      nullptr));
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::string Property(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property) {
  Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
      connection,
      xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1024),
      nullptr));
  if (!reply || reply->format != 8) {
    return {};
  }
  return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                     static_cast<size_t>(xcb_get_property_value_length(reply.get())));
}

class X11GameWindowKeeper : public GameWindowKeeper {
 public:
  X11GameWindowKeeper(xcb_connection_t* connection, int stop_fds[2], long browser_pid, Rules rules)
      : connection_(connection),
        stop_read_(stop_fds[0]),
        stop_write_(stop_fds[1]),
        browser_pid_(browser_pid),
        rules_(std::move(rules)) {
    net_wm_name_ = Atom(connection_, "_NET_WM_NAME");
    net_wm_pid_ = Atom(connection_, "_NET_WM_PID");
    net_wm_icon_ = Atom(connection_, "_NET_WM_ICON");
    net_frame_extents_ = Atom(connection_, "_NET_FRAME_EXTENTS");
    utf8_ = Atom(connection_, "UTF8_STRING");
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    const uint32_t root_events = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &root_events);
    // Windows made before the watch began.
    Reply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root_), nullptr));
    if (tree) {
      const xcb_window_t* children = xcb_query_tree_children(tree.get());
      for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        Watch(children[i]);
        Keep(children[i]);
      }
    }
    xcb_flush(connection_);
    thread_ = std::thread([this] { Run(); });
  }

  uintptr_t GameWindow() const override { return found_.load(); }
  std::optional<FrameMargins> WindowFrame() const override {
    MutexLock lock(&mutex_);
    return frame_;
  }

  void SetPopupTitles(std::map<std::string, std::string> titles) override {
    {
      MutexLock lock(&mutex_);
      popup_titles_ = std::move(titles);
    }
    (void)!::write(stop_write_, &kLookAgain, 1);
  }

  ~X11GameWindowKeeper() override {
    (void)!::write(stop_write_, &kStop, 1);
    thread_.join();
    ::close(stop_read_);
    ::close(stop_write_);
    xcb_disconnect(connection_);
  }

 private:
  void Watch(xcb_window_t window) {
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection_, window, XCB_CW_EVENT_MASK, &events);
  }

  // A window of the browser's the player sees, of the shell's class.
  bool IsBrowserWindow(xcb_window_t window) {
    // WM_CLASS: the instance's name, a NUL, the class, a NUL.
    const std::string wm_class = Property(connection_, window, XCB_ATOM_WM_CLASS);
    const size_t split = wm_class.find('\0');
    if (split == std::string::npos ||
        wm_class.compare(split + 1, rules_.window_class.size() + 1,
                         rules_.window_class + std::string(1, '\0')) != 0) {
      return false;
    }
    Reply<xcb_get_property_reply_t> pid(xcb_get_property_reply(
        connection_, xcb_get_property(connection_, 0, window, net_wm_pid_, XCB_ATOM_CARDINAL, 0, 1),
        nullptr));
    if (pid && pid->format == 32 && xcb_get_property_value_length(pid.get()) == 4 &&
        *static_cast<const uint32_t*>(xcb_get_property_value(pid.get())) !=
            static_cast<uint32_t>(browser_pid_)) {
      return false;
    }
    Reply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
        connection_, xcb_get_window_attributes(connection_, window), nullptr));
    // The browser's hidden leader window shares the class; only the window a player sees counts.
    return attributes && attributes->map_state != XCB_MAP_STATE_UNMAPPED;
  }

  // `changed`: the property that changed, or none when the window was mapped or first seen.
  void Keep(xcb_window_t window, xcb_atom_t changed = XCB_ATOM_NONE) {
    // The first window the player sees is the game's; later ones are popups (or the developer
    // tools, which keep the browser's names).
    if (kept_ == XCB_WINDOW_NONE) {
      if (!IsBrowserWindow(window)) {
        return;
      }
      kept_ = window;
      found_ = window;
      changed = XCB_ATOM_NONE;  // all of it is the shell's from now on
    } else if (window != kept_) {
      if (popups_.count(window) > 0 || IsBrowserWindow(window)) {
        popups_.insert(window);
        KeepPopupTitle(window);
      }
      return;
    }
    const std::string& title = rules_.title;
    if (Property(connection_, window, net_wm_name_) != title) {
      xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, net_wm_name_, utf8_, 8,
                          static_cast<uint32_t>(title.size()), title.data());
    }
    if (Property(connection_, window, XCB_ATOM_WM_NAME) != title) {
      xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME,
                          XCB_ATOM_STRING, 8, static_cast<uint32_t>(title.size()), title.data());
    }
    KeepSizeLimits(window);
    // The icon is large: read only when it may have changed.
    if (changed == XCB_ATOM_NONE || changed == net_wm_icon_) {
      KeepIcon(window);
    }
    if (changed == XCB_ATOM_NONE || changed == net_frame_extents_) {
      ReadFrame(window);
    }
    xcb_flush(connection_);
  }

  // The browser knows nothing of a frame its window manager draws: the shell fits the window with
  // it on the screen.
  void ReadFrame(xcb_window_t window) {
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, window, net_frame_extents_, XCB_ATOM_CARDINAL, 0, 4),
        nullptr));
    if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 16) {
      return;
    }
    const auto* sides = static_cast<const uint32_t*>(xcb_get_property_value(reply.get()));
    constexpr uint32_t kMost = 1000;  // anything larger is no frame
    if (std::max({sides[0], sides[1], sides[2], sides[3]}) > kMost) {
      return;
    }
    MutexLock lock(&mutex_);
    frame_ = FrameMargins{static_cast<int>(sides[0]), static_cast<int>(sides[2]),
                          static_cast<int>(sides[1]), static_cast<int>(sides[3])};
  }

  // The game's icon, whatever the browser makes of the page's.
  void KeepIcon(xcb_window_t window) {
    constexpr uint32_t kWords = sizeof kGameIcon / sizeof kGameIcon[0];
    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection_,
        xcb_get_property(connection_, 0, window, net_wm_icon_, XCB_ATOM_CARDINAL, 0, kWords + 1),
        nullptr));
    if (reply && reply->format == 32 &&
        static_cast<uint32_t>(xcb_get_property_value_length(reply.get())) == kWords * 4 &&
        std::memcmp(xcb_get_property_value(reply.get()), kGameIcon, kWords * 4) == 0) {
      return;
    }
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, net_wm_icon_, XCB_ATOM_CARDINAL,
                        32, kWords, kGameIcon);
  }

  void KeepPopupTitle(xcb_window_t window) {
    const std::string shown = Property(connection_, window, net_wm_name_);
    std::string wanted;
    {
      MutexLock lock(&mutex_);
      const auto title = popup_titles_.find(shown);
      if (title == popup_titles_.end()) {
        return;
      }
      wanted = title->second;
    }
    if (wanted == shown) {
      return;
    }
    for (const xcb_atom_t name : {net_wm_name_, static_cast<xcb_atom_t>(XCB_ATOM_WM_NAME)}) {
      xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, name,
                          name == net_wm_name_ ? utf8_ : static_cast<xcb_atom_t>(XCB_ATOM_STRING),
                          8, static_cast<uint32_t>(wanted.size()), wanted.data());
    }
    xcb_flush(connection_);
  }

  // WM_NORMAL_HINTS: the flags, then x, y, width, height, the smallest and the largest size, ...
  // (18 numbers); the rest of what the browser put there stays.
  void KeepSizeLimits(xcb_window_t window) {
    constexpr uint32_t kMinSize = 1 << 4;
    constexpr uint32_t kMaxSize = 1 << 5;
    constexpr size_t kFields = 18;
    uint32_t hints[kFields] = {};
    Reply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(connection_,
                               xcb_get_property(connection_, 0, window, XCB_ATOM_WM_NORMAL_HINTS,
                                                XCB_ATOM_WM_SIZE_HINTS, 0, kFields),
                               nullptr));
    if (reply && reply->format == 32) {
      const size_t have = std::min<size_t>(
          kFields, static_cast<size_t>(xcb_get_property_value_length(reply.get())) / 4);
      std::memcpy(hints, xcb_get_property_value(reply.get()), have * 4);
    }
    const uint32_t wanted[] = {
        hints[0] | kMinSize | kMaxSize, static_cast<uint32_t>(rules_.minimum.width),
        static_cast<uint32_t>(rules_.minimum.height), static_cast<uint32_t>(rules_.maximum.width),
        static_cast<uint32_t>(rules_.maximum.height)};
    if (hints[0] == wanted[0] && std::equal(wanted + 1, wanted + 5, hints + 5)) {
      return;
    }
    hints[0] = wanted[0];
    std::copy(wanted + 1, wanted + 5, hints + 5);
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NORMAL_HINTS,
                        XCB_ATOM_WM_SIZE_HINTS, 32, kFields, hints);
  }

  void Run() {
    pollfd fds[2] = {{xcb_get_file_descriptor(connection_), POLLIN, 0}, {stop_read_, POLLIN, 0}};
    while (!xcb_connection_has_error(connection_)) {
      while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        Handle(event);
        std::free(event);
      }
      if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
        return;
      }
      if (fds[1].revents) {
        char what = kStop;
        if (::read(stop_read_, &what, 1) != 1 || what == kStop) {
          return;
        }
        for (const xcb_window_t popup : popups_) {
          KeepPopupTitle(popup);
        }
      }
    }
  }

  void Handle(xcb_generic_event_t* event) {
    switch (event->response_type & 0x7f) {
      case XCB_CREATE_NOTIFY: {
        const auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event);
        if (created->parent == root_) {
          Watch(created->window);
          xcb_flush(connection_);
        }
        break;
      }
      case XCB_DESTROY_NOTIFY:
        popups_.erase(reinterpret_cast<xcb_destroy_notify_event_t*>(event)->window);
        break;
      case XCB_MAP_NOTIFY:
        Keep(reinterpret_cast<xcb_map_notify_event_t*>(event)->window);
        break;
      case XCB_PROPERTY_NOTIFY: {
        const auto* changed = reinterpret_cast<xcb_property_notify_event_t*>(event);
        if (changed->atom == net_wm_name_ || changed->atom == XCB_ATOM_WM_NAME ||
            changed->atom == XCB_ATOM_WM_NORMAL_HINTS || changed->atom == net_wm_icon_ ||
            changed->atom == net_frame_extents_) {
          Keep(changed->window, changed->atom);
        }
        break;
      }
      default:
        break;
    }
  }

  xcb_connection_t* const connection_;
  const int stop_read_;
  const int stop_write_;
  const long browser_pid_;
  const Rules rules_;
  xcb_window_t root_ = 0;
  xcb_atom_t net_wm_name_ = XCB_ATOM_NONE;
  xcb_atom_t net_wm_pid_ = XCB_ATOM_NONE;
  xcb_atom_t net_wm_icon_ = XCB_ATOM_NONE;
  xcb_atom_t net_frame_extents_ = XCB_ATOM_NONE;
  xcb_atom_t utf8_ = XCB_ATOM_NONE;
  xcb_window_t kept_ = XCB_WINDOW_NONE;  // on the watching thread, once the constructor is done
  std::atomic<uintptr_t> found_{0};      // kept_, for other threads
  std::set<xcb_window_t> popups_;        // the browser's other windows, on the watching thread
  mutable Mutex mutex_;
  std::map<std::string, std::string> popup_titles_ GUARDED_BY(mutex_);
  std::optional<FrameMargins> frame_ GUARDED_BY(mutex_);
  std::thread thread_;
};

}  // namespace

std::unique_ptr<GameWindowKeeper> GameWindowKeeper::Start(long browser_pid, Rules rules) {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    xcb_disconnect(connection);
    return nullptr;
  }
  int stop_fds[2];
  if (::pipe(stop_fds) != 0) {
    xcb_disconnect(connection);
    return nullptr;
  }
  return std::make_unique<X11GameWindowKeeper>(connection, stop_fds, browser_pid, std::move(rules));
}

}  // namespace gameshell
