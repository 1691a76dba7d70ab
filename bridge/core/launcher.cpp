#include "bridge/core/launcher.h"

namespace gameshell {

#ifndef _WIN32
namespace {

std::string_view FileName(std::string_view path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

}  // namespace
#endif

namespace {

#ifndef _WIN32
// What the player can do, and the file for whoever helps them.
std::string Advice(std::string_view library_name) {
  const std::string name(FileName(library_name));
  return "请从游戏平台启动游戏；如果仍然如此，请联系游戏客服（缺少 " + name +
         "）。\nStart the game from the game platform; if this happens again, ask the game's "
         "support (" +
         name + " is missing).";
}
#endif

}  // namespace

std::string PayNotFoundText([[maybe_unused]] std::string_view library_name) {
#ifdef _WIN32
  return kPayNotFoundText;
#else
  return "这台电脑上无法支付：没有找到游戏平台的启动器。\nPayment is not available on this "
         "computer: the game platform's launcher was not found.\n\n" +
         Advice(library_name);
#endif
}

std::string AuthenticFailedText([[maybe_unused]] std::string_view library_name) {
#ifdef _WIN32
  return kAuthenticFailedText;
#else
  return "这台电脑上无法登录：没有找到游戏平台的启动器。\nSigning in is not available on this "
         "computer: the game platform's launcher was not found.\n\n" +
         Advice(library_name);
#endif
}

void LauncherOpenPay(LauncherHost& host,
                     const std::string& library_name,
                     const std::u16string& url) {
  void* library = host.FindLoadedLibrary(library_name);
  if (!library) {
    host.ShowMessageBox(false, PayNotFoundText(library_name), kPayNotFoundCaption);
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
    host.ShowMessageBox(true, AuthenticFailedText(library_name), kAuthenticFailedCaption);
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
