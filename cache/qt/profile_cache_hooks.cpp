#include "cache/qt/profile_cache_hooks.h"

#include <QWebEngineProfile>

#include "base/qt/ui_thread.h"
#include "cache/qt/cache_scheme.h"
#include "cache/qt/cached_resource_handler.h"
#include "cache/qt/resource_request_interceptor.h"

ProfileCacheHooks::ProfileCacheHooks(gameshell::ResourceCache* cache, QWebEngineProfile* profile)
    : profile_(profile),
      handler_(std::make_unique<CachedResourceHandler>(&bypass_)),
      interceptor_(
          std::make_unique<ResourceRequestInterceptor>(cache, profile, handler_.get(), &bypass_)) {
  GS_REQUIRE_UI_THREAD();
  profile_->installUrlSchemeHandler(cache_scheme::kHttp, handler_.get());
  profile_->installUrlSchemeHandler(cache_scheme::kHttps, handler_.get());
}

ProfileCacheHooks::~ProfileCacheHooks() {
  GS_REQUIRE_UI_THREAD();
  profile_->removeUrlSchemeHandler(handler_.get());
}

QWebEngineUrlRequestInterceptor* ProfileCacheHooks::request_interceptor() const {
  return interceptor_.get();
}
