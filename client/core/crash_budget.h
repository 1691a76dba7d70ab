#pragma once

#include <chrono>
#include <deque>

// How often the game's page may die before the shell stops loading it again: a page that kills
// its process at once would otherwise be reloaded for ever. Engine-neutral; one thread.
namespace gameshell {

class CrashBudget {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr int kDeathsBeforeGivingUp = 3;
  static constexpr std::chrono::seconds kWindow{60};

  // A death at `now`: true when the page is to be loaded again, false when it died too often.
  bool LoadAgainAfterDeath(Clock::time_point now) {
    while (!deaths_.empty() && now - deaths_.front() > kWindow) {
      deaths_.pop_front();
    }
    deaths_.push_back(now);
    return static_cast<int>(deaths_.size()) < kDeathsBeforeGivingUp;
  }
  // The player asked for the game again (Retry): the count starts afresh.
  void Forgive() { deaths_.clear(); }

 private:
  std::deque<Clock::time_point> deaths_;
};

}  // namespace gameshell
