// Stores resources as a first run does, one every few milliseconds, prints "stored" and waits for
// its end: the power cut script cuts the disk from under it meanwhile.
// Usage: power_cut_writer <resources>
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
  gameshell::ResourceCache cache(gameshell::GameHosts("game.test", ""));
  cache.Start();
  const std::string body(20000, 'x');
  for (int i = 0; i < resources; ++i) {
    const auto decision = cache.Decide("http://game.test/r/" + std::to_string(i) + ".png?v=1");
    const auto id = cache.BeginDownload(decision.key);
    cache.AppendToDownload(id, body);
    std::promise<bool> stored;
    cache.FinishDownload(id, true, [&](bool ok) { stored.set_value(ok); });
    stored.get_future().get();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::printf("stored\n");
  std::fflush(stdout);
  pause();
}
