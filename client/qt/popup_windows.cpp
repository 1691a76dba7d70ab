#include "client/qt/popup_windows.h"

#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <QWebEngineLoadingInfo>

#include <memory>

#include "base/qt/ui_thread.h"
#include "client/qt/game_client.h"
#include "client/qt/game_page.h"
#include "client/qt/popup_titler.h"

namespace gameshell {

namespace {

constexpr QSize kPopupSize{800, 600};
// What an opener writes into a new popup, it writes at once.
constexpr int kWrittenPopupSettleMs = 500;

// An address a popup may be shown at: not its first, empty document's.
bool IsOwnAddress(const QUrl& url) {
  return !url.isEmpty() && url.scheme() != QLatin1String("about");
}

void StopWaitingToShow(GamePage* page, PopupWindows* popups) {
  QObject::disconnect(page, &QWebEnginePage::loadingChanged, popups, nullptr);
  QObject::disconnect(page, &QWebEnginePage::urlChanged, popups, nullptr);
  QObject::disconnect(page, &QWebEnginePage::windowCloseRequested, popups, nullptr);
}

}  // namespace

PopupWindows::PopupWindows(GameClient* client, GameHosts game_hosts)
    : client_(client), game_hosts_(std::move(game_hosts)) {}

void PopupWindows::Adopt(GamePage* page) {
  GS_REQUIRE_UI_THREAD();
  // The engine (Qt 6.4) crashes the whole process when a view shows a popup whose first, empty
  // document its opener has written into (window.open() then document.write): the popup stays
  // without a view until it has navigated somewhere, which is safe to show; one still empty a
  // moment later but written is shown as a copy of what was written.
  page->setParent(this);
  connect(page, &GamePage::PopupOpened, this, &PopupWindows::Adopt);
  // Only a load of an address of its own counts: a popup written into takes its opener's address
  // with the first fragment it moves to (w.location.hash), and is still the written document.
  auto navigated = std::make_shared<bool>(false);
  connect(
      page, &QWebEnginePage::loadingChanged, this, [navigated](const QWebEngineLoadingInfo& info) {
        if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus && IsOwnAddress(info.url())) {
          *navigated = true;
        }
      });
  connect(page, &QWebEnginePage::urlChanged, this, [this, page, navigated](const QUrl& url) {
    if (*navigated && IsOwnAddress(url)) {
      Show(page);
    }
  });
  // Closed by its opener before it showed anything.
  connect(page, &QWebEnginePage::windowCloseRequested, this, [page] { page->deleteLater(); });
  QTimer::singleShot(kWrittenPopupSettleMs, page, [this, page] {
    page->toHtml([this, popup = QPointer<GamePage>(page)](const QString& html) {
      if (popup && !client_->WindowOf(popup) && !IsEmptyDocument(html)) {
        ShowWritten(popup, html);
      }
    });
  });
}

void PopupWindows::Show(GamePage* page, const QString& written_by) {
  GS_REQUIRE_UI_THREAD();
  if (client_->WindowOf(page)) {
    return;
  }
  StopWaitingToShow(page, this);
  BrowserWindow* window = client_->OpenBrowser(page, nullptr);
  // Unlike the game window, a popup is titled by its page, and by its origin when that is not
  // one of the game's.
  new PopupTitler(window, window->view(), game_hosts_, written_by);
  window->resize(kPopupSize);
  window->show();
}

void PopupWindows::ShowWritten(GamePage* written, const QString& html) {
  GS_REQUIRE_UI_THREAD();
  PopupTitler::AskOrigin(
      written, [this, written = QPointer<GamePage>(written), html](const QString& origin) {
        if (!written || client_->WindowOf(written)) {
          return;
        }
        StopWaitingToShow(written, this);
        GamePage* copy = written->NewPage(GamePage::Role::kPopup, this);
        connect(copy, &GamePage::PopupOpened, this, &PopupWindows::Adopt);
        written->deleteLater();
        // Without a base address: one of the writer's origin trips the engine's check of the
        // process that may show it (the processes are per origin). The copy names its writer.
        copy->setHtml(html);
        // "null" (an opaque writer) still names no game origin.
        Show(copy, origin.isEmpty() ? QStringLiteral("null") : origin);
      });
}

bool PopupWindows::IsEmptyDocument(const QString& html) {
  QString bare = html;
  bare.remove(QRegularExpression(QStringLiteral("\\s")));
  return bare == QLatin1String("<html><head></head><body></body></html>") || bare.isEmpty();
}

}  // namespace gameshell
