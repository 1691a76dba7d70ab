#include "platform/qt/system_launcher_host.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>

namespace gameshell {

void SystemLauncherHost::ShowModalBox(bool owned_by_game_window,
                                      std::string_view text,
                                      std::string_view caption) {
  QPointer<QMessageBox> box =
      new QMessageBox(QMessageBox::NoIcon,
                      QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                      QMessageBox::Ok, owned_by_game_window ? owner_.data() : nullptr);
  box->setAttribute(Qt::WA_DeleteOnClose);
  // Text as written: a message box guesses markup otherwise.
  box->setTextFormat(Qt::PlainText);
  // Not modal: the player can still close the game while it waits (the box goes with its owner,
  // or with the application's end).
  box->setWindowModality(Qt::NonModal);
  QEventLoop loop;
  QObject::connect(box, &QObject::destroyed, &loop, &QEventLoop::quit);
  box->show();
  loop.exec();
  delete box;
}

}  // namespace gameshell
