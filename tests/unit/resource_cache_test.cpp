#include "cache/core/resource_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <future>
#include <mutex>
#include <set>
#include <thread>

#include "cache/core/cache_files.h"
#include "cache_file_access.h"
#include "deflate_for_tests.h"
#include "test_file_systems.h"

namespace gameshell {
namespace {

using testing::ReadCacheFile;
using testing::ScopedTempCwd;

class ResourceCacheTest : public ::testing::Test {
 protected:
  ScopedTempCwd cwd_;
};

// Streams a body through the cache as a download would; true when it was put in place.
bool Download(ResourceCache& cache, const std::string& url, bool complete = true) {
  RequestDecision decision = cache.Decide(url);
  EXPECT_EQ(decision.action, RequestAction::kDownload);
  auto id = cache.BeginDownload(decision.key);
  cache.AppendToDownload(id, "bytes of ");
  cache.AppendToDownload(id, url);
  std::promise<bool> stored;
  cache.FinishDownload(id, complete, [&](bool ok) { stored.set_value(ok); });
  return stored.get_future().get();
}

TEST_F(ResourceCacheTest, AStreamedBodyIsPutInPlaceThenRecordedAndSaveAndWaitLeavesBothOnDisk) {
  ResourceCache cache(GameHosts("h", ""));
  cache.index().Load();
  ASSERT_TRUE(Download(cache, "http://h/res/a.png?v=3"));
  // The empty version survives the index file too.
  ASSERT_TRUE(Download(cache, "http://h/res/e.png?"));
  cache.SaveAndWait();
  EXPECT_EQ(ReadCacheFile("res/a.png"), "bytes of http://h/res/a.png?v=3");
  CacheIndex reloaded;
  reloaded.Load();
  EXPECT_EQ(reloaded.Find("res/a.png"), "v=3");
  EXPECT_EQ(cache.Decide("http://h/res/a.png?v=3").action, RequestAction::kStoredIsCurrent);
  EXPECT_EQ(DecideRequest("http://h/res/e.png?", GameHosts("h", ""), reloaded).action,
            RequestAction::kStoredIsCurrent);
  EXPECT_EQ(std::filesystem::directory_iterator(".")->path().filename().string().rfind(
                kTemporaryFilePrefix, 0),
            std::string::npos);
}

// A body that decodes to a great deal from a little (a decompression bomb) is decoded a bounded
// piece per writer task, so it holds up no other download.
TEST_F(ResourceCacheTest, ABodyThatDecodesToMuchHoldsUpNoOtherDownload) {
  const std::string bomb = testing::Deflate(std::string(size_t{64} << 20, '\0'), 16 + 15);
  ResourceCache cache(GameHosts("h", ""));
  cache.index().Load();
  std::mutex mutex;
  std::vector<std::string> finished;
  std::promise<void> both;
  auto note = [&](const std::string& what) {
    return [&, what](bool stored) {
      std::lock_guard<std::mutex> lock(mutex);
      finished.push_back(what + (stored ? " stored" : " dropped"));
      if (finished.size() == 2) {
        both.set_value();
      }
    };
  };
  const ResourceKey bomb_key = cache.Decide("http://h/bomb.dat?v=1").key;
  const ResourceKey small_key = cache.Decide("http://h/small.dat?v=1").key;
  auto bomb_id = cache.BeginDownload(bomb_key);
  ASSERT_TRUE(cache.SetBodyEncoding(bomb_id, "gzip"));
  cache.AppendToDownload(bomb_id, bomb);
  cache.FinishDownload(bomb_id, true, note("bomb"));
  auto small_id = cache.BeginDownload(small_key);
  cache.AppendToDownload(small_id, "small");
  cache.FinishDownload(small_id, true, note("small"));
  both.get_future().wait();
  EXPECT_EQ(finished, (std::vector<std::string>{"small stored", "bomb stored"}));
  EXPECT_EQ(ReadCacheFile("small.dat"), "small");
  EXPECT_EQ(std::filesystem::file_size("bomb.dat"), size_t{64} << 20);
}

// Shell B stored version 1; shell A, started later on the same cache root, replaced it with
// version 2. B still holds version 1 in memory, but never serves version 2's bytes for it.
TEST_F(ResourceCacheTest, AFileAnotherShellReplacedIsNeverServedForThisShellsVersion) {
  ResourceCache b(GameHosts("h", ""));
  b.index().Load();
  ASSERT_TRUE(Download(b, "http://h/x.dat?v=1"));
  ASSERT_EQ(b.Decide("http://h/x.dat?v=1").action, RequestAction::kStoredIsCurrent);
  {
    ResourceCache a(GameHosts("h", ""));
    a.index().Load();
    ASSERT_TRUE(Download(a, "http://h/x.dat?v=2-and-longer"));
    a.SaveAndWait();
  }
  RequestDecision decision = b.Decide("http://h/x.dat?v=1");
  EXPECT_EQ(decision.action, RequestAction::kDownload);
  EXPECT_FALSE(decision.disk_copy_usable);
  // B stores its version again, and takes it as its own from then on.
  ASSERT_TRUE(Download(b, "http://h/x.dat?v=1"));
  EXPECT_EQ(b.Decide("http://h/x.dat?v=1").action, RequestAction::kStoredIsCurrent);
}

// A peer replaces x.dat, stored as v=1 by an earlier run, with v=2's bytes of the same size, and
// this shell's index says v=1: at whatever moment of this shell's start the peer acts, and
// whatever the clocks say, v=2's bytes are never taken for v=1.
TEST_F(ResourceCacheTest, APeersReplacementIsNeverTakenForThisShellsVersion) {
  enum Moment {
    // The peer had no entry for the path, and stopped between its rename and its line.
    kBeforeTheStartByAPeerWithoutEntry,
    // Between this shell's read of the index and its look at the files.
    kBetweenTheLoadAndTheLook,
    // After the start.
    kAfterTheStartWithTheClockBack,
  };
  for (Moment moment : {kBeforeTheStartByAPeerWithoutEntry, kBetweenTheLoadAndTheLook,
                        kAfterTheStartWithTheClockBack}) {
    SCOPED_TRACE(moment);
    ScopedTempCwd cwd;
    testing::FaultyFileSystem peer_disk;
    ResourceCache peer(GameHosts("h", ""), peer_disk);
    peer.index().Load();  // before the earlier run: no entry for x.dat
    {
      ResourceCache earlier(GameHosts("h", ""));
      earlier.index().Load();
      ASSERT_TRUE(Download(earlier, "http://h/x.dat?v=1"));
      earlier.SaveAndWait();
    }
    // This shell's start; what it decides for v=1 is asked on the thread it was made on.
    std::optional<RequestDecision> seen;
    auto start_this_shell = [&](FileSystem& fs, const std::function<void()>& later = {}) {
      ResourceCache cache(GameHosts("h", ""), fs);
      cache.Start();
      cache.WaitForWriterForTesting();
      if (later) {
        ASSERT_EQ(cache.Decide("http://h/x.dat?v=1").action, RequestAction::kStoredIsCurrent);
        later();
      }
      seen = cache.Decide("http://h/x.dat?v=1");
    };
    // Its time an hour back: long before this shell's start, as far as any clock can tell.
    auto back_an_hour = [] {
      std::filesystem::last_write_time(
          "x.dat", std::filesystem::last_write_time("x.dat") - std::chrono::hours(1));
    };
    auto peer_stores_v2 = [&] {
      ResourceCache fresh(GameHosts("h", ""));
      fresh.index().Load();
      ASSERT_TRUE(Download(fresh, "http://h/x.dat?v=2"));
      fresh.SaveAndWait();
      back_an_hour();
    };
    testing::FaultyFileSystem disk;
    switch (moment) {
      case kBeforeTheStartByAPeerWithoutEntry:
        peer_disk.after_rename = [&](const std::string&) {
          back_an_hour();
          start_this_shell(DefaultFileSystem());
        };
        ASSERT_TRUE(Download(peer, "http://h/x.dat?v=2"));
        break;
      case kBetweenTheLoadAndTheLook:
        disk.after_index_read = peer_stores_v2;
        start_this_shell(disk);
        break;
      case kAfterTheStartWithTheClockBack:
        start_this_shell(DefaultFileSystem(), peer_stores_v2);
        break;
    }
    ASSERT_EQ(ReadCacheFile("x.dat"), "bytes of http://h/x.dat?v=2");
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->action, RequestAction::kDownload);
    EXPECT_FALSE(seen->disk_copy_usable);
  }
}

// A peer replaces the file between this shell's rename and this shell's line for it: the line,
// which would name this shell's version over the peer's bytes, is left out.
TEST_F(ResourceCacheTest, ALineIsLeftOutWhenAPeerReplacedItsFileFirst) {
  testing::FaultyFileSystem disk;
  ResourceCache cache(GameHosts("h", ""), disk);
  cache.index().Load();
  // Between the two the index's lock is free: the placed file is flushed before its line.
  disk.before_sync = [&](const std::vector<std::string>& paths) {
    if (paths == std::vector<std::string>{"x.dat"}) {
      disk.before_sync = nullptr;
      ResourceCache peer(GameHosts("h", ""));
      peer.index().Load();
      ASSERT_TRUE(Download(peer, "http://h/x.dat?v=2"));
      peer.SaveAndWait();
    }
  };
  ASSERT_TRUE(Download(cache, "http://h/x.dat?v=1"));
  cache.SaveAndWait();
  EXPECT_EQ(ReadCacheFile("x.dat"), "bytes of http://h/x.dat?v=2");
  CacheIndex on_disk;
  on_disk.Load();
  EXPECT_EQ(on_disk.Find("x.dat"), "v=2");
  EXPECT_NE(cache.Decide("http://h/x.dat?v=1").action, RequestAction::kStoredIsCurrent);
}

// While the line before a replacement waits for the index (another shell holds its lock), a shell
// that starts sweeps the unlocked temporary files it finds: the body's must not be one of them.
TEST_F(ResourceCacheTest, ABodyStaysLockedUntilItIsInPlace) {
  testing::FaultyFileSystem disk;
  ResourceCache cache(GameHosts("h", ""), disk);
  cache.index().Load();
  ASSERT_TRUE(Download(cache, "http://h/r.png?v=1"));
  cache.SaveAndWait();
  int swept = 0;
  disk.before_index_append = [&] {
    std::vector<std::string> names;
    disk.ListDirectory("", &names);
    for (const std::string& name : names) {
      swept += name.starts_with(kTemporaryFilePrefix) && disk.RemoveUnlockedFile(name);
    }
  };
  EXPECT_TRUE(Download(cache, "http://h/r.png?v=2"));
  EXPECT_EQ(swept, 0);
  EXPECT_EQ(ReadCacheFile("r.png"), "bytes of http://h/r.png?v=2");
}

TEST_F(ResourceCacheTest, FailedAndSupersededDownloadsLeaveThePreviousFileAndEntry) {
  ResourceCache cache(GameHosts("h", ""));
  cache.index().Load();
  ASSERT_TRUE(Download(cache, "http://h/r.png?v=1"));
  EXPECT_FALSE(Download(cache, "http://h/r.png?v=2", /*complete=*/false));
  EXPECT_EQ(cache.index().Find("r.png"), "v=1");
  EXPECT_EQ(cache.Decide("http://h/r.png?v=2").action, RequestAction::kDownload);
  // v=3 is asked for after v=2 began; v=2 ending last must not win.
  auto v2 = cache.BeginDownload({"r.png", "v=2"});
  auto v3 = cache.BeginDownload({"r.png", "v=3"});
  cache.AppendToDownload(v3, "three");
  cache.AppendToDownload(v2, "two");
  std::promise<bool> three_stored;
  std::promise<std::string> two_kept;
  cache.FinishDownload(v3, true, [&](bool ok) { three_stored.set_value(ok); });
  cache.FinishDownloadKeeping(v2, true, [&](bool stored, const std::string& kept) {
    EXPECT_FALSE(stored);
    two_kept.set_value(kept);
  });
  EXPECT_TRUE(three_stored.get_future().get());
  // Not stored, but its whole body still answers the requests that waited for v=2, with no
  // second fetch.
  const std::string kept = two_kept.get_future().get();
  EXPECT_EQ(ReadCacheFile(kept), "two");
  std::filesystem::remove(kept);
  EXPECT_EQ(ReadCacheFile("r.png"), "three");
  EXPECT_EQ(cache.index().Find("r.png"), "v=3");
  cache.SaveAndWait();
  for (const auto& entry : std::filesystem::directory_iterator(".")) {
    EXPECT_NE(entry.path().filename().string().rfind(kTemporaryFilePrefix, 0), 0u);
  }
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

TEST_F(ResourceCacheTest, ResetAndScheduledSavesNeverWriteOnTheCallersThread) {
  ThreadRecordingFileSystem disk;
  ResourceCache cache(GameHosts("h", ""), disk);
  cache.index().Load();
  cache.index().Reset("5");
  for (int i = 0; i < 30; ++i) {
    cache.index().Update("r/" + std::to_string(i) + ".dat", "0");
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

// A download's bytes queued and not yet written count in its backlog; its reader pauses at a
// bound and is woken once, by the writer, when the backlog is below it.
TEST_F(ResourceCacheTest, BytesQueuedForTheWriterCountInTheBacklogUntilWritten) {
  class HeldDisk : public testing::FaultyFileSystem {
   public:
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::unique_ptr<WritableFile> NewWritableFile(const std::string& path) override {
      released.wait();
      return FaultyFileSystem::NewWritableFile(path);
    }
  } disk;
  ResourceCache cache(GameHosts("h", ""), disk);
  cache.index().Load();
  const auto id = cache.BeginDownload(cache.Decide("http://h/a.dat?v=1").key);
  for (int i = 0; i < 3; ++i) {
    cache.AppendToDownload(id, std::string(size_t{1} << 20, 'x'));
  }
  EXPECT_EQ(cache.DownloadBacklogForTesting(id), int64_t{3} << 20);
  std::atomic<int> woken = 0;
  EXPECT_FALSE(cache.WhenBacklogBelow(id, int64_t{3} << 20, [&] { ++woken; }));
  disk.release.set_value();
  cache.WaitForWriterForTesting();
  EXPECT_EQ(cache.DownloadBacklogForTesting(id), 0);
  EXPECT_EQ(woken, 1);
  EXPECT_TRUE(cache.WhenBacklogBelow(id, 1, [&] { ++woken; }));
  EXPECT_EQ(woken, 1);
  cache.FinishDownload(id, false);
  cache.WaitForWriterForTesting();
}

// Temporary files left at any depth by dead writers go; one a live writer holds stays.
TEST_F(ResourceCacheTest, LeftoversNobodyWritesAreSweptAtAnyDepth) {
  FileSystem& disk = DefaultFileSystem();
  std::filesystem::create_directories("res/deep");
  const std::string root_leftover = std::string(kTemporaryFilePrefix) + "1-1";
  const std::string deep_leftover = "res/deep/" + std::string(kTemporaryFilePrefix) + "2-1";
  for (const std::string& name : {root_leftover, deep_leftover, std::string("res/keep.png")}) {
    disk.WriteFile(name, "x");
  }
  const std::string written = std::string(kTemporaryFilePrefix) + "3-1";
  std::unique_ptr<WritableFile> writer = disk.NewWritableFile(written);
  ResourceCache cache(GameHosts("h", ""));
  cache.Start();
  cache.WaitForWriterForTesting();  // a close would stop the sweep where it is
  cache.SaveAndWait();
  EXPECT_FALSE(std::filesystem::exists(root_leftover));
  EXPECT_FALSE(std::filesystem::exists(deep_leftover));
  EXPECT_TRUE(std::filesystem::exists(written));
  EXPECT_TRUE(std::filesystem::exists("res/keep.png"));
}

// Stored decoded; a stream cut short, however the transfer ended, is not stored.
TEST_F(ResourceCacheTest, EncodedBodiesAreStoredDecodedOnlyWhenTheirStreamEnds) {
  ResourceCache cache(GameHosts("h", ""));
  cache.index().Load();
  auto store = [&](const std::string& path, const std::string& encoding, const std::string& body) {
    auto id = cache.BeginDownload({path, "v=1"});
    EXPECT_TRUE(cache.SetBodyEncoding(id, encoding));
    cache.AppendToDownload(id, body);
    std::promise<bool> stored;
    cache.FinishDownload(id, true, [&](bool ok) { stored.set_value(ok); });
    return stored.get_future().get();
  };
  // "hello" gzip-compressed.
  const std::string gzip(
      "\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\xcb\x48\xcd\xc9\xc9"
      "\x07\x00\x86\xa6\x10\x36\x05\x00\x00\x00",
      25);
  EXPECT_TRUE(store("a.conf", "gzip", gzip));
  EXPECT_EQ(ReadCacheFile("a.conf"), "hello");
  EXPECT_FALSE(store("b.conf", "gzip", gzip.substr(0, 20)));
  EXPECT_FALSE(std::filesystem::exists("b.conf"));
  EXPECT_FALSE(cache.SetBodyEncoding(cache.BeginDownload({"c.conf", "v=1"}), "compress"));
  // Decoded past the cap on what is stored: dropped, whatever its size as sent.
  cache.SetMaxStoredBytesForTesting(5);
  EXPECT_TRUE(store("d.conf", "gzip", gzip));
  cache.SetMaxStoredBytesForTesting(4);
  EXPECT_FALSE(store("e.conf", "gzip", gzip));
  EXPECT_FALSE(std::filesystem::exists("e.conf"));
}

// A read-only or full disk: the download is abandoned at once, and new resources pass through
// until the disk takes writes again, while stored files are still served.
TEST_F(ResourceCacheTest, ARefusingDiskAbandonsTheDownloadAndStopsFurtherOnes) {
  testing::FaultyFileSystem disk;
  ResourceCache cache(GameHosts("h", ""), disk);
  cache.index().Load();
  ASSERT_TRUE(Download(cache, "http://h/old.png"));
  disk.fail_write = true;
  std::promise<void> abandoned;
  auto id = cache.BeginDownload({"new.png", "0"}, [&] { abandoned.set_value(); });
  cache.AppendToDownload(id, "first bytes");  // its file is opened with them
  abandoned.get_future().get();
  std::promise<bool> stored;
  cache.FinishDownload(id, true, [&](bool ok) { stored.set_value(ok); });
  EXPECT_FALSE(stored.get_future().get());
  EXPECT_EQ(cache.Decide("http://h/other.png").action, RequestAction::kPassThrough);
  EXPECT_EQ(cache.Decide("http://h/old.png").action, RequestAction::kStoredIsCurrent);
}

// A kill between putting a new version in place and recording it leaves no entry naming the old
// version over the new bytes.
TEST_F(ResourceCacheTest, TheOldVersionIsForgottenOnDiskBeforeItsFileIsReplaced) {
  testing::FaultyFileSystem disk;
  ResourceCache cache(GameHosts("h", ""), disk);
  cache.index().Load();
  ASSERT_TRUE(Download(cache, "http://h/r.png?v=1"));
  cache.SaveAndWait();
  disk.fail_rename = true;  // stands for the kill right after the entry was forgotten
  EXPECT_FALSE(Download(cache, "http://h/r.png?v=2"));
  // The running cache takes the file for neither version, and its next save says so too.
  EXPECT_NE(cache.Decide("http://h/r.png?v=2").action, RequestAction::kStoredIsCurrent);
  EXPECT_NE(cache.Decide("http://h/r.png?v=1").action, RequestAction::kStoredIsCurrent);
  cache.SaveAndWait();
  CacheIndex on_disk;
  on_disk.Load();
  EXPECT_EQ(on_disk.Find("r.png"), kNoVersionToken);
  EXPECT_EQ(DecideRequest("http://h/r.png?v=1", GameHosts("h", ""), on_disk).action,
            RequestAction::kDownload);
}

// An index that takes no line (owned by another user, or its lock held by a stopped shell) must
// not let a file change under the version it names: nothing is replaced, and the body still
// answers the requests waiting for it. The player is told which of the two it is.
TEST_F(ResourceCacheTest, NoFileIsReplacedWhileTheIndexCannotSaySo) {
  const struct {
    bool locked_elsewhere;
    const char* chinese;
    const char* english;
  } causes[] = {
      {false, "无法写入游戏文件的索引 fileList.txt", "|cannot write the cache index fileList.txt"},
      {true, "游戏文件的索引 fileList.txt", "|another program holds the cache index fileList.txt"},
  };
  for (const auto& cause : causes) {
    SCOPED_TRACE(cause.english);
    ScopedTempCwd cwd;
    testing::FaultyFileSystem disk;
    ResourceCache cache(GameHosts("h", ""), disk);
    cache.index().Load();
    ASSERT_TRUE(Download(cache, "http://h/r.png?v=1"));
    cache.SaveAndWait();
    disk.fail_index_write = true;
    disk.lock_held_elsewhere = cause.locked_elsewhere;
    const RequestDecision decision = cache.Decide("http://h/r.png?v=2");
    ASSERT_EQ(decision.action, RequestAction::kDownload);
    const auto id = cache.BeginDownload(decision.key);
    cache.AppendToDownload(id, "v2");
    std::promise<std::pair<bool, std::string>> done;
    cache.FinishDownloadKeeping(id, true, [&](bool stored, const std::string& kept) {
      done.set_value({stored, kept});
    });
    const auto [stored, kept] = done.get_future().get();
    EXPECT_FALSE(stored);
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(ReadCacheFile(kept, disk), "v2");
    disk.RemoveFile(kept);
    EXPECT_EQ(ReadCacheFile("r.png"), "bytes of http://h/r.png?v=1");
    CacheIndex on_disk;
    on_disk.Load();
    EXPECT_EQ(on_disk.Find("r.png"), "v=1");
    // Meanwhile new versions come from the network.
    EXPECT_EQ(cache.Decide("http://h/r.png?v=3").action, RequestAction::kPassThrough);
    // Said once, in both languages, also to a reporter that came after (the window's, say).
    std::vector<std::string> said;
    cache.SetTroubleReporter([&](const std::string& chinese, const std::string& english) {
      said.push_back(chinese + "|" + english);
    });
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find(cause.chinese), std::string::npos) << said[0];
    EXPECT_NE(said[0].find(cause.english), std::string::npos) << said[0];
  }
}

// A body that would leave the disk less than a margin free is not stored, whether its length was
// announced or its bytes run on: the path comes from the network for the run, and the disk keeps
// room for every other write.
TEST_F(ResourceCacheTest, ABodyLargerThanTheFreeSpaceIsLeftToTheNetwork) {
  testing::FaultyFileSystem disk;
  ResourceCache cache(GameHosts("h", ""), disk);
  cache.index().Load();
  disk.free_bytes = uint64_t{64} << 20;
  const auto announced = cache.BeginDownload(cache.Decide("http://h/big.dat?v=1").key);
  EXPECT_FALSE(cache.RoomFor(announced, int64_t{200} << 20));
  cache.FinishDownload(announced, false);
  EXPECT_EQ(cache.Decide("http://h/big.dat?v=2").action, RequestAction::kPassThrough);
  // Room enough for a small one.
  const auto small = cache.BeginDownload(cache.Decide("http://h/small.dat?v=1").key);
  EXPECT_TRUE(cache.RoomFor(small, 20000));
  cache.FinishDownload(small, false);
  // A body of no announced length stops once the free space falls to the margin.
  std::promise<void> abandoned;
  const auto unannounced = cache.BeginDownload(cache.Decide("http://h/stream.dat?v=1").key,
                                               [&] { abandoned.set_value(); });
  disk.free_bytes = CacheTrouble::kFreeMarginBytes - 1;
  cache.AppendToDownload(unannounced, std::string(BodyWriter::kFreeSpaceCheckBytes, 'x'));
  abandoned.get_future().wait();
  std::promise<bool> stored;
  cache.FinishDownload(unannounced, true, [&](bool ok) { stored.set_value(ok); });
  EXPECT_FALSE(stored.get_future().get());
  EXPECT_EQ(cache.Decide("http://h/stream.dat?v=1").action, RequestAction::kPassThrough);
  EXPECT_FALSE(std::filesystem::exists("stream.dat"));
}

// A peer stopped while holding the index's lock: the commits queued behind the first refusal give
// up at once instead of each waiting for the lock in turn, and closing tries once more.
TEST_F(ResourceCacheTest, CommitsQueuedBehindARefusedIndexGiveUpAtOnce) {
  testing::FaultyFileSystem disk;
  ResourceCache cache(GameHosts("h", ""), disk);
  cache.index().Load();
  disk.fail_index_write = true;
  disk.lock_held_elsewhere = true;
  std::vector<ResourceCache::DownloadId> ids;
  for (int i = 0; i < 20; ++i) {
    ids.push_back(cache.BeginDownload(cache.Decide("http://h/" + std::to_string(i) + ".dat").key));
    cache.AppendToDownload(ids.back(), "bytes");
  }
  std::vector<std::future<bool>> stored;
  for (auto id : ids) {
    auto done = std::make_shared<std::promise<bool>>();
    stored.push_back(done->get_future());
    cache.FinishDownload(id, true, [done](bool ok) { done->set_value(ok); });
  }
  for (auto& one : stored) {
    EXPECT_FALSE(one.get());
  }
  cache.SaveAndWait();
  EXPECT_LE(disk.refused_index_writes.load(), 3);
  EXPECT_EQ(disk.renames, 0);
}

// The order of writes a power cut, a kill or a peer may come between: the line that puts a path in
// flux is on the disk before its file is replaced (one append and one flush for the commits that
// queued together), the file's bytes are on the disk before the line naming its version, and that
// line reaches the disk too.
TEST_F(ResourceCacheTest, EachWriteReachesTheDiskBeforeTheOneItGuards) {
  testing::FaultyFileSystem disk;
  ResourceCache cache(GameHosts("h", ""), disk);
  cache.index().Load();
  // Holds the writer in c.png's rename while a.png and b.png are committed behind it.
  std::promise<void> at_rename, queued;
  disk.before_rename = [&](const std::string& to) {
    if (to == "c.png") {
      at_rename.set_value();
      queued.get_future().wait();
    }
  };
  std::vector<std::future<bool>> stored;
  auto finish = [&](ResourceCache::DownloadId id) {
    auto done = std::make_shared<std::promise<bool>>();
    stored.push_back(done->get_future());
    cache.FinishDownload(id, true, [done](bool ok) { done->set_value(ok); });
  };
  const auto c = cache.BeginDownload(cache.Decide("http://h/c.png?v=1").key);
  const auto a = cache.BeginDownload(cache.Decide("http://h/a.png?v=1").key);
  const auto b = cache.BeginDownload(cache.Decide("http://h/b.png?v=1").key);
  for (auto id : {c, a, b}) {
    cache.AppendToDownload(id, "bytes");
  }
  finish(c);
  at_rename.get_future().wait();
  finish(a);
  finish(b);
  queued.set_value();
  for (auto& one : stored) {
    ASSERT_TRUE(one.get());
  }
  cache.SaveAndWait();
  const std::vector<std::string>& events = disk.events;
  auto at = [&](const std::string& event) {
    return std::find(events.begin(), events.end(), event) - events.begin();
  };
  auto first_with = [&](const std::string& part, size_t from = 0) {
    return std::find_if(events.begin() + from, events.end(),
                        [&](const std::string& e) { return e.find(part) != std::string::npos; }) -
           events.begin();
  };
  const std::string index_synced = std::string("sync ") + kIndexFileName;
  auto in_flux = [](const std::string& path) { return IndexLine(path, kNoVersionToken); };
  // a.png and b.png share one append and one flush.
  const auto covered = at("index " + in_flux("a.png") + in_flux("b.png"));
  ASSERT_LT(covered, events.size()) << ::testing::PrintToString(events);
  EXPECT_LT(first_with(index_synced, covered), at("rename a.png"));
  EXPECT_LT(at("rename a.png"), at("rename b.png"));
  EXPECT_LT(first_with(index_synced, at("index " + in_flux("c.png"))), at("rename c.png"));
  for (const std::string path : {"a.png", "b.png", "c.png"}) {
    SCOPED_TRACE(path);
    const auto renamed = at("rename " + path);
    const auto synced = first_with(path, renamed + 1);
    EXPECT_TRUE(events[synced].starts_with("sync ")) << events[synced];
    EXPECT_LT(synced, first_with(path + " v=1"));
  }
  EXPECT_EQ(events.back(), index_synced);
}

// Path forms that file systems treat differently, stored on the real disk (here, and under Wine
// on Windows): each is served its own bytes or comes from the network, never another's bytes.
TEST_F(ResourceCacheTest, EveryPathFormGetsItsOwnBytesOrTheNetworkOnThisFileSystem) {
  const bool ignore_case = DefaultFileSystem().NamesIgnoreCase();
  const std::string segment_255 = std::string(251, 'a') + ".png";
  std::string chinese_255;  // 84 three-byte characters: 255 bytes, 88 UTF-16 units
  while (chinese_255.size() < 251) {
    chinese_255 += "\xE8\xB5\x84";
  }
  chinese_255 = chinese_255.substr(0, 249) + "ab.png";
  enum Gets { kOwnBytes, kNetwork, kDownloadedAgain, kNetworkAfterOneTry };
  const struct {
    std::string path;
    Gets gets;
  } forms[] = {
      // Escapes stay as the URL wrote them: one name, never a separator or an end.
      {"res/a%2Fb.png", kOwnBytes},
      {"res/a%00b.png", kOwnBytes},
      {"res/%2e%2e/up.png", kOwnBytes},
      {"res/" + segment_255, kOwnBytes},
      {"res/b" + segment_255, kNetwork},  // 256 bytes: a name no file system here takes
      {"res/" + chinese_255, kOwnBytes},
      // Two spellings of one name where names ignore case: the one stored last keeps the file.
      {"res/Case.png", ignore_case ? kDownloadedAgain : kOwnBytes},
      {"res/case.png", kOwnBytes},
      // Composed and decomposed "é": neither system folds them, so two files.
      {"res/caf\xC3\xA9.png", kOwnBytes},
      {"res/cafe\xCC\x81.png", kOwnBytes},
      // Names Windows keeps for devices, or would store without their last dot or blank.
      {"res/CON.png", kNetwork},
      {"res/nul/a.png", kNetwork},
      {"res/dot./a.png", kNetwork},
      {"res/blank /a.png", kNetwork},
      // A file in the way of its directory: tried once, then left to the network.
      {"res/way/a.png", kNetworkAfterOneTry},
  };
  testing::WriteCacheFile("res/way", "in the way");
  ResourceCache cache(GameHosts("h", ""));
  cache.index().Load();
  for (const auto& form : forms) {
    const std::string url = "http://h/" + form.path + "?v=1";
    if (form.gets == kNetwork) {
      EXPECT_EQ(cache.Decide(url).action, RequestAction::kPassThrough) << form.path;
    } else {
      EXPECT_EQ(Download(cache, url), form.gets != kNetworkAfterOneTry) << form.path;
    }
  }
  for (const auto& form : forms) {
    const std::string url = "http://h/" + form.path + "?v=1";
    const RequestDecision decision = cache.Decide(url);
    switch (form.gets) {
      case kOwnBytes:
        EXPECT_EQ(decision.action, RequestAction::kStoredIsCurrent) << form.path;
        EXPECT_EQ(ReadCacheFile(decision.key.path), "bytes of " + url) << form.path;
        break;
      case kDownloadedAgain:
        EXPECT_EQ(decision.action, RequestAction::kDownload) << form.path;
        EXPECT_FALSE(decision.disk_copy_usable) << form.path;
        break;
      case kNetwork:
      case kNetworkAfterOneTry:
        EXPECT_EQ(decision.action, RequestAction::kPassThrough) << form.path;
        break;
    }
  }
}

// The index loads on the writer thread; a request that comes first waits for it and is never
// taken for a new resource.
TEST_F(ResourceCacheTest, ARequestBeforeTheIndexIsLoadedWaitsForIt) {
  std::string text;
  for (int i = 0; i < 50000; ++i) {
    text += "r/" + std::to_string(i) + ".png v=1\n";
  }
  DefaultFileSystem().WriteFile(kIndexFileName, text + "version 1\n");
  std::filesystem::create_directory("r");
  DefaultFileSystem().WriteFile("r/49999.png", "x");
  // Stored by an earlier run, not a moment ago.
  std::filesystem::last_write_time(
      "r/49999.png", std::filesystem::last_write_time("r/49999.png") - std::chrono::minutes(1));
  ResourceCache cache(GameHosts("h", ""));
  cache.SetLoadWaitForTesting(std::chrono::minutes(1));
  cache.Start();
  EXPECT_EQ(cache.Decide("http://h/r/49999.png?v=1").action, RequestAction::kStoredIsCurrent);
}

// A close right after the start: the check of a large index's files stops where it is, instead
// of the close waiting for every stat.
TEST_F(ResourceCacheTest, ClosingStopsTheStartsHousekeeping) {
  struct SlowDisk : testing::MemoryFileSystem {
    std::atomic<int> stats{0};
    std::promise<void> checking;
    std::optional<uint64_t> FileSize(const std::string& path) override {
      if (++stats == 1) {
        checking.set_value();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return MemoryFileSystem::FileSize(path);
    }
  } disk;
  std::string text;
  for (int i = 0; i < 20000; ++i) {
    text += "r/" + std::to_string(i) + ".png v=1\n";
  }
  disk.files[kIndexFileName] = text + "version 1\n";
  ResourceCache cache(GameHosts("h", ""), disk);
  cache.Start();
  disk.checking.get_future().wait();
  cache.SaveAndWait();
  EXPECT_LT(disk.stats.load(), 5000);
  // Nothing was dropped for it: the next start checks them all again.
  EXPECT_EQ(cache.index().Entries().size(), 20001u);
}

// A load that takes longer than a moment (a huge index, a slow disk) never freezes the window:
// requests meanwhile go to the network.
TEST_F(ResourceCacheTest, ARequestWaitsForALoadOnlyAMoment) {
  struct SlowDisk : testing::MemoryFileSystem {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    ReadOutcome ReadFileInPieces(const std::string& path,
                                 size_t piece,
                                 const std::function<bool(std::string_view)>& sink) override {
      released.wait();
      return MemoryFileSystem::ReadFileInPieces(path, piece, sink);
    }
  } disk;
  disk.files[kIndexFileName] = "r/a.png v=1\nversion 1\n";
  disk.files["r/a.png"] = "x";
  ResourceCache cache(GameHosts("h", ""), disk);
  cache.SetLoadWaitForTesting(std::chrono::milliseconds(20));
  cache.Start();
  EXPECT_EQ(cache.Decide("http://h/r/a.png?v=1").action, RequestAction::kPassThrough);
  disk.release.set_value();
  cache.WaitForWriterForTesting();
  EXPECT_EQ(cache.Decide("http://h/r/a.png?v=1").action, RequestAction::kStoredIsCurrent);
}

}  // namespace
}  // namespace gameshell
