#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "platform/url_opener.h"
#include "platform/win/wide_text.h"

namespace gameshell::platform {

void OpenWithDesktop(const std::string& url) {
  const std::wstring wide = Utf8ToWide(url);
  ::ShellExecuteW(nullptr, L"open", wide.empty() ? nullptr : wide.c_str(), nullptr, nullptr,
                  SW_SHOWNORMAL);
}

}  // namespace gameshell::platform
