#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>
#include <thread>

#include "client/qt/game_bridge.h"
#include "client/qt/game_client.h"
#include "client/qt/game_session.h"
#include "gui_test_support.h"
#include "window/qt/browser_window.h"
#include "window/qt/game_window_delegate.h"

namespace gameshell {
namespace {

// One game browser and window, opened as the shell opens them, on a fixture page.
class GameWindowTest : public ::testing::Test {
 protected:
  void Open(const std::string& query) {
    QFile::remove("fileList.txt");
    profile_ = std::make_unique<QWebEngineProfile>();
    game_ = std::make_unique<GameSession>(profile_.get(), Server().Url("/login.html?id=2" + query),
                                          gameshell::GameHosts(Server().Host(), ""));
    QObject::connect(&game_->client(), &GameClient::LastBrowserClosed, [this] {
      ++last_browser_closed_;
      index_saved_before_quit_ = QFile::exists("fileList.txt");
    });
    ASSERT_TRUE(WaitUntil([this] { return window() && window()->isVisible(); }));
  }

  // A popup as the engine asks for one when the player clicks a link with a target.
  void OpenPopup() {
    const int loaded = Server().Count("event=popup-loaded");
    game_->game_page()->OpenPopup()->load(
        QUrl(QString::fromStdString(Server().Url("/popup.html"))));
    ASSERT_TRUE(WaitUntil([&] { return Server().Count("event=popup-loaded") > loaded; }));
    ASSERT_EQ(client().browsers().size(), 2u);
  }

  void TearDown() override {
    game_.reset();
    Pump(50);
    profile_.reset();
  }

