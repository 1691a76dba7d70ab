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

  void ShowModalBox(bool owned_by_game_window,
                    std::string_view text,
                    std::string_view caption) override;

 private:
  QPointer<QWidget> owner_;
};

}  // namespace gameshell
