#include "client/qt/game_page_recovery.h"

#include <QBuffer>
#include <QFile>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QWebEngineLoadingInfo>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <algorithm>

#include "base/qt/ui_thread.h"
#include "client/core/shell_page.h"

namespace gameshell {

namespace {

constexpr int kProbeTimeoutMs = 10000;
constexpr int kProgressBeforeAnAnswer = 10;

bool IsStartPage(const QUrl& url, const QUrl& start_url) {
  return url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment) ==
         start_url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
}

QString IconDataUrl() {
  // Drawn larger than shown, so it stays sharp.
  QFile icon(QStringLiteral(":/icons/varnholt-128.png"));
  icon.open(QIODevice::ReadOnly);
  return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(icon.readAll().toBase64());
}

}  // namespace

GamePageRecovery::GamePageRecovery(QWebEnginePage* page, QUrl start_url, QUrl probe_url)
    : QObject(page),
      page_(page),
      start_url_(std::move(start_url)),
      probe_url_(std::move(probe_url)) {
  GS_REQUIRE_UI_THREAD();
  retry_.setSingleShot(true);
  connect(&retry_, &QTimer::timeout, this, &GamePageRecovery::Probe);
  no_answer_.setSingleShot(true);
  no_answer_.setInterval(kNoAnswerMs);
  connect(page_, &QWebEnginePage::loadProgress, this,
          [this](int progress) { progress_ = progress; });
  connect(&no_answer_, &QTimer::timeout, this, [this] {
    // The engine's progress stays where a load starts until the first answer comes.
    if (progress_ <= kProgressBeforeAnAnswer) {
      page_->triggerAction(QWebEnginePage::Stop);
      ShowOfflinePage(Trouble::kNoAnswer, /*retry_by_itself=*/true);
    }
  });
  connect(page_, &QWebEnginePage::loadingChanged, this, &GamePageRecovery::OnLoadingChanged);
  connect(page_, &QWebEnginePage::renderProcessTerminated, this,
          [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
            OnRenderProcessTerminated(status);
          });
}

void GamePageRecovery::OnLoadingChanged(const QWebEngineLoadingInfo& info) {
  GS_REQUIRE_UI_THREAD();
  // Whatever else the page starts to show replaces the shell's page (which is a data: address).
  // Not its Retry, which the engine starts to load before the page refuses it and retries.
  if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus &&
      info.url().scheme() != QLatin1String("data") &&
      info.url() != QUrl(QString::fromUtf8(kRetryUrl))) {
    offline_page_shown_ = false;
  }
  if (!IsStartPage(info.url(), start_url_)) {
    return;
  }
  if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
    progress_ = 0;
    no_answer_.start();
  } else {
    no_answer_.stop();
  }
  // A certificate the engine refused: someone may stand between the player and the game. Asking
  // again by itself would not change that; the player retries once the network is one to trust.
  if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus &&
      info.errorDomain() == QWebEngineLoadingInfo::CertificateErrorDomain) {
    ShowOfflinePage(Trouble::kNotPrivate, /*retry_by_itself=*/false);
    return;
  }
  const bool server_failed =
      info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain && info.errorCode() >= 500;
  if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus ||
      (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus && server_failed)) {
    if (info.errorDomain() != QWebEngineLoadingInfo::NoErrorDomain || server_failed) {
      ShowOfflinePage(server_failed ? Trouble::kServerError : Trouble::kUnreachable,
                      /*retry_by_itself=*/true);
    }
  } else if (info.status() == QWebEngineLoadingInfo::LoadSucceededStatus) {
    pause_ms_ = kFirstPauseMs;
    CheckPageFunctions();
  }
}

void GamePageRecovery::ReinstallScripts() {
  const QList<QWebEngineScript> scripts = page_->scripts().toList();
  page_->scripts().clear();
  for (const QWebEngineScript& script : scripts) {
    page_->scripts().insert(script);
  }
}

