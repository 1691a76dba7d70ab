#include "cache/core/index_entries.h"

#include <iterator>

namespace gameshell {

IndexEntries::Entry::Entry(std::string_view key, std::string_view value) : key_bytes(key.size()) {
  text.reserve(key.size() + value.size());
  text.append(key).append(value);
}

std::optional<std::string_view> IndexEntries::Find(std::string_view key) const {
  const auto it = entries_.find(key);
  if (it == entries_.end()) {
    return std::nullopt;
  }
  return it->Value();
}

std::optional<std::string> IndexEntries::Set(std::string_view key, std::string_view value) {
  // A rewritten file lists its keys in order: each then goes last, with no search.
  if (entries_.empty() || std::prev(entries_.end())->Key() < key) {
    entries_.emplace_hint(entries_.end(), key, value);
    return std::nullopt;
  }
  const auto it = entries_.lower_bound(key);
  if (it == entries_.end() || it->Key() != key) {
    entries_.emplace_hint(it, key, value);
    return std::nullopt;
  }
  // The node is kept: only its text changes, and the key with it stays where it was.
  auto node = entries_.extract(it);
  Entry& entry = node.value();
  std::optional<std::string> old(entry.Value());
  entry.text.resize(entry.key_bytes);
  entry.text.append(value);
  entries_.insert(std::move(node));
  return old;
}

bool IndexEntries::Add(std::string_view key, std::string_view value) {
  if (entries_.find(key) != entries_.end()) {
    return false;
  }
  entries_.emplace(key, value);
  return true;
}

std::optional<std::string> IndexEntries::Erase(std::string_view key) {
  const auto it = entries_.find(key);
  if (it == entries_.end()) {
    return std::nullopt;
  }
  std::optional<std::string> old(it->Value());
  entries_.erase(it);
  return old;
}

std::vector<std::string> IndexEntries::KeysAfter(const std::optional<std::string>& after,
                                                 size_t count) const {
  std::vector<std::string> keys;
  for (auto it = after ? entries_.upper_bound(std::string_view(*after)) : entries_.begin();
       it != entries_.end() && keys.size() < count; ++it) {
    keys.emplace_back(it->Key());
  }
  return keys;
}

std::map<std::string, std::string> IndexEntries::ToMap() const {
  std::map<std::string, std::string> map;
  for (const Entry& entry : entries_) {
    map.emplace_hint(map.end(), entry.Key(), entry.Value());
  }
  return map;
}

}  // namespace gameshell
