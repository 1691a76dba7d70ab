#pragma once

#include <string>
#include <string_view>

// The system services that loading the game platform's launcher library needs: finding and
// loading a library, its exports, and a modal message box. Each platform implements them.
// Thread: UI.
namespace gameshell {

class LauncherHost {
 public:
  virtual ~LauncherHost() = default;
  // The library if something in the process loaded it already; never loads it.
  virtual void* FindLoadedLibrary(const std::string& name) = 0;
  virtual void* LoadLibrary(const std::string& name) = 0;
  virtual void* FindExport(void* library, const char* name) = 0;
  // Modal; returns when the user has dismissed it. Texts are UTF-8.
  virtual void ShowMessageBox(bool owned_by_game_window,
                              std::string_view text,
                              std::string_view caption) = 0;
};

}  // namespace gameshell
