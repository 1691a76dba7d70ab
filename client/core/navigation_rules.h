#pragma once

#include <string_view>

// Which navigations a browser of the shell may make. Engine-neutral and stateless; any thread.
namespace gameshell {

// Refused: any URL carrying "file://", and any scheme other than the web's, the shell's own cache
// schemes and the engine's inline ones (about:, data:, blob:). The engine hands navigations to
// schemes it does not know to the desktop, so this keeps links (smb:, sftp:, ...) from reaching
// it; only the bridge's `open` may, and only with web URLs. The developer tools' own page also
// needs its devtools: scheme.
bool IsRefusedNavigationUrl(std::string_view url, bool dev_tools_page);

}  // namespace gameshell
