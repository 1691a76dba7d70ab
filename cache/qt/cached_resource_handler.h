#pragma once

#include <QWebEngineUrlSchemeHandler>

#include <string>

class QWebEngineUrlRequestJob;
class ResourceRequestInterceptor;

// Answers requests of the internal cache scheme: with the older file held for the request, or,
// while the shell's download of the resource runs, once it has ended; otherwise with the cached
// file at the URL's cache path, status 200 and its whole length. A file replaced meanwhile (always
// by rename) is still read whole from the copy opened. A file that is missing, empty or unreadable
// sends the request back to the network.
// Thread: UI (the engine reads the opened file on its own thread).
class CachedResourceHandler : public QWebEngineUrlSchemeHandler {
  Q_OBJECT

 public:
  CachedResourceHandler(ResourceRequestInterceptor* interceptor, QObject* parent);

  void requestStarted(QWebEngineUrlRequestJob* job) override;

  // Answers `job` with the file at `cache_path`, or sends it to the network.
  static void ServeFile(QWebEngineUrlRequestJob* job,
                        const std::string& cache_path,
                        ResourceRequestInterceptor* interceptor);

 private:
  ResourceRequestInterceptor* const interceptor_;
};
