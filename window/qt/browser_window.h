#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "window/qt/window_delegate.h"

class QWebEnginePage;
#include <QWebEngineView>

class QMessageBox;

namespace gameshell {

// A top-level window around one browser view: the game's window, a popup's, or the developer
// tools'. Its close runs in one place (closeEvent): a window with a delegate asks the delegate,
// then the page, whose unload handling has its say; a page that does not answer within
// kHungPageMs is closed all the same. Without a delegate the window closes at once. Deletes
// itself once closed.
// Thread: UI.
class BrowserWindow : public QWidget {
  Q_OBJECT

 public:
  // `delegate` may be null; it must outlive the window.
  BrowserWindow(QWebEngineView* view, WindowDelegate* delegate);

  QWebEnginePage* page() const;
  QWebEngineView* view() const { return view_; }

  // A page stuck in a script never answers a close request or the game's exit prompt.
  static constexpr int kHungPageMs = 3000;

  // Closes without giving the page's unload handling or the delegate a say.
  void ForceClose();

 signals:
  // The window has accepted its close; it is deleted soon after.
  void BrowserClosed(QWebEnginePage* page);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void AskPageToClose();
  void RunInsteadOfClosing(const QString& script);
  // The page showed nothing for a close it refused: the player is asked, and yes closes it.
  void AskPlayerToClose();

  QPointer<QWebEngineView> view_;
  WindowDelegate* const delegate_;
  bool page_agreed_to_close_ = false;
  bool forced_ = false;
  QPointer<QMessageBox> close_question_;
  bool closed_ = false;
  // The one deadline for a page that does not answer: runs while a close request or the game's
  // exit prompt waits on the page.
  QTimer hung_page_deadline_;
};

}  // namespace gameshell
