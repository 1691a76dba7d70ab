#include "client/qt/popup_titler.h"

#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <QWidget>

#include "base/qt/ui_thread.h"
#include "window/core/popup_title.h"

namespace gameshell {

namespace {

// The host, with its port where a game host has the same name ("127.0.0.1:18001"), and its scheme
// too where that game host is written with another ("http://login.example.net" beside an https
// game); for an opaque origin, what the address is ("about:blank", "data:").
QString OriginLabel(const QUrl& origin, const QUrl& address, const GameHosts& hosts) {
  if (!origin.host().isEmpty()) {
    const std::string host = origin.host().toStdString();
    const std::string scheme = origin.scheme().toStdString();
    bool shares_a_game_name = false;
    bool shares_it_on_another_scheme = false;
    for (const GameHosts::Entry& entry : hosts.entries()) {
      if (entry.name == host) {
        shares_a_game_name = true;
        shares_it_on_another_scheme |= !entry.scheme.empty() && entry.scheme != scheme;
      }
    }
    QString label = origin.host();
    if (shares_a_game_name && origin.port() >= 0) {
      label += QLatin1Char(':') + QString::number(origin.port());
    }
    return shares_it_on_another_scheme ? origin.scheme() + QStringLiteral("://") + label : label;
  }
  if (address.scheme() == QLatin1String("about") || address.isEmpty()) {
    return QStringLiteral("about:blank");
  }
  return address.scheme() + QLatin1Char(':');
}

}  // namespace

PopupTitler::PopupTitler(QWidget* window,
                         QWebEngineView* view,
                         GameHosts game_hosts,
                         QString written_by)
    : QObject(window),
      window_(window),
      view_(view),
      game_hosts_(std::move(game_hosts)),
      written_by_(std::move(written_by)) {
  GS_REQUIRE_UI_THREAD();
  connect(view, &QWebEngineView::titleChanged, this, &PopupTitler::Retitle);
  connect(view, &QWebEngineView::urlChanged, this, &PopupTitler::Retitle);
  connect(view, &QWebEngineView::loadFinished, this, &PopupTitler::Retitle);
  Retitle();
}

void PopupTitler::Retitle() {
  GS_REQUIRE_UI_THREAD();
  if (!view_) {
    return;
  }
  if (!written_by_.isEmpty()) {
    Apply(written_by_);
    return;
  }
  // Meanwhile, by the address alone: a web address names its origin; about:, blob: and data:
  // pages count as foreign until the page says whose they are.
  const QUrl address = view_->url();
  const bool web =
      address.scheme() == QLatin1String("http") || address.scheme() == QLatin1String("https");
  Apply(
      web ? address.adjusted(QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment).toString()
          : QStringLiteral("null"));
  const int question = ++asked_;
  QPointer<PopupTitler> alive(this);
  AskOrigin(view_->page(), [alive, question](const QString& origin) {
    if (alive && question == alive->asked_ && !origin.isEmpty()) {
      alive->Apply(origin);
    }
  });
}

void PopupTitler::AskOrigin(QWebEnginePage* page, std::function<void(const QString&)> answer) {
  page->runJavaScript(
      QStringLiteral("window.origin"), QWebEngineScript::ApplicationWorld,
      [answer = std::move(answer)](const QVariant& origin) {
        answer(origin.typeId() == QMetaType::QString ? origin.toString() : QString());
      });
}

void PopupTitler::Apply(const QString& origin_text) {
  if (!view_) {
    return;
  }
  const QUrl origin(origin_text);
  const bool game = game_hosts_.AllowsOrigin(
      origin.scheme().toStdString(), origin.host().toStdString(),
      origin.port() < 0 ? std::nullopt : std::optional<int>(origin.port()));
  window_->setWindowTitle(QString::fromStdString(
      PopupTitle(view_->title().toStdString(),
                 OriginLabel(origin, view_->url(), game_hosts_).toStdString(), game)));
}

}  // namespace gameshell
