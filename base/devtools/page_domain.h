#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/devtools/devtools_connection.h"

namespace gameshell {

// One attached page's documents: scripts for every new document, navigation, and its frames as
// they come and go. Thread: the shell's loop.
class PageDomain {
 public:
  struct Frame {
    std::string id;
    std::string parent_id;  // empty for the main frame
    std::string url;
    std::string origin;  // the document's security origin
  };

  PageDomain(DevToolsConnection& connection, std::string session_id);

  // Each `done` runs once the browser has done it.
  void Enable(std::function<void()> done = {});
  // Runs in every document of the page, every frame, before its own scripts.
  void AddScriptOnNewDocument(const std::string& source, std::function<void()> done = {});
  // The same in a world of its own, named `world`, that the page's scripts do not reach.
  void AddScriptOnNewDocumentInWorld(const std::string& source,
                                     const std::string& world,
                                     std::function<void()> done = {});
  void Navigate(const std::string& url);
  void Reload();
  // No going back or forward from the current document: earlier entries are forgotten.
  // Keeps only the current entry; `left` hears the addresses of the entries the history holds
  // after that (the browser may not have taken a navigation whose document already came as its
  // current entry yet).
  void ResetNavigationHistory(std::function<void(std::vector<std::string> left)> left);

  void OnFrameNavigated(std::function<void(const Frame&)> navigated);
  void OnFrameAttached(
      std::function<void(const std::string& id, const std::string& parent)> attached);
  // A frame removed from the page; not one that moved to a process of its own (another site's
  // document), which its own target reports from then on.
  void OnFrameDetached(std::function<void(const std::string& id)> detached);
  // A dialog of the page waits for an answer: "alert", "confirm", "prompt" or "beforeunload".
  void OnDialogOpening(std::function<void(const std::string& type)> opening);
  void AnswerDialog(bool accept);

  const std::string& session_id() const { return session_id_; }

 private:
  DevToolsConnection& connection_;
  const std::string session_id_;
};

}  // namespace gameshell
