#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

// The messages the page's functions send to the browser side, and what the browser side makes of
// them. Engine-neutral; the receiver runs on the UI thread.
namespace gameshell {

enum class BridgeMessageKind {
  kCloseGameWindow,
  kMaxGameWindow,
  kSetWindowCanClose,
  kOpenPay,
  kClearCache,
  kShowExit,
  kUserAuthentic,
};

// A missing argument, a boolean, or UTF-16 text.
using BridgeArgument = std::variant<std::monostate, bool, std::u16string>;

struct BridgeMessage {
  std::string name;
  BridgeArgument argument;  // index 0; there is never more than one
};

// The kind named exactly (case-sensitively) by `name`, tested in the receiver's order.
std::optional<BridgeMessageKind> BridgeMessageKindForName(std::string_view name);

// As the engine's list accessors read them: false and "" when missing or of the other type.
bool ArgumentAsBool(const BridgeArgument& argument);
std::u16string ArgumentAsText(const BridgeArgument& argument);

// The name of the message the page's `open` sends: a URL for the desktop's browser. Not one of
// the seven bridge messages; handled whether or not the game window exists.
inline constexpr char kOpenMessageName[] = "open";

// Only absolute http and https URLs may reach the desktop's opener: anything else (local files,
// other schemes, program names) could start programs on the player's machine.
bool IsOpenableExternalUrl(std::u16string_view url);

}  // namespace gameshell
