#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSize>
#include <QTimer>

class QWidget;

namespace gameshell {

// Keeps a window, its window manager's frame included, within its screen's available area in the
// moments after it first shows: the frame's size is known only once the window manager has framed
// it, after the window was sized and placed. Gone after that, so it never fights the player's own
// moves. Thread: UI.
class ScreenFit : public QObject {
  Q_OBJECT

 public:
  static constexpr int kWatchMs = 3000;

  // Shrunk, where it must be, at `shape`'s aspect.
  ScreenFit(QWidget* window, QSize shape);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Fit();

  QWidget* const window_;
  const QSize shape_;
  QElapsedTimer shown_for_;
  QTimer settle_;
};

}  // namespace gameshell