  GameWindowDelegate* delegate() { return (game_ ? &game_->window_delegate() : nullptr); }
  BrowserWindow* window() {
    QWebEngineView* view = delegate() ? delegate()->browser_view() : nullptr;
    return view ? client().WindowOf(view->page()) : nullptr;
  }
  QWebEnginePage* page() { return delegate()->browser_view()->page(); }
  // A player's click at `at` in the page.
  void Click(QPointF at) {
    QWidget* target = delegate()->browser_view()->focusProxy();
    ASSERT_NE(target, nullptr);
    QMouseEvent press(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QCoreApplication::sendEvent(target, &release);
  }

  std::unique_ptr<QWebEngineProfile> profile_;
  std::unique_ptr<GameSession> game_;
  GameClient& client() { return game_->client(); }
  int last_browser_closed_ = 0;
  bool index_saved_before_quit_ = false;
};

TEST_F(GameWindowTest, LockedCloseRunsThePageHookOncePerRequestAndStaysOpen) {
  Open("&hook=1");
  int before = Server().Count("event=hook");
  delegate()->SetCanClose(false);
  window()->close();
  ASSERT_TRUE(WaitUntil([&] { return Server().Count("event=hook") == before + 1; }));
  window()->close();
  ASSERT_TRUE(WaitUntil([&] { return Server().Count("event=hook") == before + 2; }));
  Pump(300);
  EXPECT_EQ(Server().Count("event=hook"), before + 2);
  EXPECT_TRUE(window()->isVisible());
  EXPECT_EQ(client().browsers().size(), 1u);
  EXPECT_EQ(last_browser_closed_, 0);
}

// A locked game with no close hook to run, or one that throws, would never close: the shell asks
// the player itself, and closes on yes.
TEST_F(GameWindowTest, LockedCloseWithoutAHookAsksThePlayer) {
  for (const char* page : {"", "&hook=throw"}) {
    SCOPED_TRACE(page);
    Open(page);
    delegate()->SetCanClose(false);
    auto question = [] {
      QMessageBox* shown = nullptr;
      WaitUntil([&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
          if (auto* box = qobject_cast<QMessageBox*>(top); box && box->isVisible()) {
            shown = box;
          }
        }
        return shown != nullptr;
      });
      return shown;
    };
    window()->close();
    QMessageBox* box = question();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QString::fromUtf8("要退出游戏吗？\nQuit the game?"));
    box->button(QMessageBox::No)->click();
    Pump(300);
    EXPECT_TRUE(window()->isVisible());
    EXPECT_EQ(last_browser_closed_, 0);
    window()->close();
    box = question();
    ASSERT_NE(box, nullptr);
    box->button(QMessageBox::Yes)->click();
    EXPECT_TRUE(WaitUntil([&] { return last_browser_closed_ == 1; }));
    game_.reset();
    Pump(50);
    last_browser_closed_ = 0;
  }
}

TEST_F(GameWindowTest, UnlockedCloseSavesTheIndexBeforeTheLoopEnds) {
  Open("&hook=1");
  delegate()->SetCanClose(false);
  delegate()->SetCanClose(true);
  window()->close();
  ASSERT_TRUE(WaitUntil([&] { return last_browser_closed_ == 1; }));
  EXPECT_TRUE(index_saved_before_quit_);
  EXPECT_TRUE(client().browsers().empty());
  // The delegate outlives its window (deleted a turn of the loop later); window commands then do
  // nothing.
  ASSERT_NE(delegate(), nullptr);
  EXPECT_TRUE(WaitUntil([&] { return delegate()->browser_view() == nullptr; }));
  delegate()->MaximizeWindow();
}

// The shell's page says what happened, in Chinese and English, with its Retry button.
TEST_F(GameWindowTest, TheShellsPageSaysWhatHappened) {
  auto heading = [this] {
    QString text;
    WaitUntil([&] {
      bool done = false;
      page()->runJavaScript(
          "document.querySelector('h1') ? document.querySelector('h1').textContent + '|' + "
          "document.querySelector('button').textContent : ''",
          [&](const QVariant& v) {
            text = v.toString();
            done = true;
          });
      WaitUntil([&] { return done; });
      // The engine's own error page may show first, for a moment.
      return text.endsWith("Retry");
    });
    return text;
  };
  Open("&status=500");
  EXPECT_EQ(heading(), QString::fromUtf8("游戏服务器出错了|重试 Retry"));
  game_.reset();
  Pump(50);

  Open("");
  for (int death = 0; death < 3; ++death) {
    emit page()->renderProcessTerminated(QWebEnginePage::CrashedTerminationStatus, 11);
  }
  EXPECT_EQ(heading(), QString::fromUtf8("游戏意外停止了|重试 Retry"));
  game_.reset();
  Pump(50);

  // A host that takes the connection and never answers: the loading window says, well before the
  // page does, that the shell is still waiting.
  profile_ = std::make_unique<QWebEngineProfile>();
  game_ = std::make_unique<GameSession>(profile_.get(), Server().Url("/login.html?id=2&delay=25"),
                                        gameshell::GameHosts(Server().Host(), ""));
  auto still_waiting = [] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      for (QLabel* label : top->findChildren<QLabel*>()) {
        if (top->isVisible() && label->text().contains("Still waiting")) {
          return true;
        }
      }
    }
    return false;
  };
  Pump(1000);
  EXPECT_FALSE(still_waiting());
  EXPECT_TRUE(WaitUntil(still_waiting, 10000));
  Pump(10000);
  EXPECT_EQ(heading(), QString::fromUtf8("游戏服务器没有响应|重试 Retry"));
  game_.reset();
  Pump(50);

  profile_ = std::make_unique<QWebEngineProfile>();
  game_ = std::make_unique<GameSession>(profile_.get(), "http://127.0.0.1:1/login.html?id=2",
                                        gameshell::GameHosts("127.0.0.1:1", ""));
  EXPECT_EQ(heading(), QString::fromUtf8("无法连接到游戏服务器|重试 Retry"));
}

// The page's process dies for real, again and again: every load of the game has the page functions,
// and once the shell's page shows, Retry loads the game at once, by mouse and by keyboard.
TEST_F(GameWindowTest, EveryLoadHasThePageFunctionsAndRetryLoadsTheGameAtOnce) {
  Open("&functions=1");
  int loads = 0;
  // A load the engine committed before the functions reached its new process is loaded again.
  auto loaded_with_functions = [&] {
    ++loads;
    return WaitUntil([&] { return Server().Count("event=functions&ok=true") == loads; });
  };
  ASSERT_TRUE(loaded_with_functions());
  auto kill_page = [&] {
    const qint64 pid = page()->renderProcessPid();
    ASSERT_GT(pid, 0);
    ::kill(static_cast<pid_t>(pid), SIGKILL);
  };
  auto shows_the_shells_page = [&] {
    return WaitUntil([&] {
      bool done = false;
      bool shown = false;
      page()->runJavaScript("!!document.querySelector('button')", [&](const QVariant& v) {
        shown = v.toBool();
        done = true;
      });
      WaitUntil([&] { return done; }, 2000);
      return shown;
    });
  };
  for (const char* how : {"mouse", "keyboard"}) {
    SCOPED_TRACE(how);
    for (int death = 0; death < 2; ++death) {
      kill_page();
      ASSERT_TRUE(loaded_with_functions())
          << "after death " << death + 1 << ": loads with the functions "
          << Server().Count("event=functions&ok=true") << ", without "
          << Server().Count("event=functions&ok=false") << ", of " << loads;
    }
    kill_page();
    ASSERT_TRUE(shows_the_shells_page());
    QWidget* target = delegate()->browser_view()->focusProxy();
    ASSERT_NE(target, nullptr);
    if (std::string(how) == "mouse") {
      QRect button;
      bool done = false;
      page()->runJavaScript(
          "(function () { var r = document.querySelector('button').getBoundingClientRect();"
          " return [r.left, r.top, r.width, r.height]; })()",
          [&](const QVariant& v) {
            const QVariantList r = v.toList();
            button = QRect(r[0].toInt(), r[1].toInt(), r[2].toInt(), r[3].toInt());
            done = true;
          });
      ASSERT_TRUE(WaitUntil([&] { return done; }));
      Click(button.center());
    } else {
      // The button has the focus from the start.
      for (auto key : {Qt::Key_Space}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, key == Qt::Key_Space ? " " : "\t");
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier,
                          key == Qt::Key_Space ? " " : "\t");
        QCoreApplication::sendEvent(target, &press);
        QCoreApplication::sendEvent(target, &release);
        Pump(100);
      }
    }
    // At once: well before the shell's own first retry would come, and this page has none.
    ASSERT_TRUE(loaded_with_functions());
  }
}

