// The shell's message box, a program of its own: the shell that drives the system's browser
// needs no toolkit, and its loop goes on driving the game while the player reads.
// Usage (the shell's alone): gameshell-box <caption> <text> <error|none|question> <window to stay
// above>. A question (whether to quit the game) exits with 0 for Quit, 1 for anything else.
#include <QApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QWindow>

#include <cstdlib>
#include <string>

#include "platform/qt/shell_message_box.h"

namespace {

// Plugins come from Qt's installation only (and the compiled-in qt.conf takes the place of one
// beside the executable): the directory the shell runs in may be the executable's own, and pages
// write files there.
void ConfineQtToItsInstallation() {
  QCoreApplication::setLibraryPaths({QLibraryInfo::path(QLibraryInfo::PluginsPath)});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    return 2;
  }
  const QString caption = QString::fromUtf8(argv[1]);
  const QString text = QString::fromUtf8(argv[2]);
  const bool error = std::string(argv[3]) == "error";
  const bool question = std::string(argv[3]) == "question";
  const WId above = static_cast<WId>(std::strtoull(argv[4], nullptr, 10));
  // None of the texts reaches Qt's own options; the class is the game window's.
  int qt_argc = 1;
  char name[] = "gameshell";
  char* qt_argv[] = {name, nullptr};
  Q_INIT_RESOURCE(message_box);
  ConfineQtToItsInstallation();
  QApplication app(qt_argc, qt_argv);
  ConfineQtToItsInstallation();
  QGuiApplication::setDesktopFileName(QStringLiteral("varnholt"));
  QMessageBox* box = question
                         ? gameshell::NewQuitQuestion(caption, text)
                         : gameshell::NewShellMessageBox(
                               error ? QMessageBox::Critical : QMessageBox::NoIcon, caption, text);
  if (question) {
    QObject::connect(box, &QMessageBox::finished, &app, [box] {
      QCoreApplication::exit(box->clickedButton() == box->button(QMessageBox::Yes) ? 0 : 1);
    });
  }
  if (above != 0) {
    // Transient for the game window: window managers keep it above that window.
    box->winId();
    if (QWindow* game = QWindow::fromWinId(above); game && box->windowHandle()) {
      box->windowHandle()->setTransientParent(game);
    }
  }
  box->show();
  box->raise();
  box->activateWindow();
  return app.exec();
}
