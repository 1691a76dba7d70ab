// Linked into a benchmark build of the shell (bench/CMakeLists.txt): the longest the UI thread's
// event loop went without a turn, printed at exit as "ui-stall-max-ms N after-show M". Start-up
// (engine and first page) counts apart from the time after the game window is shown.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>

namespace {

bool GameWindowShown() {
  const QList<QWindow*> windows = QGuiApplication::topLevelWindows();
  return std::any_of(windows.begin(), windows.end(), [](QWindow* window) {
    return window->isVisible() && window->title() == QStringLiteral("Varnholt");
  });
}

void StartMeter() {
  struct Meter {
    QElapsedTimer since_tick;
    qint64 longest_ms = 0;
    qint64 longest_after_show_ms = 0;
    bool shown = false;
  };
  // Lives to the end of the process: the ticker may fire once more after the print.
  auto* meter = new Meter;
  auto* ticker = new QTimer(qApp);
  ticker->setInterval(1);
  QObject::connect(ticker, &QTimer::timeout, [meter] {
    const qint64 gap = meter->since_tick.restart();
    meter->longest_ms = std::max(meter->longest_ms, gap);
    if (meter->shown) {
      meter->longest_after_show_ms = std::max(meter->longest_after_show_ms, gap);
    } else {
      meter->shown = GameWindowShown();
    }
  });
  QObject::connect(qApp, &QCoreApplication::aboutToQuit, [meter] {
    std::fprintf(stderr, "ui-stall-max-ms %lld after-show %lld\n",
                 static_cast<long long>(meter->longest_ms),
                 static_cast<long long>(meter->longest_after_show_ms));
  });
  meter->since_tick.start();
  ticker->start();
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(StartMeter)