// The game gets the whole screen and the pointer after the player's click, never without one;
// Esc gives the window its size back.
TEST_F(GameWindowTest, TheGameGetsTheWholeScreenAndThePointerAfterAClick) {
  Open("&screen=1");
  ASSERT_TRUE(WaitUntil([&] { return Server().Count("event=fullscreen&click=0&ok=0") == 1; }));
  const QSize before = window()->size();
  QWidget* target = delegate()->browser_view()->focusProxy();
  ASSERT_NE(target, nullptr);
  // The engine locks the pointer only for a page that has the keyboard, as a player's click gives.
  window()->activateWindow();
  target->setFocus();
  ASSERT_TRUE(WaitUntil([&] { return target->hasFocus(); }));
  Click(QPointF(target->width() / 2.0, target->height() / 2.0));
  EXPECT_TRUE(WaitUntil([&] { return Server().Count("event=fullscreen&click=1&ok=1") == 1; }));
  EXPECT_TRUE(WaitUntil([&] { return window()->isFullScreen(); }));
  EXPECT_TRUE(WaitUntil([&] { return Server().Count("event=pointerlock&locked=true") == 1; }));
  EXPECT_EQ(Server().Count("event=pointerlock&error=1"), 0);
  // Leaving asks the page, which must have entered first: under load its entry lags the window's.
  EXPECT_TRUE(WaitUntil([&] { return Server().Count("event=fullscreenchange&on=true") == 1; }));
  target = delegate()->browser_view()->focusProxy();
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &escape);
  EXPECT_TRUE(WaitUntil([&] { return Server().Count("event=fullscreenchange&on=false") == 1; }));
  EXPECT_TRUE(WaitUntil([&] { return !window()->isFullScreen() && window()->size() == before; }));
}

TEST_F(GameWindowTest, WindowCarriesTheShellIcon) {
  Open("");
  EXPECT_FALSE(window()->windowIcon().isNull());
  EXPECT_EQ(window()->windowIcon().availableSizes().value(0), QSize(32, 32));
  EXPECT_FALSE(QIcon(":/icons/101.png").isNull());
}

TEST_F(GameWindowTest, PageTitleNeverRenamesTheWindow) {
  Open("&title=Some%20page%20title");
  ASSERT_TRUE(WaitUntil([&] { return page()->title() == "Some page title"; }));
  EXPECT_EQ(window()->windowTitle(), "Varnholt");
}

TEST_F(GameWindowTest, MaximizeWindowMaximizes) {
  Open("");
  delegate()->MaximizeWindow();
  EXPECT_TRUE(WaitUntil([&] { return window()->isMaximized(); }));
  delegate()->MaximizeWindow();
  EXPECT_TRUE(window()->isMaximized());
}

