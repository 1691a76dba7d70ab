#include "platform/qt/system_launcher_host.h"

#include <QMessageBox>

void SystemLauncherHost::ShowModalBox(bool owned_by_game_window,
                                      std::string_view text,
                                      std::string_view caption) {
  QMessageBox box(QMessageBox::NoIcon,
                  QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok, owned_by_game_window ? owner_.data() : nullptr);
  box.exec();
}
