#pragma once
class QString;

namespace gameshell {

class BrowserWindow;

// Decides a browser window's look and whether a close request may go on to its page.
// Thread: UI. Outlives every window it is given to.
class WindowDelegate {
 public:
  virtual ~WindowDelegate() = default;
  virtual void OnWindowCreated(BrowserWindow* window) = 0;
  // False keeps the window open. The window then runs `instead` in its page, when the delegate
  // gave a script: the close request is the page's to answer. A script that yields kNothingRan
  // showed the player nothing (no hook to run, or it threw): the window asks the player itself.
  virtual bool CanClose(BrowserWindow* window, QString* instead) = 0;
};

}  // namespace gameshell
