#pragma once

#include <map>
#include <string>
#include <string_view>

// The cache index's file format: one "key value" line per entry, a later line winning over an
// earlier one; and its one parser, which every read of the file streams through.
// Stateless functions, any thread; an IndexLineSplitter belongs to one reader.
namespace gameshell {

inline constexpr char kGenerationKey[] = "version";

// The value of an entry whose file is being replaced: no version at all. It holds a space, which
// no URL's query does, so it matches no request's token, and is never taken for the empty token
// (a single space).
inline constexpr char kNoVersionToken[] = " -";

// Lines longer than this are junk (no cache path or URL query comes near it) and are skipped.
inline constexpr size_t kMaxIndexLineBytes = 8192;

// The index file's text for these entries. Entries whose key holds a space, or whose key or value
// holds a line break, cannot be read back as written and are left out rather than let them spill
// into other lines.
std::string SerializeIndex(const std::map<std::string, std::string>& entries);

// Adds the entries of an index file's text to `entries`; a later line wins over an earlier one.
// Accepts LF and CR LF line ends; skips lines without a space or with nothing after it, lines
// longer than kMaxIndexLineBytes, and a last line without its line end (torn).
void ParseIndex(std::string_view text, std::map<std::string, std::string>& entries);

// The entry's line as the file holds it (with this system's line end); empty for one that cannot
// be read back as written.
std::string IndexLine(const std::string& key, const std::string& value);
// Its size, without making it.
size_t IndexLineBytes(std::string_view key, std::string_view value);

// What an entry may be: the generation, or a storable cache path with a token that has no control
// character (no URL's query has one). Anything else is junk from a damaged file.
bool IsIndexEntry(const std::string& key, const std::string& value);
// Removes junk entries; true when there was any.
bool DropJunk(std::map<std::string, std::string>& entries);

// The key and value of one line (its line end taken off); false for a line the format skips.
bool ParseIndexLine(std::string_view line, std::string_view* key, std::string_view* value);

// Adds a line to what a rewrite keeps. A junk line takes its key's earlier line with it, as it did
// in memory when the index was loaded (where it names no version anyone asks for).
void MergeIndexLine(std::string_view line, std::map<std::string, std::string>& merged);

// Splits an index file's text, fed a piece at a time, into its lines (line end taken off). A line
// past kMaxIndexLineBytes is skipped without being kept whole, and a last line without its line
// end is never handed on: the shell ends every line it writes, so one cut short (a kill during an
// append, a full disk) may read as another version ("v=1" of "v=12").
class IndexLineSplitter {
 public:
  template <typename TakeLine>
  void Feed(std::string_view piece, TakeLine&& take_line) {
    while (!piece.empty()) {
      const size_t end = piece.find('\n');
      const std::string_view part = piece.substr(0, end);
      overlong_ = overlong_ || line_.size() + part.size() > kMaxIndexLineBytes + 1;
      if (end == std::string_view::npos) {
        if (!overlong_) {
          line_.append(part);
        }
        return;
      }
      if (!overlong_) {
        if (line_.empty()) {
          take_line(part);  // whole in this piece: no copy
        } else {
          line_.append(part);
          take_line(std::string_view(line_));
        }
      }
      line_.clear();
      overlong_ = false;
      piece.remove_prefix(end + 1);
    }
  }
  // The text so far ends inside a line.
  bool Torn() const { return !line_.empty() || overlong_; }

 private:
  std::string line_;
  bool overlong_ = false;
};

}  // namespace gameshell
