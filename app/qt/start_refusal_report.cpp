#include "app/qt/start_refusal_report.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

#include "app/qt/game_browser_app.h"
#include "platform/qt/shell_message_box.h"

namespace gameshell {

int ReportStartRefusal(const StartRefusal& refusal, bool in_window) {
  if (!refusal.said_on_stderr) {
    std::fprintf(stderr, "gameshell: %s\n", refusal.english.c_str());
    std::fflush(stderr);
  }
  if (in_window) {
    // Only the program's name: no argument of the command line reaches Qt.
    int argc = 1;
    char name[] = "gameshell";
    char* argv[] = {name, nullptr};
    // The same confinement as the game's: the executable's directory may be the cache root.
    ConfineQtToItsInstallation();
    QApplication app(argc, argv);
    ConfineQtToItsInstallation();
    // The reason may carry a path or the engine's words: text, never markup or links.
    NewShellMessageBox(QMessageBox::Critical, QStringLiteral("Varnholt"),
                       QString::fromStdString(refusal.chinese + "\n\n" + refusal.english_sentences))
        ->exec();
  }
  return refusal.exit_code;
}

}  // namespace gameshell
