#include "cache/qt/cache_scheme.h"

#include <QWebEngineUrlScheme>

namespace gameshell {

namespace cache_scheme {
namespace {

void RegisterOne(const char* name, int default_port) {
  QWebEngineUrlScheme scheme(name);
  scheme.setSyntax(QWebEngineUrlScheme::Syntax::HostAndPort);
  scheme.setDefaultPort(default_port);
  // CorsEnabled lets XHR and fetch read the answers; the rest lets pages of any origin embed them
  // as they embedded the original URL.
  scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::CorsEnabled |
                  QWebEngineUrlScheme::LocalAccessAllowed |
                  QWebEngineUrlScheme::ContentSecurityPolicyIgnored);
  QWebEngineUrlScheme::registerScheme(scheme);
}

}  // namespace

void Register() {
  RegisterOne(kHttp, 80);
  RegisterOne(kHttps, 443);
}

QUrl ToCacheUrl(const QUrl& url) {
  QUrl cache_url = url;
  cache_url.setScheme(url.scheme() == QLatin1String("https") ? kHttps : kHttp);
  return cache_url;
}

QUrl ToNetworkUrl(const QUrl& url) {
  QUrl network_url = url;
  network_url.setScheme(url.scheme() == QLatin1String(kHttps) ? "https" : "http");
  return network_url;
}

}  // namespace cache_scheme

}  // namespace gameshell
