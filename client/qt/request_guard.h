#pragma once

#include <QWebEngineUrlRequestInterceptor>

#include "base/core/game_hosts.h"

namespace gameshell {

// Keeps other origins' frames away from the game and the player's network (the rule is
// JudgePageRequest). One guard sits on the profile, in front of the cache, and judges what
// documents fetch and the frames they navigate; one sits on each page and judges that page's
// main-frame navigations, which the engine shows only to the page's own interceptor once the
// profile's has left them alone.
// Thread: UI (where this engine calls interceptors).
class RequestGuard : public QWebEngineUrlRequestInterceptor {
  Q_OBJECT

 public:
  enum class Scope { kProfile, kGameWindow, kPopup };

  // `next` (the profile's: the cache) sees what the guard lets through; it must outlive the guard.
  RequestGuard(GameHosts game_hosts,
               Scope scope,
               QWebEngineUrlRequestInterceptor* next = nullptr,
               QObject* parent = nullptr);

  void interceptRequest(QWebEngineUrlRequestInfo& info) override;

 private:
  const GameHosts game_hosts_;
  const Scope scope_;
  QWebEngineUrlRequestInterceptor* const next_;
};

}  // namespace gameshell
