#pragma once

#include <string>

// Hands a URL (UTF-8) to the desktop's opener (the user's browser for web pages). Does not wait
// for it; failures are silent. Callers decide which URLs may go there: only absolute http and
// https URLs (see IsOpenableExternalUrl).
// Thread: UI.
namespace gameshell::platform {
void OpenWithDesktop(const std::string& url);
}
