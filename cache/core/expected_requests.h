#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>

// Requests the cache's hooks sent on a way that leads back to them (a redirect to the cache's own
// scheme, or back to the network), each expected once. A request the page drops on its way never
// comes back; its expectation is forgotten after kForgetMs, so that no page grows this without end
// by starting and dropping requests. Engine-neutral; one thread (the hooks').
namespace gameshell {

class ExpectedRequests {
 public:
  static constexpr int64_t kForgetMs = 30000;

  // `now_ms`: any steady clock's milliseconds, never going back.
  void Expect(const std::string& url, int64_t now_ms);
  // True, and one expectation of `url` fewer, when one is held.
  bool Arrived(const std::string& url);
  size_t size() const { return expected_.size(); }

 private:
  void ForgetExpired(int64_t now_ms);

  // Per URL, when each expectation began, oldest first.
  std::unordered_map<std::string, std::deque<int64_t>> expected_;
  int64_t next_sweep_ms_ = 0;
};

}  // namespace gameshell
