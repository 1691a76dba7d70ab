#include "cache/core/cache_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

#include "cache_file_access.h"
#include "test_file_systems.h"

namespace gameshell {
namespace {

namespace fs = std::filesystem;
using testing::CacheFileExists;
using testing::FaultyFileSystem;
using testing::ReadCacheFile;
using testing::ScopedTempCwd;
using testing::WriteCacheFile;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> FilesUnder(const fs::path& root) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) {
      names.push_back(fs::relative(entry.path(), root).generic_string());
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

class CacheFilesTest : public ::testing::Test {
 protected:
  ScopedTempCwd cwd_;
};

TEST_F(CacheFilesTest, ReadsWhatWasWrittenAsRawBytes) {
  const std::string content("\r\n\0\xff binary", 11);
  WriteCacheFile("a.dat", content);
  EXPECT_TRUE(CacheFileExists("a.dat"));
  EXPECT_EQ(ReadCacheFile("a.dat"), content);
  EXPECT_EQ(FilesUnder(cwd_.path()), std::vector<std::string>{"a.dat"});
}

// Escapes in a URL's path stay in the file's name as written, on either system: one file each.
TEST_F(CacheFilesTest, EscapesNameFilesOfTheirOwn) {
  const std::vector<std::string> names = {"r/a%00b.png", "r/a%2Fb.png", "r/a%5Cb.png"};
  for (const std::string& name : names) {
    WriteCacheFile(name, name);
  }
  for (const std::string& name : names) {
    EXPECT_EQ(ReadCacheFile(name), name);
  }
  EXPECT_EQ(FilesUnder(cwd_.path()), names);
}

TEST_F(CacheFilesTest, MissingFilesAndDirectoriesReadAsAbsent) {
  EXPECT_FALSE(CacheFileExists("missing.png"));
  EXPECT_EQ(ReadCacheFile("missing.png"), "");
  fs::create_directories("dir.png");
  EXPECT_FALSE(CacheFileExists("dir.png"));
  EXPECT_EQ(ReadCacheFile("dir.png"), "");
}

TEST_F(CacheFilesTest, CreatesMissingDirectoryLevels) {
  WriteCacheFile("res/ui/a.png", "png");
  EXPECT_EQ(Slurp("res/ui/a.png"), "png");
  WriteCacheFile("b.png", "root");
  EXPECT_EQ(Slurp("b.png"), "root");
}

TEST_F(CacheFilesTest, ReplacesAnExistingFileWhole) {
  WriteCacheFile("res/a.png", std::string(100000, 'o'));
  WriteCacheFile("res/a.png", "new");
  EXPECT_EQ(ReadCacheFile("res/a.png"), "new");
  EXPECT_EQ(FilesUnder(cwd_.path()), std::vector<std::string>{"res/a.png"});
}

TEST_F(CacheFilesTest, WriteOverADirectoryChangesNothing) {
  fs::create_directories("res/a.png/inner");
  WriteCacheFile("res/a.png", "x");
  EXPECT_TRUE(fs::is_directory("res/a.png"));
  EXPECT_EQ(FilesUnder(cwd_.path()), std::vector<std::string>{});
}

TEST_F(CacheFilesTest, AFailedRenameLeavesThePreviousFileWholeAndNoLeftovers) {
  FaultyFileSystem faulty;
  WriteCacheFile("res/a.png", "old content", faulty);
  faulty.fail_rename = true;
  WriteCacheFile("res/a.png", "new content that never lands", faulty);
  EXPECT_EQ(ReadCacheFile("res/a.png"), "old content");
  EXPECT_EQ(FilesUnder(cwd_.path()), std::vector<std::string>{"res/a.png"});
}

TEST_F(CacheFilesTest, AFullDiskLeavesNoShortFileBehind) {
  FaultyFileSystem faulty;
  faulty.write_limit = 4;
  WriteCacheFile("res/new.png", "0123456789", faulty);
  EXPECT_FALSE(CacheFileExists("res/new.png"));
  WriteCacheFile("res/old.png", "", faulty);
  faulty.write_limit = 2;
  WriteCacheFile("res/old.png", "0123456789", faulty);
  EXPECT_TRUE(CacheFileExists("res/old.png"));
  EXPECT_EQ(ReadCacheFile("res/old.png"), "");
  EXPECT_EQ(FilesUnder(cwd_.path()), std::vector<std::string>{"res/old.png"});
}

TEST_F(CacheFilesTest, NeverTouchesPathsOutsideTheCacheRoot) {
  fs::create_directories("inner");
  fs::current_path("inner");
  std::ofstream("../outside.png") << "secret";
  for (const char* path : {"../outside.png", "../planted.png", "/tmp/planted.png", "./a.png",
                           "x/../../planted.png", "C:/planted.png", "a\\..\\..\\planted.png"}) {
    SCOPED_TRACE(path);
    WriteCacheFile(path, "evil");
    EXPECT_FALSE(CacheFileExists(path));
    EXPECT_EQ(ReadCacheFile(path), "");
  }
  fs::current_path(cwd_.path());
  EXPECT_EQ(Slurp("outside.png"), "secret");
  EXPECT_EQ(FilesUnder(cwd_.path()), std::vector<std::string>{"outside.png"});
  EXPECT_FALSE(fs::exists("/tmp/planted.png"));
}

// Another shell holding the index's lock and stopped there (SIGSTOP) holds up no write for long:
// the write fails, and the index keeps its lines for a later one.
TEST_F(CacheFilesTest, AStoppedLockHolderHoldsUpTheIndexOnlyAMoment) {
#ifndef _WIN32
  FileSystem& disk = DefaultFileSystem();
  ASSERT_TRUE(disk.AppendFile("fileList.txt", "a v=1\n"));
  const int holder = ::open("fileList.txt", O_RDWR);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  EXPECT_FALSE(disk.AppendFile("fileList.txt", "b v=1\n"));
  EXPECT_TRUE(disk.LockHeldElsewhere("fileList.txt"));
  EXPECT_FALSE(disk.ReplaceFileMerged(
      "fileList.txt", [](std::string_view) {}, [] { return "x"; }));
  ::close(holder);
  EXPECT_FALSE(disk.LockHeldElsewhere("fileList.txt"));
  EXPECT_TRUE(disk.AppendFile("fileList.txt", "c v=1\n"));
  EXPECT_EQ(Slurp("fileList.txt"), "a v=1\nc v=1\n");
#endif
}

// Whoever can write into a shared root may plant links: the cache neither writes nor reads, stamps,
// lists or removes anything through one, in a directory of the path or at its end.
TEST_F(CacheFilesTest, NeverFollowsALinkPlantedInTheRoot) {
#ifndef _WIN32
  const fs::path elsewhere = fs::path(cwd_.path()).parent_path() /
                             (fs::path(cwd_.path()).filename().string() + "-elsewhere");
  fs::create_directories(elsewhere);
  std::ofstream(elsewhere / "key") << "private";
  struct Removed {
    fs::path path;
    ~Removed() { fs::remove_all(path); }
  } removed{elsewhere};
  fs::create_directory_symlink(elsewhere, "img");
  fs::create_directories("data");
  fs::create_symlink(elsewhere / "key", "data/secret.dat");
  fs::create_symlink(elsewhere / "key", "fileList.txt");
  FileSystem& disk = DefaultFileSystem();
  const std::vector<std::string> planted = {"img/logo.png", "img/key", "data/secret.dat",
                                            "fileList.txt"};
  for (const std::string& path : planted) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(disk.AppendFile(path, "line\n"));
    EXPECT_EQ(ReadCacheFile(path), "");
    EXPECT_FALSE(disk.FileSize(path));
    EXPECT_FALSE(disk.Stamp(path));
    EXPECT_EQ(disk.OpenForReading(path), -1);
    EXPECT_FALSE(disk.RemoveUnlockedFile(path));
  }
  // A file written where a link ends takes the link's place; one below a linked directory is
  // never written.
  for (const std::string& path : planted) {
    WriteCacheFile(path, "game bytes");
  }
  EXPECT_EQ(ReadCacheFile("data/secret.dat"), "game bytes");
  EXPECT_FALSE(disk.FileSize("img/logo.png"));
  std::vector<std::string> names;
  EXPECT_FALSE(disk.ListDirectory("img", &names));
  EXPECT_FALSE(disk.IsDirectory("img"));
  EXPECT_FALSE(disk.CreateDirectory("img/sub"));
  EXPECT_EQ(Slurp(elsewhere / "key"), "private");
  EXPECT_EQ(FilesUnder(elsewhere), std::vector<std::string>{"key"});
  // What is not a link still works, in the same directories.
  WriteCacheFile("data/map.dat", "map");
  EXPECT_EQ(ReadCacheFile("data/map.dat"), "map");
  const int fd = disk.OpenForReading("data/map.dat");
  EXPECT_GE(fd, 0);
  ::close(fd);
#endif
}

}  // namespace
}  // namespace gameshell
