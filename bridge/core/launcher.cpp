#include "bridge/core/launcher.h"

namespace gameshell {

void LauncherOpenPay(LauncherHost& host,
                     const std::string& library_name,
                     const std::u16string& url) {
  void* library = host.FindLoadedLibrary(library_name);
  if (!library) {
    host.ShowMessageBox(false, kPayNotFoundText, kPayNotFoundCaption);
    return;
  }
  auto open_pay = reinterpret_cast<OpenPayUrlFunction>(host.FindExport(library, kOpenPayExport));
  if (open_pay) {
    open_pay(url.empty() ? nullptr : url.c_str());
  }
}

std::optional<int32_t> LauncherUserAuthentic(LauncherHost& host,
                                             const std::string& library_name,
                                             uintptr_t window) {
  void* library = host.FindLoadedLibrary(library_name);
  if (!library) {
    library = host.LoadLibrary(library_name);
  }
  if (!library) {
    host.ShowMessageBox(true, kAuthenticFailedText, kAuthenticFailedCaption);
    return std::nullopt;
  }
  auto authenticate =
      reinterpret_cast<UserAuthenticFunction>(host.FindExport(library, kUserAuthenticExport));
  if (!authenticate) {
    return std::nullopt;
  }
  return authenticate(window);
}

std::string AuthenticationCallbackScript(int32_t result) {
  return "window.UserAuthentic_return&&window.UserAuthentic_return(" + std::to_string(result) + ")";
}

}  // namespace gameshell
