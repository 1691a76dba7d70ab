#include "client/devtools/browser_pipe.h"

#include <vector>

namespace gameshell {

BrowserPipe::BrowserPipe(std::unique_ptr<platform::BrowserProcess> process,
                         MessageLoop* loop,
                         std::function<void(std::string_view)> received,
                         std::function<void()> closed)
    : process_(std::move(process)),
      loop_(loop),
      received_(std::move(received)),
      closed_(std::move(closed)),
      reader_([this] { Read(); }) {}

BrowserPipe::~BrowserPipe() {
  *alive_ = false;
  process_->Kill();
  reader_.join();
}

void BrowserPipe::Write(const std::string& bytes) {
  // A browser that is gone is heard of through the reader.
  process_->Write(bytes);
}

void BrowserPipe::Read() {
  std::vector<char> buffer(size_t{1} << 16);
  while (true) {
    const size_t got = process_->Read(buffer.data(), buffer.size());
    if (got == 0) {
      break;
    }
    loop_->Post([this, alive = alive_, bytes = std::string(buffer.data(), got)] {
      if (*alive) {
        received_(bytes);
      }
    });
  }
  loop_->Post([this, alive = alive_] {
    if (*alive) {
      closed_();
    }
  });
}

}  // namespace gameshell
