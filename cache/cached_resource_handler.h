#pragma once

#include <QWebEngineUrlSchemeHandler>

class ResourceRequestInterceptor;

// Answers requests of the internal cache scheme with the cached file at the URL's cache path,
// status 200 and the file's whole length. The file is opened when serving begins: a file
// replaced meanwhile (always by rename) is still read whole from the old copy. A file that is
// missing, empty or unreadable by then sends the request back to the network.
// Thread: UI (the engine reads the opened file on its own thread).
class CachedResourceHandler : public QWebEngineUrlSchemeHandler {
  Q_OBJECT

 public:
  CachedResourceHandler(ResourceRequestInterceptor* interceptor, QObject* parent);

  void requestStarted(QWebEngineUrlRequestJob* job) override;

 private:
  ResourceRequestInterceptor* const interceptor_;
};
