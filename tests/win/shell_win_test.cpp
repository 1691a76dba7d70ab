// The Windows shell under Wine, against a stand-in for Edge (fake_browser.cpp) that speaks the
// protocol over the same pipe: the start, the page functions judged by origin, a cached file, and
// both ends of the pair's life. And the pieces of the platform layer the shell starts with.
#include <windows.h>
// After windows.h, which it needs; it names a function of its own as the platform layer does.
#include <shellapi.h>
#undef FindExecutable

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../unit/cache_file_access.h"
#include "../unit/test_file_systems.h"
#include "base/core/text_conversion.h"
#include "base/core/windows_command_line.h"
#include "cache/core/cache_index.h"
#include "cache/core/cache_paths.h"
#include "platform/browser_process.h"
#include "platform/temporary_directory.h"
#include "shown_dialog.h"

namespace gameshell {
namespace {

namespace fs = std::filesystem;
using testing::ScopedTempCwd;

std::wstring Wide(const std::u16string& text) {
  return std::wstring(text.begin(), text.end());
}

// The runtime's own splitting agrees with the shell's, quoted arguments included.
TEST(WinCommandLineTest, TheShellSplitsAsTheSystemDoes) {
  const std::u16string args[] = {
      u"plain",         u"a b", u"a\"b",     u"C:\\dir with space\\", u"\\\\server\\\"x\\\\",
      u"名字 \"引号\"", u"",    u"tab\there"};
  std::u16string line = u"\"C:\\Program Files\\p.exe\"";
  for (const std::u16string& arg : args) {
    line += u" " + QuoteWindowsArgument(arg);
  }
  line += u" x\\\\\\\"y \"z\"\"w\" \\\\a";
  int count = 0;
  wchar_t** system = ::CommandLineToArgvW(Wide(line).c_str(), &count);
  ASSERT_NE(system, nullptr);
  const std::vector<WindowsArgument> ours = ParseWindowsCommandLine(line);
  ASSERT_EQ(static_cast<size_t>(count), ours.size());
  for (int i = 0; i < count; ++i) {
    EXPECT_EQ(std::wstring(system[i]), Wide(ours[i].text)) << i;
  }
  ::LocalFree(system);
}

// The browser's installer registers it under App Paths; the shell finds it there first.
TEST(WinBrowserTest, TheBrowserIsFoundWhereItsInstallerRegisteredIt) {
  const std::wstring key =
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\gameshell-test-browser.exe";
  ScopedTempCwd cwd;
  const fs::path copied = cwd.path() / "installed browser.exe";
  fs::copy_file(FAKE_BROWSER, copied);
  const std::string registered = Utf16ToUtf8(copied.u16string());
  EXPECT_EQ(platform::FindExecutable({"gameshell-test-browser.exe"}), "");
  for (const std::wstring& value :
       {Wide(Utf8ToUtf16(registered)), L"\"" + Wide(Utf8ToUtf16(registered)) + L"\""}) {
    ASSERT_EQ(::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, REG_SZ, value.c_str(),
                                static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    EXPECT_EQ(fs::path(Utf8ToUtf16(
                  platform::FindExecutable({"missing-browser.exe", "gameshell-test-browser.exe"}))),
              fs::path(Utf8ToUtf16(registered)));
  }
  // A registration whose file is gone counts for nothing.
  const std::wstring gone = L"C:\\nowhere\\gameshell-test-browser.exe";
  ::RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, REG_SZ, gone.c_str(),
                    static_cast<DWORD>((gone.size() + 1) * sizeof(wchar_t)));
  EXPECT_EQ(platform::FindExecutable({"gameshell-test-browser.exe"}), "");
  ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

TEST(WinTemporaryDirectoryTest, OnlyAnAbandonedDirectoryIsRemoved) {
  const std::string prefix = "gameshell-test-dir-";
  const std::string held = platform::MakeTemporaryDirectory(prefix);
  ASSERT_FALSE(held.empty());
  std::ofstream(fs::path(Utf8ToUtf16(held)) / "Preferences") << "{}";
  // One a shell left behind: nobody holds it.
  const fs::path left = fs::temp_directory_path() / (prefix + "left");
  fs::create_directories(left / "Default");
  std::ofstream(left / "Default" / "Cookies") << "x";
  // Both made more than a minute ago, as far as the clean-up can tell.
  for (const fs::path& dir : {fs::path(Utf8ToUtf16(held)), left}) {
    HANDLE handle = ::CreateFileW(dir.c_str(), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER then{{now.dwLowDateTime, now.dwHighDateTime}};
    then.QuadPart -= 120ull * 10'000'000ull;
    const FILETIME old{then.LowPart, then.HighPart};
    ::SetFileTime(handle, nullptr, nullptr, &old);
    ::CloseHandle(handle);
  }
  platform::RemoveAbandonedTemporaryDirectories(prefix);
  EXPECT_TRUE(fs::exists(fs::path(Utf8ToUtf16(held)) / "Preferences"));
  EXPECT_FALSE(fs::exists(left));
  platform::RemoveDirectoryTree(held);
  EXPECT_FALSE(fs::exists(fs::path(Utf8ToUtf16(held))));
}

// The box's window of the shell's process, once it shows; null if none showed in a minute.
HWND BoxOf(DWORD pid) {
  for (int i = 0; i < 600; ++i) {
    if (const HWND box = ShownDialog([pid](HWND window) {
          DWORD owner = 0;
          ::GetWindowThreadProcessId(window, &owner);
          return owner == pid;
        })) {
      return box;
    }
    ::Sleep(100);
  }
  return nullptr;
}

// The text of the shell's box, once it shows; the box is then closed.
std::wstring BoxTextOf(DWORD pid) {
  const HWND box = BoxOf(pid);
  if (!box) {
    return {};
  }
  wchar_t text[2048] = {};
  ::GetDlgItemTextW(box, 0xFFFF, text, 2048);
  ::PostMessageW(box, WM_CLOSE, 0, 0);
  return text;
}

// The shell started as a player's shortcut or the platform's handler starts it, with the stand-in
// for Edge found on the PATH.
class WinShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    browser_dir_ = cwd_.path() / "browser";
    fs::create_directories(browser_dir_);
    fs::copy_file(FAKE_BROWSER, browser_dir_ / "msedge.exe");
    log_ = cwd_.path() / "browser.log";
    game_ = cwd_.path() / "game";
    fs::create_directories(game_);
    const std::wstring path = browser_dir_.wstring() + L";" + Variable(L"PATH");
    ::SetEnvironmentVariableW(L"PATH", path.c_str());
    ::SetEnvironmentVariableW(L"FAKE_BROWSER_LOG", log_.c_str());
  }

  void TearDown() override {
    ::SetEnvironmentVariableW(L"PATH", old_path_.c_str());
    ::SetEnvironmentVariableW(L"FAKE_BROWSER_LOG", nullptr);
    ::SetEnvironmentVariableW(L"FAKE_BROWSER_PLAY", nullptr);
    if (shell_.hProcess) {
      ::TerminateProcess(shell_.hProcess, 1);
      ::CloseHandle(shell_.hProcess);
    }
  }

  static std::wstring Variable(const wchar_t* name) {
    wchar_t value[32768] = {};
    ::GetEnvironmentVariableW(name, value, 32768);
    return value;
  }

  // The shell in the game's directory (its cache root), with `tail` after its name.
  void StartShell(const std::u16string& tail) {
    std::wstring line = L"\"" + shell_exe_.wstring() + L"\" " + Wide(tail);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    ASSERT_TRUE(::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 game_.c_str(), &startup, &shell_));
    ::CloseHandle(shell_.hThread);
  }

