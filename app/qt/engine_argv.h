#pragma once

#include <string>
#include <vector>

#include "app/core/browser_switches.h"

namespace gameshell {

// The argument list Qt and the engine are started with: the program name, the marker after which
// Qt WebEngine hands switches to Chromium, the engine settings and the browser switches; in a
// developer's build also the switches given on the command line, less those that would undo
// `options`. Nothing else of the command line reaches Qt.
// Pure; any thread.
std::vector<std::string> EngineArgv(const std::vector<std::string>& args,
                                    const EngineOptions& options);

// EngineArgv in the form QApplication takes, which keeps referring to argc and argv: the object
// must outlive the application object.
class EngineCommandLine {
 public:
  EngineCommandLine(const std::vector<std::string>& args, const EngineOptions& options);
  EngineCommandLine(const EngineCommandLine&) = delete;
  EngineCommandLine& operator=(const EngineCommandLine&) = delete;

  int& argc() { return argc_; }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> strings_;
  std::vector<char*> pointers_;
  int argc_ = 0;
};

}  // namespace gameshell
