#include "app/qt/game_browser_app.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QWebEngineProfile>

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef __linux__
#include <unistd.h>
#endif

#include "app/qt/engine_argv.h"
#include "app/qt/termination_signals.h"
#include "cache/qt/cache_scheme.h"
#include "client/qt/game_client.h"
#include "client/qt/game_page.h"
#include "client/qt/game_session.h"

// Resources compiled into a static library are registered only when asked for, and only from
// outside any namespace.
static void InitAppResources() {
  Q_INIT_RESOURCE(resources);
}

namespace gameshell {

namespace {

// Set once, before the engine starts.
bool failure_in_window = false;

void EngineMessageHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtFatalMsg) {
    std::string reason = message.simplified().toLocal8Bit().toStdString();
    std::fprintf(stderr, "gameshell: the browser engine could not start: %s\n", reason.c_str());
    std::fflush(stderr);
#ifdef __linux__
    if (failure_in_window) {
      // The engine is in no state to show anything: the shell, started afresh without it, shows
      // the reason to a player who started from the menu.
      std::string name = "gameshell";
      std::string in_window = "--errors-in-window";
      std::string failed = "--engine-failed=" + reason;
      std::string end = "--";
      char* argv[] = {name.data(), in_window.data(), failed.data(), end.data(), nullptr};
      ::execv("/proc/self/exe", argv);
    }
#endif
    std::_Exit(2);
  }
}

}  // namespace

void InitShellResources() {
  static const bool done = [] {
    InitAppResources();
    return true;
  }();
  (void)done;
}

void InstallEngineMessageHandler(bool errors_in_window) {
  failure_in_window = errors_in_window;
  qInstallMessageHandler(EngineMessageHandler);
}

GameBrowserApp::GameBrowserApp(std::string start_url,
                               GameHosts game_hosts,
                               EngineOptions engine_options,
                               bool errors_in_window)
    : start_url_(std::move(start_url)),
      game_hosts_(std::move(game_hosts)),
      engine_options_(engine_options),
      errors_in_window_(errors_in_window) {}

GameBrowserApp::~GameBrowserApp() = default;

void ConfineQtToItsInstallation() {
  // The compiled-in qt.conf takes the place of one beside the executable.
  InitShellResources();
  // The application object adds the executable's directory, where the cache may have written,
  // to whatever list was set before it: set again once it exists.
  QCoreApplication::setLibraryPaths({QLibraryInfo::path(QLibraryInfo::PluginsPath)});
}

int GameBrowserApp::Run(const std::vector<std::string>& args) {
  InstallEngineMessageHandler(errors_in_window_);
  ConfineQtToItsInstallation();
  // Qt takes these over the command line: one would turn the pages' sandbox off, one open the
  // debugging endpoint, one drop every switch the shell passes.
  for (const char* name : {"QTWEBENGINE_DISABLE_SANDBOX", "QTWEBENGINE_REMOTE_DEBUGGING",
                           "QTWEBENGINE_CHROMIUM_FLAGS"}) {
    qunsetenv(name);
  }
  EngineCommandLine command_line(args, engine_options_);
  cache_scheme::Register();
  QApplication app(command_line.argc(), command_line.argv());
  ConfineQtToItsInstallation();
  // The app id the desktop entry is found by, so docks group the window with it; its X11 class
  // stays the executable's name ("gameshell"), which the entry names as StartupWMClass. (Renaming
  // the application would also title Qt's hidden leader window "Varnholt".)
  QGuiApplication::setDesktopFileName(QStringLiteral("varnholt"));
  // The client ends the loop itself, after saving the cache index.
  app.setQuitOnLastWindowClosed(false);

  GamePage::SetConsoleToStderr(engine_options_.remote_debugging);
  // No storage name: the engine keeps its own caches and cookies in memory only.
  auto profile = std::make_unique<QWebEngineProfile>();
  auto game = std::make_unique<GameSession>(profile.get(), start_url_, game_hosts_);
  if (errors_in_window_) {
    game->SayCacheTroubleInWindow();
  }
  if (game->client().browsers().empty()) {
    std::fprintf(stderr, "gameshell: the game window could not be created\n");
    return 3;
  }
  HandleTerminationSignals(game.get(), [client = &game->client()] { client->CloseGame(); });
  app.exec();

  // Pages go before their profile, the profile before the engine.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  game.reset();
  profile.reset();
  return 0;
}

}  // namespace gameshell
