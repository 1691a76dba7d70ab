#pragma once

#include <string>
#include <string_view>
#include <vector>

// Turns the player's launch parameters into the login page's address.
// Engine-neutral and stateless; callable from any thread.
namespace gameshell {

// "<scheme>://<host>/login.html?id=2": the scheme written in `login_host` ("https://host:port"),
// http when none is.
std::string LoginPageUrl(std::string_view login_host);

// The non-empty pieces of `text` between occurrences of `separator`, in order.
std::vector<std::string> SplitString(std::string_view text, char separator);

// Login page plus the accepted key=value pairs of the launch parameters, each joined with "&".
// ASCII passes through byte for byte, except what would end a pair or the query ("&", "#") or be
// dropped from an address (controls): that, and every character outside ASCII, is written as
// percent-encoded UTF-8.
std::string BuildStartUrl(std::u16string_view launch_parameters, std::string_view login_page);

// True when one command-line argument gives the start address at least one key=value pair.
bool FormsLaunchParameter(std::string_view argument);

}  // namespace gameshell
