#include "app/qt/start_refusal_report.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

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
    QApplication app(argc, argv);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Varnholt"),
                    QString::fromStdString(refusal.chinese + "\n\n" + refusal.english + "."),
                    QMessageBox::Ok);
    box.exec();
  }
  return refusal.exit_code;
}

}  // namespace gameshell
