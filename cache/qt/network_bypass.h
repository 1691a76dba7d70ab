#pragma once

#include <QHash>
#include <QUrl>

// Requests the cache has handed back to the network: the next request for each such URL goes out
// untouched, past the interceptor, once per hand-back.
// Thread: UI.
class NetworkBypass {
 public:
  void Add(const QUrl& network_url) { ++pending_[network_url]; }

  // True, once per Add, for a URL handed back.
  bool Take(const QUrl& url) {
    auto it = pending_.find(url);
    if (it == pending_.end()) {
      return false;
    }
    if (--*it == 0) {
      pending_.erase(it);
    }
    return true;
  }

 private:
  QHash<QUrl, int> pending_;
};
