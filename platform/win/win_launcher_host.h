#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform_launcher_host.h"

namespace gameshell {

// The launcher library's system services on Windows: the loader (never searching the working
// directory) and MessageBoxW with the texts in UTF-16.
// Thread: UI.
class WinLauncherHost : public PlatformLauncherHost {
 public:
  // The system's MessageBoxW, or a stand-in for tests.
  using MessageBoxFunction = int(__stdcall*)(void* owner,
                                             const wchar_t* text,
                                             const wchar_t* caption,
                                             unsigned type);

  // `game_window`: the native handle owning the boxes marked as owned.
  explicit WinLauncherHost(uintptr_t game_window, MessageBoxFunction message_box = nullptr);

  void ShowModalBox(bool owned_by_game_window,
                    std::string_view text,
                    std::string_view caption) override;

 private:
  const uintptr_t game_window_;
  const MessageBoxFunction message_box_;
};

}  // namespace gameshell
