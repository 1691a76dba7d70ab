#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

namespace gameshell {

class BrowserWindow;
class LoadingWindow;

// Shows the game window at its page's first finished load, under a cover until the game paints;
// unless that comes within a moment, a small window says the game is loading until it does.
// Thread: UI.
class GameWindowPresenter : public QObject {
  Q_OBJECT

 public:
  explicit GameWindowPresenter(BrowserWindow* game_window);
  ~GameWindowPresenter() override;

 signals:
  // The player closed the loading window: the game ends.
  void LoadingWindowClosed();

 private:
  void ShowLoadingWindow();
  void ShowGameWindow();

  QPointer<BrowserWindow> game_window_;
  bool shown_ = false;
  std::unique_ptr<LoadingWindow> loading_window_;
};

}  // namespace gameshell
