#pragma once

#include <QColor>
#include <QWidget>

class QLabel;

namespace gameshell {

// A small window that tells the player the game is on its way while the login page loads, so a
// slow server does not look like a game that never started. Closing it closes the game.
// Thread: UI.
class LoadingWindow : public QWidget {
  Q_OBJECT

 public:
  // Not the game window's title: only the game window is "Varnholt".
  static constexpr char kTitle[] = "Varnholt - \xE6\xAD\xA3\xE5\x9C\xA8\xE5\x8A\xA0\xE8\xBD\xBD";
  // The shell's own dark, here and over the game until it paints: no white flash before the game.
  static constexpr QColor kBackground{0x1b, 0x1d, 0x24};

  LoadingWindow();

  // Closes it without counting as the player's close.
  void Dismiss();
  // The server has not sent the game yet, a while after the start.
  void SayStillWaiting();

 signals:
  void ClosedByPlayer();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  bool dismissed_ = false;
  QLabel* status_ = nullptr;
};

}  // namespace gameshell
