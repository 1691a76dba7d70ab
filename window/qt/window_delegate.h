#pragma once

class BrowserWindow;

// Decides a browser window's look and whether a close request may proceed.
// Thread: UI.
class WindowDelegate {
 public:
  virtual ~WindowDelegate() = default;
  virtual void OnWindowCreated(BrowserWindow* window) = 0;
  // False keeps the window open.
  virtual bool CanClose(BrowserWindow* window) = 0;
  virtual void OnWindowDestroyed(BrowserWindow* window) = 0;
};
