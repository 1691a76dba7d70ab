#include "cache/core/spellings.h"

#include <utility>

#include "base/core/ascii.h"

namespace gameshell {

void Spellings::Record(const std::string& key) {
  if (names_ignore_case_) {
    spelling_[AsciiLower(key)] = key;
  }
}

void Spellings::MergeFrom(Spellings&& later) {
  for (auto& [folded, spelling] : later.spelling_) {
    spelling_[folded] = std::move(spelling);
  }
}

bool Spellings::Owns(const std::string& key) const {
  if (!names_ignore_case_) {
    return true;
  }
  auto it = spelling_.find(AsciiLower(key));
  return it == spelling_.end() || it->second == key;
}

}  // namespace gameshell
