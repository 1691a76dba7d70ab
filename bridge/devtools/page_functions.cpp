#include "bridge/devtools/page_functions.h"

#include "base/core/text_conversion.h"
#include "base/devtools/devtools_connection.h"
#include "embedded/game_origin_js.h"
#include "embedded/page_binding_js.h"
#include "embedded/page_functions_js.h"

namespace gameshell {

namespace {

Json HostsJson(const GameHosts& hosts) {
  Json list = Json::array();
  for (const GameHosts::Entry& entry : hosts.entries()) {
    list.push_back({{"scheme", entry.scheme},
                    {"name", entry.name},
                    {"port", entry.port ? Json(*entry.port) : Json(nullptr)},
                    {"subdomains", entry.subdomains}});
  }
  return list;
}

}  // namespace

std::string PageFunctionsScript(const GameHosts& hosts) {
  std::string script = "(function () {\nvar BINDING = ";
  script += Json(kBridgeBinding).dump();
  script += ";\nvar GAME_HOSTS = ";
  script += HostsJson(hosts).dump();
  script += ";\n";
  script += kGameOriginJs;
  script += "\n";
  script += kPageBindingJs;
  script += "\n";
  script += kPageFunctionsJs;
  script += "\n})();";
  return script;
}

std::optional<BridgeMessage> ParseBindingPayload(std::string_view payload) {
  const Json call = Json::parse(payload, nullptr, /*allow_exceptions=*/false);
  if (!call.is_array() || call.size() != 2 || !call[0].is_string() || !call[1].is_array() ||
      call[1].size() > 1) {
    return std::nullopt;
  }
  BridgeMessage message;
  message.name = call[0].get<std::string>();
  if (call[1].size() == 1) {
    const Json& argument = call[1][0];
    if (argument.is_boolean()) {
      message.argument = argument.get<bool>();
    } else if (argument.is_string()) {
      message.argument = Utf8ToUtf16(argument.get_ref<const std::string&>());
    } else {
      return std::nullopt;
    }
  }
  return message;
}

}  // namespace gameshell
