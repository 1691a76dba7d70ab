#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/launcher_host.h"

// The game platform's launcher library: payment and user authentication. It is looked up on every
// call and, once loaded, stays loaded. Engine-neutral; the calls run on the UI thread and do not
// return before the library (or a message box) has finished.
namespace gameshell {

#ifdef _WIN32
inline constexpr char kLauncherLibraryName[] = "ZendariGameLauncher.dll";
#define GAMESHELL_LAUNCHER_CALL __stdcall
#else
inline constexpr char kLauncherLibraryName[] = "libZendariGameLauncher.so";
#define GAMESHELL_LAUNCHER_CALL
#endif

inline constexpr char kOpenPayExport[] = "ZD_OpenPayUrl";
inline constexpr char kUserAuthenticExport[] = "ZD_UserAuthentic";

// The exports: the payment page's URL as zero-terminated UTF-16 (or null for none); the native
// window of the game, returning the authentication result.
using OpenPayUrlFunction = void(GAMESHELL_LAUNCHER_CALL*)(const char16_t* url);
using UserAuthenticFunction = int32_t(GAMESHELL_LAUNCHER_CALL*)(uintptr_t window);

inline constexpr char kPayNotFoundText[] = "没有找到ZendariGameLauncher.dll";
inline constexpr char kPayNotFoundCaption[] = "Zendari支付";
inline constexpr char kAuthenticFailedText[] = "UserAuthentic";
inline constexpr char kAuthenticFailedCaption[] = "UserAuthentic失败";

// The message boxes' texts when the library named `library_name` (a file name or a path) is not
// there: on Windows the texts above, as players there know them; elsewhere those would name a file
// this platform never looks for, so they name the one it does, with an English line under them.
std::string PayNotFoundText(std::string_view library_name);
std::string AuthenticFailedText(std::string_view library_name);

// Opens the platform's payment page. Never loads the library: without it, says so in a message
// box with no owner.
void LauncherOpenPay(LauncherHost& host,
                     const std::string& library_name,
                     const std::u16string& url);

// The authentication result, or nothing when the library cannot be loaded (a message box owned by
// the game window says so) or lacks the export.
std::optional<int32_t> LauncherUserAuthentic(LauncherHost& host,
                                             const std::string& library_name,
                                             uintptr_t window);

// The script that hands the result to the page's main frame.
std::string AuthenticationCallbackScript(int32_t result);

}  // namespace gameshell
