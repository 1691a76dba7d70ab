#pragma once

#include <functional>
#include <string>

#include "base/devtools/devtools_connection.h"

namespace gameshell {

// The browser as a whole: its windows and its end. Thread: the shell's loop.
class BrowserDomain {
 public:
  explicit BrowserDomain(DevToolsConnection& connection) : connection_(connection) {}

  // Ends the browser with all its windows; the pipe closes after.
  void Close();
  // No page saves anything on the player's disk through the browser.
  void DenyDownloads();
  // The window that shows `target_id`'s page made as large as the screen allows.
  void MaximizeWindowOf(const std::string& target_id);
  // The window that shows `target_id`'s page placed at these bounds (its frame included);
  // `done` runs once it is, or could not be.
  void SetWindowBoundsOf(const std::string& target_id,
                         int left,
                         int top,
                         int width,
                         int height,
                         std::function<void()> done);

 private:
  DevToolsConnection& connection_;
};

}  // namespace gameshell
