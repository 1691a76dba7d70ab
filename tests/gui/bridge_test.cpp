#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <memory>

#include "bridge/core/launcher.h"
#include "bridge/qt/page_bridge.h"
#include "cache/core/cache_index.h"
#include "client/qt/game_bridge.h"
#include "client/qt/game_client.h"
#include "client/qt/game_session.h"
#include "game_origin_cases.h"
#include "gui_test_support.h"
#include "window/qt/browser_window.h"
#include "window/qt/game_window_delegate.h"

namespace gameshell {
namespace {

// Message boxes recorded instead of shown: "owned|text|caption" or "unowned|text|caption".
class RecordingLauncherHost : public SystemLauncherHost {
 public:
  QStringList boxes;
  QWidget* last_owner = nullptr;
  void ShowModalBox(bool owned, std::string_view text, std::string_view caption) override {
    last_owner = owned ? owner() : nullptr;
    boxes << QString(owned ? "owned|" : "unowned|") + QString::fromUtf8(text.data(), text.size()) +
                 "|" + QString::fromUtf8(caption.data(), caption.size());
  }
};

class BridgeTest : public ::testing::Test {
 protected:
  void Open(const std::string& query) {
    QFile::remove("fileList.txt");
    const int frames_before = Server().Count("event=frame&");
    profile_ = std::make_unique<QWebEngineProfile>();
    game_ = std::make_unique<GameSession>(profile_.get(), Server().Url("/bridge.html?id=2" + query),
                                          gameshell::GameHosts(Server().Host(), ""));
    auto host = std::make_unique<RecordingLauncherHost>();
    host_ = host.get();
    game_->bridge().SetLauncherHostForTesting(std::move(host));
    record_path_ = record_dir_.filePath("calls.txt");
    qputenv("ZD_TEST_RECORD", record_path_.toUtf8());
    page_ = game_->window_delegate().browser_view()->page();
    ASSERT_TRUE(WaitUntil([this] {
      BrowserWindow* window = game_->client().WindowOf(page_);
      return window && window->isVisible();
    }));
    // The window shows before the page's frames have loaded: this page's own, not an earlier
    // test's, have said they are there.
    if (query.find("frames=1") != std::string::npos) {
      ASSERT_TRUE(WaitUntil([&] { return Server().Count("event=frame&") >= frames_before + 2; }));
    }
  }

  void TearDown() override {
    game_.reset();
    Pump(50);
    profile_.reset();
  }

  QWebEnginePage* page() { return page_; }

  QVariant Run(const QString& script) {
    QVariant result;
    bool done = false;
    page()->runJavaScript(script, [&](const QVariant& v) {
      result = v;
      done = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return done; }));
    return result;
  }

  // Runs `script` inside the sub-frame with id `frame` (any origin) through its message listener.
  void RunInFrame(const QString& frame, const QString& script) {
    Run(QString("document.getElementById('%1').contentWindow.postMessage({run: %2}, '*')")
            .arg(frame, QString("'%1'").arg(script)));
  }

  std::string Generation() {
    ResourceCache& cache = game_->resource_cache();
    if (!cache.WaitUntilLoaded(std::chrono::seconds(10))) {
      return "<loading>";
    }
    cache.index().AssertLoaded();
    return cache.index().Find("version").value_or("<none>");
  }

  // The page's messages run in order: once a later one has, every earlier one has run too.
  void WaitForEarlierMessages() {
    Run("C_clearCache('drained')");
    ASSERT_TRUE(WaitUntil([&] { return Generation() == "drained"; }));
  }

  QStringList Calls() {
    QFile file(record_path_);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
  }

