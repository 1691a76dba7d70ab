#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

namespace gameshell {

class BrowserWindow;
class LoadingWindow;

// Shows the game window once its page's document is there (parsed, whatever its images and other
// resources still do), or its load ends, or at the latest kShowWithinMs after the start; under a
// cover until the game paints. Unless that comes within a moment, a small window says the game is
// loading until it does, and after kStillWaitingMs that it is still waiting for the server.
// Thread: UI.
class GameWindowPresenter : public QObject {
  Q_OBJECT

 public:
  static constexpr int kStillWaitingMs = 6000;
  static constexpr int kShowWithinMs = 20000;

  explicit GameWindowPresenter(BrowserWindow* game_window);
  ~GameWindowPresenter() override;

 signals:
  // The player closed the loading window: the game ends.
  void LoadingWindowClosed();

 private:
  void ShowLoadingWindow();
  void ShowGameWindow();
  // Asks the page whether the game's document is there yet.
  void AskForDocument();

  QPointer<BrowserWindow> game_window_;
  bool shown_ = false;
  QTimer ask_;
  std::unique_ptr<LoadingWindow> loading_window_;
};

}  // namespace gameshell
