#include "client/qt/request_guard.h"

#include <QUrl>

#include <string>

#include "base/qt/ui_thread.h"
#include "cache/qt/cache_scheme.h"
#include "client/core/request_rules.h"

namespace gameshell {

namespace {

bool IsMainFrame(const QWebEngineUrlRequestInfo& info) {
  return info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame ||
         info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeNavigationPreloadMainFrame;
}

bool IsSubFrame(const QWebEngineUrlRequestInfo& info) {
  return info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeSubFrame ||
         info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeNavigationPreloadSubFrame;
}

// A main-frame navigation without an initiator that the shell made: loading the game (typed, as
// a page's load() is), its reloads and the history.
bool StartedByShell(const QWebEngineUrlRequestInfo& info) {
  if (!info.initiator().isEmpty() || !IsMainFrame(info)) {
    return false;
  }
  const auto type = info.navigationType();
  return type == QWebEngineUrlRequestInfo::NavigationTypeTyped ||
         type == QWebEngineUrlRequestInfo::NavigationTypeReload ||
         type == QWebEngineUrlRequestInfo::NavigationTypeBackForward;
}

}  // namespace

RequestGuard::RequestGuard(GameHosts game_hosts,
                           Scope scope,
                           QWebEngineUrlRequestInterceptor* next,
                           QObject* parent)
    : QWebEngineUrlRequestInterceptor(parent),
      game_hosts_(std::move(game_hosts)),
      scope_(scope),
      next_(next) {}

void RequestGuard::interceptRequest(QWebEngineUrlRequestInfo& info) {
  GS_REQUIRE_UI_THREAD();
  const bool main_frame = IsMainFrame(info);
  // Main frames are the pages' own guards' to judge: only they know which window is asking.
  if ((scope_ == Scope::kProfile) != main_frame) {
    PageRequest request;
    const std::string initiator = info.initiator().toEncoded().toStdString();
    // The cache's own addresses stand for the game's.
    QUrl target = info.requestUrl();
    if (target.scheme() == QLatin1String(cache_scheme::kHttp) ||
        target.scheme() == QLatin1String(cache_scheme::kHttps)) {
      target = cache_scheme::ToNetworkUrl(target);
    }
    const std::string url = target.toEncoded().toStdString();
    request.initiator = initiator;
    request.started_by_shell = StartedByShell(info);
    request.url = url;
    request.kind = info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeWebSocket
                       ? RequestKind::kWebSocket
                   : !main_frame ? (IsSubFrame(info) ? RequestKind::kFrameNavigation
                                                     : RequestKind::kSubresource)
                   : scope_ == Scope::kGameWindow ? RequestKind::kGameWindowNavigation
                                                  : RequestKind::kPopupNavigation;
    switch (JudgePageRequest(request, game_hosts_)) {
      case RequestVerdict::kAllow:
        break;
      case RequestVerdict::kBlock:
        info.block(true);
        return;
      case RequestVerdict::kRefuseNavigation:
        info.redirect(QUrl(QString::fromLatin1(kRefusedNavigationUrl)));
        return;
    }
  }
  if (next_) {
    next_->interceptRequest(info);
  }
}

}  // namespace gameshell
