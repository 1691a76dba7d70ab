#include "cache/core/cache_index.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "test_file_systems.h"

namespace gameshell {
namespace {

using testing::FaultyFileSystem;
using testing::MemoryFileSystem;
using testing::ScopedTempCwd;
using Entries = std::map<std::string, std::string>;

// Each entry's key and value share one string: a key must never run into its value.
TEST(IndexEntriesTest, KeysThatBeginOtherKeysStayApartFromTheirValues) {
  IndexEntries entries;
  EXPECT_FALSE(entries.Set("a.png", "2"));
  EXPECT_FALSE(entries.Set("a", ".png2"));
  EXPECT_FALSE(entries.Set("a.png2", ""));
  EXPECT_FALSE(entries.Set(std::string("b\0c", 3), std::string("\0", 1)));
  EXPECT_EQ(entries.Set("a", "1"), ".png2");  // replaced, in its place
  EXPECT_FALSE(entries.Add("a.png", "9"));
  EXPECT_TRUE(entries.Add("0", "0"));
  EXPECT_EQ(entries.ToMap(), (Entries{{"0", "0"},
                                      {"a", "1"},
                                      {"a.png", "2"},
                                      {"a.png2", ""},
                                      {std::string("b\0c", 3), std::string("\0", 1)}}));
  EXPECT_EQ(entries.Find("a.pn"), std::nullopt);
  EXPECT_EQ(entries.Find("a.png"), "2");
  EXPECT_EQ(entries.KeysAfter(std::nullopt, 2), (std::vector<std::string>{"0", "a"}));
  EXPECT_EQ(entries.KeysAfter("a.p", 2), (std::vector<std::string>{"a.png", "a.png2"}));
  EXPECT_EQ(entries.Erase("a.png"), "2");
  EXPECT_FALSE(entries.Contains("a.png"));
  IndexEntries other;
  other.Set("a", "other");
  other.Set("z", "other");
  entries.Merge(other);  // what `entries` has wins
  EXPECT_EQ(entries.Find("a"), "1");
  EXPECT_EQ(entries.Find("z"), "other");
  EXPECT_EQ(other.ToMap(), (Entries{{"a", "other"}}));
}

class CacheIndexTest : public ::testing::Test {
 protected:
  MemoryFileSystem disk_;
  CacheIndex index_{disk_};

