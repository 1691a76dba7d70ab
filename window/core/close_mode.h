#pragma once

// How a window is asked to close. Any thread.
enum class CloseMode {
  // The page's unload handling and the window's delegate have their say.
  kAskPage,
  // Closes at once: the game itself asked, or the page stopped answering.
  kForce,
};
