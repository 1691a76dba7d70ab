#pragma once

#include <functional>
#include <map>
#include <set>
#include <string>

#include "base/core/game_hosts.h"
#include "base/devtools/fetch_domain.h"
#include "cache/devtools/cache_answers.h"
#include "client/core/frame_tree.h"
#include "client/core/shell_page.h"

namespace gameshell {

// Every request of the game window's page, judged before it is sent. The engine's own web
// security stays on for everyone; the shell keeps two things on top of it: no origin but the
// game's reaches this machine, the player's network or the game's hosts (the rules of
// JudgePageRequest), and the game's own documents read any host, as they always have, through
// answers the shell marks readable for them (preflights answered by the shell itself). What the
// cache holds or should store goes through it. A game document of the game window that the
// network does not give (no connection, a server error) is answered with the shell's own page,
// which retries. Thread: the shell's loop.
class GameRequests {
 public:
  // The shell's page loads the game again after this long.
  static constexpr int kRetryMs = 5000;

  // `frames`, `hosts` and `cache_answers` (null: no cache) outlive this object.
  GameRequests(const FrameTree* frames, const GameHosts* hosts, CacheAnswers* cache_answers);

  // The game window's page's own frame.
  void SetMainFrame(std::string frame_id) { main_frame_id_ = std::move(frame_id); }
  // A popup's own frame, and the origin of the document that opened it, whose its first
  // navigation is until it has a document of its own.
  void AddPopup(std::string frame_id, std::string opener_origin) {
    popup_openers_[std::move(frame_id)] = std::move(opener_origin);
  }
  void RemovePopup(const std::string& frame_id) { popup_openers_.erase(frame_id); }
  // A request paused by `fetch`'s target; `worker_origin` is that target's when it is a worker
  // (whose requests name no frame).
  void OnPaused(FetchDomain& fetch,
                const FetchDomain::PausedRequest& request,
                const std::string& worker_origin = {});
  // The shell itself is about to load `url` in the game window (the game, a reload).
  void ExpectShellNavigation(std::string url) { shell_navigation_ = std::move(url); }
  // The shell's next load of `url` in the game window shows the shell's page for `trouble`
  // instead; its Retry loads `url`, and so does the page itself after a while where `retrying`.
  void AnswerWithShellPage(std::string url, ShellTrouble trouble, bool retrying = false) {
    shell_page_url_ = std::move(url);
    shell_page_trouble_ = trouble;
    shell_page_retrying_ = retrying;
  }
  // `sent` hears of each game document of the game window sent to the network (its address),
  // `answered` of its answer's arrival.
  void WatchGameDocuments(std::function<void(const std::string& url)> sent,
                          std::function<void()> answered) {
    document_sent_ = std::move(sent);
    document_answered_ = std::move(answered);
  }
  // Asks the network why a game document of the game window failed: `probe` loads the address
  // in that frame and hears the browser's network error. Without it every failure is "cannot be
  // reached".
  using Probe = std::function<void(const std::string& frame_id,
                                   const std::string& url,
                                   std::function<void(int net_error)> done)>;
  void ProbeFailuresWith(Probe probe) { probe_ = std::move(probe); }
  // `shown` hears of each shell's page the game window gets, what it says and for which address.
  void WatchShellPages(std::function<void(ShellTrouble, const std::string& url)> shown) {
    shell_page_shown_ = std::move(shown);
  }

 private:
  void OnRequest(FetchDomain& fetch,
                 const FetchDomain::PausedRequest& request,
                 const std::string& worker_origin);
  void OnAnswer(FetchDomain& fetch, const FetchDomain::PausedRequest& request);
  void AnswerWithPage(const FetchDomain& fetch,
                      const std::string& id,
                      const std::string& url,
                      ShellTrouble trouble,
                      bool retrying);
  // The answer's headers, readable by a document of `reader` (with its credentials).
  static FetchDomain::Headers ReadableAnswerHeaders(const FetchDomain::Headers& answer,
                                                    const std::string& reader);
  // The origin of the document the request comes from, as far as the shell can tell.
  std::string InitiatorOf(const FetchDomain::PausedRequest& request,
                          const std::string& worker_origin) const;

  const FrameTree* const frames_;
  const GameHosts* const hosts_;
  std::string main_frame_id_;
  std::map<std::string, std::string> popup_openers_;  // by the popup's frame
  CacheAnswers* const cache_answers_;
  // Requests of the game's documents to other origins whose answers are made readable: the
  // reading document's origin, by request.
  std::map<std::string, std::string> readable_for_;
  // The game window's own documents of the game, whose failure the shell's page answers.
  std::set<std::string> game_window_documents_;
  std::string shell_navigation_;
  std::string shell_page_url_;
  ShellTrouble shell_page_trouble_ = ShellTrouble::kGameStopped;
  bool shell_page_retrying_ = false;
  std::function<void(const std::string&)> document_sent_;
  std::function<void()> document_answered_;
  Probe probe_;
  std::function<void(ShellTrouble, const std::string&)> shell_page_shown_;
};

}  // namespace gameshell
