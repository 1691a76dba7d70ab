#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWebEngineProfile>

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "app/qt/engine_argv.h"
#include "app/qt/game_browser_app.h"
#include "cache/qt/cache_scheme.h"
#include "gui_test_support.h"

FixtureServer::FixtureServer() {
  log_path_ = QDir::temp().filePath(
      QString("gs-gui-requests-%1.log").arg(QCoreApplication::applicationPid()));
  QFile::remove(log_path_);
  process_.start("/usr/bin/python3", {QString(GAMESHELL_SOURCE_DIR "/demo/server.py"), "--port",
                                      "0", "--root", QString(GAMESHELL_SOURCE_DIR "/tests/pages"),
                                      "--log", log_path_, "--exit-with-parent"});
  process_.waitForReadyRead(10000);
  QString line = QString::fromUtf8(process_.readLine()).trimmed();
  port_ = line.section(' ', -1).toInt();
  if (port_ == 0) {
    qFatal("the fixture server did not start");
  }
}

FixtureServer::~FixtureServer() {
  process_.terminate();
  process_.waitForFinished(5000);
  QFile::remove(log_path_);
}

std::string FixtureServer::Host() const {
  return "127.0.0.1:" + std::to_string(port_);
}

std::string FixtureServer::Url(const std::string& path_and_query) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path_and_query;
}

QStringList FixtureServer::Lines() const {
  QFile file(log_path_);
  if (!file.open(QIODevice::ReadOnly)) {
    return {};
  }
  return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

int FixtureServer::Count(const QString& fragment) const {
  int count = 0;
  for (const QString& line : Lines()) {
    count += line.contains(fragment) ? 1 : 0;
  }
  return count;
}

FixtureServer& Server() {
  static FixtureServer server;
  return server;
}

bool WaitUntil(const std::function<bool()>& done, int timeout_ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < timeout_ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
  return done();
}

void Pump(int ms) {
  WaitUntil([] { return false; }, ms);
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  gameshell::InstallEngineMessageHandler(/*errors_in_window=*/false);
  // Tests run as root in CI, where the engine refuses to sandbox its pages.
  gameshell::EngineCommandLine command_line({argv[0]}, {.sandbox = ::geteuid() != 0});
  gameshell::cache_scheme::Register();
  QApplication app(command_line.argc(), command_line.argv());
  app.setQuitOnLastWindowClosed(false);
  gameshell::InitShellResources();
  // Before any page starts the engine, so the server inherits none of its sockets.
  Server();
  // The cache root of every client the tests make.
  QTemporaryDir cache_root;
  QDir::setCurrent(cache_root.path());
  int result = RUN_ALL_TESTS();
  QDir::setCurrent(QDir::tempPath());
  return result;
}
