#include "base/core/windows_command_line.h"

#include <algorithm>

namespace gameshell {

namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

// The program's name: up to its closing quote when it starts with one, else to the first blank.
size_t ProgramEnd(std::u16string_view line, std::u16string* name) {
  size_t i = 0;
  if (!line.empty() && line[0] == u'"') {
    const size_t close = line.find(u'"', 1);
    const size_t stop = close == std::u16string_view::npos ? line.size() : close;
    if (name) {
      *name = std::u16string(line.substr(1, stop - 1));
    }
    return close == std::u16string_view::npos ? line.size() : close + 1;
  }
  while (i < line.size() && !IsBlank(line[i])) {
    ++i;
  }
  if (name) {
    *name = std::u16string(line.substr(0, i));
  }
  return i;
}

}  // namespace

std::vector<WindowsArgument> ParseWindowsCommandLine(std::u16string_view line) {
  std::vector<WindowsArgument> arguments;
  WindowsArgument program;
  program.end = ProgramEnd(line, &program.text);
  arguments.push_back(std::move(program));
  size_t i = arguments.back().end;
  while (true) {
    while (i < line.size() && IsBlank(line[i])) {
      ++i;
    }
    if (i >= line.size()) {
      break;
    }
    std::u16string text;
    bool quoted = false;
    while (i < line.size() && (quoted || !IsBlank(line[i]))) {
      if (line[i] == u'\\') {
        size_t backslashes = 0;
        while (i < line.size() && line[i] == u'\\') {
          ++backslashes;
          ++i;
        }
        if (i < line.size() && line[i] == u'"') {
          text.append(backslashes / 2, u'\\');
          if (backslashes % 2 == 1) {
            text += u'"';
            ++i;
          }
          // An even run leaves the quote to open or close below.
        } else {
          text.append(backslashes, u'\\');
        }
        continue;
      }
      if (line[i] == u'"') {
        // As CommandLineToArgvW, which Chromium splits its own with: a doubled quote inside
        // quotes is one quote, and ends the quoting.
        if (quoted && i + 1 < line.size() && line[i + 1] == u'"') {
          text += u'"';
          i += 2;
          quoted = false;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      text += line[i++];
    }
    arguments.push_back({std::move(text), i});
  }
  return arguments;
}

std::u16string QuoteWindowsArgument(std::u16string_view argument) {
  if (!argument.empty() && argument.find_first_of(u" \t\"") == std::u16string_view::npos) {
    return std::u16string(argument);
  }
  std::u16string quoted = u"\"";
  size_t backslashes = 0;
  for (const char16_t c : argument) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped; elsewhere they stand.
    quoted.append(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
    backslashes = 0;
    quoted += c;
  }
  // Before the closing quote, every backslash is doubled.
  quoted.append(backslashes * 2, u'\\');
  quoted += u'"';
  return quoted;
}

std::u16string_view WindowsCommandLineTail(std::u16string_view line) {
  return WindowsCommandLineRest(line, ProgramEnd(line, nullptr));
}

std::u16string_view WindowsCommandLineRest(std::u16string_view line, size_t position) {
  while (position < line.size() && IsBlank(line[position])) {
    ++position;
  }
  return line.substr(std::min(position, line.size()));
}

}  // namespace gameshell
