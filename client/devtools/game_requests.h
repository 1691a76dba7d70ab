#pragma once

#include <map>
#include <string>

#include "base/core/game_hosts.h"
#include "base/devtools/fetch_domain.h"
#include "cache/devtools/cache_answers.h"
#include "client/core/frame_tree.h"

namespace gameshell {

// Every request of the game window's page, judged before it is sent. The engine's own web
// security stays on for everyone; the shell keeps two things on top of it: no origin but the
// game's reaches this machine, the player's network or the game's hosts (the rules of
// JudgePageRequest), and the game's own documents read any host, as they always have, through
// answers the shell marks readable for them (preflights answered by the shell itself). What the
// cache holds or should store goes through it. Thread: the shell's loop.
class GameRequests {
 public:
  // `frames` and `cache_answers` (null: no cache) outlive this object; `main_frame_id` is the
  // game window's page's.
  GameRequests(FetchDomain* fetch,
               const FrameTree* frames,
               const GameHosts* hosts,
               std::string main_frame_id,
               CacheAnswers* cache_answers);

  void OnPaused(const FetchDomain::PausedRequest& request);
  // The shell itself is about to load `url` in the game window (the game, a reload).
  void ExpectShellNavigation(std::string url) { shell_navigation_ = std::move(url); }

 private:
  void OnRequest(const FetchDomain::PausedRequest& request);
  void OnAnswer(const FetchDomain::PausedRequest& request);
  // The answer's headers, readable by a document of `reader` (with its credentials).
  static FetchDomain::Headers ReadableAnswerHeaders(const FetchDomain::Headers& answer,
                                                    const std::string& reader);
  // The origin of the document the request comes from, as far as the shell can tell.
  std::string InitiatorOf(const FetchDomain::PausedRequest& request) const;

  FetchDomain* const fetch_;
  const FrameTree* const frames_;
  const GameHosts* const hosts_;
  const std::string main_frame_id_;
  CacheAnswers* const cache_answers_;
  // Requests of the game's documents to other origins whose answers are made readable: the
  // reading document's origin, by request.
  std::map<std::string, std::string> readable_for_;
  std::string shell_navigation_;
};

}  // namespace gameshell
