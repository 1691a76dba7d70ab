#pragma once

#include <QString>

// Hands a URL to the desktop's opener (the user's browser for web pages). Does not wait for it;
// failures are silent. Callers decide which URLs may go there.
// Thread: UI.
namespace platform {
void OpenWithDesktop(const QString& url);
}
