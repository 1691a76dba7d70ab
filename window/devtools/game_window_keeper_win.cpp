#include <windows.h>
// After windows.h, which they need.
#include <shellapi.h>
#include <shobjidl.h>
// After shobjidl.h, which names the type of its keys.
#include <propkey.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>

#include "base/core/mutex.h"
#include "base/core/text_conversion.h"
#include "window/devtools/game_window_keeper.h"

namespace gameshell {

namespace {

// What the watching thread hears from the shell's.
constexpr UINT kStop = WM_APP + 1;
constexpr UINT kLookAgain = WM_APP + 2;
constexpr UINT kLookEveryMs = 500;
// The game's icon in the shell's program.
constexpr int kIconResource = 100;
// The game's own group on the taskbar, apart from the browser's windows.
constexpr wchar_t kTaskbarIdentity[] = L"Varnholt.Game";

std::wstring Wide(const std::string& text) {
  const std::u16string utf16 = Utf8ToUtf16(text);
  return std::wstring(utf16.begin(), utf16.end());
}

std::string Narrow(const std::wstring& text) {
  return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

std::wstring TitleOf(HWND window) {
  wchar_t title[512] = {};
  // Not SendMessage: a browser that hangs would hang the watch.
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(title), SMTO_ABORTIFHUNG,
                        1000, &copied);
  return title;
}

class WinGameWindowKeeper : public GameWindowKeeper {
 public:
  WinGameWindowKeeper(long browser_pid, Rules rules)
      : browser_pid_(static_cast<DWORD>(browser_pid)), rules_(std::move(rules)) {
    HINSTANCE self = ::GetModuleHandleW(nullptr);
    big_icon_ = static_cast<HICON>(::LoadImageW(self, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                                ::GetSystemMetrics(SM_CXICON),
                                                ::GetSystemMetrics(SM_CYICON), 0));
    small_icon_ = static_cast<HICON>(::LoadImageW(self, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                                  ::GetSystemMetrics(SM_CXSMICON),
                                                  ::GetSystemMetrics(SM_CYSMICON), 0));
    thread_ = std::thread([this] { Run(); });
  }

  ~WinGameWindowKeeper() override {
    while (!::PostThreadMessageW(thread_id_.load(), kStop, 0, 0) && !stopped_.load()) {
      ::Sleep(1);  // the thread has no message queue yet
    }
    thread_.join();
    for (HICON icon : {big_icon_, small_icon_}) {
      if (icon) {
        ::DestroyIcon(icon);
      }
    }
  }

  uintptr_t GameWindow() const override { return found_.load(); }
  // The browser draws its window's whole frame: nothing is around it.
  std::optional<FrameMargins> WindowFrame() const override { return std::nullopt; }

  void SetPopupTitles(std::map<std::string, std::string> titles) override {
    {
      MutexLock lock(&mutex_);
      popup_titles_ = std::move(titles);
    }
    ::PostThreadMessageW(thread_id_.load(), kLookAgain, 0, 0);
  }

 private:
  static void CALLBACK
  OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG, DWORD, DWORD) {
    if (object == OBJID_WINDOW && t_keeper) {
      t_keeper->OnWindowEvent(event, window);
    }
  }

