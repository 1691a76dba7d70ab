#include "bridge/qt/page_bridge.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

#include <memory>
#include <vector>

#include "base/qt/ui_thread.h"

namespace gameshell {

namespace {

QString ReadResource(const QString& path) {
  QFile file(path);
  file.open(QIODevice::ReadOnly);
  return QString::fromUtf8(file.readAll());
}

}  // namespace

QString GameHostsJson(const GameHosts& hosts) {
  QJsonArray list;
  for (const GameHosts::Entry& entry : hosts.entries()) {
    QJsonObject object;
    object[QStringLiteral("scheme")] = QString::fromStdString(entry.scheme);
    object[QStringLiteral("name")] = QString::fromStdString(entry.name);
    object[QStringLiteral("port")] = entry.port ? QJsonValue(*entry.port) : QJsonValue();
    object[QStringLiteral("subdomains")] = entry.subdomains;
    list.append(object);
  }
  return QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact));
}

namespace {

// Each script is one function scope, so the page sees only the shell's eight functions.
QWebEngineScript BridgeScript(const QString& name,
                              const QString& prefix,
                              const QString& body,
                              const GameHosts& hosts) {
  static const QString rule = ReadResource(QStringLiteral(":/bridge/game_origin.js"));
  QWebEngineScript s;
  s.setName(name);
  s.setInjectionPoint(QWebEngineScript::DocumentCreation);
  s.setSourceCode(QStringLiteral("(function () {\n") + prefix +
                  QStringLiteral("\nvar GAME_HOSTS = %1;\n").arg(GameHostsJson(hosts)) + rule +
                  QStringLiteral("\n") + body + QStringLiteral("\n})();"));
  return s;
}

// The page functions, in the page's own world of every frame.
QWebEngineScript FunctionsScript(const GameHosts& hosts) {
  static const QString functions = ReadResource(QStringLiteral(":/bridge/page_bridge.js")) +
                                   QStringLiteral("\n") +
                                   ReadResource(QStringLiteral(":/bridge/page_functions.js"));
  QWebEngineScript s =
      BridgeScript(QStringLiteral("gameshell-bridge"), QString(), functions, hosts);
  s.setWorldId(QWebEngineScript::MainWorld);
  s.setRunsOnSubFrames(true);
  return s;
}

// The web channel's end, in the shell's own world of the top frame only.
QWebEngineScript ChannelScript(const GameHosts& hosts) {
  static const QString library = ReadResource(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
  static const QString channel = ReadResource(QStringLiteral(":/bridge/bridge_channel.js"));
  QWebEngineScript s =
      BridgeScript(QStringLiteral("gameshell-bridge-channel"), library, channel, hosts);
  s.setWorldId(QWebEngineScript::ApplicationWorld);
  s.setRunsOnSubFrames(false);
  return s;
}

BridgeArgument ToArgument(const QVariantList& arguments) {
  if (arguments.isEmpty()) {
    return {};
  }
  const QVariant& first = arguments.front();
  if (first.typeId() == QMetaType::Bool) {
    return first.toBool();
  }
  if (first.typeId() == QMetaType::QString) {
    return first.toString().toStdU16String();
  }
  return {};
}

}  // namespace

PageBridge::PageBridge(QWebEnginePage* page,
                       const GameHosts& game_hosts,
                       BridgeMessageHandler* handler)
    : QObject(page), page_(page), game_hosts_(game_hosts), handler_(handler) {}

void PageBridge::Install(QWebEnginePage* page,
                         const GameHosts& game_hosts,
                         BridgeMessageHandler* handler) {
  GS_REQUIRE_UI_THREAD();
  auto* bridge = new PageBridge(page, game_hosts, handler);
  auto* channel = new QWebChannel(page);
  channel->registerObject(QStringLiteral("gameshellBridge"), bridge);
  // Not in the page's own world: there, any document's script (an advertisement's popup) could
  // post to it.
  page->setWebChannel(channel, QWebEngineScript::ApplicationWorld);
  page->scripts().insert(ChannelScript(game_hosts));
  page->scripts().insert(FunctionsScript(game_hosts));
}

void PageBridge::post(const QVariantList& calls) {
  GS_REQUIRE_UI_THREAD();
  // The channel's script has judged each call by its document's origin. Besides, a popup, or the
  // game page led elsewhere, never drives the shell.
  if (!game_hosts_.AllowsUrl(page_->url().toEncoded().toStdString())) {
    return;
  }
  auto messages = std::make_shared<std::vector<BridgeMessage>>();
  for (const QVariant& call : calls) {
    const QVariantList parts = call.toList();
    if (parts.size() != 2 || parts[0].typeId() != QMetaType::QString) {
      continue;
    }
    messages->push_back({parts[0].toString().toStdString(), ToArgument(parts[1].toList())});
  }
  // This runs inside one of the engine's own tasks, and the engine runs none of its tasks in a
  // loop nested in one of them: a command's modal message box would freeze every page until it
  // closed. From the next turn of the event loop the engine keeps working meanwhile. Order is
  // kept, and the batch is dropped if the page goes first.
  QMetaObject::invokeMethod(
      this,
      [this, messages] {
        // A command may run a nested event loop (a message box) in which the page can go.
        QPointer<PageBridge> alive(this);
        for (const BridgeMessage& message : *messages) {
          if (!alive) {
            return;
          }
          handler_->OnBridgeMessage(page_, message);
        }
      },
      Qt::QueuedConnection);
}

}  // namespace gameshell
