#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "base/core/message_loop.h"
#include "platform/browser_process.h"

namespace gameshell {

// The browser's end of the remote-debugging pipe, read on a thread of its own: what it reads is
// handed to the loop's thread, in order, and so is the pipe's end (the browser quit or died).
// Ending the object ends the browser. Thread: the loop's; the reader thread only reads.
class BrowserPipe {
 public:
  BrowserPipe(std::unique_ptr<platform::BrowserProcess> process,
              MessageLoop* loop,
              std::function<void(std::string_view bytes)> received,
              std::function<void()> closed);
  ~BrowserPipe();
  BrowserPipe(const BrowserPipe&) = delete;
  BrowserPipe& operator=(const BrowserPipe&) = delete;

  void Write(const std::string& bytes);
  platform::BrowserProcess& process() { return *process_; }

 private:
  void Read();

  std::unique_ptr<platform::BrowserProcess> process_;
  MessageLoop* const loop_;
  std::function<void(std::string_view)> received_;
  std::function<void()> closed_;
  // Shared with the tasks the reader posts: a task that runs after this object ended does nothing.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  std::thread reader_;
};

}  // namespace gameshell