  void Run() {
    MSG message;
    // Makes the thread's queue, so that the shell's messages reach it.
    ::PeekMessageW(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    t_keeper = this;
    thread_id_ = ::GetCurrentThreadId();
    const HWINEVENTHOOK hook =
        ::SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_NAMECHANGE, nullptr, OnEvent,
                          browser_pid_, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    const HWINEVENTHOOK size_hook =
        ::SetWinEventHook(EVENT_SYSTEM_MOVESIZEEND, EVENT_SYSTEM_MOVESIZEEND, nullptr, OnEvent,
                          browser_pid_, 0, WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
    LookAtAll();
    // Where the system tells of no window's events (Wine tells of few), the windows are looked at
    // as often as a player would notice.
    const UINT_PTR timer = ::SetTimer(nullptr, 0, kLookEveryMs, nullptr);
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (message.hwnd == nullptr && message.message == kStop) {
        break;
      }
      if (message.hwnd == nullptr &&
          (message.message == kLookAgain || message.message == WM_TIMER)) {
        LookAtAll();
        continue;
      }
      ::DispatchMessageW(&message);
    }
    ::KillTimer(nullptr, timer);
    for (HWINEVENTHOOK h : {hook, size_hook}) {
      if (h) {
        ::UnhookWinEvent(h);
      }
    }
    t_keeper = nullptr;
    if (SUCCEEDED(com)) {
      ::CoUninitialize();
    }
    stopped_ = true;
  }

  // Windows made before the watch began, or whose titles the shell changed since.
  void LookAtAll() {
    ::EnumWindows(
        [](HWND window, LPARAM self) -> BOOL {
          reinterpret_cast<WinGameWindowKeeper*>(self)->OnWindowEvent(EVENT_OBJECT_SHOW, window);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(this));
  }

  bool IsBrowserTopWindow(HWND window) const {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    return pid == browser_pid_ && ::GetAncestor(window, GA_ROOT) == window &&
           !::GetWindow(window, GW_OWNER) && ::IsWindowVisible(window) &&
           (::GetWindowLongW(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION;
  }

  void OnWindowEvent(DWORD event, HWND window) {
    if (event == EVENT_OBJECT_DESTROY) {
      popups_.erase(window);
      return;
    }
    const HWND game = reinterpret_cast<HWND>(found_.load());
    if (window == game) {
      if (event == EVENT_SYSTEM_MOVESIZEEND) {
        KeepSize(window);
      } else if (TitleOf(window) != Wide(rules_.title)) {
        ::SetWindowTextW(window, Wide(rules_.title).c_str());
      }
      return;
    }
    if (!IsBrowserTopWindow(window)) {
      return;
    }
    // The first window the player sees is the game's; later ones are popups (or the developer
    // tools).
    if (!game) {
      found_ = reinterpret_cast<uintptr_t>(window);
      Keep(window);
      return;
    }
    popups_.insert(window);
    KeepPopupTitle(window);
  }

  // The taskbar groups the game window as the game's, not as one of the browser's, and pins it
  // as the shell that starts the game from the menu.
  void SetTaskbarIdentity(HWND window) {
    IPropertyStore* store = nullptr;
    if (FAILED(::SHGetPropertyStoreForWindow(window, IID_PPV_ARGS(&store)))) {
      return;  // an older system, or Wine
    }
    wchar_t program[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    const std::wstring relaunch = L"\"" + std::wstring(program) + L"\" --in-player-cache --";
    const std::wstring icon = std::wstring(program) + L",-" + std::to_wstring(kIconResource);
    const std::pair<const PROPERTYKEY*, std::wstring> properties[] = {
        {&PKEY_AppUserModel_ID, kTaskbarIdentity},
        {&PKEY_AppUserModel_RelaunchCommand, relaunch},
        {&PKEY_AppUserModel_RelaunchDisplayNameResource, Wide(rules_.title)},
        {&PKEY_AppUserModel_RelaunchIconResource, icon},
    };
    for (const auto& [key, text] : properties) {
      PROPVARIANT value{};
      value.vt = VT_LPWSTR;
      value.pwszVal = const_cast<wchar_t*>(text.c_str());
      store->SetValue(*key, value);
    }
    store->Commit();
    store->Release();
  }

  void Keep(HWND window) {
    SetTaskbarIdentity(window);
    ::SetWindowTextW(window, Wide(rules_.title).c_str());
    if (big_icon_) {
      ::SendMessageTimeoutW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_),
                            SMTO_ABORTIFHUNG, 1000, nullptr);
    }
    if (small_icon_) {
      ::SendMessageTimeoutW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_),
                            SMTO_ABORTIFHUNG, 1000, nullptr);
    }
    KeepSize(window);
  }

  // The browser sets no limits on its window: a size the player dragged it to outside the game's
  // is put back once the drag ends.
  void KeepSize(HWND window) {
    RECT inside{}, outside{};
    if (::IsZoomed(window) || ::IsIconic(window) || !::GetClientRect(window, &inside) ||
        !::GetWindowRect(window, &outside)) {
      return;
    }
    const int width = inside.right - inside.left;
    const int height = inside.bottom - inside.top;
    const int kept_width = std::clamp(width, rules_.minimum.width, rules_.maximum.width);
    const int kept_height = std::clamp(height, rules_.minimum.height, rules_.maximum.height);
    if (kept_width != width || kept_height != height) {
      ::SetWindowPos(window, nullptr, 0, 0, outside.right - outside.left + kept_width - width,
                     outside.bottom - outside.top + kept_height - height,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
    }
  }

  void KeepPopupTitle(HWND window) {
    const std::string shown = Narrow(TitleOf(window));
    MutexLock lock(&mutex_);
    const auto title = popup_titles_.find(shown);
    if (title != popup_titles_.end() && title->second != shown) {
      ::SetWindowTextW(window, Wide(title->second).c_str());
    }
  }

  static thread_local WinGameWindowKeeper* t_keeper;

  const DWORD browser_pid_;
  const Rules rules_;
  HICON big_icon_ = nullptr;
  HICON small_icon_ = nullptr;
  std::atomic<uintptr_t> found_{0};
  std::atomic<DWORD> thread_id_{0};
  std::atomic<bool> stopped_{false};
  std::set<HWND> popups_;  // on the watching thread
  Mutex mutex_;
  std::map<std::string, std::string> popup_titles_ GUARDED_BY(mutex_);
  std::thread thread_;
};

thread_local WinGameWindowKeeper* WinGameWindowKeeper::t_keeper = nullptr;

}  // namespace

std::unique_ptr<GameWindowKeeper> GameWindowKeeper::Start(long browser_pid, Rules rules) {
  return std::make_unique<WinGameWindowKeeper>(browser_pid, std::move(rules));
}

}  // namespace gameshell
