#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class QWebEngineView;

namespace gameshell {

// A dark cover over a view, from the moment it shows until the engine shows a frame of the page:
// until then the engine's widget is blank (white), a flash between the dark loading window and
// the game. Known by the page's animation frames (made only while the view shows) and then the
// engine's widget's next paint, or a few frames' time for a page that paints no more. The page's
// own background stays as the engine gives it. The cover goes by itself. Thread: UI.
class FirstPaintCover : public QWidget {
  Q_OBJECT

 public:
  // A renderer that makes no frame for this long (stuck) is uncovered all the same.
  static constexpr int kMaxCoverMs = 3000;

  explicit FirstPaintCover(QWebEngineView* view);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Check();

  QWebEngineView* const view_;
  QTimer check_;
  QElapsedTimer shown_for_;
  QElapsedTimer framed_for_;  // started once the page has made frames
};

}  // namespace gameshell
