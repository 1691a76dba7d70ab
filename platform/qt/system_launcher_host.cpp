#include "platform/qt/system_launcher_host.h"

#include <QEvent>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <QWindow>

#include "platform/qt/shell_message_box.h"

namespace gameshell {

namespace {
// Brings the box back above the game window, with the keyboard, whenever that window shows or
// takes the keyboard while the box is open.
class KeepAbove : public QObject {
 public:
  KeepAbove(QWidget* box, QWidget* below) : QObject(box), box_(box) {
    below->installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Show || event->type() == QEvent::WindowActivate) {
      // After the window manager has done with the game window.
      QTimer::singleShot(0, this, [box = box_] {
        if (box) {
          box->raise();
          box->activateWindow();
        }
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QPointer<QWidget> box_;
};

}  // namespace

void SystemLauncherHost::ShowModalBox(bool owned_by_game_window,
                                      std::string_view text,
                                      std::string_view caption) {
  QPointer<QMessageBox> box =
      NewShellMessageBox(QMessageBox::NoIcon,
                         QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                         QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                         owned_by_game_window ? owner_.data() : nullptr);
  // Not modal: the player can still close the game while it waits (the box goes with its owner,
  // or with the application's end).
  box->setWindowModality(Qt::NonModal);
  if (game_window_) {
    // Transient for the game window, owned or not: window managers keep it above that window.
    box->winId();
    game_window_->winId();
    if (box->windowHandle() && !box->parentWidget()) {
      box->windowHandle()->setTransientParent(game_window_->windowHandle());
    }
    new KeepAbove(box, game_window_);
  }
  QEventLoop loop;
  QObject::connect(box, &QObject::destroyed, &loop, &QEventLoop::quit);
  box->show();
  loop.exec();
  delete box;
}

}  // namespace gameshell
