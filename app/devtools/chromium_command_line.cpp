#include "app/devtools/chromium_command_line.h"

#include "base/core/base64.h"
#include "embedded/first_page_html.h"

namespace gameshell {

std::string FirstPageUrl() {
  return "data:text/html;base64," + Base64Encode(kFirstPageHtml);
}

const char kProfilePreferences[] = R"({"browser":{"custom_chrome_frame":false}})";

const std::vector<std::string>& ChromiumBrowserNames() {
#ifdef _WIN32
  // Edge is part of every Windows 10 and 11; Chrome where the player installed it.
  static const std::vector<std::string> kNames = {"msedge.exe", "chrome.exe"};
#else
  static const std::vector<std::string> kNames = {
      "chromium",      "chromium-browser", "google-chrome-stable",
      "google-chrome", "microsoft-edge",   "microsoft-edge-stable",
  };
#endif
  return kNames;
}

std::vector<std::string> ChromiumCommandLine(const ChromiumStart& start) {
  std::vector<std::string> line = {
      start.browser,
      // Its binary form: bodies as bytes (see DevToolsConnection).
      "--remote-debugging-pipe=cbor",
      "--user-data-dir=" + start.profile_dir,
      // A profile that is the game's alone: no first-run pages, no offers to be the default
      // browser, to sign in or to sync, no extensions, nothing restored after a crash.
      "--no-first-run",
      "--no-default-browser-check",
      "--disable-sync",
      "--disable-extensions",
      "--disable-default-apps",
      "--hide-crash-restore-bubble",
      "--noerrdialogs",
      "--password-store=basic",
      // Nothing of the browser's own on the network: no component or safe-browsing updates, no
      // metrics, pings, translation or media-router probes. The game's pages ask for what they
      // need.
      "--disable-background-networking",
      "--disable-component-update",
      "--disable-client-side-phishing-detection",
      "--disable-domain-reliability",
      "--disable-breakpad",
      "--metrics-recording-only",
      "--no-pings",
      "--disable-features=Translate,MediaRouter,OptimizationHints,AutofillServerCommunication,"
      "DialMediaRouteProvider,CertificateTransparencyComponentUpdater",
      // The game keeps its frame rate and timers when its window is covered or in the background.
      "--disable-background-timer-throttling",
      "--disable-backgrounding-occluded-windows",
      "--disable-renderer-backgrounding",
      "--ignore-gpu-blocklist",
      // Only a fatal line of its own on stderr: the rest would bury the shell's own lines.
      "--log-level=3",
      "--lang=zh-CN",
      "--class=" + std::string(kWindowClass),
      "--window-size=" + std::to_string(start.window_size.width) + "," +
          std::to_string(start.window_size.height),
  };
  if (!start.sandbox) {
    line.push_back("--no-sandbox");
    // Else a bar above the game says that the flag is unsupported: the shell says it once on
    // stderr instead. (The bar is left out for automated tests.)
    line.push_back("--test-type");
  }
  line.push_back("--app=" + FirstPageUrl());
  return line;
}

std::vector<std::string> ChromiumEnvironment() {
#ifdef _WIN32
  return {};
#else
  // The window's own colour, shown before the first page is drawn, is the toolkit theme's: a dark
  // one keeps a dark game from flashing light at its start. The pages still see a light scheme
  // (the game tab says so).
  return {"GTK_THEME=Adwaita:dark"};
#endif
}

}  // namespace gameshell
