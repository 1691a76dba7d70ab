#include "client/game_page.h"

#include "client/game_client.h"
#include "client/ui_thread.h"

GamePage::GamePage(QWebEngineProfile* profile, GameClient* client, QObject* parent)
    : QWebEnginePage(profile, parent), client_(client) {}

bool GamePage::acceptNavigationRequest(const QUrl& url, NavigationType, bool) {
  GS_REQUIRE_UI_THREAD();
  return !GameClient::IsRefusedNavigation(url);
}

QWebEnginePage* GamePage::createWindow(WebWindowType) {
  GS_REQUIRE_UI_THREAD();
  return client_->CreatePopup();
}