  std::optional<DWORD> WaitForShell(std::chrono::seconds within = std::chrono::seconds(90)) {
    if (::WaitForSingleObject(shell_.hProcess, static_cast<DWORD>(within.count() * 1000)) !=
        WAIT_OBJECT_0) {
      return std::nullopt;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(shell_.hProcess, &code);
    ::CloseHandle(shell_.hProcess);
    shell_.hProcess = nullptr;
    return code;
  }

  std::vector<std::string> LogLines() const {
    std::ifstream in(log_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
      lines.push_back(line);
    }
    return lines;
  }

  // The first line at or after `from` that starts with `start`: its index, or -1.
  int Find(const std::vector<std::string>& lines, const std::string& start, int from = 0) const {
    for (size_t i = static_cast<size_t>(from); i < lines.size(); ++i) {
      if (lines[i].rfind(start, 0) == 0) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  // Until the log has a line starting with `start` at or after line `from`.
  bool WaitForLine(const std::string& start, int from = 0) const {
    for (int i = 0; i < 600; ++i) {
      if (Find(LogLines(), start, from) >= 0) {
        return true;
      }
      ::Sleep(100);
    }
    return false;
  }

  ScopedTempCwd cwd_;
  fs::path browser_dir_, log_, game_;
  std::wstring old_path_ = Variable(L"PATH");
  PROCESS_INFORMATION shell_{};
  fs::path shell_exe_ = GAMESHELL_EXE;
};

TEST_F(WinShellTest, PlaysTheGameOverThePipeAndEndsWithTheBrowser) {
  // A file the cache holds, of the version the page asks for.
  fs::current_path(game_);
  const std::string url = std::string(GAME_ORIGIN) + "/res/a.png?v=1";
  testing::WriteCacheFile(CachePathFromUrl(url), "cached bytes");
  {
    CacheIndex index;
    index.Load();
    index.Update(CachePathFromUrl(url), VersionFromUrl(url));
    index.Save();
  }
  fs::current_path(cwd_.path());
  StartShell(u"user:张三,name:\"O'Brien\"  extraInfo:zone:2");
  const std::optional<DWORD> code = WaitForShell();
  ASSERT_TRUE(code.has_value()) << "the shell never ended";
  EXPECT_EQ(*code, 0u);
  const std::vector<std::string> lines = LogLines();
  std::string all;
  for (const std::string& line : lines) {
    all += line + "\n";
  }
  SCOPED_TRACE(all);
  // The pipe as Chromium takes it on Windows, its binary form, and a profile of the shell's.
  EXPECT_GE(Find(lines, "arg --remote-debugging-pipe=cbor"), 0);
  EXPECT_GE(Find(lines, "arg --remote-debugging-io-pipes="), 0);
  EXPECT_GE(Find(lines, "arg --app=data:text/html;base64,"), 0);
  const int profile = Find(lines, "arg --user-data-dir=");
  ASSERT_GE(profile, 0);
  const std::string profile_dir = lines[profile].substr(strlen("arg --user-data-dir="));
  EXPECT_NE(profile_dir.find("gameshell-browser-"), std::string::npos);
  EXPECT_FALSE(fs::exists(fs::path(Utf8ToUtf16(profile_dir)))) << "removed at the end";
  // The launch parameters, as written (quotes and all), reach the start address.
  EXPECT_GE(Find(lines, "Page.navigate @S1 " + std::string(GAME_ORIGIN) +
                            "/login.html?id=2&user=%E5%BC%A0%E4%B8%89&name=\"O'Brien\"&zone=2"),
            0);
  // The advertisement's calls change nothing; the cached file comes from the disk.
  const int ad = Find(lines, "ad calls");
  const int game = Find(lines, "game calls");
  ASSERT_GE(ad, 0);
  ASSERT_GT(game, ad);
  for (int i = ad; i < game; ++i) {
    EXPECT_EQ(lines[i].find("Browser.setWindowBounds @ maximized"), std::string::npos);
    EXPECT_NE(lines[i], "Browser.close");
  }
  const int fulfilled = Find(lines, "Fetch.fulfillRequest @S1 R2 200 cached bytes", ad);
  EXPECT_GT(fulfilled, ad);
  EXPECT_LT(fulfilled, game);
  // The game's own calls are answered: the window maximised, and closed.
  EXPECT_GT(Find(lines, "Browser.setWindowBounds maximized", game), game);
  EXPECT_GT(Find(lines, "Browser.close", game), game);
  EXPECT_GE(Find(lines, "closed"), 0);
  // The browser's window shows the game's name, whatever its page calls itself.
  EXPECT_GE(Find(lines, "window title Varnholt"), 0);
  EXPECT_GE(Find(lines, "title kept yes"), 0);
}

// The launcher library beside the shell gets the game window and its answer reaches the page;
// without it the player is told in a box, and the game goes on.
TEST_F(WinShellTest, TheLauncherLibraryBesideTheShellSignsInAndTakesPayments) {
  const fs::path installed = cwd_.path() / "installed";
  fs::create_directories(installed);
  fs::copy_file(GAMESHELL_EXE, installed / "gameshell.exe");
  fs::copy_file(TEST_LAUNCHER_DLL, installed / "ZendariGameLauncher.dll");
  const fs::path record = cwd_.path() / "launcher.log";
  ::SetEnvironmentVariableW(L"ZD_TEST_RECORD", record.c_str());
  ::SetEnvironmentVariableW(L"ZD_TEST_RESULT", L"-2147483648");
  ::SetEnvironmentVariableW(L"FAKE_BROWSER_PLAY", L"launcher");
  shell_exe_ = installed / "gameshell.exe";
  StartShell(u"");
  std::optional<DWORD> code = WaitForShell();
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0u);
  EXPECT_GE(Find(LogLines(),
                 "signed in window.UserAuthentic_return&&"
                 "window.UserAuthentic_return(-2147483648)"),
            0);
  std::ifstream in(record);
  std::stringstream calls;
  calls << in.rdbuf();
  EXPECT_EQ(calls.str(), "auth window\npay https://pay.example/支付?a=1\n");

  fs::remove(installed / "ZendariGameLauncher.dll");
  fs::remove(log_);
  StartShell(u"");
  const std::wstring text = BoxTextOf(shell_.dwProcessId);
  EXPECT_EQ(text, L"UserAuthentic");
  code = WaitForShell();
  ASSERT_TRUE(code.has_value());
  EXPECT_GE(Find(LogLines(), "signed in none"), 0);
  ::SetEnvironmentVariableW(L"ZD_TEST_RECORD", nullptr);
  ::SetEnvironmentVariableW(L"ZD_TEST_RESULT", nullptr);
}

// A locked game with no exit prompt of its own: the shell asks, above the game window, in its
// own words; Keep playing keeps the game, Quit ends it. (The test clicks: under Wine the box took
// no click the stand-in browser, its owner's process, posted.)
TEST_F(WinShellTest, ALockedGameWithoutAHookHasTheShellAsk) {
  ::SetEnvironmentVariableW(L"FAKE_BROWSER_PLAY", L"quit");
  StartShell(u"");
  int seen = 0;
  for (const int answer : {IDCANCEL, IDOK}) {
    const HWND box = BoxOf(shell_.dwProcessId);
    ASSERT_NE(box, nullptr);
    // Once the stand-in browser has read the box.
    ASSERT_TRUE(WaitForLine("box ", seen));
    seen = Find(LogLines(), "box ", seen) + 1;
    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(box, answer)));
    for (int i = 0; i < 300 && ::IsWindow(box); ++i) {
      ::Sleep(100);
    }
  }
  const std::optional<DWORD> code = WaitForShell();
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0u);
  const std::vector<std::string> lines = LogLines();
  const std::string box =
      "box 要退出游戏吗？|Quit the game? buttons 退出 &Quit / 继续游戏 Keep playing";
  const int first = Find(lines, box);
  ASSERT_GE(first, 0);
  const int second = Find(lines, box, first + 1);
  ASSERT_GT(second, first);
  const int kept = Find(lines, "kept", first);
  EXPECT_GT(kept, first);
  EXPECT_LT(kept, second);
  const int close = Find(lines, "Browser.close", first);
  EXPECT_GT(close, second);
  EXPECT_GT(Find(lines, "closed", second), close);
}

