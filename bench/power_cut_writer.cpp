// Stores resources as a run does, one every few milliseconds, round after round with the version
// moving each round, and says on stdout when each was stored; the power cut script cuts the disk
// from under it meanwhile. Each body is its version ("v=<n>") padded to 20,000 bytes, so that
// the bytes tell which version they are.
// Usage: power_cut_writer <resources> <rounds> <first version> <version step>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include "cache/core/resource_cache.h"

int main(int argc, char** argv) {
  const int resources = argc > 1 ? std::atoi(argv[1]) : 300;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 1;
  const int first = argc > 3 ? std::atoi(argv[3]) : 1;
  const int step = argc > 4 ? std::atoi(argv[4]) : 1;
  gameshell::ResourceCache cache(gameshell::GameHosts("game.test", ""));
  cache.Start();
  for (int round = 0; round < rounds; ++round) {
    const int version = first + round * step;
    std::string body = "v=" + std::to_string(version);
    body.resize(20000, 'x');
    for (int i = 0; i < resources; ++i) {
      const auto decision = cache.Decide("http://game.test/r/" + std::to_string(i) +
                                         ".dat?v=" + std::to_string(version));
      if (decision.action != gameshell::RequestAction::kDownload) {
        continue;
      }
      const auto id = cache.BeginDownload(decision.key);
      cache.AppendToDownload(id, body);
      std::promise<bool> stored;
      cache.FinishDownload(id, true, [&](bool ok) { stored.set_value(ok); });
      if (stored.get_future().get()) {
        // The steady clock is the script's monotonic one.
        const auto now = std::chrono::steady_clock::now().time_since_epoch();
        std::printf("stored %d %d %.3f\n", i, version,
                    std::chrono::duration<double>(now).count());
        std::fflush(stdout);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  std::printf("done\n");
  std::fflush(stdout);
  pause();
}
