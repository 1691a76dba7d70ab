#pragma once

#include <QUrl>

namespace gameshell {

// The internal schemes through which cached files reach the page: a request to be served from
// disk is redirected from http(s)://host/path?query to the same URL under the matching internal
// scheme, whose handler answers with the file. Register before the application object exists;
// the rest is pure and callable from any thread.
namespace cache_scheme {

inline constexpr char kHttp[] = "gameshell-cache";
inline constexpr char kHttps[] = "gameshell-caches";

// Before the application object exists.
void Register();

// http(s) -> internal, and back.
QUrl ToCacheUrl(const QUrl& url);
QUrl ToNetworkUrl(const QUrl& url);

}  // namespace cache_scheme

}  // namespace gameshell
