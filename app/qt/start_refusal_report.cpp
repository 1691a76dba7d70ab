#include "app/qt/start_refusal_report.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

#include <cstdio>

#include "app/qt/game_browser_app.h"

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
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Varnholt"),
                    QString::fromStdString(refusal.chinese + "\n\n" + refusal.english_sentences),
                    QMessageBox::Ok);
    // The reason may carry a path or the engine's words: text, never markup or links.
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setText(QString::fromUtf8("确定 OK"));
    box.exec();
  }
  return refusal.exit_code;
}

}  // namespace gameshell