TEST_F(WinShellTest, TheShellEndsWhenTheBrowserDies) {
  ::SetEnvironmentVariableW(L"FAKE_BROWSER_PLAY", L"die");
  StartShell(u"");
  const std::optional<DWORD> code = WaitForShell();
  ASSERT_TRUE(code.has_value()) << "the shell outlived its browser";
  EXPECT_EQ(*code, 1u);
  EXPECT_GE(Find(LogLines(), "exit 7"), 0);
}

// A browser that never speaks over the pipe (one too old for its switch) is ended, and the
// player told, rather than waited for.
TEST_F(WinShellTest, ABrowserThatNeverAnswersIsEndedAndSaid) {
  ::SetEnvironmentVariableW(L"FAKE_BROWSER_PLAY", L"mute");
  StartShell(u"");
  const std::wstring text = BoxTextOf(shell_.dwProcessId);
  EXPECT_NE(text.find(L"it did not answer over its pipe"), std::wstring::npos);
  const std::optional<DWORD> code = WaitForShell();
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 2u);
  const std::vector<std::string> lines = LogLines();
  HANDLE browser = ::OpenProcess(
      SYNCHRONIZE, FALSE, static_cast<DWORD>(std::stoul(lines[Find(lines, "pid ")].substr(4))));
  if (browser) {
    EXPECT_EQ(::WaitForSingleObject(browser, 0), WAIT_OBJECT_0) << "the browser was left running";
    ::CloseHandle(browser);
  }
}

