#include "client/qt/game_page.h"

#include "client/qt/game_client.h"
#include "client/qt/ui_thread.h"

GamePage::GamePage(QWebEngineProfile* profile, GameClient* client, bool dev_tools, QObject* parent)
    : QWebEnginePage(profile, parent), client_(client), dev_tools_(dev_tools) {}

bool GamePage::acceptNavigationRequest(const QUrl& url, NavigationType, bool) {
  GS_REQUIRE_UI_THREAD();
  return !GameClient::IsRefusedNavigation(url, dev_tools_);
}

QWebEnginePage* GamePage::createWindow(WebWindowType) {
  GS_REQUIRE_UI_THREAD();
  return client_->CreatePopup();
}
