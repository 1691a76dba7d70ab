#include "bridge/core/bridge_messages.h"

#include <array>
#include <utility>

#include "base/core/ascii.h"

namespace gameshell {
namespace {

constexpr std::array<std::pair<std::string_view, BridgeMessageKind>, 7> kMessageNames = {{
    {"closeGameWindow", BridgeMessageKind::kCloseGameWindow},
    {"maxGameWindow", BridgeMessageKind::kMaxGameWindow},
    {"setWindowCanClose", BridgeMessageKind::kSetWindowCanClose},
    {"openPay", BridgeMessageKind::kOpenPay},
    {"clearCache", BridgeMessageKind::kClearCache},
    {"showexit", BridgeMessageKind::kShowExit},
    {"UserAuthentic", BridgeMessageKind::kUserAuthentic},
}};

}  // namespace

std::optional<BridgeMessageKind> BridgeMessageKindForName(std::string_view name) {
  for (const auto& [known, kind] : kMessageNames) {
    if (name == known) {
      return kind;
    }
  }
  return std::nullopt;
}

bool ArgumentAsBool(const BridgeArgument& argument) {
  const bool* value = std::get_if<bool>(&argument);
  return value && *value;
}

std::u16string ArgumentAsText(const BridgeArgument& argument) {
  const std::u16string* value = std::get_if<std::u16string>(&argument);
  return value ? *value : std::u16string();
}

bool IsOpenableExternalUrl(std::u16string_view url) {
  size_t host_start;
  if (StartsWithIgnoringAsciiCase(url, "http://")) {
    host_start = 7;
  } else if (StartsWithIgnoringAsciiCase(url, "https://")) {
    host_start = 8;
  } else {
    return false;
  }
  // Blanks and control characters would let the text be read as more than one argument or a
  // different URL by whatever opens it.
  for (char16_t c : url) {
    if (c <= 0x20 || c == 0x7F) {
      return false;
    }
  }
  return host_start < url.size() && url[host_start] != u'/' && url[host_start] != u'\\';
}

}  // namespace gameshell