TEST_F(GameWindowTest, LocalFileNavigationsAreRefusedEverywhere) {
  Open("");
  const QUrl start = page()->url();
  for (const char* target : {"file:///etc/hostname", "/popup.html?next=file:///etc/hostname",
                             "/redirect?to=file:///etc/hostname"}) {
    SCOPED_TRACE(target);
    page()->runJavaScript(QString("location.href = '%1'").arg(target));
    Pump(700);
    EXPECT_EQ(page()->url(), start);
  }
  EXPECT_EQ(Server().Count("GET /popup.html?next=file"), 0);
  // Sub-frames too: the frame's request never reaches the server.
  page()->runJavaScript(
      "var f = document.createElement('iframe');"
      "f.src = '/frame.html?from=file://x'; document.body.appendChild(f);");
  Pump(700);
  EXPECT_EQ(Server().Count("GET /frame.html?from=file"), 0);
  page()->runJavaScript(
      "var g = document.createElement('iframe');"
      "g.src = '/frame.html?plain=1'; document.body.appendChild(g);");
  EXPECT_TRUE(WaitUntil([] { return Server().Count("GET /frame.html?plain=1") == 1; }));
}

TEST_F(GameWindowTest, PopupsOpenInTheirOwnWindowAndKeepTheLoopAlive) {
  Open("");
  OpenPopup();
  window()->close();
  ASSERT_TRUE(WaitUntil([&] { return client().browsers().size() == 1; }));
  Pump(200);
  EXPECT_EQ(last_browser_closed_, 0);
  EXPECT_FALSE(QFile::exists("fileList.txt"));
  client().CloseGame();
  ASSERT_TRUE(WaitUntil([&] { return last_browser_closed_ == 1; }));
  EXPECT_TRUE(index_saved_before_quit_);
}

// Asked from another thread, the game closes on the UI thread, later.
TEST_F(GameWindowTest, CloseAllWindowsFromAnotherThreadRunsOnTheUiThreadLater) {
  Open("");
  OpenPopup();
  const auto close_game_later = [this] {
    QMetaObject::invokeMethod(&client(), &GameClient::CloseGame, Qt::QueuedConnection);
  };
  std::thread(close_game_later).join();
  EXPECT_EQ(client().browsers().size(), 2u);
  ASSERT_TRUE(WaitUntil([&] { return last_browser_closed_ == 1; }));
  EXPECT_TRUE(client().browsers().empty());
  // With nothing left open it does nothing.
  client().CloseGame();
  Pump(100);
  EXPECT_EQ(last_browser_closed_, 1);
}

TEST_F(GameWindowTest, GentleCloseAllLetsThePageRunItsBeforeUnloadHandling) {
  Open("");
  bool listening = false;
  page()->runJavaScript(
      "window.addEventListener('beforeunload', function () {"
      "  fetch('/report?event=unload', {keepalive: true}); });",
      [&](const QVariant&) { listening = true; });
  ASSERT_TRUE(WaitUntil([&] { return listening; }));
  const int unloads = Server().Count("event=unload");
  // As the player's close does, for each window.
  const std::vector<Browser> open = client().browsers();
  for (const Browser& browser : open) {
    browser.window->close();
  }
  ASSERT_TRUE(WaitUntil([&] { return last_browser_closed_ == 1; }));
  EXPECT_TRUE(WaitUntil([&] { return Server().Count("event=unload") > unloads; }));
}

TEST_F(GameWindowTest, F2OpensDeveloperToolsOnceAndThePageStillGetsTheKey) {
  Open("&keys=1");
  QWebEngineView* view = delegate()->browser_view();
  QWidget* target = view->focusProxy();
  ASSERT_NE(target, nullptr);
  QKeyEvent press(QEvent::KeyPress, Qt::Key_F2, Qt::ShiftModifier);
  QCoreApplication::sendEvent(target, &press);
  ASSERT_TRUE(WaitUntil([&] { return client().browsers().size() == 2; }));
  BrowserWindow* dev_tools = client().WindowOf(page()->devToolsPage());
  ASSERT_NE(dev_tools, nullptr);
  EXPECT_EQ(dev_tools->windowTitle(), "DEVTOOL");
  EXPECT_EQ(qobject_cast<GamePage*>(dev_tools->page())->role(), GamePage::Role::kDevTools);
  // Held down: repeats raise the same window instead of opening more.
  QKeyEvent repeat(QEvent::KeyPress, Qt::Key_F2, Qt::NoModifier, QString(), true);
  QCoreApplication::sendEvent(target, &repeat);
  QKeyEvent other(QEvent::KeyPress, Qt::Key_F3, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &other);
  Pump(300);
  EXPECT_EQ(client().browsers().size(), 2u);
  // The game window closing leaves the loop running for the developer tools.
  window()->close();
  ASSERT_TRUE(WaitUntil([&] { return client().browsers().size() == 1; }));
  EXPECT_EQ(last_browser_closed_, 0);
  dev_tools->close();
  ASSERT_TRUE(WaitUntil([&] { return last_browser_closed_ == 1; }));
}

}  // namespace
}  // namespace gameshell
