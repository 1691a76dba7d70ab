#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/core/game_hosts.h"
#include "bridge/core/bridge_messages.h"

// The page functions as the browser's remote-debugging protocol gives them: a script evaluated in
// every new document of the game's page, and a binding that carries each call to the shell.
// Stateless; any thread.
namespace gameshell {

// The binding's name: a global until the script takes it away.
inline constexpr char kBridgeBinding[] = "__gameshellBridge";

// The script that defines the page functions in a document of the game's origins.
std::string PageFunctionsScript(const GameHosts& hosts);

// One call as the binding carries it: its name and no more than one argument, a boolean or text.
// Nothing for what the script never sends.
std::optional<BridgeMessage> ParseBindingPayload(std::string_view payload);

}  // namespace gameshell
