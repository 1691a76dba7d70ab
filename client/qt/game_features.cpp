#include "client/qt/game_features.h"

#include <QWebEngineFullScreenRequest>
#include <QWebEngineSettings>
#include <QWebEngineView>
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
#include <QWebEnginePermission>
#endif

#include "base/qt/ui_thread.h"
#include "client/qt/view_key_watcher.h"
#include "window/qt/browser_window.h"

namespace gameshell {

GameFeatures::GameFeatures(QWebEnginePage* page, BrowserWindow* window, GameHosts hosts)
    : QObject(page), page_(page), window_(window), hosts_(std::move(hosts)) {
  GS_REQUIRE_UI_THREAD();
  page_->settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
  connect(page_, &QWebEnginePage::fullScreenRequested, this, &GameFeatures::OnFullScreenRequested);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  connect(page_, &QWebEnginePage::permissionRequested, this, [this](QWebEnginePermission asked) {
    GS_REQUIRE_UI_THREAD();
    if (asked.permissionType() == QWebEnginePermission::PermissionType::MouseLock &&
        IsGameOrigin(asked.origin())) {
      asked.grant();
    } else {
      asked.deny();
    }
  });
#else
  connect(page_, &QWebEnginePage::featurePermissionRequested, this,
          &GameFeatures::OnFeatureRequested);
#endif
  // Esc leaves the whole screen, as in a browser; the page gets the key too.
  if (QWebEngineView* view = window_ ? window_->view() : nullptr) {
    connect(new ViewKeyWatcher(view, Qt::Key_Escape), &ViewKeyWatcher::Pressed, this, [this] {
      if (full_screen_) {
        page_->triggerAction(QWebEnginePage::ExitFullScreen);
      }
    });
  }
}

bool GameFeatures::IsGameOrigin(const QUrl& origin) const {
  return hosts_.AllowsUrl(origin.toEncoded().toStdString());
}

void GameFeatures::OnFullScreenRequested(QWebEngineFullScreenRequest request) {
  GS_REQUIRE_UI_THREAD();
  if (!window_ || (request.toggleOn() && !IsGameOrigin(request.origin()))) {
    request.reject();
    return;
  }
  request.accept();
  if (request.toggleOn()) {
    was_maximized_ = window_->isMaximized();
    window_->showFullScreen();
  } else if (was_maximized_) {
    window_->showMaximized();
  } else {
    window_->showNormal();
  }
  full_screen_ = request.toggleOn();
}

#if QT_VERSION < QT_VERSION_CHECK(6, 8, 0)
void GameFeatures::OnFeatureRequested(const QUrl& origin, QWebEnginePage::Feature feature) {
  GS_REQUIRE_UI_THREAD();
  // Answered either way: a request left unanswered leaves the page waiting for good.
  const bool granted = feature == QWebEnginePage::MouseLock && IsGameOrigin(origin);
  page_->setFeaturePermission(
      origin, feature,
      granted ? QWebEnginePage::PermissionGrantedByUser : QWebEnginePage::PermissionDeniedByUser);
}

#endif

}  // namespace gameshell
