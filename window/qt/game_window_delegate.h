#pragma once

#include <QPointer>
#include <QSize>

#include "window/qt/window_delegate.h"

#include <QWebEngineView>

// The game window's delegate: its title, icon, size and limits, and the close decision. While the
// page holds closing locked, a close request runs the page's close hook instead, so the game can
// show its own exit prompt.
// Thread: UI.
class GameWindowDelegate : public WindowDelegate {
 public:
  static constexpr char kTitle[] = "Varnholt";
  static constexpr char kCloseHook[] = "if(window.onWindowBeforClose){window.onWindowBeforClose()}";
  static constexpr QSize kInitialSize{1440, 810};
  static constexpr QSize kMinimumSize{200, 100};
  static constexpr QSize kMaximumSize{3840, 2160};
  static constexpr char kIconResource[] = ":/icons/100.png";

  explicit GameWindowDelegate(QWebEngineView* browser_view);

  void OnWindowCreated(BrowserWindow* window) override;
  bool CanClose(BrowserWindow* window) override;
  void OnWindowDestroyed(BrowserWindow* window) override;

  // Takes effect at the next close request.
  void SetCanClose(bool can_close);
  bool can_close() const { return can_close_; }
  // Nothing once the window is gone.
  void MaximizeWindow();
  QWebEngineView* browser_view() const { return browser_view_; }

 private:
  bool can_close_ = true;
  QPointer<QWebEngineView> browser_view_;
};
