// The Windows platform layer under Wine: the launcher library through the loader, message boxes
// in UTF-16, and the cache's files through the wide calls.
#include <windows.h>
#undef LoadLibrary

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <thread>

#include "../unit/cache_file_access.h"
#include "../unit/test_file_systems.h"
#include "bridge/core/launcher.h"
#include "cache/core/cache_files.h"
#include "cache/core/cache_index.h"
#include "platform/dynamic_libraries.h"
#include "platform/win/win_launcher_host.h"

namespace gameshell {
namespace {

using testing::ReadCacheFile;
using testing::ScopedTempCwd;
using testing::WriteCacheFile;

struct Box {
  void* owner;
  std::wstring text;
  std::wstring caption;
  unsigned type;
};
std::vector<Box> g_boxes;

int __stdcall RecordBox(void* owner, const wchar_t* text, const wchar_t* caption, unsigned type) {
  g_boxes.push_back({owner, text, caption, type});
  return IDOK;
}

TEST(WinLauncherTest, StdcallExportsGetUtf16AndEveryResultComesBack) {
  WinLauncherHost host(0x1234, RecordBox);
  const std::string name = kLauncherLibraryName;
  g_boxes.clear();
  // Payment never loads the library: not loaded yet, so the box says so, with no owner.
  LauncherOpenPay(host, name, u"x");
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].owner, nullptr);
  EXPECT_EQ(g_boxes[0].text, L"没有找到ZendariGameLauncher.dll");
  EXPECT_EQ(g_boxes[0].caption, L"Zendari支付");
  EXPECT_EQ(g_boxes[0].type, static_cast<unsigned>(MB_OK));

  HMODULE library = static_cast<HMODULE>(host.LoadLibrary(name));
  ASSERT_NE(library, nullptr) << "the test library beside the executable";
  auto set_result = reinterpret_cast<void(__stdcall*)(int32_t)>(
      reinterpret_cast<void*>(::GetProcAddress(library, "TestSetAuthResult")));
  auto last_url = reinterpret_cast<const wchar_t*(__stdcall*)(bool*)>(
      reinterpret_cast<void*>(::GetProcAddress(library, "TestLastPayUrl")));
  for (int32_t result : {0, -1, INT_MAX, INT_MIN}) {
    set_result(result);
    EXPECT_EQ(LauncherUserAuthentic(host, name, 0x1234), result);
  }
  bool was_null = false;
  LauncherOpenPay(host, name, u"https://pay.example/支付?a=1");
  EXPECT_EQ(std::wstring(last_url(&was_null)), L"https://pay.example/支付?a=1");
  EXPECT_FALSE(was_null);
  LauncherOpenPay(host, name, u"");
  last_url(&was_null);
  EXPECT_TRUE(was_null);
}

TEST(WinLauncherTest, AFailedLoadShowsTheOwnedBoxAndALibraryInTheWorkingDirectoryIsNeverLoaded) {
  ScopedTempCwd cwd;
  // A copy of a real library, planted in the working directory under another name.
  std::filesystem::copy_file(TEST_LAUNCHER_DLL, "PlantedLauncher.dll");
  WinLauncherHost host(0x1234, RecordBox);
  g_boxes.clear();
  EXPECT_EQ(LauncherUserAuthentic(host, "PlantedLauncher.dll", 0x1234), std::nullopt);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].owner, reinterpret_cast<void*>(0x1234));
  EXPECT_EQ(g_boxes[0].text, L"UserAuthentic");
  EXPECT_EQ(g_boxes[0].caption, L"UserAuthentic失败");
  EXPECT_EQ(::GetModuleHandleW(L"PlantedLauncher.dll"), nullptr);
  // The standard search would have taken it: the restriction is what keeps it out.
  HMODULE planted = ::LoadLibraryW(L"PlantedLauncher.dll");
  EXPECT_NE(planted, nullptr);
  if (planted) {
    ::FreeLibrary(planted);
  }
}

TEST(WinFileSystemTest, IndexLinesEndWithCrLfAndBothEndingsAreRead) {
  ScopedTempCwd cwd;
  CacheIndex index;
  index.Load();
  index.Update("res/a.png", "v=1");
  index.Save();
  std::string text;
  DefaultFileSystem().ReadFile(kIndexFileName, &text);
  EXPECT_EQ(text, "res/a.png v=1\r\nversion 1\r\n");
  DefaultFileSystem().WriteFile(kIndexFileName, "b.png 2\nc.png 3\r\nversion 4\r\n");
  CacheIndex mixed;
  mixed.Load();
  EXPECT_EQ(mixed.Entries(),
            (std::map<std::string, std::string>{{"b.png", "2"}, {"c.png", "3"}, {"version", "4"}}));
}

