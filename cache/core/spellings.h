#pragma once

#include <string>
#include <unordered_map>

// Where file names ignore letter case (Windows), "A.png" and "a.png" share one file: it holds the
// bytes of the spelling recorded last, and only that spelling may take it for its own. Where case
// matters, nothing is kept and every spelling owns its file.
// Thread: not thread-safe; its owner guards it.
namespace gameshell {

class Spellings {
 public:
  explicit Spellings(bool names_ignore_case) : names_ignore_case_(names_ignore_case) {}

  // `key` was written last for its file.
  void Record(const std::string& key);
  // Merges another record over this one, its spellings winning.
  void MergeFrom(Spellings&& later);
  bool Owns(const std::string& key) const;
  void Clear() { spelling_.clear(); }

 private:
  const bool names_ignore_case_;
  // Letter-case-folded key -> the spelling recorded last.
  std::unordered_map<std::string, std::string> spelling_;
};

}  // namespace gameshell
