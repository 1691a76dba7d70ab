#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// A Windows command line is one UTF-16 text; each program splits it itself. These are the rules
// of CommandLineToArgvW (which Chromium splits its own with), written out so that both ends of a
// start (the shell starting its browser, the shell started by a shortcut or a protocol handler) can
// be tested anywhere. Stateless; any thread.
namespace gameshell {

struct WindowsArgument {
  std::u16string text;
  size_t end = 0;  // where it ends in the command line: the rest after it is left as written
};

// The arguments of `command_line`, the program's name first (taken up to its closing quote, or
// to the first blank: no backslash escapes there), the rest by the runtime's rules (2n
// backslashes and a quote: n backslashes, and the quote opens or closes; 2n+1: n and a quote; a
// doubled quote inside quotes: one quote, and the quotes end).
std::vector<WindowsArgument> ParseWindowsCommandLine(std::u16string_view command_line);

// `argument` written so that the rules above give it back whole: quoted only where it must be.
std::u16string QuoteWindowsArgument(std::u16string_view argument);

// What follows the program's name and the blanks after it, as written.
std::u16string_view WindowsCommandLineTail(std::u16string_view command_line);
// What follows `position` (an argument's end) and the blanks after it, as written.
std::u16string_view WindowsCommandLineRest(std::u16string_view command_line, size_t position);

}  // namespace gameshell
