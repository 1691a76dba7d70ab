#include "window/qt/loading_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>

#include "base/qt/ui_thread.h"
#include "window/qt/game_window_delegate.h"

namespace gameshell {

namespace {
constexpr QSize kSize{360, 200};
constexpr QColor kText{0xe8, 0xe2, 0xd0};
}  // namespace

LoadingWindow::LoadingWindow() {
  GS_REQUIRE_UI_THREAD();
  setWindowTitle(QString::fromUtf8(kTitle));
  const QIcon icon = GameWindowDelegate::WindowIcon();
  setWindowIcon(icon);
  QPalette colors = palette();
  colors.setColor(QPalette::Window, kBackground);
  colors.setColor(QPalette::WindowText, kText);
  setPalette(colors);
  setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(this);
  auto* picture = new QLabel(this);
  picture->setPixmap(icon.pixmap(64, 64));
  picture->setAlignment(Qt::AlignCenter);
  auto* name = new QLabel(QString::fromUtf8(GameWindowDelegate::kTitle), this);
  QFont large = name->font();
  large.setPointSize(large.pointSize() + 6);
  large.setBold(true);
  name->setFont(large);
  name->setAlignment(Qt::AlignCenter);
  status_ = new QLabel(
      QString::fromUtf8("\xE6\xB8\xB8\xE6\x88\x8F\xE6\xAD\xA3\xE5\x9C\xA8\xE5\x8A\xA0\xE8\xBD\xBD"
                        "\xE2\x80\xA6  Loading\xE2\x80\xA6"),
      this);
  status_->setAlignment(Qt::AlignCenter);
  status_->setWordWrap(true);
  layout->addWidget(picture);
  layout->addWidget(name);
  layout->addWidget(status_);
  setFixedSize(kSize);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - QPoint(kSize.width() / 2, kSize.height() / 2));
  }
}

void LoadingWindow::SayStillWaiting() {
  GS_REQUIRE_UI_THREAD();
  status_->setText(
      QString::fromUtf8("仍在等待游戏服务器的回应…\nStill waiting for the game server…"));
}

void LoadingWindow::Dismiss() {
  dismissed_ = true;
  close();
}

void LoadingWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (!dismissed_) {
    emit ClosedByPlayer();
  }
}

}  // namespace gameshell
