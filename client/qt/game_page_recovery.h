#pragma once

#include <QDateTime>
#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>

#include "client/core/shell_page.h"

class QNetworkReply;
class QWebEngineLoadingInfo;

namespace gameshell {

// Keeps the game page going through what players meet. When the login page cannot be loaded (a
// network error, or a 5xx answer), the page shows the shell's own page saying so, with a Retry
// button, and the shell asks the login host again by itself with growing pauses; once the host
// answers, the game loads again. When the page's process dies, the game loads again, unless that
// happened three times within a minute: then the shell's page shows, and only the player retries.
// A certificate the engine refused is said apart, and only the player retries it.
// The retries load the start URL as it was; the shell's page touches neither the cache nor the
// launch parameters.
// Thread: UI.
class GamePageRecovery : public QObject {
  Q_OBJECT

 public:
  static constexpr int kFirstPauseMs = 2000;
  static constexpr int kLongestPauseMs = 30000;
  static constexpr int kDeathsBeforeGivingUp = 3;
  static constexpr int kDeathWindowMs = 60000;
  // A login host that takes the connection but sends nothing for this long counts as absent.
  static constexpr int kNoAnswerMs = 20000;
  // Where the shell's page's Retry button leads; the page refuses the navigation and tells us.
  static constexpr char kRetryUrl[] = "gameshell-retry:now";
  // Loads in a row of a game document that came without the page functions (the engine can
  // commit a new process's first document before its scripts arrive) before the shell stops
  // loading it again.
  static constexpr int kReloadsForMissingFunctions = 3;

  // `probe_url`: asked to learn whether the login host answers (the login page without the launch
  // parameters).
  GamePageRecovery(QWebEnginePage* page, QUrl start_url, QUrl probe_url);

  // The engine's longest address (Chromium's kMaxURLChars): a longer one would never load.
  static constexpr qsizetype kLongestUrlBytes = 2 * 1024 * 1024;

  // Loads the game: the start URL, or the shell's page where the engine could never load it.
  void LoadGame();
  // The player pressed Retry on the shell's page; nothing while the page shows anything else.
  void RetryNow();

 private:
  void OnLoadingChanged(const QWebEngineLoadingInfo& info);
  void OnRenderProcessTerminated(QWebEnginePage::RenderProcessTerminationStatus status);
  using Trouble = ShellTrouble;
  void ShowOfflinePage(Trouble trouble, bool retry_by_itself);
  // Loads the game document again when it came without the page functions.
  void CheckPageFunctions();
  // Hands the page's scripts (the page functions among them) to the engine anew.
  void ReinstallScripts();
  void Probe();
  void OnProbeAnswered(QNetworkReply* reply);

  QWebEnginePage* const page_;
  const QUrl start_url_;
  const QUrl probe_url_;
  QNetworkAccessManager network_;
  QPointer<QNetworkReply> probe_;
  QTimer retry_;
  QTimer no_answer_;
  int progress_ = 0;  // of the load under way
  int pause_ms_ = kFirstPauseMs;
  QList<QDateTime> deaths_;
  bool offline_page_shown_ = false;
  int reloads_for_functions_ = 0;
};

}  // namespace gameshell
