#include "client/qt/dev_tools_window.h"

#include <QWebEnginePage>

#include "base/qt/ui_thread.h"
#include "client/qt/game_client.h"
#include "client/qt/game_page.h"

namespace gameshell {

namespace {
constexpr char kDevToolsTitle[] = "DEVTOOL";
constexpr QSize kDevToolsSize{1024, 700};
}  // namespace

void ShowDevTools(QWebEnginePage* page, GameClient& client) {
  GS_REQUIRE_UI_THREAD();
  auto* inspected = qobject_cast<GamePage*>(page);
  if (!inspected) {
    return;
  }
  if (BrowserWindow* open = client.WindowOf(page->devToolsPage())) {
    open->raise();
    open->activateWindow();
    return;
  }
  GamePage* tools = inspected->NewPage(GamePage::Role::kDevTools, nullptr);
  BrowserWindow* window = client.OpenBrowser(tools, nullptr);
  window->setWindowTitle(QString::fromUtf8(kDevToolsTitle));
  window->resize(kDevToolsSize);
  page->setDevToolsPage(tools);
  window->show();
}

}  // namespace gameshell