TEST_F(WinShellTest, TheBrowserEndsWithTheKilledShell) {
  ::SetEnvironmentVariableW(L"FAKE_BROWSER_PLAY", L"stay");
  StartShell(u"");
  ASSERT_TRUE(WaitForLine("Target.setAutoAttach"));
  const std::vector<std::string> lines = LogLines();
  const DWORD pid = static_cast<DWORD>(std::stoul(lines[Find(lines, "pid ")].substr(4)));
  HANDLE browser = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
  ASSERT_NE(browser, nullptr);
  ::TerminateProcess(shell_.hProcess, 9);
  EXPECT_EQ(::WaitForSingleObject(browser, 20000), WAIT_OBJECT_0)
      << "the browser outlived the shell";
  ::CloseHandle(browser);
}

TEST_F(WinShellTest, NoBrowserIsSaidInABoxInBothLanguages) {
  ::SetEnvironmentVariableW(L"PATH", old_path_.c_str());
  StartShell(u"user:1");
  const std::wstring text = BoxTextOf(shell_.dwProcessId);
  EXPECT_NE(text.find(L"Microsoft Edge"), std::wstring::npos)
      << Utf16ToUtf8(std::u16string(text.begin(), text.end()));
  EXPECT_NE(text.find(L"游戏需要"), std::wstring::npos);
  const std::optional<DWORD> code = WaitForShell();
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 3u);
}

}  // namespace
}  // namespace gameshell
