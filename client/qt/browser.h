#pragma once

#include <QPointer>
#include <QWebEngineView>

#include "client/qt/game_page.h"
#include "window/qt/browser_window.h"

namespace gameshell {

// One browser of the shell: a page in its view, in a window of its own (the game's, a popup's,
// the developer tools'). The window owns the view and the view the page; the window deletes
// itself once closed, and the client then drops the browser from its list.
// Thread: UI.
struct Browser {
  QPointer<BrowserWindow> window;
  QPointer<QWebEngineView> view;
  QPointer<GamePage> page;
};

}  // namespace gameshell
