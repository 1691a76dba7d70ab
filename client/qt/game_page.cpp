#include "client/qt/game_page.h"

#include <QWebEngineCertificateError>

#include <cstdio>

#include "base/qt/ui_thread.h"
#include "bridge/qt/page_bridge.h"
#include "client/core/navigation_rules.h"
#include "client/core/request_rules.h"
#include "client/qt/game_page_recovery.h"
#include "client/qt/request_guard.h"

namespace gameshell {

namespace {
bool console_to_stderr = false;
}  // namespace

void GamePage::SetConsoleToStderr(bool on) {
  console_to_stderr = on;
}

void GamePage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level,
                                        const QString& message,
                                        int line,
                                        const QString& source) {
  if (console_to_stderr) {
    const char* level_name = level == ErrorMessageLevel     ? "error"
                             : level == WarningMessageLevel ? "warning"
                                                            : "info";
    // One line per message, however many its text has, so that "js:" picks out every one.
    QString text = message;
    text.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    std::fprintf(stderr, "js: %s: %s:%d: %s\n", level_name, source.toLocal8Bit().constData(), line,
                 text.toLocal8Bit().constData());
    std::fflush(stderr);
  }
}

GamePage::GamePage(QWebEngineProfile* profile,
                   Role role,
                   GameHosts game_hosts,
                   BridgeMessageHandler* bridge,
                   QObject* parent)
    : QWebEnginePage(profile, parent),
      role_(role),
      game_hosts_(std::move(game_hosts)),
      bridge_(bridge) {
  GS_REQUIRE_UI_THREAD();
  if (role_ != Role::kDevTools) {
    PageBridge::Install(this, game_hosts_, bridge_);
    setUrlRequestInterceptor(new RequestGuard(
        game_hosts_,
        role_ == Role::kGame ? RequestGuard::Scope::kGameWindow : RequestGuard::Scope::kPopup,
        nullptr, this));
  }
  // Said here, not left to the engine's default: no build of the shell ever lets a certificate
  // error through, for the game or for any popup.
  connect(this, &QWebEnginePage::certificateError, this,
          [](QWebEngineCertificateError error) { error.rejectCertificate(); });
  if (role_ == Role::kGame) {
    // Some documents commit in the main frame without a navigation the shell is asked about
    // (another origin's frame setting top.location to about:blank): undone as soon as shown.
    connect(this, &QWebEnginePage::urlChanged, this, [this](const QUrl& url) {
      if (IsRefusedGameWindowNavigation(url.toEncoded().toStdString(), false, game_hosts_)) {
        emit ForeignDocumentShown();
      }
    });
  }
}

GamePage* GamePage::NewPage(Role role, QObject* parent) {
  return new GamePage(profile(), role, game_hosts_, bridge_, parent);
}

GamePage* GamePage::OpenPopup() {
  GS_REQUIRE_UI_THREAD();
  GamePage* popup = NewPage(Role::kPopup, nullptr);
  emit PopupOpened(popup);
  return popup;
}

bool GamePage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool is_main_frame) {
  GS_REQUIRE_UI_THREAD();
  // The guard sends a navigation it refuses here; refusing it here leaves the page as it was.
  if (url == QUrl(QString::fromLatin1(kRefusedNavigationUrl))) {
    return false;
  }
  // Before the game window's rules, which refuse it as no game document: Retry would do nothing.
  if (url == QUrl(QString::fromUtf8(GamePageRecovery::kRetryUrl))) {
    // Only the shell's own page, which fills the main frame, retries; a frame's link does not.
    if (is_main_frame) {
      emit RetryRequested();
    }
    return false;
  }
  if (role_ == Role::kGame && is_main_frame &&
      IsRefusedGameWindowNavigation(url.toEncoded().toStdString(),
                                    type == NavigationTypeBackForward, game_hosts_)) {
    return false;
  }
  if (!IsRefusedNavigationUrl(url.toEncoded().toStdString(), role_ == Role::kDevTools)) {
    return true;
  }
  // A popup whose first address is refused would stay an empty window.
  if (is_main_frame && (this->url().isEmpty() || this->url() == QUrl("about:blank"))) {
    // As if it closed itself: its window closes, or a popup not shown yet goes.
    QMetaObject::invokeMethod(
        this, [this] { emit windowCloseRequested(); }, Qt::QueuedConnection);
  }
  return false;
}

QWebEnginePage* GamePage::createWindow(WebWindowType) {
  GS_REQUIRE_UI_THREAD();
  return OpenPopup();
}

}  // namespace gameshell
