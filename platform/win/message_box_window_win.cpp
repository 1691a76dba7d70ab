#include "platform/message_box_window.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "platform/win/wide_text.h"

namespace gameshell::platform {

namespace {

constexpr wchar_t kQuitText[] = L"退出 &Quit";
constexpr wchar_t kKeepPlayingText[] = L"继续游戏 Keep playing";

// What the box's thread shares with the object that shows it.
struct BoxState {
  std::atomic<HWND> window{nullptr};
  std::atomic<bool> ending{false};
  std::atomic<bool> done{false};
  bool quit_question = false;
};

thread_local BoxState* t_state = nullptr;
thread_local HHOOK t_hook = nullptr;

// Gives the question's buttons the shell's words and room for them.
void LabelQuitQuestion(HWND box) {
  HWND quit = ::GetDlgItem(box, IDOK);
  HWND keep = ::GetDlgItem(box, IDCANCEL);
  if (!quit || !keep) {
    return;
  }
  ::SetWindowTextW(quit, kQuitText);
  ::SetWindowTextW(keep, kKeepPlayingText);
  HDC dc = ::GetDC(keep);
  const HGDIOBJ old =
      ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(keep, WM_GETFONT, 0, 0)));
  SIZE text{};
  ::GetTextExtentPoint32W(dc, kKeepPlayingText, static_cast<int>(wcslen(kKeepPlayingText)), &text);
  ::SelectObject(dc, old);
  ::ReleaseDC(keep, dc);
  RECT quit_rect{}, keep_rect{}, box_rect{};
  ::GetWindowRect(quit, &quit_rect);
  ::GetWindowRect(keep, &keep_rect);
  ::GetWindowRect(box, &box_rect);
  const int height = keep_rect.bottom - keep_rect.top;
  const int width = std::max<int>(keep_rect.right - keep_rect.left, text.cx + height);
  const int gap = keep_rect.left - quit_rect.right;
  const int margin = box_rect.right - keep_rect.right;
  const int needed = margin * 2 + width * 2 + gap;
  if (needed > box_rect.right - box_rect.left) {
    ::SetWindowPos(box, nullptr, 0, 0, needed, box_rect.bottom - box_rect.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::GetWindowRect(box, &box_rect);
  }
  POINT keep_at{box_rect.right - margin - width, keep_rect.top};
  POINT quit_at{keep_at.x - gap - width, quit_rect.top};
  ::ScreenToClient(box, &keep_at);
  ::ScreenToClient(box, &quit_at);
  ::SetWindowPos(keep, nullptr, keep_at.x, keep_at.y, width, height, SWP_NOZORDER);
  ::SetWindowPos(quit, nullptr, quit_at.x, quit_at.y, width, height, SWP_NOZORDER);
}

LRESULT CALLBACK OnBoxEvent(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HCBT_ACTIVATE && t_state && !t_state->window.load()) {
    HWND box = reinterpret_cast<HWND>(wparam);
    t_state->window = box;
    if (t_state->quit_question) {
      LabelQuitQuestion(box);
    }
    if (t_state->ending) {
      ::PostMessageW(box, WM_CLOSE, 0, 0);
    }
  }
  return ::CallNextHookEx(t_hook, code, wparam, lparam);
}

// Shows the box on the calling thread until the player dismisses it; whether they chose to quit.
bool RunBox(const MessageBoxWindow::Content& content, BoxState* state) {
  const std::wstring text = Utf8ToWide(content.text);
  const std::wstring caption = Utf8ToWide(content.caption);
  UINT type = MB_SETFOREGROUND;
  if (content.quit_question) {
    type |= MB_OKCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2;
  } else {
    type |= MB_OK | (content.error ? MB_ICONERROR : 0);
  }
  // Owned by the game window, the box stays above it.
  HWND owner = reinterpret_cast<HWND>(content.above);
  if (owner && !::IsWindow(owner)) {
    owner = nullptr;
  }
  if (!owner) {
    type |= MB_TOPMOST;
  }
  t_state = state;
  t_hook = ::SetWindowsHookExW(WH_CBT, OnBoxEvent, nullptr, ::GetCurrentThreadId());
  const int answer = ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
  if (t_hook) {
    ::UnhookWindowsHookEx(t_hook);
  }
  t_hook = nullptr;
  t_state = nullptr;
  return content.quit_question && answer == IDOK;
}

class WinMessageBoxWindow : public MessageBoxWindow {
 public:
  WinMessageBoxWindow(const Content& content, std::function<void(bool)> closed) {
    state_.quit_question = content.quit_question;
    thread_ = std::thread([this, content, closed = std::move(closed)] {
      const bool quit = RunBox(content, &state_);
      if (!state_.ending) {
        closed(quit);
      }
      state_.done = true;
    });
  }

  ~WinMessageBoxWindow() override {
    state_.ending = true;
    while (!state_.done) {
      if (HWND box = state_.window.load()) {
        ::PostMessageW(box, WM_CLOSE, 0, 0);
      }
      ::Sleep(10);
    }
    thread_.join();
  }

 private:
  BoxState state_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<MessageBoxWindow> MessageBoxWindow::Show(const Content& content,
                                                         std::function<void(bool quit)> closed) {
  return std::make_unique<WinMessageBoxWindow>(content, std::move(closed));
}

bool MessageBoxWindow::ShowAndWait(const Content& content) {
  BoxState state;
  state.quit_question = content.quit_question;
  RunBox(content, &state);
  return true;
}

}  // namespace gameshell::platform
