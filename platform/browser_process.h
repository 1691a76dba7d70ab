#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace gameshell::platform {

// A browser started with its remote-debugging pipe: it reads the shell's messages on its
// descriptor 3 and writes its own on 4, and nothing listens on a port. Its process group ends
// with this object, and (on Linux) with the thread that started it, however the shell ends.
// Threads: Write from one thread (the shell's loop), Read from one reader thread; the rest from
// the thread that started it, which must live as long as the shell.
class BrowserProcess {
 public:
  virtual ~BrowserProcess() = default;

  // Whole or not at all; false once the browser is gone.
  virtual bool Write(std::string_view bytes) = 0;
  // Blocks until the browser writes; 0 once it closed its end (it quit or died).
  virtual size_t Read(char* buffer, size_t size) = 0;
  // Ends the browser and the processes it started, at once.
  virtual void Kill() = 0;
  // Its exit status once it ended within `timeout`: its code, or 128 and the signal's number.
  virtual std::optional<int> WaitForExit(std::chrono::milliseconds timeout) = 0;
  virtual long pid() const = 0;
};

// Variables of the browser's environment set on top of the shell's ("NAME=value").
using EnvironmentSettings = std::vector<std::string>;

// Starts `argv` (its first item a path or a name looked up in PATH). On failure, null and why in
// `error`. Without `output_shown`, what it writes on its standard output and error goes nowhere.
std::unique_ptr<BrowserProcess> StartBrowserProcess(const std::vector<std::string>& argv,
                                                    std::string* error,
                                                    bool output_shown = true,
                                                    const EnvironmentSettings& settings = {});

// The first of `names` found as an executable file in PATH (or, for a name with a slash, as
// given); empty when none is.
std::string FindExecutable(const std::vector<std::string>& names);

}  // namespace gameshell::platform
