#include <windows.h>
#undef LoadLibrary

#include "platform/win/wide_text.h"
#include "platform/win/win_launcher_host.h"

namespace gameshell {
namespace {

int __stdcall SystemMessageBox(void* owner,
                               const wchar_t* text,
                               const wchar_t* caption,
                               unsigned type) {
  return ::MessageBoxW(static_cast<HWND>(owner), text, caption, type);
}

}  // namespace

WinLauncherHost::WinLauncherHost(uintptr_t game_window, MessageBoxFunction message_box)
    : game_window_(game_window), message_box_(message_box ? message_box : SystemMessageBox) {}

void WinLauncherHost::ShowModalBox(bool owned_by_game_window,
                                   std::string_view text,
                                   std::string_view caption) {
  void* owner = owned_by_game_window ? reinterpret_cast<void*>(game_window_) : nullptr;
  message_box_(owner, platform::Utf8ToWide(text).c_str(), platform::Utf8ToWide(caption).c_str(),
               MB_OK);
}

}  // namespace gameshell
