// The smallest Qt WebEngine program that shows a page: the baseline for the benchmarks.
// Usage: minimal_browser [--profile DIR] URL   (engine switches after --webEngineArgs)
// With --profile, the engine keeps its own disk cache in DIR across runs.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QStringList args = app.arguments();
  QString profile_dir;
  if (int i = args.indexOf("--profile"); i >= 0 && i + 1 < args.size()) {
    profile_dir = args[i + 1];
  }
  std::unique_ptr<QWebEngineProfile> profile;
  if (profile_dir.isEmpty()) {
    profile = std::make_unique<QWebEngineProfile>();
  } else {
    profile = std::make_unique<QWebEngineProfile>("minimal");
    profile->setPersistentStoragePath(profile_dir);
    profile->setCachePath(profile_dir + "/cache");
    profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
    profile->setHttpCacheMaximumSize(1024 * 1024 * 1024);
  }
  {
    QWebEngineView view;
    auto* page = new QWebEnginePage(profile.get(), &view);
    view.setPage(page);
    view.setWindowTitle("minimal");
    view.resize(1440, 810);
    QObject::connect(&view, &QWebEngineView::loadFinished, &view, [&view] { view.show(); });
    // A page that is done closes itself; the engine then flushes its disk cache on the way out.
    QObject::connect(page, &QWebEnginePage::windowCloseRequested, &app, &QApplication::quit);
    view.load(QUrl(args.last()));
    // The longest the event loop went without a turn once the page showed, as gameshell's
    // benchmark build measures it.
    QElapsedTimer since_tick;
    qint64 longest_gap_ms = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      qint64 gap = since_tick.restart();
      if (view.isVisible()) {
        longest_gap_ms = std::max(longest_gap_ms, gap);
      }
    });
    since_tick.start();
    ticker.start();
    app.exec();
    std::fprintf(stderr, "ui-stall-max-ms %lld after-show %lld\n",
                 static_cast<long long>(longest_gap_ms), static_cast<long long>(longest_gap_ms));
  }
  return 0;
}
