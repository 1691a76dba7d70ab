#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// The cache index's entries in memory, in key order: a key and its value share one string, so
// that a cache of hundreds of thousands of resources costs one allocation an entry (none where
// both are short) instead of a map node and two strings. Thread: its owner's; not synchronised.
namespace gameshell {

class IndexEntries {
 public:
  std::optional<std::string_view> Find(std::string_view key) const;
  bool Contains(std::string_view key) const { return entries_.find(key) != entries_.end(); }
  // The value it replaced, if there was one.
  std::optional<std::string> Set(std::string_view key, std::string_view value);
  // Adds only where there is no entry; false where there was one.
  bool Add(std::string_view key, std::string_view value);
  // The value it had, if there was one.
  std::optional<std::string> Erase(std::string_view key);
  // Moves in `other`'s entries whose keys this lacks; the rest stay in `other`.
  void Merge(IndexEntries& other) { entries_.merge(other.entries_); }
  void Swap(IndexEntries& other) { entries_.swap(other.entries_); }
  void Clear() { entries_.clear(); }
  bool Empty() const { return entries_.empty(); }
  size_t Size() const { return entries_.size(); }

  // Up to `count` keys in order, after `after` (from the first without one).
  std::vector<std::string> KeysAfter(const std::optional<std::string>& after, size_t count) const;
  template <typename Visit>  // void(std::string_view key, std::string_view value)
  void ForEach(Visit&& visit) const {
    for (const Entry& entry : entries_) {
      visit(entry.Key(), entry.Value());
    }
  }
  std::map<std::string, std::string> ToMap() const;

 private:
  struct Entry {
    Entry(std::string_view key, std::string_view value);
    std::string_view Key() const { return std::string_view(text).substr(0, key_bytes); }
    std::string_view Value() const { return std::string_view(text).substr(key_bytes); }
    std::string text;  // the key, then the value
    size_t key_bytes;
  };
  struct KeyLess {
    using is_transparent = void;
    bool operator()(const Entry& a, const Entry& b) const { return a.Key() < b.Key(); }
    bool operator()(const Entry& a, std::string_view b) const { return a.Key() < b; }
    bool operator()(std::string_view a, const Entry& b) const { return a < b.Key(); }
  };

  std::set<Entry, KeyLess> entries_;
};

}  // namespace gameshell
