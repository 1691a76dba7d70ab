#include "cache/core/cache_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
// The file system's CreateDirectory, not the macro for the system's call.
#undef CreateDirectory
#else
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

// Plants a symbolic link as a local user would, with a target relative to the link's directory;
// false where this system lets the test plant none (Windows without the right to make links).
bool PlantLink(const std::string& target, const std::string& link, bool directory) {
#ifdef _WIN32
  const std::wstring wide_link = fs::path(link).wstring();
  const auto planted = [&] {
    return (::GetFileAttributesW(wide_link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  };
  const auto exists = [&] {
    return ::GetFileAttributesW(wide_link.c_str()) != INVALID_FILE_ATTRIBUTES;
  };
  ::CreateSymbolicLinkW(wide_link.c_str(), fs::path(target).make_preferred().wstring().c_str(),
                        (directory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) |
                            SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
  if (!exists() && directory) {
    // Wine makes none, but shows the host's links to directories (not to files) as reparse
    // points: plant one with the host's ln.
    std::wstring command = L"Z:\\bin\\ln -s " + fs::path(target).wstring() + L" " + wide_link;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                         &startup, &process)) {
      ::CloseHandle(process.hThread);
      ::CloseHandle(process.hProcess);
      // A host process's handle tells nothing of its end: the link itself is waited for.
      for (int wait = 0; wait < 200 && !exists(); ++wait) {
        ::Sleep(25);
      }
    }
  }
  return exists() && planted();
#else
  std::error_code error;
  directory ? fs::create_directory_symlink(target, link, error)
            : fs::create_symlink(target, link, error);
  return !error;
#endif
}

// Whoever can write into a shared root may plant links: the cache neither writes nor reads, stamps,
// lists or removes anything through one, in a directory of the path or at its end.
TEST_F(CacheFilesTest, NeverFollowsALinkPlantedInTheRoot) {
  const std::string away = fs::path(cwd_.path()).filename().string() + "-elsewhere";
  const fs::path elsewhere = fs::path(cwd_.path()).parent_path() / away;
  fs::create_directories(elsewhere);
  std::ofstream(elsewhere / "key") << "private";
  struct Removed {
    fs::path path;
    ~Removed() { fs::remove_all(path); }
  } removed{elsewhere};
  fs::create_directories("data");
  if (!PlantLink("../" + away, "img", true)) {
    GTEST_SKIP() << "this system lets the test plant no link";
  }
  std::vector<std::string> planted = {"img/logo.png", "img/key"};
  // Under Wine only the linked directory is tried.
  const bool file_links = PlantLink("../../" + away + "/key", "data/secret.dat", false) &&
                          PlantLink("../" + away + "/key", "fileList.txt", false);
#ifndef _WIN32
  ASSERT_TRUE(file_links);
#endif
  if (file_links) {
    planted.insert(planted.end(), {"data/secret.dat", "fileList.txt"});
  }
  FileSystem& disk = DefaultFileSystem();
  for (const std::string& path : planted) {
    SCOPED_TRACE(path);
    EXPECT_FALSE(disk.AppendFile(path, "line\n"));
    EXPECT_EQ(ReadCacheFile(path), "");
    EXPECT_FALSE(disk.FileSize(path));
    EXPECT_FALSE(disk.Stamp(path));
    EXPECT_EQ(disk.OpenForReading(path), -1);
    EXPECT_FALSE(disk.RemoveUnlockedFile(path));
  }
  // A file written where a link ends takes the link's place on POSIX, and is refused on Windows;
  // one below a linked directory is never written.
  for (const std::string& path : planted) {
    WriteCacheFile(path, "game bytes");
  }
  if (file_links) {
#ifdef _WIN32
    EXPECT_EQ(ReadCacheFile("data/secret.dat"), "");
#else
    EXPECT_EQ(ReadCacheFile("data/secret.dat"), "game bytes");
#endif
  }
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
#ifdef _WIN32
  ::_close(fd);
#else
  ::close(fd);
#endif
}

}  // namespace
}  // namespace gameshell
