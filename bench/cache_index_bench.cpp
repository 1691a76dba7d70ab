// Cache index figures: Load, Find, Update and Save at 100,000 entries, and how many bytes the
// save throttle writes to the index file during a first run that brings 20,000 new resources.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cache/cache_index.h"
#include "cache/download_decision.h"
#include "tests/unit/test_file_systems.h"

namespace {

using Clock = std::chrono::steady_clock;
using gameshell::CacheIndex;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string PathOf(int i) {
  return "res/pack" + std::to_string(i % 200) + "/item" + std::to_string(i) + ".png";
}

}  // namespace

int main() {
  constexpr int kEntries = 100000;
  gameshell::testing::ScopedTempCwd cwd;
  {
    std::map<std::string, std::string> seed{{gameshell::kGenerationKey, "1"}};
    for (int i = 0; i < kEntries; ++i) {
      seed.emplace(PathOf(i), "v=" + std::to_string(i % 97));
    }
    gameshell::WriteFileAtomically(gameshell::DefaultFileSystem(), gameshell::kIndexFileName,
                                   gameshell::SerializeIndex(seed));
  }
  auto file_size = std::filesystem::file_size(gameshell::kIndexFileName);

  CacheIndex index;
  auto start = Clock::now();
  index.Load();
  double load_s = SecondsSince(start);

  std::vector<std::string> keys;
  for (int i = 0; i < kEntries; ++i) {
    keys.push_back(PathOf((i * 7919) % kEntries));
  }
  start = Clock::now();
  size_t found = 0;
  for (int round = 0; round < 5; ++round) {
    for (const std::string& key : keys) {
      found += index.Find(key).has_value();
    }
  }
  double find_rate = found / SecondsSince(start);

  start = Clock::now();
  index.Save();
  double save_s = SecondsSince(start);

  // Updates with the throttle as it runs: every eleventh one rewrites the whole file.
  constexpr int kUpdates = 2200;
  start = Clock::now();
  for (int i = 0; i < kUpdates; ++i) {
    index.Update(keys[i], "v=new");
  }
  double update_rate = kUpdates / SecondsSince(start);

  // A first run: 20,000 new resources arriving evenly over 60 s of process clock.
  constexpr int kNewResources = 20000;
  gameshell::testing::MemoryFileSystem first_run_disk;
  int64_t now = 0;
  CacheIndex first_run(first_run_disk, [&now] { return now; });
  first_run.Load();
  for (int i = 0; i < kNewResources; ++i) {
    now = static_cast<int64_t>(i) * 60000 / kNewResources;
    gameshell::DecideRequest("http://game.test/" + PathOf(i) + "?v=1",
                             gameshell::CacheHosts("game.test", ""), first_run, first_run_disk);
  }
  first_run.Save();
  uint64_t final_size = first_run_disk.files[gameshell::kIndexFileName].size();

  std::printf("index of %d entries, file %.1f MB\n", kEntries, file_size / 1e6);
  std::printf("  Load                      %8.1f ms\n", load_s * 1000);
  std::printf("  Find                      %8.2f M/s\n", find_rate / 1e6);
  std::printf("  Save                      %8.1f ms\n", save_s * 1000);
  std::printf("  Update (throttled saves)  %8.0f /s\n", update_rate);
  std::printf("first run: %d new resources over 60 s of process clock\n", kNewResources);
  std::printf("  index saves               %8d\n", first_run_disk.writes);
  std::printf("  bytes written             %8.1f MB\n", first_run_disk.bytes_written / 1e6);
  std::printf("  final file size           %8.2f MB\n", final_size / 1e6);
  std::printf("  written / final           %8.0fx\n",
              static_cast<double>(first_run_disk.bytes_written) / final_size);
  return 0;
}
