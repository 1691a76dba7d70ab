#include "cache/core/index_file.h"

#include <cstdio>
#include <utility>

#include "cache/core/index_format.h"
#include "platform/process_environment.h"

namespace gameshell {

namespace {

constexpr size_t kReadPieceBytes = size_t{1} << 20;

}  // namespace

IndexFile::IndexFile(FileSystem& fs, std::string name) : fs_(fs), name_(std::move(name)) {}

IndexFile::ReadSummary IndexFile::Read(
    const std::function<void(std::string_view line)>& take_line) {
  ReadSummary summary;
  IndexLineSplitter splitter;
  summary.outcome = fs_.ReadFileInPieces(name_, kReadPieceBytes, [&](std::string_view piece) {
    summary.bytes += piece.size();
    splitter.Feed(piece, take_line);
    return true;
  });
  summary.torn = splitter.Torn();
  if (summary.outcome == FileSystem::ReadOutcome::kUnusable) {
    std::fprintf(stderr,
                 "gameshell: cannot read the cache index %s/%s (not a regular file, or "
                 "unreadable); the game's files are fetched again this run\n",
                 platform::WorkingDirectoryForDisplay().c_str(), name_.c_str());
    std::fflush(stderr);
  }
  return summary;
}

bool IndexFile::Append(std::string_view lines) {
  return fs_.AppendFile(name_, lines);
}

bool IndexFile::Rewrite(bool drop_current,
                        std::string_view appended,
                        const Finish& finish,
                        uint64_t* written) {
  // The file has this run's earlier lines and any another shell appended, in order. Only what a
  // rewrite keeps is kept while reading it: a file of junk costs no memory.
  std::map<std::string, std::string> merged;
  uint64_t current_bytes = 0;
  IndexLineSplitter current;
  const auto take = [&](std::string_view piece) {
    current_bytes += piece.size();
    if (!drop_current) {
      current.Feed(piece, [&](std::string_view line) { MergeIndexLine(line, merged); });
    }
  };
  return fs_.ReplaceFileMerged(name_, take, [&] {
    const bool from_file = !drop_current && current_bytes != 0;
    if (from_file) {
      IndexLineSplitter().Feed(appended,
                               [&](std::string_view line) { MergeIndexLine(line, merged); });
    }
    finish(merged, from_file);
    std::string text = SerializeIndex(merged);
    *written = text.size();
    return text;
  });
}

bool IndexFile::Sync() {
  return fs_.SyncFiles({name_});
}

}  // namespace gameshell
