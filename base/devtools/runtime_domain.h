#pragma once

#include <functional>
#include <string>

#include "base/devtools/devtools_connection.h"

namespace gameshell {

// One attached page's script contexts and the bindings its documents call the shell through.
// Thread: the shell's loop.
class RuntimeDomain {
 public:
  struct Context {
    int64_t id = 0;
    std::string origin;
    std::string frame_id;
    bool page_world = false;  // the document's own world, not an isolated one
    std::string name;         // an isolated world's name
  };
  struct BindingCall {
    std::string name;
    std::string payload;
    int64_t context_id = 0;
  };

  RuntimeDomain(DevToolsConnection& connection, std::string session_id);

  // Each `done` runs once the browser has done it.
  void Enable(std::function<void()> done = {});
  // A global function `name` in every context of the page from now on.
  void AddBinding(const std::string& name, std::function<void()> done = {});
  // Only in the worlds named `world`: the page's own scripts never see it.
  void AddBindingInWorld(const std::string& name,
                         const std::string& world,
                         std::function<void()> done = {});
  void Evaluate(const std::string& expression);
  // In the page's main frame's own world; `result` hears the value as text (empty when none), of
  // a promise once it has settled.
  void EvaluateForText(const std::string& expression,
                       std::function<void(const std::string& result)> result);
  // A target attached before it ran anything goes on.
  void RunIfWaiting();
  // In one context; `user_gesture` counts it as the player's own action in that document.
  // `result` hears the value as text, of a promise once it has settled (empty when it was none,
  // or the context is gone).
  void EvaluateIn(int64_t context_id,
                  const std::string& expression,
                  bool user_gesture,
                  std::function<void(const std::string& result)> result = {});

  void OnContextCreated(std::function<void(const Context&)> created);
  void OnContextDestroyed(std::function<void(int64_t id)> destroyed);
  // All the page's contexts are gone (a new document replaced them).
  void OnContextsCleared(std::function<void()> cleared);
  void OnBindingCalled(std::function<void(const BindingCall&)> called);

 private:
  DevToolsConnection& connection_;
  const std::string session_id_;
};

}  // namespace gameshell
