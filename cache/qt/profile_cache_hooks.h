#pragma once

#include <memory>

#include "cache/qt/network_bypass.h"

class CachedResourceHandler;
class QWebEngineUrlRequestInterceptor;
class QWebEngineProfile;
class ResourceRequestInterceptor;

namespace gameshell {
class ResourceCache;
}

// The resource cache hooked into a profile's requests for the object's lifetime: the interceptor
// that decides and downloads, and the scheme handler that answers the engine from disk. The
// interceptor is the profile's to call: whoever installs interceptors on the profile passes
// requests on to it.
// Thread: UI.
class ProfileCacheHooks {
 public:
  // `cache` and `profile` must outlive this object.
  ProfileCacheHooks(gameshell::ResourceCache* cache, QWebEngineProfile* profile);
  // Unhooks; downloads still running are dropped.
  ~ProfileCacheHooks();

  QWebEngineUrlRequestInterceptor* request_interceptor() const;

 private:
  QWebEngineProfile* const profile_;
  // In this order, so that the downloads go before the handler they answer into.
  NetworkBypass bypass_;
  std::unique_ptr<CachedResourceHandler> handler_;
  std::unique_ptr<ResourceRequestInterceptor> interceptor_;
};
