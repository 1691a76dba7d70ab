#pragma once
class QWebEnginePage;

namespace gameshell {

class GameClient;

// Opens the developer tools of `page` in a browser of their own, in a window titled "DEVTOOL",
// or raises the one already open.
// Thread: UI.
void ShowDevTools(QWebEnginePage* page, GameClient& client);

}  // namespace gameshell
