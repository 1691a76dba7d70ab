// The smallest Qt WebEngine program that shows a page: the baseline for the start-up benchmark.
#include <QApplication>
#include <QWebEngineView>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWebEngineView view;
  view.setWindowTitle("minimal");
  view.resize(1440, 810);
  QObject::connect(&view, &QWebEngineView::loadFinished, &view, [&view] { view.show(); });
  view.load(QUrl(QString::fromLocal8Bit(argv[argc - 1])));
  return app.exec();
}
