#pragma once

#include <string_view>

#include "base/core/game_hosts.h"

// Which navigations a browser of the shell may make. Engine-neutral and stateless; any thread.
namespace gameshell {

// Refused: any URL carrying "file://", and any scheme other than the web's, the shell's own cache
// schemes and the engine's inline ones (about:, data:, blob:). The engine hands navigations to
// schemes it does not know to the desktop, so this keeps links (smb:, sftp:, ...) from reaching
// it; only the bridge's `open` may, and only with web URLs. The developer tools' own page also
// needs its devtools: scheme.
bool IsRefusedNavigationUrl(std::string_view url, bool dev_tools_page);

// A navigation of the game window's main frame that makes no request the shell's guard could
// judge by its initiator, and that would put a document no game origin owns in the game's place:
// about: (a blank game), a blob: of another origin, and any move through the history, which any
// frame of the page may start and which the engine names no initiator for (it would also bring
// back the shell's own page, or another origin's). Refused, the game stays.
bool IsRefusedGameWindowNavigation(std::string_view url, bool history_move, const GameHosts& hosts);

}  // namespace gameshell
