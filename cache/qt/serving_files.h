#pragma once

#include <QFile>

#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace gameshell {

// The cached files held open to answer the page's requests, at most kMaxOpen at a time: a burst of
// thousands of requests must not use up the process's file descriptors. Requests beyond the limit
// wait for a file to close, in order.
// Thread: UI.
class ServingFiles {
 public:
  static constexpr int kMaxOpen = 256;

  ~ServingFiles();

  // The file opened for reading and counted until its last holder lets go; null when kMaxOpen are
  // open. An unreadable file comes back closed.
  std::shared_ptr<QFile> Open(const std::string& path);
  // Runs `serve` once a file has closed, after the requests that waited before it.
  void WhenAvailable(std::function<void()> serve);

 private:
  void Release();
  // Runs waiting requests while files can be opened.
  void Pump();

  int open_ = 0;
  bool pump_posted_ = false;
  std::deque<std::function<void()>> waiting_;
  // Deleters outliving this object do nothing.
  std::shared_ptr<ServingFiles*> self_ = std::make_shared<ServingFiles*>(this);
};

}  // namespace gameshell
