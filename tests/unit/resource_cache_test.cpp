#include "cache/resource_cache.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "cache/cache_files.h"
#include "test_file_systems.h"

namespace gameshell {
namespace {

using testing::ScopedTempCwd;

TEST(SerialExecutorTest, RunsJobsInOrderOffTheCallingThreadAndFlushWaits) {
  std::vector<int> order;
  std::thread::id worker;
  SerialExecutor executor;
  for (int i = 0; i < 100; ++i) {
    executor.Post([&order, &worker, i] {
      order.push_back(i);
      worker = std::this_thread::get_id();
    });
  }
  executor.Flush();
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(order[i], i);
  }
  EXPECT_NE(worker, std::this_thread::get_id());
}

TEST(SerialExecutorTest, DestructionRunsWhatIsQueued) {
  std::atomic<int> ran{0};
  {
    SerialExecutor executor;
    for (int i = 0; i < 50; ++i) {
      executor.Post([&ran] { ++ran; });
    }
  }
  EXPECT_EQ(ran, 50);
}

TEST(SerialExecutorTest, FlushFromManyThreadsAtOnce) {
  SerialExecutor executor;
  std::atomic<int> ran{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i) {
        executor.Post([&ran] { ++ran; });
      }
      executor.Flush();
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(ran, 400);
}

class ResourceCacheTest : public ::testing::Test {
 protected:
  ScopedTempCwd cwd_;
};

TEST_F(ResourceCacheTest, StoresAndSavesOnTheWriterAndSaveAndWaitLeavesBothOnDisk) {
  ResourceCache cache(CacheHosts("h", ""));
  cache.index().Load();
  RequestDecision decision = cache.Decide("http://h/res/a.png?v=3");
  ASSERT_EQ(decision.action, RequestAction::kDownload);
  cache.Store(decision.cache_path, "png bytes");
  cache.SaveAndWait();
  EXPECT_EQ(ReadCacheFile("res/a.png"), "png bytes");
  CacheIndex reloaded;
  reloaded.Load();
  EXPECT_EQ(reloaded.Find("res/a.png"), "v=3");
  EXPECT_EQ(cache.Decide("http://h/res/a.png?v=3").action, RequestAction::kStoredIsCurrent);
}

// The real disk, noting which threads wrote.
class ThreadRecordingFileSystem : public testing::FaultyFileSystem {
 public:
  std::mutex mutex;
  std::set<std::thread::id> writers;
  bool WriteFile(const std::string& path, std::string_view content) override {
    {
      std::lock_guard lock(mutex);
      writers.insert(std::this_thread::get_id());
    }
    return FaultyFileSystem::WriteFile(path, content);
  }
};

TEST_F(ResourceCacheTest, ResetAndThrottledSavesNeverWriteOnTheCallersThread) {
  ThreadRecordingFileSystem disk;
  ResourceCache cache(CacheHosts("h", ""), disk);
  cache.index().Load();
  cache.index().Reset("5");
  for (int i = 0; i < 30; ++i) {
    cache.Decide("http://h/r/" + std::to_string(i) + ".dat");
  }
  // Whatever was written so far came from the writer; after the final save the file is current.
  cache.SaveAndWait();
  CacheIndex reloaded;
  reloaded.Load();
  EXPECT_EQ(reloaded.Find("version"), "5");
  EXPECT_EQ(reloaded.Entries().size(), 31u);
  std::lock_guard lock(disk.mutex);
  EXPECT_EQ(disk.writers.size(), 1u);
  EXPECT_EQ(disk.writers.count(std::this_thread::get_id()), 0u);
}

TEST(ContentTypeTest, FromTheCachePathsExtension) {
  EXPECT_STREQ(ContentTypeForCachePath("a/b.png"), "image/png");
  EXPECT_STREQ(ContentTypeForCachePath("b.jpg"), "image/jpeg");
  EXPECT_STREQ(ContentTypeForCachePath("c.mp3"), "audio/mpeg");
  EXPECT_STREQ(ContentTypeForCachePath("d.dat"), "application/octet-stream");
  EXPECT_STREQ(ContentTypeForCachePath("e.png.bak"), "application/octet-stream");
}

}  // namespace
}  // namespace gameshell
