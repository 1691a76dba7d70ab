#include "app/core/start_url.h"

#include "base/core/game_hosts.h"
#include "base/core/text_conversion.h"

#include <algorithm>
#include <optional>

namespace gameshell {
namespace {

constexpr std::string_view kExtraInfo = "extraInfo:";

// Non-ASCII bytes would otherwise reach the engine as raw bytes it may reject or re-encode.
std::string PercentEncodeNonAscii(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    }
  }
  return out;
}

// A pair's text that would end the pair or the query ("&", "#"), or that an address parser drops
// (tabs, line breaks and other controls), is written percent-encoded, so each pair arrives whole.
std::string EncodeQueryPiece(std::string_view piece) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(piece.size());
  for (unsigned char c : piece) {
    if (c == '&' || c == '#' || c < 0x20 || c == 0x7F) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

// Deleting one occurrence can join two halves into a new one, so search again from the start.
void RemoveAllExtraInfo(std::string& text) {
  for (auto pos = text.find(kExtraInfo); pos != std::string::npos; pos = text.find(kExtraInfo)) {
    text.erase(pos, kExtraInfo.size());
  }
}

std::string QueryFromParameterText(std::string text);

}  // namespace

std::string LoginPageUrl(std::string_view login_host) {
  // The build refuses a setting that does not parse; as written, then, behind http.
  const std::optional<HostSetting> setting = ParseHostSetting(login_host);
  std::string url = setting && !setting->scheme.empty() ? setting->scheme : "http";
  url += "://";
  url += setting ? std::string_view(setting->host_port) : login_host;
  url += "/login.html?id=2";
  return url;
}

std::vector<std::string> SplitString(std::string_view text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (size_t p = text.find(separator); p != std::string_view::npos;
       p = text.find(separator, start)) {
    if (p > start) {
      pieces.emplace_back(text.substr(start, p - start));
    }
    start = p + 1;
  }
  if (start < text.size()) {
    pieces.emplace_back(text.substr(start));
  }
  return pieces;
}

namespace {

// "&key=value" for each accepted pair of the parameter text.
std::string QueryFromParameterText(std::string text) {
  // A zero unit ends the parameter text, as a C string would.
  text.resize(std::min(text.size(), text.find('\0')));
  RemoveAllExtraInfo(text);
  std::replace(text.begin(), text.end(), ',', ' ');
  std::replace(text.begin(), text.end(), ':', '=');

  std::string query;
  for (const std::string& token : SplitString(text, ' ')) {
    std::vector<std::string> pair = SplitString(token, '=');
    if (pair.size() != 2) {
      continue;
    }
    query += '&';
    query += EncodeQueryPiece(pair[0]);
    query += '=';
    query += EncodeQueryPiece(pair[1]);
  }
  return query;
}

}  // namespace

std::string BuildStartUrl(std::u16string_view launch_parameters, std::string_view login_page) {
  std::string url(login_page);
  url += QueryFromParameterText(PercentEncodeNonAscii(Utf16ToUtf8(launch_parameters)));
  return url;
}

bool FormsLaunchParameter(std::string_view argument) {
  return !QueryFromParameterText(std::string(argument)).empty();
}

}  // namespace gameshell
