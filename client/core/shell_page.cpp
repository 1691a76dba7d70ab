#include "client/core/shell_page.h"

namespace gameshell {

namespace {

void ReplaceAll(std::string& text, std::string_view place, std::string_view with) {
  for (size_t at = text.find(place); at != std::string::npos;
       at = text.find(place, at + with.size())) {
    text.replace(at, place.size(), with);
  }
}

// Text that stays text inside an HTML attribute or element, whatever the address holds.
std::string EscapeHtml(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

ShellPageWords WordsFor(ShellTrouble trouble) {
  switch (trouble) {
    case ShellTrouble::kUnreachable:
      return {"无法连接到游戏服务器", "The game server cannot be reached."};
    case ShellTrouble::kNoAnswer:
      return {"游戏服务器没有响应", "The game server does not answer."};
    case ShellTrouble::kServerError:
      return {"游戏服务器出错了", "The game server answered with an error."};
    case ShellTrouble::kGameStopped:
      return {"游戏意外停止了", "The game stopped unexpectedly."};
    case ShellTrouble::kNotPrivate:
      return {"与游戏服务器的连接不是私密连接",
              "The connection to the game server is not private: its certificate was refused."};
    case ShellTrouble::kUrlTooLong:
      return {"启动参数太长", "The game was started with too long launch parameters."};
  }
  return {};
}

std::string FillShellPage(std::string html, const ShellPage& page) {
  const ShellPageWords words = WordsFor(page.trouble);
  ReplaceAll(html, "@TITLE@", words.chinese);
  ReplaceAll(html, "@ENGLISH@", words.english);
  ReplaceAll(html, "@ICON@", EscapeHtml(page.icon_url));
  ReplaceAll(html, "@RETRY_URL@", EscapeHtml(page.retry_url));
  ReplaceAll(html, "@RETRYING@", page.retrying ? "正在重试…  Retrying…" : "");
  ReplaceAll(html, "@AUTO_RETRY@",
             page.retrying && page.auto_retry_ms > 0
                 ? "setTimeout(function () { location.href = document.body.dataset.retry; }, " +
                       std::to_string(page.auto_retry_ms) + ");"
                 : "");
  return html;
}

}  // namespace gameshell
