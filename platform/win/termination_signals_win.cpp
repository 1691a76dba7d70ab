#include "platform/termination_signals.h"

#include <windows.h>

#include <thread>

namespace gameshell::platform {

namespace {
std::function<void()>* g_on_signal = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT ||
      event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    // Runs on a thread the system made for it; the shell ends the game from its loop.
    (*g_on_signal)();
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
      // Returning lets the system end the process at once: give the close its moment first.
      ::Sleep(5000);
    }
    return TRUE;
  }
  return FALSE;
}
}  // namespace

// Ctrl+C and the console's close where the shell was started from one; a GUI start has none, and
// the browser's job ends with the shell however it is ended.
void WatchTerminationSignals(std::function<void()> on_signal) {
  g_on_signal = new std::function<void()>(std::move(on_signal));
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

}  // namespace gameshell::platform
