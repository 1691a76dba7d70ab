// A stand-in for Edge under Wine, where Edge does not run: it takes the remote-debugging pipe as
// Chromium on Windows does (inherited handles its switch names), speaks the protocol's CBOR, and
// plays the browser's part of one game: the game window's page, a game document and an
// advertisement's frame that both call the page functions, a cached file the page asks for, and
// the end. It writes what it was told to the file FAKE_BROWSER_LOG, one line each.
// FAKE_BROWSER_PLAY: "game" (the above, ending when the shell closes it), "launcher" (the game
// signs in and pays through the launcher library, and ends), "quit" (the player closes a locked
// game with no exit prompt of its own, and the test answers the shell's box), "die" (ends by
// itself with exit code 7 once the game has loaded), "stay" (never ends by itself).
#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "base/core/text_conversion.h"
#include "base/core/windows_command_line.h"
#include "base/devtools/cbor_message.h"
#include "base/devtools/message_framer.h"
#include "shown_dialog.h"

namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

FILE* g_log = nullptr;
HANDLE g_read = nullptr;
HANDLE g_write = nullptr;

void Log(const std::string& line) {
  if (g_log) {
    std::fprintf(g_log, "%s\n", line.c_str());
    std::fflush(g_log);
  }
}

void Send(const Json& message) {
  const std::string bytes = gameshell::EncodeCborMessage(message);
  DWORD written = 0;
  ::WriteFile(g_write, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Emit(const std::string& method, Json params, const std::string& session = "S1") {
  Json event = {{"method", method}, {"params", std::move(params)}};
  if (!session.empty()) {
    event["sessionId"] = session;
  }
  Send(event);
}

// The shell's commands, read on a thread of their own.
std::mutex g_mutex;
std::condition_variable g_arrived;
std::deque<Json> g_commands;
bool g_pipe_closed = false;

void ReadCommands() {
  gameshell::MessageFramer framer(gameshell::DevToolsWire::kCbor);
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(g_read, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    framer.Feed(std::string_view(buffer, read));
    while (std::optional<std::string> message = framer.Next()) {
      std::optional<Json> decoded = gameshell::DecodeCborMessage(*message);
      std::lock_guard lock(g_mutex);
      g_commands.push_back(decoded ? std::move(*decoded) : Json("undecodable"));
      g_arrived.notify_one();
    }
  }
  std::lock_guard lock(g_mutex);
  g_pipe_closed = true;
  g_arrived.notify_one();
}

std::optional<Json> NextCommand(Clock::time_point deadline) {
  std::unique_lock lock(g_mutex);
  g_arrived.wait_until(lock, deadline, [] { return !g_commands.empty() || g_pipe_closed; });
  if (g_commands.empty()) {
    return std::nullopt;
  }
  Json command = std::move(g_commands.front());
  g_commands.pop_front();
  return command;
}

const std::string kAd = "http://127.0.0.5";
std::string g_start_url;
std::string g_game;     // the start address's origin
bool g_closed = false;  // the shell closed the browser

// Answers one command as the browser would, as far as the shell reads the answer; logs it.
void Answer(const Json& command) {
  if (!command.is_object()) {
    Log("undecodable");
    return;
  }
  const std::string method = command.value("method", "");
  const std::string session = command.value("sessionId", "");
  const Json params = command.value("params", Json::object());
  Json result = Json::object();
  std::string line = method + (session.empty() ? "" : " @" + session);
  if (method == "Runtime.evaluate") {
    const std::string expression = params.value("expression", "");
    // The window's fitting reads its sizes: the page already has the size the shell wants.
    const bool sizes = expression.find("outerWidth") != std::string::npos;
    // The game's page has no close hook.
    const bool close_hook = expression.find("onWindowBeforClose") != std::string::npos;
    result = {{"result",
               {{"type", "string"},
                {"value", sizes        ? "[1280,720,1280,720,0,0,1920,1080,320,180]"
                          : close_hook ? "gameshell-nothing-ran"
                                       : ""}}}};
  } else if (method == "Browser.getWindowForTarget") {
    result = {{"windowId", 1},
              {"bounds", {{"left", 0}, {"top", 0}, {"width", 1280}, {"height", 720}}}};
  } else if (method == "Browser.setWindowBounds") {
    line += " " + params.value("bounds", Json::object()).value("windowState", "");
  } else if (method == "Page.getNavigationHistory") {
    // Only the game's entry once its page came: the shell's first page is forgotten.
    result = {{"currentIndex", 0},
              {"entries",
               Json::array(
                   {{{"id", 1}, {"url", g_start_url.empty() ? "data:text/html," : g_start_url}}})}};
  } else if (method == "Page.navigate") {
    g_start_url = params.value("url", "");
    g_game = g_start_url.substr(0, g_start_url.find('/', g_start_url.find("//") + 2));
    line += " " + g_start_url;
    result = {{"frameId", "MAIN"}, {"loaderId", "L1"}};
  } else if (method == "Fetch.fulfillRequest") {
    const Json& body = params.contains("body") ? params["body"] : Json();
    std::string bytes;
    if (body.is_binary()) {
      bytes.assign(body.get_binary().begin(), body.get_binary().end());
    } else if (body.is_string()) {
      bytes = "base64:" + body.get<std::string>();
    }
    line += " " + params.value("requestId", "") + " " +
            std::to_string(params.value("responseCode", 0)) + " " + bytes;
  } else if (method == "Fetch.continueRequest" || method == "Fetch.failRequest") {
    line += " " + params.value("requestId", "");
  } else if (method == "Runtime.runIfWaitingForDebugger") {
  }
  Log(line);
  g_closed = g_closed || method == "Browser.close";
  Send({{"id", command.value("id", 0)}, {"result", result}});
  if (method == "Target.setDiscoverTargets") {
    Emit("Target.targetCreated",
         {{"targetInfo", {{"targetId", "MAIN"}, {"type", "page"}, {"url", "data:text/html,"}}}},
         "");
  }
  if (method == "Target.setAutoAttach" && session.empty()) {
    Emit("Target.attachedToTarget",
         {{"sessionId", "S1"},
          {"targetInfo", {{"targetId", "MAIN"}, {"type", "page"}, {"url", "data:text/html,"}}},
          {"waitingForDebugger", true}},
         "");
  }
  if (method == "Runtime.enable" && session == "S1") {
    // The shell's first page, before the game's.
    Emit("Runtime.executionContextCreated",
         {{"context",
           {{"id", 1},
            {"origin", "null"},
            {"name", ""},
            {"auxData", {{"frameId", "MAIN"}, {"isDefault", true}}}}}});
  }
}

// Answers commands until one satisfies `done` (true) or the time is up (false).
template <typename Done>
bool ServeUntil(Done done, std::chrono::milliseconds within) {
  const Clock::time_point deadline = Clock::now() + within;
  while (std::optional<Json> command = NextCommand(deadline)) {
    Answer(*command);
    if (done(*command)) {
      return true;
    }
  }
  return false;
}

bool Is(const Json& command, const char* method) {
  return command.is_object() && command.value("method", "") == method;
}

// The game window, as the browser's app window is: a top-level window of its process with its
// page's title, run by a thread of its own.
std::atomic<HWND> g_window{nullptr};

void RunWindow() {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = ::DefWindowProcW;
  window_class.hInstance = ::GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"Chrome_WidgetWin_1";
  ::RegisterClassW(&window_class);
  HWND window = ::CreateWindowExW(0, L"Chrome_WidgetWin_1", L"Login - the game's page",
                                  WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 1296, 759, nullptr,
                                  nullptr, window_class.hInstance, nullptr);
  g_window = window;
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
    ::DispatchMessageW(&message);
  }
}

std::string WindowTitle() {
  wchar_t title[256] = {};
  ::GetWindowTextW(g_window.load(), title, 256);
  return gameshell::Utf16ToUtf8(std::u16string(title, title + wcslen(title)));
}

// Waits, as long as a player would notice, for the window's title to be `title`.
bool TitleBecomes(const std::string& title) {
  for (int i = 0; i < 100 && WindowTitle() != title; ++i) {
    ::Sleep(100);
  }
  return WindowTitle() == title;
}

// The shell's box above the game window, once it shows (null after `within`).
HWND BoxAboveWindow(std::chrono::milliseconds within) {
  const HWND owner = g_window.load();
  const Clock::time_point deadline = Clock::now() + within;
  do {
    if (const HWND box =
            ShownDialog([owner](HWND window) { return ::GetWindow(window, GW_OWNER) == owner; })) {
      return box;
    }
    // The shell's commands are answered meanwhile.
    while (std::optional<Json> command =
               NextCommand(Clock::now() + std::chrono::milliseconds(50))) {
      Answer(*command);
    }
  } while (Clock::now() < deadline);
  return nullptr;
}

std::string DialogText(HWND box, int item) {
  wchar_t text[256] = {};
  ::GetDlgItemTextW(box, item, text, 256);
  std::string utf8 = gameshell::Utf16ToUtf8(std::u16string(text, text + wcslen(text)));
  for (size_t at = utf8.find('\n'); at != std::string::npos; at = utf8.find('\n')) {
    utf8.replace(at, 1, "|");
  }
  return utf8;
}

void CallPageFunction(int context, const std::string& call) {
  Emit("Runtime.bindingCalled",
       {{"name", "__gameshellBridge"}, {"payload", call}, {"executionContextId", context}});
}

int Play(const std::string& play) {
  using std::chrono::milliseconds;
  using std::chrono::seconds;
  if (play == "mute") {
    // A browser that takes no pipe: it reads nothing and says nothing.
    ::Sleep(INFINITE);
  }
  if (play == "stay") {
    ServeUntil([](const Json&) { return false; }, std::chrono::hours(1));
    return 0;
  }
  if (!ServeUntil([](const Json& c) { return Is(c, "Page.navigate"); }, seconds(60))) {
    Log("never told to load the game");
    return 3;
  }
  // The game's first document comes, then an advertisement's frame inside it.
  Emit("Fetch.requestPaused",
       {{"requestId", "R1"},
        {"request", {{"url", g_start_url}, {"method", "GET"}, {"headers", Json::object()}}},
        {"frameId", "MAIN"},
        {"resourceType", "Document"}});
  ServeUntil(
      [](const Json& c) {
        return Is(c, "Fetch.continueRequest") || Is(c, "Fetch.fulfillRequest") ||
               Is(c, "Fetch.failRequest");
      },
      seconds(20));
  Emit("Page.frameNavigated", {{"frame",
                                {{"id", "MAIN"},
                                 {"loaderId", "L1"},
                                 {"url", g_start_url},
                                 {"securityOrigin", g_game},
                                 {"mimeType", "text/html"}}}});
  Emit("Runtime.executionContextsCleared", Json::object());
  Emit("Runtime.executionContextCreated",
       {{"context",
         {{"id", 2},
          {"origin", g_game},
          {"name", ""},
          {"auxData", {{"frameId", "MAIN"}, {"isDefault", true}}}}}});
  Emit("Page.frameAttached", {{"frameId", "AD"}, {"parentFrameId", "MAIN"}});
  Emit("Page.frameNavigated", {{"frame",
                                {{"id", "AD"},
                                 {"parentId", "MAIN"},
                                 {"loaderId", "L2"},
                                 {"url", kAd + "/ad.html"},
                                 {"securityOrigin", kAd},
                                 {"mimeType", "text/html"}}}});
  Emit("Runtime.executionContextCreated",
       {{"context",
         {{"id", 3},
          {"origin", kAd},
          {"name", ""},
          {"auxData", {{"frameId", "AD"}, {"isDefault", true}}}}}});
  if (play == "die") {
    ServeUntil([](const Json&) { return false; }, milliseconds(500));
    Log("dying");
    return 7;
  }
  if (play == "quit") {
    // The game locks its close and has no hook: the shell asks the player (the test answers its
    // box), at each close until the player quits.
    TitleBecomes("Varnholt");
    CallPageFunction(2, R"(["setWindowCanClose",[false]])");
    for (int close = 0; close < 3; ++close) {
      Emit("Page.javascriptDialogOpening", {{"url", g_start_url},
                                            {"message", ""},
                                            {"type", "beforeunload"},
                                            {"hasBrowserHandler", true}});
      const HWND box = BoxAboveWindow(seconds(20));
      if (!box) {
        Log("no box");
        return 5;
      }
      Log("box " + DialogText(box, 0xFFFF) + " buttons " + DialogText(box, IDOK) + " / " +
          DialogText(box, IDCANCEL));
      // Until the player answered, then long enough for a close to come.
      const Clock::time_point deadline = Clock::now() + seconds(30);
      while (::IsWindow(box) && !g_closed && Clock::now() < deadline) {
        ServeUntil([](const Json&) { return false; }, milliseconds(50));
      }
      if (g_closed && ::IsWindow(box)) {
        Log("closed with the box up");
        return 6;
      }
      if (g_closed ||
          ServeUntil([](const Json& c) { return Is(c, "Browser.close"); }, seconds(2))) {
        Log("closed");
        return 0;
      }
      Log("kept");
    }
    return 4;
  }
  if (play == "launcher") {
    // The game signs in through the launcher library, then pays: once the shell knows its
    // window, as the player sees it.
    TitleBecomes("Varnholt");
    CallPageFunction(2, R"(["UserAuthentic",[]])");
    std::string answer = "none";
    ServeUntil(
        [&answer](const Json& c) {
          const std::string expression =
              c.is_object() ? c.value("params", Json::object()).value("expression", "") : "";
          if (expression.find("UserAuthentic_return(") == std::string::npos) {
            return false;
          }
          answer = expression;
          return true;
        },
        seconds(5));
    Log("signed in " + answer);
    CallPageFunction(2, R"(["openPay",["https://pay.example/支付?a=1"]])");
    CallPageFunction(2, R"(["closeGameWindow",[]])");
    return ServeUntil([](const Json& c) { return Is(c, "Browser.close"); }, seconds(20)) ? 0 : 4;
  }
  // The advertisement calls the page functions: nothing may come of it.
  Log("ad calls");
  CallPageFunction(3, R"(["maxGameWindow",[]])");
  CallPageFunction(3, R"(["closeGameWindow",[]])");
  // The game's page asks for a file the cache holds.
  Emit("Fetch.requestPaused",
       {{"requestId", "R2"},
        {"request",
         {{"url", g_game + "/res/a.png?v=1"}, {"method", "GET"}, {"headers", Json::object()}}},
        {"frameId", "MAIN"},
        {"resourceType", "Image"}});
  ServeUntil(
      [](const Json& c) {
        return c.is_object() && c.value("params", Json::object()).value("requestId", "") == "R2";
      },
      seconds(20));
  // Long enough for a close the advertisement had won to have come (the shell waits 300 ms).
  ServeUntil([](const Json&) { return false; }, milliseconds(1000));
  Log("game calls");
  CallPageFunction(2, R"(["maxGameWindow",[]])");
  ServeUntil([](const Json& c) { return Is(c, "Browser.setWindowBounds"); }, seconds(20));
  // The window is the game's: its name, whatever the page calls itself. (Its icon cannot be
  // seen here: Wine keeps icons to the process that made them.)
  TitleBecomes("Varnholt");
  Log("window title " + WindowTitle());
  ::SetWindowTextW(g_window.load(), L"Another page's title");
  Log(std::string("title kept ") + (TitleBecomes("Varnholt") ? "yes" : "no"));
  CallPageFunction(2, R"(["closeGameWindow",[]])");
  if (ServeUntil([](const Json& c) { return Is(c, "Browser.close"); }, seconds(20))) {
    Log("closed");
    return 0;
  }
  Log("never closed");
  return 4;
}

}  // namespace

int wmain() {
  const std::u16string line(::GetCommandLineW(), ::GetCommandLineW() + wcslen(::GetCommandLineW()));
  if (const char* path = std::getenv("FAKE_BROWSER_LOG")) {
    g_log = std::fopen(path, "a");
  }
  Log("pid " + std::to_string(::GetCurrentProcessId()));
  wchar_t cwd[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, cwd);
  Log("cwd " + gameshell::Utf16ToUtf8(std::u16string(cwd, cwd + wcslen(cwd))));
  for (const gameshell::WindowsArgument& argument : gameshell::ParseWindowsCommandLine(line)) {
    const std::string text = gameshell::Utf16ToUtf8(argument.text);
    Log("arg " + text);
    unsigned long long read = 0, write = 0;
    if (std::sscanf(text.c_str(), "--remote-debugging-io-pipes=%llu,%llu", &read, &write) == 2) {
      g_read = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(read));
      g_write = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(write));
    }
  }
  if (!g_read || !g_write) {
    Log("no pipe");
    return 2;
  }
  std::thread(ReadCommands).detach();
  std::thread(RunWindow).detach();
  const char* play = std::getenv("FAKE_BROWSER_PLAY");
  const int code = Play(play ? play : "game");
  Log("exit " + std::to_string(code));
  if (g_log) {
    std::fclose(g_log);
  }
  // Not through the runtime's exit, which would wait for the reader.
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(code));
  return code;
}
