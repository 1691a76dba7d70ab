#pragma once

#include <string>

// What closing a locked game runs instead: the game's own hook, as the game has always had it
// run. Engine-neutral; any thread.
namespace gameshell {

// What the script yields when it showed the player nothing (no hook to run, or it threw): the
// shell then asks the player itself, or the player would be left with a window that never closes.
inline constexpr char kNothingRan[] = "gameshell-nothing-ran";

// A script for the game's page that runs its close hook, and yields kNothingRan when there was
// none or it threw.
std::string CloseHookScript();

}  // namespace gameshell
