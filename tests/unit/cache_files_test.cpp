#include "cache/core/cache_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

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

}  // namespace
}  // namespace gameshell
