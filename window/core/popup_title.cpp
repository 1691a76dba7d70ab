#include "window/core/popup_title.h"

namespace gameshell {

std::string PopupTitle(std::string_view page_title, std::string_view host, bool game_host) {
  if (game_host || host.empty()) {
    return std::string(page_title);
  }
  if (page_title.empty() || page_title == host) {
    return std::string(host);
  }
  std::string title(page_title);
  title += " \xE2\x80\x94 ";  // an em dash
  title += host;
  return title;
}

}  // namespace gameshell
