#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "base/core/game_hosts.h"

namespace gameshell {

// The frames of the game window's page (and of its popups, each a tree of its own) as the engine
// reports them, each with its document's
// origin, so that a call from a document can be judged by every document it sits in: a game
// document inside another origin's frame is that origin's work. A frame whose document the engine
// did not name (another site's frame runs in a process the shell does not watch) counts as
// another origin. Engine-neutral; thread: the shell's loop.
class FrameTree {
 public:
  // A frame appeared under `parent_id` (empty: the page's main frame).
  void Attach(const std::string& frame_id, const std::string& parent_id);
  // Its document is now one of `origin` (an opaque one: "null" or empty). An empty `parent_id`
  // keeps the parent the frame was attached under: a frame of another site reports itself as
  // the top of its own process.
  void Navigate(const std::string& frame_id, const std::string& parent_id, std::string origin);
  // The frame and every frame below it are gone.
  void Detach(const std::string& frame_id);
  void Clear() { frames_.clear(); }

  // True when the frame's document and every document above it are of the game's origins.
  bool IsGameDocumentChain(const std::string& frame_id, const GameHosts& hosts) const;
  // The frame's document's origin, or empty when the frame is not known.
  std::string OriginOf(std::string_view frame_id) const;
  // Empty for the main frame, or a frame not known.
  std::string ParentOf(std::string_view frame_id) const;
  // The top frame `frame_id` sits in (itself when it is one): a window's main frame. Empty when
  // the frame, or one above it, is not known.
  std::string RootOf(std::string_view frame_id) const;

 private:
  struct Frame {
    std::string parent_id;
    std::string origin;
  };
  std::map<std::string, Frame, std::less<>> frames_;
};

// True for "scheme://host[:port]" of the game.
bool IsGameOrigin(std::string_view origin, const GameHosts& hosts);

// "scheme://host[:port]" of an absolute address, lower case; empty for one with no host. A blob:
// address's is that of the document that made it.
std::string OriginOfUrl(std::string_view url);

// True when the two spell one address, as far as percent-escapes go: the browser escapes what an
// address the shell built leaves as is ("<", a space, a quote in a launch parameter).
bool IsSameAddress(std::string_view a, std::string_view b);

}  // namespace gameshell