void GamePageRecovery::CheckPageFunctions() {
  const QUrl loaded = page_->url();
  page_->runJavaScript(
      QStringLiteral("typeof window.C_closeWindow"), QWebEngineScript::MainWorld,
      [this, alive = QPointer<GamePageRecovery>(this), loaded](const QVariant& type) {
        if (!alive || offline_page_shown_ || page_->url() != loaded) {
          return;
        }
        if (type.toString() == QLatin1String("function")) {
          reloads_for_functions_ = 0;
          return;
        }
        // Paying, signing in and closing from the game would silently do nothing.
        if (reloads_for_functions_ < kReloadsForMissingFunctions) {
          ++reloads_for_functions_;
          ReinstallScripts();
          page_->triggerAction(QWebEnginePage::Reload);
        }
      });
}

void GamePageRecovery::OnRenderProcessTerminated(
    QWebEnginePage::RenderProcessTerminationStatus status) {
  GS_REQUIRE_UI_THREAD();
  if (status == QWebEnginePage::NormalTerminationStatus) {
    return;
  }
  const QDateTime now = QDateTime::currentDateTimeUtc();
  deaths_.removeIf([&](const QDateTime& death) { return death.msecsTo(now) > kDeathWindowMs; });
  deaths_.append(now);
  // The engine (Qt 6.4) may not hand a page's scripts to the process that replaces a dead one:
  // the page functions would be missing from every load that follows.
  ReinstallScripts();
  // Reloading a page that kills its process at once would loop for ever.
  if (deaths_.size() >= kDeathsBeforeGivingUp) {
    ShowOfflinePage(Trouble::kGameStopped, /*retry_by_itself=*/false);
    return;
  }
  LoadGame();
}

void GamePageRecovery::ShowOfflinePage(Trouble trouble, bool retry_by_itself) {
  QFile file(QStringLiteral(":/client/offline.html"));
  file.open(QIODevice::ReadOnly);
  ShellPage shell_page;
  shell_page.trouble = trouble;
  shell_page.icon_url = IconDataUrl().toStdString();
  shell_page.retry_url = kRetryUrl;
  // The shell's own timer retries.
  shell_page.retrying = retry_by_itself;
  const QString html = QString::fromStdString(
      FillShellPage(QString::fromUtf8(file.readAll()).toStdString(), shell_page));
  page_->setHtml(html);
  offline_page_shown_ = true;
  if (retry_by_itself && !retry_.isActive() && !probe_) {
    retry_.start(pause_ms_);
    pause_ms_ = std::min(pause_ms_ * 2, kLongestPauseMs);
  }
}

void GamePageRecovery::RetryNow() {
  GS_REQUIRE_UI_THREAD();
  if (!offline_page_shown_) {
    return;
  }
  retry_.stop();
  pause_ms_ = kFirstPauseMs;
  deaths_.clear();
  LoadGame();
}

void GamePageRecovery::Probe() {
  QNetworkRequest request(probe_url_);
  request.setTransferTimeout(kProbeTimeoutMs);
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  probe_ = network_.get(request);
  // The status is all it takes: no body is read.
  connect(probe_, &QNetworkReply::metaDataChanged, this, [this, reply = probe_.data()] {
    if (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid()) {
      OnProbeAnswered(reply);
    }
  });
  connect(probe_, &QNetworkReply::finished, this,
          [this, reply = probe_.data()] { OnProbeAnswered(reply); });
}

void GamePageRecovery::OnProbeAnswered(QNetworkReply* reply) {
  if (reply != probe_) {
    return;
  }
  probe_.clear();
  const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
  reply->disconnect(this);
  reply->abort();
  reply->deleteLater();
  // A refused certificate is an answer too: the page's own load then says so.
  if ((status.isValid() && status.toInt() < 500) ||
      reply->error() == QNetworkReply::SslHandshakeFailedError) {
    LoadGame();
    return;
  }
  retry_.start(pause_ms_);
  pause_ms_ = std::min(pause_ms_ * 2, kLongestPauseMs);
}

void GamePageRecovery::LoadGame() {
  GS_REQUIRE_UI_THREAD();
  if (start_url_.toEncoded().size() > kLongestUrlBytes) {
    ShowOfflinePage(Trouble::kUrlTooLong, /*retry_by_itself=*/false);
    return;
  }
  offline_page_shown_ = false;
  page_->load(start_url_);
}

}  // namespace gameshell
