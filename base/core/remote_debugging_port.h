#pragma once

#include <string_view>

// The engine's remote-debugging endpoint, which developers' builds open and no page may reach.
// Stateless; any thread.
namespace gameshell {

inline constexpr int kRemoteDebuggingPort = 19223;

// True when the URL names the remote-debugging port, whatever its host: any name may resolve to
// this machine.
bool IsRemoteDebuggingUrl(std::string_view url);

}  // namespace gameshell
