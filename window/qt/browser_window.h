#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

#include "window/core/close_mode.h"
#include "window/qt/window_delegate.h"

#include <QWebEngineView>
class QWebEnginePage;

// A top-level window around one browser view: the game's window, a popup's, or the developer
// tools'. Closing runs through the delegate when there is one; without one the window closes at
// once. Deletes itself once closed.
// Thread: UI.
class BrowserWindow : public QWidget {
  Q_OBJECT

 public:
  enum class Kind {
    kBrowserView,  // game window and popups: their first finished load may show the game window
    kDevTools,
  };

  BrowserWindow(QWebEngineView* view, std::shared_ptr<WindowDelegate> delegate, Kind kind);
  ~BrowserWindow() override;

  QWebEnginePage* page() const;
  QWebEngineView* view() const { return view_; }
  Kind kind() const { return kind_; }

  // A page that does not answer a close request within this long (stuck in a script) is closed
  // all the same.
  static constexpr int kHungPageMs = 3000;

  // kForce closes without giving the page's unload handling or the delegate a say.
  void CloseWindow(CloseMode mode);
  // True when the page has already agreed to close; otherwise asks it (its beforeunload handling
  // runs) and answers false, and the window closes once the page agrees, or after kHungPageMs.
  bool PageAgreedToClose();

  static BrowserWindow* ForPage(QWebEnginePage* page);

 signals:
  // The window has accepted its close; it is deleted soon after.
  void BrowserClosed(QWebEnginePage* page);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void OnPageAgreedToClose();
  void AskPageToClose();

  QPointer<QWebEngineView> view_;
  std::shared_ptr<WindowDelegate> delegate_;
  const Kind kind_;
  bool page_agreed_to_close_ = false;
  bool forced_ = false;
  bool closed_ = false;
  QTimer close_deadline_;
};