  std::unique_ptr<QWebEngineProfile> profile_;
  std::unique_ptr<GameSession> game_;
  GameClient& client() { return game_->client(); }
  RecordingLauncherHost* host_ = nullptr;
  QWebEnginePage* page_ = nullptr;
  QTemporaryDir record_dir_;
  QString record_path_;
};

TEST_F(BridgeTest, OnlyTheGamesOwnFramesHaveTheFunctionsAndReachTheShell) {
  Open("&frames=1");
  const QString shape =
      "C_closeWindow:function:true,C_maxWindow:function:true,C_windowCanClose:function:true,"
      "C_clearCache:function:true,C_openPay:function:true,open:function:true,"
      "C_SHOWEXIT:function:true,C_UserAuthentic:function:true";
  EXPECT_EQ(Run("bridgeShape()").toString(), shape);
  for (const char* frame : {"same", "cross"}) {
    ASSERT_TRUE(WaitUntil([&] { return Server().Count(QString("name=%1&").arg(frame)) > 0; }));
  }
  for (const QString& line : Server().Lines()) {
    if (line.contains("name=same&")) {
      EXPECT_TRUE(line.contains("shape=" + shape)) << line.toStdString();
    }
    // Another host's frame keeps only the engine's own window.open.
    if (line.contains("name=cross&")) {
      EXPECT_TRUE(line.contains("C_closeWindow:undefined:false")) << line.toStdString();
      EXPECT_TRUE(line.contains("C_clearCache:undefined:false")) << line.toStdString();
    }
  }
  Run("C_clearCache('main')");
  EXPECT_TRUE(WaitUntil([&] { return Generation() == "main"; }));
  // The other host's frame forges the bridge's message and reaches for the game's functions: it
  // lives in a process of its own, and the game's frame hears only its own.
  RunInFrame("cross",
             "top.postMessage({__gameshellBridge: 1, m: [\\'clearCache\\', [\\'cross\\']]}, "
             "\\'*\\'); try { top.C_clearCache(\\'cross2\\') } catch (e) {}");
  RunInFrame("same", "C_clearCache(\\'same\\')");
  EXPECT_TRUE(WaitUntil([&] { return Generation() == "same"; }));
  Pump(300);
  EXPECT_EQ(Generation(), "same");
  RunInFrame("same", "C_maxWindow()");
  EXPECT_TRUE(WaitUntil([&] { return game_->client().WindowOf(page())->isMaximized(); }));
  EXPECT_EQ(QFile::exists("fileList.txt"), true);
}

TEST_F(BridgeTest, ThePagesRuleForTheGamesOriginsPassesTheShellsTable) {
  Open("");
  QFile rule(":/bridge/game_origin.js");
  ASSERT_TRUE(rule.open(QIODevice::ReadOnly));
  QJsonArray origins;
  for (const game_origin_cases::Case& c : game_origin_cases::kCases) {
    origins.append(c.origin);
  }
  const QString hosts = GameHostsJson(
      gameshell::GameHosts(game_origin_cases::kLoginHost, game_origin_cases::kExtraHosts));
  const QVariantList games =
      Run(QString::fromUtf8(rule.readAll()) +
          QString("\n%1.map(function (o) { return isGameOrigin(o, %2); })")
              .arg(QString::fromUtf8(QJsonDocument(origins).toJson(QJsonDocument::Compact)), hosts))
          .toList();
  ASSERT_EQ(games.size(), origins.size());
  for (qsizetype i = 0; i < games.size(); ++i) {
    EXPECT_EQ(games[i].toBool(), game_origin_cases::kCases[i].game)
        << game_origin_cases::kCases[i].origin;
  }
}

TEST_F(BridgeTest, CallsMadeBeforeTheChannelIsReadyArriveInOrder) {
  Open("&early=1");
  EXPECT_TRUE(WaitUntil([&] { return Generation() == "early-2"; }));
}

TEST_F(BridgeTest, FunctionsReturnUndefinedAndNeverThrow) {
  Open("");
  EXPECT_EQ(Run("var bad = {toString: function () { throw new Error('no'); },"
                "           valueOf: function () { throw new Error('no'); }};"
                "[C_windowCanClose(bad), C_windowCanClose('x'), C_windowCanClose(true, 1),"
                " C_windowCanClose(), C_clearCache(), C_openPay(bad), C_SHOWEXIT(undefined),"
                " open(bad), C_maxWindow(1, 2, 3)].every(function (r) { return r === undefined; })")
                .toBool(),
            true);
  // A page may replace a function like any global.
  EXPECT_EQ(Run("C_maxWindow = 5; delete window.C_clearCache; [C_maxWindow, typeof C_clearCache]"
                ".join()")
                .toString(),
            "5,undefined");
}

TEST_F(BridgeTest, ThrowingArgumentsAndHugeStringsAreHandledAsText) {
  Open("&frames=1");
  RunInFrame("same", "C_clearCache({toString: function () { throw 1; }})");
  EXPECT_TRUE(WaitUntil([&] { return Generation().empty(); }));
  Run("C_clearCache('x'.repeat(10 * 1024 * 1024))");
  EXPECT_TRUE(WaitUntil([&] { return Generation().size() == 10u * 1024 * 1024; }, 30000));
}

TEST_F(BridgeTest, ManyCallsFromAFrameKeepTheirOrderAndThePageStaysResponsive) {
  Open("&frames=1");
  RunInFrame("same", "for (var i = 0; i < 10000; ++i) C_clearCache(String(i))");
  Run("for (var i = 0; i < 10000; ++i) C_windowCanClose(i % 2 === 0)");
  // Each frame's calls keep their order; the two frames' batches may come in either order.
  EXPECT_TRUE(WaitUntil(
      [&] { return Generation() == "9999" && !game_->window_delegate().can_close(); }, 60000));
  EXPECT_EQ(Run("6 * 7").toInt(), 42);
}

TEST_F(BridgeTest, LauncherLibraryPaymentAndAuthentication) {
  Open("");
  game_->bridge().SetLauncherLibraryNameForTesting(TEST_LAUNCHER_FULL);
  // Nobody has loaded the library yet: payment says so and calls nothing.
  Run("C_openPay('https://pay.test/')");
  ASSERT_TRUE(WaitUntil([&] { return host_->boxes.size() == 1; }));
  EXPECT_EQ(
      host_->boxes.front(),
      QString::fromStdString("unowned|" + PayNotFoundText(TEST_LAUNCHER_FULL) + "|Zendari支付"));
  EXPECT_TRUE(Calls().isEmpty());

  const int results[] = {0, -1, INT_MAX, INT_MIN};
  for (int i = 0; i < 4; ++i) {
    qputenv("ZD_TEST_RESULT", QByteArray::number(results[i]));
    Run("C_UserAuthentic()");
    ASSERT_TRUE(WaitUntil([&] { return Run("authResults.length").toInt() == i + 1; }));
    EXPECT_EQ(Run(QString("authResults[%1] === %2").arg(i).arg(results[i])).toBool(), true)
        << results[i];
  }
  EXPECT_EQ(Calls().count("auth window"), 4);

  // Loaded by the authentication, the library now takes payments.
  Run("C_openPay('https://p.test/\u652f'); C_openPay(''); C_openPay(42)");
  ASSERT_TRUE(WaitUntil([&] { return Calls().size() == 7; }));
  EXPECT_EQ(Calls().mid(4),
            (QStringList{"pay 0068 0074 0074 0070 0073 003a 002f 002f 0070 002e 0074 0065 "
                         "0073 0074 002f 652f ",
                         "pay null", "pay null"}));
  EXPECT_EQ(host_->boxes.size(), 1);
}

TEST_F(BridgeTest, ALibraryWithoutTheExportsDoesNothing) {
  Open("");
  game_->bridge().SetLauncherLibraryNameForTesting(TEST_LAUNCHER_WITHOUT_EXPORTS);
  Run("C_UserAuthentic(); C_openPay('https://pay.test/')");
  WaitForEarlierMessages();
  EXPECT_TRUE(host_->boxes.isEmpty());
  EXPECT_EQ(Run("authResults.length").toInt(), 0);
  EXPECT_TRUE(Calls().isEmpty());
}

TEST_F(BridgeTest, NoLibraryMakesAuthenticationFailInABoxOwnedByTheGameWindow) {
  Open("");
  game_->bridge().SetLauncherLibraryNameForTesting("/nonexistent/libZendariGameLauncher.so");
  Run("C_UserAuthentic()");
  ASSERT_TRUE(WaitUntil([&] { return host_->boxes.size() == 1; }));
  EXPECT_EQ(host_->boxes.front(),
            QString::fromStdString("owned|" + AuthenticFailedText(kLauncherLibraryName) +
                                   "|UserAuthentic失败"));
  EXPECT_EQ(host_->last_owner, game_->client().WindowOf(page()));
  WaitForEarlierMessages();
  EXPECT_EQ(Run("authResults.length").toInt(), 0);
}

TEST_F(BridgeTest, MessagesBeforeTheWindowDelegateIsStoredAreDropped) {
  Open("");
  // A bridge without the game window's delegate, as before start-up ends.
  GameBridge without_window(nullptr, &game_->resource_cache().index(), &client());
  without_window.OnBridgeMessage(page(), {"clearCache", u"dropped"});
  Pump(500);
  EXPECT_EQ(Generation(), "1");
}

}  // namespace
}  // namespace gameshell
