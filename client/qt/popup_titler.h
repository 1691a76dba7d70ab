#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include "base/core/game_hosts.h"

class QWebEnginePage;
class QWebEngineView;
class QWidget;

namespace gameshell {

// Keeps a popup's window titled by its page, and by its origin whenever that is not one of the
// game's: a popup of any other origin could pass for the game (a login form, say). The origin is
// the document's own, as the engine has it, asked of the page in a world of the shell's where no
// page script can stand in for it: a blob: address's inner origin, the opener's for about:blank
// or a popup the opener writes into. Until the page has answered, the popup counts as foreign.
// Thread: UI. Lives as long as `window` (its Qt parent).
class PopupTitler : public QObject {
  Q_OBJECT

 public:
  // `written_by`: for a copy of what a page wrote into a popup, that page's origin, which stands
  // for the copy's own.
  // Asks `page` for its document's origin ("scheme://host[:port]", or "null"), in the shell's own
  // world, where no page script can stand in for `window.origin`; `answer` runs later, with "" if
  // the page answered nothing usable.
  static void AskOrigin(QWebEnginePage* page, std::function<void(const QString&)> answer);

  PopupTitler(QWidget* window,
              QWebEngineView* view,
              GameHosts game_hosts,
              QString written_by = QString());

 private:
  void Retitle();
  void Apply(const QString& origin);

  QWidget* const window_;
  QPointer<QWebEngineView> view_;
  const GameHosts game_hosts_;
  const QString written_by_;
  int asked_ = 0;  // answers to older questions are stale
};

}  // namespace gameshell
