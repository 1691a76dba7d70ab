#pragma once

#include <QObject>
#include <QString>

#include "base/core/game_hosts.h"

namespace gameshell {

class GameClient;
class GamePage;

// The popups the pages open, each shown in a browser of its own once it shows something, titled
// by its page (and by its origin when that is not one of the game's).
// Thread: UI.
class PopupWindows : public QObject {
  Q_OBJECT

 public:
  // `client` must outlive this object.
  PopupWindows(GameClient* client, GameHosts game_hosts);

  // Takes a popup a page opened (GamePage::PopupOpened): shown once it has navigated somewhere,
  // or as a copy of what its opener wrote into it.
  void Adopt(GamePage* popup);

 private:
  // `written_by`: the origin of the page a copy was written by, which titles it.
  void Show(GamePage* page, const QString& written_by = QString());
  void ShowWritten(GamePage* written, const QString& html);
  static bool IsEmptyDocument(const QString& html);

  GameClient* const client_;
  const GameHosts game_hosts_;
};

}  // namespace gameshell
