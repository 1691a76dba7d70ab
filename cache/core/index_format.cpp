#include "cache/core/index_format.h"

#include <algorithm>

#include "cache/core/cache_paths.h"

namespace gameshell {

namespace {

#ifdef _WIN32
constexpr std::string_view kLineEnd = "\r\n";
#else
constexpr std::string_view kLineEnd = "\n";
#endif

bool RoundTrips(std::string_view key, std::string_view value) {
  return key.find_first_of(" \r\n") == std::string_view::npos &&
         value.find_first_of("\r\n") == std::string_view::npos;
}

}  // namespace

std::string IndexLine(const std::string& key, const std::string& value) {
  if (!RoundTrips(key, value)) {
    return {};
  }
  std::string line;
  line.reserve(key.size() + value.size() + 1 + kLineEnd.size());
  line += key;
  line += ' ';
  line += value;
  line += kLineEnd;
  return line;
}

size_t IndexLineBytes(std::string_view key, std::string_view value) {
  return RoundTrips(key, value) ? key.size() + value.size() + 1 + kLineEnd.size() : 0;
}

bool IsIndexEntry(const std::string& key, const std::string& value) {
  if (key != kGenerationKey && !IsStorableCachePath(key)) {
    return false;
  }
  return std::none_of(value.begin(), value.end(),
                      [](unsigned char c) { return c < 0x20 || c == 0x7F; });
}

bool DropJunk(std::map<std::string, std::string>& entries) {
  return std::erase_if(entries, [](const auto& entry) {
           return !IsIndexEntry(entry.first, entry.second);
         }) > 0;
}

std::string SerializeIndex(const std::map<std::string, std::string>& entries) {
  std::string text;
  for (const auto& [key, value] : entries) {
    text += IndexLine(key, value);
  }
  return text;
}

bool ParseIndexLine(std::string_view line, std::string_view* key, std::string_view* value) {
  if (line.ends_with('\r')) {
    line.remove_suffix(1);
  }
  if (line.size() > kMaxIndexLineBytes) {
    return false;
  }
  size_t space = line.find(' ');
  if (space == std::string_view::npos || space + 1 == line.size()) {
    return false;
  }
  *key = line.substr(0, space);
  *value = line.substr(space + 1);
  return true;
}

void ParseIndex(std::string_view text, std::map<std::string, std::string>& entries) {
  IndexLineSplitter().Feed(text, [&](std::string_view line) {
    std::string_view key, value;
    if (ParseIndexLine(line, &key, &value)) {
      entries.insert_or_assign(std::string(key), std::string(value));
    }
  });
}

void MergeIndexLine(std::string_view line, std::map<std::string, std::string>& merged) {
  std::string_view key, value;
  if (!ParseIndexLine(line, &key, &value)) {
    return;
  }
  std::string key_text(key);
  std::string value_text(value);
  if (IsIndexEntry(key_text, value_text)) {
    merged.insert_or_assign(std::move(key_text), std::move(value_text));
  } else {
    merged.erase(key_text);
  }
}

}  // namespace gameshell
