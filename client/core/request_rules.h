#pragma once

#include <string_view>

#include "base/core/game_hosts.h"

// What a page's request may reach. Web security is off for the game's own pages (they read any
// host), so the shell keeps every other origin's frames out itself. Engine-neutral and stateless;
// any thread.
namespace gameshell {

// A refused navigation of the game window is sent here: the page refuses every navigation to this
// address, and the game stays where it was (a blocked navigation would show an error page in
// its place).
inline constexpr char kRefusedNavigationUrl[] = "gameshell-cache://refused.invalid/";

enum class RequestKind {
  kGameWindowNavigation,  // the game window's main frame
  kPopupNavigation,       // a popup's main frame
  kFrameNavigation,       // a sub-frame
  kSubresource,           // anything a document fetches: images, scripts, XHR, ...
  kWebSocket,             // a WebSocket's handshake, whose initiator the engine names wrongly
};

enum class RequestVerdict {
  kAllow,
  kBlock,             // the request fails
  kRefuseNavigation,  // the navigation does not happen; the page stays
};

struct PageRequest {
  // The origin ("scheme://host[:port]") of the document that started the request; empty when the
  // shell started it or when the engine could not name it (an opaque origin: a sandboxed frame, a
  // data: document).
  std::string_view initiator;
  // The shell's own navigations: loading the game, reloads, the history. Only ever true for an
  // empty initiator.
  bool started_by_shell = false;
  RequestKind kind = RequestKind::kSubresource;
  std::string_view url;  // absolute, as the engine wrote it
};

// The game's origins and the shell itself reach anything. Any other origin, an opaque one
// included, never replaces the game in its window, reaches the game's hosts only by navigating
// a frame (never to read them), and reaches this machine or the player's network only at its
// own host. A WebSocket, for which the engine names the page rather than the frame that opened
// it, reaches this machine or the player's network only at a game host, whoever opened it.
RequestVerdict JudgePageRequest(const PageRequest& request, const GameHosts& game_hosts);

}  // namespace gameshell
