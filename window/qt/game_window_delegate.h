#pragma once

#include <QIcon>
#include <QPointer>
#include <QSize>

#include "base/core/game_hosts.h"
#include "window/qt/window_delegate.h"

#include <QWebEngineView>

namespace gameshell {

// The game window's delegate: its title, icon, size and limits, and the close decision. While the
// page holds closing locked, a close request runs the page's close hook instead, so the game can
// show its own exit prompt; the lock holds only while the window shows a page of the game's own
// hosts, so no other page can keep the player from closing it. It never calls the window back:
// the window runs the hook and waits on the page.
// Thread: UI. Outlives the window; its view pointer clears itself when the view goes.
class GameWindowDelegate : public WindowDelegate {
 public:
  static constexpr char kTitle[] = "Varnholt";
  static constexpr QSize kInitialSize{1440, 810};
  static constexpr QSize kMinimumSize{200, 100};
  static constexpr QSize kMaximumSize{3840, 2160};
  static constexpr char kIconResource[] = ":/icons/100.png";
  // The game window's icon: icon 100 for its own size, the larger drawings for docks and
  // switchers that show it larger (scaled up, 32 pixels would blur).
  static QIcon WindowIcon();

  explicit GameWindowDelegate(GameHosts game_hosts);

  void OnWindowCreated(BrowserWindow* window) override;
  bool CanClose(BrowserWindow* window, QString* instead) override;

  // Takes effect at the next close request.
  void SetCanClose(bool can_close);
  bool can_close() const { return can_close_; }
  // Nothing before the window is created or once it is gone.
  void MaximizeWindow();
  QWebEngineView* browser_view() const { return browser_view_; }

 private:
  const GameHosts game_hosts_;
  bool can_close_ = true;
  QPointer<QWebEngineView> browser_view_;
};

}  // namespace gameshell