// Two shells in one directory: each append and rewrite holds the index's lock, so a rewrite never
// drops what the other appended meanwhile (handles lock apart, as processes do). With the lock on
// the index itself, a writer that came while a rewrite had moved the old file aside made a new one
// and lost its lines to the rename: 2 runs in 60 lost from 9 to 150 of one index's entries.
TEST(WinFileSystemTest, TwoIndexesSharingTheFileLoseNoEntry) {
  ScopedTempCwd cwd;
  CacheIndex first;
  CacheIndex second;
  first.Load();
  second.Load();
  auto run = [](CacheIndex& index, const std::string& prefix) {
    for (int i = 0; i < 150; ++i) {
      index.Update(prefix + std::to_string(i) + ".png", "1");
      if (i % 10 == 0) {
        index.Save();
      }
    }
    index.Save();
  };
  std::thread other([&] { run(second, "b/"); });
  run(first, "a/");
  other.join();
  CacheIndex reloaded;
  reloaded.Load();
  EXPECT_EQ(reloaded.Entries().size(), 301u);
  // Leftover temporary files of the rewrites: none locked, all swept.
  std::vector<std::string> names;
  DefaultFileSystem().ListDirectory("", &names);
  for (const std::string& name : names) {
    EXPECT_NE(name.rfind(kTemporaryFilePrefix, 0), 0u) << name;
  }
}

// A writer's lock marks its temporary file as in use; a dead writer's file is anybody's to remove.
TEST(WinFileSystemTest, AnIndexLockHeldElsewhereIsToldFromARefusal) {
  ScopedTempCwd cwd;
  FileSystem& disk = DefaultFileSystem();
  ASSERT_TRUE(disk.AppendFile("fileList.txt", "a v=1\n"));
  EXPECT_FALSE(disk.LockHeldElsewhere("fileList.txt"));
  // Its lock lives in a file beside it (the index itself is renamed over on each rewrite).
  HANDLE holder = ::CreateFileW(L".gameshell-lock-fileList.txt", GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  OVERLAPPED at{};
  at.OffsetHigh = 0x7FFFFFFF;  // where the shell's writers lock
  ASSERT_TRUE(::LockFileEx(holder, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at));
  EXPECT_FALSE(disk.AppendFile("fileList.txt", "b v=1\n"));
  EXPECT_TRUE(disk.LockHeldElsewhere("fileList.txt"));
  ::CloseHandle(holder);
  EXPECT_FALSE(disk.LockHeldElsewhere("fileList.txt"));
}

TEST(WinFileSystemTest, OnlyAnUnlockedTemporaryFileIsRemoved) {
  ScopedTempCwd cwd;
  FileSystem& disk = DefaultFileSystem();
  std::unique_ptr<WritableFile> writer = disk.NewWritableFile("held.tmp");
  ASSERT_TRUE(writer && writer->Append("x"));
  EXPECT_FALSE(disk.RemoveUnlockedFile("held.tmp"));
  EXPECT_TRUE(writer->Close());
  EXPECT_TRUE(disk.RemoveUnlockedFile("held.tmp"));
  EXPECT_FALSE(disk.FileSize("held.tmp"));
}

TEST(WinFileSystemTest, AFileBeingReadIsStillReplacedWhole) {
  ScopedTempCwd cwd;
  WriteCacheFile("res/a.png", "old bytes");
  // Opened as a server of the file opens it: sharing reads and deletion.
  HANDLE reader = ::CreateFileW(L"res\\a.png", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  WriteCacheFile("res/a.png", "new bytes");
  char buffer[32] = {};
  DWORD got = 0;
  ::ReadFile(reader, buffer, sizeof buffer, &got, nullptr);
  ::CloseHandle(reader);
  EXPECT_EQ(std::string(buffer, got), "old bytes");
  EXPECT_EQ(ReadCacheFile("res/a.png"), "new bytes");
}

TEST(WinFileSystemTest, ChinesePathsRoundTripThroughTheWideCalls) {
  ScopedTempCwd cwd;
  const std::string path = "资源/界面/按钮.png";
  WriteCacheFile(path, "png");
  EXPECT_EQ(ReadCacheFile(path), "png");
  EXPECT_NE(::GetFileAttributesW(L"资源\\界面\\按钮.png"), INVALID_FILE_ATTRIBUTES);
  std::vector<std::string> names;
  ASSERT_TRUE(DefaultFileSystem().ListDirectory("资源/界面", &names));
  EXPECT_EQ(names, std::vector<std::string>{"按钮.png"});
}

}  // namespace
}  // namespace gameshell
