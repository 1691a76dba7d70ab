#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/platform_launcher_host.h"

namespace gameshell {

// The launcher library's system services on this platform: the dynamic loader and Qt's modal
// message box.
// Thread: UI.
class SystemLauncherHost : public PlatformLauncherHost {
 public:
  // The window that owns message boxes marked as owned (none: unowned).
  void SetOwner(QWidget* owner) { owner_ = owner; }
  QWidget* owner() const { return owner_; }
  // The game's window, which every box stays above, owned or not, and takes the keyboard back
  // from, until it is closed: one opened while the game loads would be hidden when the game
  // window shows.
  void SetGameWindow(QWidget* game_window) { game_window_ = game_window; }

  void ShowModalBox(bool owned_by_game_window,
                    std::string_view text,
                    std::string_view caption) override;

 private:
  QPointer<QWidget> owner_;
  QPointer<QWidget> game_window_;
};

}  // namespace gameshell
