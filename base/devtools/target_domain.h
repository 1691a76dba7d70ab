#pragma once

#include <functional>
#include <string>

#include "base/devtools/devtools_connection.h"

namespace gameshell {

// The browser's targets (its pages, frames of other sites, workers) and the sessions the shell
// attaches to them. Thread: the shell's loop.
class TargetDomain {
 public:
  struct TargetInfo {
    std::string id;
    std::string type;  // "page", "iframe", "worker", ...
    std::string url;
    std::string title;
    std::string opener_id;        // the page that opened it, if any
    std::string opener_frame_id;  // the frame whose document opened it
    bool can_access_opener = false;
  };

  explicit TargetDomain(DevToolsConnection& connection) : connection_(connection) {}

  // Every target from now on is announced, those already there included.
  void DiscoverTargets(std::function<void(const TargetInfo&)> created,
                       std::function<void(const std::string& target_id)> destroyed);
  void Close(const std::string& target_id);
  // The browser's developer tools for the target, in a window of their own.
  void OpenDevTools(const std::string& target_id);
  void Detach(const std::string& session_id);
  // A target's address or title changed.
  void OnInfoChanged(std::function<void(const TargetInfo&)> changed);
  // Every session the browser ends.
  void OnDetached(std::function<void(const std::string& session_id)> detached);
  // Every target that the target of `session_id` starts (its frames of other sites, its workers)
  // is attached at once and waits, before it runs anything, until the shell lets it go on
  // (Runtime.runIfWaitingForDebugger on its session).
  void AutoAttach(const std::string& session_id, std::function<void()> done = {});
  // Every page the browser opens from now on (a window, a tab, a popup) is attached at once and
  // waits before its first navigation, as above; pages already there are attached as they are.
  void AutoAttachPages(std::function<void()> done = {});
  // A target attached that way: its session, and the session it belongs to (empty for a page).
  void OnAutoAttached(std::function<void(const std::string& parent_session,
                                         const std::string& session_id,
                                         const TargetInfo& target)> attached);

  static TargetInfo ParseInfo(const Json& info);

 private:
  DevToolsConnection& connection_;
};

}  // namespace gameshell
