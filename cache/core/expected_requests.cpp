#include "cache/core/expected_requests.h"

#include <iterator>

namespace gameshell {

void ExpectedRequests::Expect(const std::string& url, int64_t now_ms) {
  // Swept once per kForgetMs at most: each expectation costs a constant share of a sweep.
  if (now_ms >= next_sweep_ms_) {
    ForgetExpired(now_ms);
    next_sweep_ms_ = now_ms + kForgetMs;
  }
  expected_[url].push_back(now_ms);
}

bool ExpectedRequests::Arrived(const std::string& url) {
  auto it = expected_.find(url);
  if (it == expected_.end()) {
    return false;
  }
  it->second.pop_front();
  if (it->second.empty()) {
    expected_.erase(it);
  }
  return true;
}

void ExpectedRequests::ForgetExpired(int64_t now_ms) {
  for (auto it = expected_.begin(); it != expected_.end();) {
    std::deque<int64_t>& times = it->second;
    while (!times.empty() && now_ms - times.front() >= kForgetMs) {
      times.pop_front();
    }
    it = times.empty() ? expected_.erase(it) : std::next(it);
  }
}

}  // namespace gameshell
