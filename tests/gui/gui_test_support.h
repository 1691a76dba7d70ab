#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QThread>

#include <functional>
#include <string>

// The demo server serving the fixture pages, one per test binary.
class FixtureServer {
 public:
  FixtureServer();
  ~FixtureServer();
  std::string Url(const std::string& path_and_query) const;
  // "127.0.0.1:<port>", the game's host in these tests.
  std::string Host() const;
  // Request lines the server has answered so far, "METHOD target status bytes".
  QStringList Lines() const;
  int Count(const QString& fragment) const;

 private:
  QProcess process_;
  QString log_path_;
  int port_ = 0;
};

FixtureServer& Server();

// Runs the event loop until `done` holds or `timeout_ms` passes; returns `done()`.
bool WaitUntil(const std::function<bool()>& done, int timeout_ms = 15000);
// Runs the event loop for `ms`.
void Pump(int ms);
