#pragma once

#include <string>
#include <string_view>

// The shell's own page in the game window, shown in place of the game when it cannot be: what
// happened in Chinese and English, and Retry. Engine-neutral and stateless; any thread.
namespace gameshell {

enum class ShellTrouble {
  kUnreachable,  // no connection
  kNoAnswer,     // a host that takes the connection and is silent
  kServerError,  // a 5xx answer
  kGameStopped,  // the page's process died, again and again
  kUrlTooLong,   // the launch parameters make an address longer than the engine loads
  kNotPrivate,   // the engine refused the login host's certificate
};

struct ShellPageWords {
  std::string_view chinese;  // the title
  std::string_view english;
};
ShellPageWords WordsFor(ShellTrouble trouble);

struct ShellPage {
  ShellTrouble trouble = ShellTrouble::kUnreachable;
  std::string icon_url;   // empty: none
  std::string retry_url;  // where Retry goes
  // The shell retries by itself ("Retrying..." shown); with `auto_retry_ms` > 0 the page itself
  // goes to `retry_url` after that long.
  bool retrying = false;
  int auto_retry_ms = 0;
};

// `html` is the page's template (shell_page.html) with its @...@ places filled.
std::string FillShellPage(std::string html, const ShellPage& page);

}  // namespace gameshell
