#pragma once

#include <string>
#include <string_view>

// Why the shell will not start, in the words a player reads. Engine-neutral; any thread.
namespace gameshell {

struct StartRefusal {
  std::string chinese;            // what happened and what the player can do, for the window
  std::string english;            // the stderr line, after "gameshell: "
  std::string english_sentences;  // the same as `chinese`, for the window
  int exit_code = 1;
  bool said_on_stderr = false;  // whoever started the shell has said it there already
};

// The working directory is the user's home: the cache would mix game paths into it.
StartRefusal HomeDirectoryRefusal(std::string_view directory);
// The browser engine could not start, for the reason it gave (and the shell said on stderr).
StartRefusal EngineFailedRefusal(std::string_view reason);
// The menu's launcher found the player's cache directory unusable (and has said so on stderr).
StartRefusal CacheDirectoryRefusal(std::string_view directory);
// No browser the shell can drive is installed; the refusal names the package.
StartRefusal BrowserMissingRefusal();
// The same on Windows, where Edge comes with the system and Chrome is the second choice.
StartRefusal EdgeMissingRefusal();

}  // namespace gameshell
