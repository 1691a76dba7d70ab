#pragma once

#include <string>
#include <string_view>

// Engine-neutral; any thread.
namespace gameshell {

// The title of a popup's window. A page of one of the game's hosts is titled by itself; any other
// page could pass for the game (a login form, say), so its host follows its title:
// "Account login — pay.example.net".
std::string PopupTitle(std::string_view page_title, std::string_view host, bool game_host);

}  // namespace gameshell
