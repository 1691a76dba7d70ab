#include "app/core/start_refusal.h"

namespace gameshell {

StartRefusal HomeDirectoryRefusal(std::string_view directory) {
  const std::string dir(directory);
  return {"游戏不会把它的文件存放在你的主目录 " + dir +
              " 中。请从桌面的菜单启动游戏，或在一个专用的目录中运行它。",
          "will not keep the game's files in the home directory " + dir +
              "; start it in a directory of its own",
          "The game will not keep its files in your home directory " + dir +
              ". Start the game from the desktop's menu, or run it in a directory of its own.",
          4};
}

StartRefusal EngineFailedRefusal(std::string_view reason) {
  // The sentence's own end is added where it is shown.
  while (reason.ends_with('.')) {
    reason.remove_suffix(1);
  }
  const std::string why(reason);
  return {"游戏的浏览器引擎无法启动：" + why +
              "。请重新启动电脑后再试；如果仍然如此，请重新安装游戏，或联系游戏客服。",
          "the browser engine could not start: " + why,
          "The game's browser engine could not start: " + why +
              ". Restart the computer and try again; if it happens again, reinstall the game or "
              "ask the game's support.",
          2, true};
}

StartRefusal CacheDirectoryRefusal(std::string_view directory) {
  const std::string dir(directory);
  return {"游戏无法使用它的缓存目录 " + dir +
              "。请确认磁盘没有满，并且这个目录属于你，然后重新启动游戏。",
          "cannot use the game's cache directory " + dir,
          "The game cannot use its cache directory " + dir +
              ". Check that the disk is not full and that the directory belongs to you, then "
              "start the game again.",
          1, true};
}

StartRefusal BrowserMissingRefusal() {
  return {
      "游戏需要 Chromium 浏览器才能运行，但这台电脑上没有安装。请安装软件包 chromium"
      "（例如：sudo apt install chromium），或请电脑的管理员安装，然后重新启动游戏。",
      "no Chromium-family browser (chromium, google-chrome, microsoft-edge) is installed; "
      "install the package chromium",
      "The game needs the Chromium browser, which is not installed on this computer. Install "
      "the package chromium (for example: sudo apt install chromium), or ask the computer's "
      "administrator to, then start the game again.",
      3};
}

StartRefusal EdgeMissingRefusal() {
  return {
      "游戏需要 Microsoft Edge 浏览器才能运行，但在这台电脑上没有找到它。请从微软官网安装 "
      "Microsoft Edge，或请电脑的管理员安装，然后重新启动游戏。",
      "neither Microsoft Edge nor Google Chrome is installed (no msedge.exe or chrome.exe "
      "registered); install Microsoft Edge",
      "The game needs the Microsoft Edge browser, which was not found on this computer. Install "
      "Microsoft Edge from Microsoft's site, or ask the computer's administrator to, then start "
      "the game again.",
      3};
}

}  // namespace gameshell