  // With LF line ends, whatever the platform writes.
  std::string File() {
    std::string text = disk_.files[kIndexFileName];
    for (size_t cr; (cr = text.find("\r\n")) != std::string::npos;) {
      text.erase(cr, 1);
    }
    return text;
  }
};

TEST_F(CacheIndexTest, LoadWithoutAFileHoldsOnlyTheDefaultGenerationAndWritesNothing) {
  index_.Load();
  EXPECT_EQ(index_.Entries(), (Entries{{"version", "1"}}));
  EXPECT_EQ(disk_.writes, 0);
}

TEST_F(CacheIndexTest, LoadParsesLinesAsTheFileFormatSays) {
  disk_.files[kIndexFileName] =
      "res/a.png v=1 extra words\r\n"
      "no-space-line\n"
      "trailing-space \n"
      "\n"
      " empty-key\n"
      "dup 1\n"
      "dup 2\n"
      "version 7\n"
      "last-line-without-end 0";
  index_.Load();
  // The shell ends every line: one without its end is torn, and left out.
  EXPECT_EQ(
      index_.Entries(),
      (Entries{
          {"", "empty-key"}, {"dup", "2"}, {"res/a.png", "v=1 extra words"}, {"version", "7"}}));
}

// In byte order of the keys; an entry no line can hold stays out, and never corrupts another line.
TEST_F(CacheIndexTest, SaveWritesKeysInByteOrderAndOnlyWhatRoundTrips) {
  index_.Load();
  const std::pair<const char*, const char*> entries[] = {
      {"sound/b.mp3", "0"},      {"res/ui/a.png", "v=12"}, {"Res/z.png", "1"},
      {"res/ui/a.png.png", "2"}, {"\xc3\xa9.png", "3"},    {"a.png", "1\nversion 999"},
      {"b.png", "1\r"},          {"c d.png", "1"},         {"e\n.png", "1"}};
  for (const auto& [key, value] : entries) {
    index_.Update(key, value);
  }
  index_.Save();
  EXPECT_EQ(File(),
            "Res/z.png 1\n"
            "res/ui/a.png v=12\n"
            "res/ui/a.png.png 2\n"
            "sound/b.mp3 0\n"
            "version 1\n"
            "\xc3\xa9.png 3\n");
  // They stay usable in memory for the rest of the run.
  EXPECT_EQ(index_.Find("a.png"), "1\nversion 999");
}

TEST_F(CacheIndexTest, ResetKeepsOnlyTheNewGeneration) {
  index_.Load();
  index_.Update("a.png", "1");
  index_.Reset("7");
  EXPECT_EQ(File(), "version 7\n");
  EXPECT_EQ(index_.Find("a.png"), std::nullopt);
  index_.Reset("8");
  EXPECT_EQ(File(), "version 8\n");
  // Asked while the index loads (on another thread), a clear never waits for the load: it takes
  // effect, over everything the file held, once the load has run.
  disk_.files[kIndexFileName] = "a.png 1\nversion 8\n";
  CacheIndex loading(disk_);
  loading.ExpectLoad();
  loading.Reset("9");
  loading.Load();
  EXPECT_EQ(loading.Entries(), (Entries{{"version", "9"}}));
  loading.RewriteIfDue();
  EXPECT_EQ(File(), "version 9\n");
}

TEST_F(CacheIndexTest, AGenerationWithALineBreakIsRefused) {
  index_.Load();
  index_.Update("a.png", "1");
  index_.Save();
  const std::string before = File();
  for (const char* generation : {"2\nb.png 9", "2\r", "\n"}) {
    index_.Reset(generation);
    EXPECT_EQ(File(), before);
    EXPECT_EQ(index_.Find("a.png"), "1");
    EXPECT_EQ(index_.Find("version"), "1");
  }
}

TEST_F(CacheIndexTest, ResetWithAnEmptyGenerationReloadsAsTheDefault) {
  index_.Load();
  index_.Reset("");
  EXPECT_EQ(File(), "version \n");
  CacheIndex reloaded(disk_);
  reloaded.Load();
  EXPECT_EQ(reloaded.Entries(), (Entries{{"version", "1"}}));
}

TEST_F(CacheIndexTest, SaveBeforeLoadKeepsTheFile) {
  disk_.files[kIndexFileName] = "a.png 1\n";
  index_.Save();
  EXPECT_EQ(File(), "a.png 1\n");
}

TEST_F(CacheIndexTest, TheGenerationSharesItsKeyWithCachePaths) {
  index_.Load();
  EXPECT_EQ(index_.Find("version"), "1");
  index_.Update("version", "v=3");
  EXPECT_EQ(index_.Find("version"), "v=3");
  // No cache path is empty: such an entry is junk and leaves the file at the next rewrite.
  index_.Update("", "empty");
  EXPECT_EQ(index_.Find(""), "empty");
  index_.Save();
  CacheIndex reloaded(disk_);
  reloaded.Load();
  EXPECT_EQ(reloaded.Find(""), std::nullopt);
  EXPECT_EQ(reloaded.Find("version"), "v=3");
}

// A kill loses no entry: each reaches the file at once, or as soon as the scheduler runs.
TEST_F(CacheIndexTest, EveryUpdateReachesTheFileWithoutWaitingForOthers) {
  index_.Load();
  index_.Update("a.png", "1");
  EXPECT_EQ(File(), "version 1\na.png 1\n");
  int scheduled = 0;
  index_.SetSaveScheduler([&] { ++scheduled; });
  index_.Update("b.png", "2");
  EXPECT_EQ(scheduled, 1);
  index_.Flush();
  EXPECT_EQ(File(), "version 1\na.png 1\nb.png 2\n");
}

// Before new files replace old ones, the file says their paths hold no known version, whether or
// not this index had an entry: a kill between the two steps, or a peer that reads the file then,
// finds no entry naming bytes that are gone.
TEST_F(CacheIndexTest, CoveredPathsAreOnTheFileAtOnceAndMatchNoToken) {
  index_.SetSaveScheduler([] {});
  index_.Load();
  index_.Update("a.png", "v=1");
  index_.Update("b.png", "v=1");
  // The replacements run once the lines are on the file.
  std::string file_then;
  EXPECT_TRUE(index_.CoverReplacements({"a.png", "new.png"}, [&] { file_then = File(); }));
  EXPECT_NE(file_then.find("new.png"), std::string::npos);
  CacheIndex reloaded(disk_);
  reloaded.Load();
  EXPECT_EQ(reloaded.Find("a.png"), kNoVersionToken);
  EXPECT_EQ(reloaded.Find("new.png"), kNoVersionToken);
  EXPECT_NE(reloaded.Find("a.png"), " ");
  // Other pending lines wait for the save that flushes their files first; the superseded line of
  // the forgotten key never follows it.
  EXPECT_FALSE(reloaded.Find("b.png"));
  index_.Flush();
  CacheIndex saved(disk_);
  saved.Load();
  EXPECT_EQ(saved.Find("a.png"), kNoVersionToken);
  EXPECT_EQ(saved.Find("b.png"), "v=1");
}

TEST_F(CacheIndexTest, JunkAndEntriesWithoutFilesAreDroppedAndTheFileRewritten) {
  disk_.files["res/a.png"] = "a";
  disk_.files["res/long.png"] = "l";
  disk_.files["res/c.png"] = "c";
  disk_.files[kIndexFileName] =
      "res/a.png 1\nres/gone.png 2\n../x.png 3\nbin\x01ary 4\n"
      // A damaged line takes its key's earlier one with it.
      "res/b.png v\x02\nres/c.png 1\nres/c.png v\x03\n" +
      std::string(kMaxIndexLineBytes, 'k') + " 5\nversion 3\n" +
      // A storable path whose line is overlong all the same.
      "res/long.png " + std::string(kMaxIndexLineBytes, 'v') + "\n";
  index_.Load();
  EXPECT_EQ(index_.Find("res/gone.png"), "2");
  EXPECT_EQ(index_.Find("res/long.png"), std::nullopt);
  std::vector<std::string> stamped;
  index_.StampEntries([&](const std::string& key, const FileStamp&) { stamped.push_back(key); });
  // A junk entry's file is looked at too; its token matches no request.
  EXPECT_EQ(stamped, (std::vector<std::string>{"res/a.png", "res/c.png"}));
  EXPECT_EQ(index_.Find("res/gone.png"), std::nullopt);
  index_.RewriteIfDue();
  EXPECT_EQ(File(), "res/a.png 1\nversion 3\n");
  // Another shell's later line brings an entry back once its file is there.
  disk_.files["res/gone.png"] = "g";
  index_.Update("res/gone.png", "4");
  index_.Save();
  EXPECT_EQ(File(), "res/a.png 1\nres/gone.png 4\nversion 3\n");
}

TEST_F(CacheIndexTest, FlushesAppendUntilTheFileOutgrowsTwiceItsLiveEntries) {
  disk_.files[kIndexFileName] = "version 1\n";
  index_.Load();
  index_.Update("b.png", "1");
  index_.Update("a.png", "1");
  index_.Flush();
  EXPECT_EQ(File(), "version 1\nb.png 1\na.png 1\n");
  // The same entry again and again: appends until the file is past twice the live size.
  for (int v = 2; v <= 5; ++v) {
    index_.Update("b.png", std::to_string(v));
    index_.Flush();
  }
  EXPECT_EQ(File(), "a.png 1\nb.png 5\nversion 1\n");
  index_.Update("c.png", "1");
  index_.Flush();
  EXPECT_EQ(File(), "a.png 1\nb.png 5\nversion 1\nc.png 1\n");
}

// Cut from "v=12", a torn last line would name version 1 over version 12's bytes; an overlong one
// left in the file would swallow the next line appended.
TEST_F(CacheIndexTest, ATornLastLineIsNeverTakenWhole) {
  // Live entries outweigh the torn line, so no rewrite for size hides one that is not done.
  std::string lines = "a.dat v=11\nversion 1\n";
  for (int i = 0; i < 40; ++i) {
    lines += "r/" + std::to_string(i) + ".png v=" + std::string(500, 'v') + "\n";
  }
  for (const std::string& torn : {std::string("a.dat v=1"), std::string(9000, 'x')}) {
    disk_.files[kIndexFileName] = lines + torn;
    CacheIndex index(disk_);
    index.Load();
    EXPECT_EQ(index.Find("a.dat"), "v=11");
    index.Update("b.dat", "v=2");
    CacheIndex reloaded(disk_);
    reloaded.Load();
    EXPECT_EQ(reloaded.Find("a.dat"), "v=11");
    EXPECT_EQ(reloaded.Find("b.dat"), "v=2");
  }
}

// A long-lived game's index: many entries, a version changed now and then (appended later), and a
// kill during the last append.
TEST_F(CacheIndexTest, ALargeIndexLoadsByTheFormatsRule) {
  Entries expected{{"version", "4"}};
  std::string text;
  for (int i = 0; i < 30000; ++i) {
    const std::string key = "res/" + std::to_string(i * 7919 % 30000) + ".png";
    text += key + " v=1\n";
    expected[key] = "v=1";
  }
  for (int i = 0; i < 30000; i += 7) {
    const std::string key = "res/" + std::to_string(i) + ".png";
    text += key + " v=2\n";
    expected[key] = "v=2";
  }
  disk_.files[kIndexFileName] = text + "version 4\nres/torn.pn";
  index_.Load();
  // Compared without printing: a failure would print both indexes whole.
  EXPECT_TRUE(index_.Entries() == expected);
  index_.Flush();
  std::string sorted;
  for (const auto& [key, value] : expected) {
    sorted += key + " " + value + "\n";
  }
  EXPECT_TRUE(File() == sorted);
}

TEST_F(CacheIndexTest, ARewriteKeepsWhatAnotherShellAppended) {
  CacheIndex other(disk_);
  index_.Load();
  other.Load();
  index_.Update("mine.png", "1");
  index_.Flush();
  other.Update("theirs.png", "2");
  other.Flush();
  index_.Save();
  EXPECT_EQ(File(), "mine.png 1\ntheirs.png 2\nversion 1\n");
  other.Save();
  EXPECT_EQ(File(), "mine.png 1\ntheirs.png 2\nversion 1\n");
}

TEST_F(CacheIndexTest, RandomIndexesRoundTripThroughTheFile) {
  std::mt19937 random(12345);
  // Keys as cache paths look (any byte but separators and what Windows forbids), values as
  // tokens (any byte but control characters).
  auto random_text = [&](bool key) {
    std::string text = key ? "r/k" : "";
    int length = random() % 12;
    for (int i = 0; i < length; ++i) {
      auto c = static_cast<unsigned char>(random() % 256);
      if (c < 0x20 || c == 0x7F ||
          (key && std::string_view(" /\\:<>\"|?*.").find(c) != std::string_view::npos)) {
        c = 'x';
      }
      text += static_cast<char>(c);
    }
    return key ? text + ".png" : text;
  };
  for (int round = 0; round < 200; ++round) {
    MemoryFileSystem disk;
    CacheIndex index(disk);
    index.Load();
    for (int i = random() % 50; i > 0; --i) {
      std::string value = random_text(false);
      // An empty value is skipped on reload, as the format says; keep it out of the property.
      index.Update(random_text(true), value.empty() ? "0" : value);
    }
    index.Save();
    CacheIndex reloaded(disk);
    reloaded.Load();
    ASSERT_EQ(reloaded.Entries(), index.Entries()) << "round " << round;
  }
}

TEST(CacheIndexDiskTest, AFailedSaveKeepsThePreviousFileWhole) {
  ScopedTempCwd cwd;
  FaultyFileSystem disk;
  CacheIndex index(disk);
  index.Load();
  index.Update("a.png", "1");
  index.Save();
  disk.fail_rename = true;
  index.Update("b.png", "2");
  index.Save();
  index.Reset("9");
  // The new entry was appended; the failed rewrite after it left the file whole.
  CacheIndex reloaded;
  reloaded.Load();
  EXPECT_EQ(reloaded.Entries(), (Entries{{"a.png", "1"}, {"b.png", "2"}, {"version", "1"}}));
  // Memory stays authoritative: the next save that succeeds writes it all.
  disk.fail_rename = false;
  index.Save();
  CacheIndex again;
  again.Load();
  EXPECT_EQ(again.Entries(), (Entries{{"version", "9"}}));
}

TEST(CacheIndexDiskTest, ConcurrentUpdatesAndSavesLoseNothing) {
  ScopedTempCwd cwd;
  CacheIndex index;
  index.Load();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&index, t] {
      for (int i = 0; i < 500; ++i) {
        index.Update("t" + std::to_string(t) + "/" + std::to_string(i) + ".png", "1");
        if (i % 50 == 0) {
          index.Save();
        }
        index.Find("t0/1.png");
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  index.Save();
  CacheIndex reloaded;
  reloaded.Load();
  EXPECT_EQ(reloaded.Entries().size(), 4u * 500u + 1u);
}

#ifndef _WIN32
// On the real disk: what is named like the index but is no regular file is never waited on,
// never written, and said; a huge junk file costs no more memory than its useful lines.
TEST(CacheIndexFileTest, AnIndexThatIsNoFileIsSaidAndNeitherReadNorWritten) {
  for (const char* kind : {"fifo", "directory", "device"}) {
    SCOPED_TRACE(kind);
    ScopedTempCwd cwd;
    const std::string name = kIndexFileName;
    if (std::string(kind) == "fifo") {
      ASSERT_EQ(mkfifo(name.c_str(), 0600), 0);
    } else if (std::string(kind) == "directory") {
      std::filesystem::create_directory(name);
    } else {
      std::filesystem::create_symlink("/dev/zero", name);
    }
    CacheIndex index;
    ::testing::internal::CaptureStderr();
    index.Load();  // would block for good on the FIFO
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cannot read the cache index"), std::string::npos) << said;
    EXPECT_NE(said.find(name), std::string::npos) << said;
    index.Update("a.png", "1");
    index.Save();
    EXPECT_EQ(index.Find("a.png"), "1");
    EXPECT_EQ(std::filesystem::symlink_status(name).type(),
              std::string(kind) == "fifo"        ? std::filesystem::file_type::fifo
              : std::string(kind) == "directory" ? std::filesystem::file_type::directory
                                                 : std::filesystem::file_type::symlink);
  }
}

TEST(CacheIndexFileTest, AHugeJunkIndexLoadsItsUsefulLinesOnly) {
  ScopedTempCwd cwd;
  {
    std::ofstream file(kIndexFileName, std::ios::binary);
    const std::string junk_key(100, '\x01');
    const std::string long_line(100000, 'x');
    for (int i = 0; i < 30000; ++i) {
      file << junk_key << i << " junk\n" << (i % 150 == 0 ? long_line + "\n" : "");
    }
    file << "res/a.png v=1\nversion 2\n";
  }
  CacheIndex index;
  index.Load();
  EXPECT_EQ(index.Find("res/a.png"), "v=1");
  EXPECT_EQ(index.Find("version"), "2");
  EXPECT_LT(index.Entries().size(), 20000u);
  index.RewriteIfDue();
  std::ifstream file(kIndexFileName, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "res/a.png v=1\nversion 2\n");
}
#endif

}  // namespace
}  // namespace gameshell
