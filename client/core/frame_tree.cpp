#include "client/core/frame_tree.h"

#include <vector>

#include "base/core/ascii.h"

namespace gameshell {

namespace {
// Deeper than any page nests its frames: a report that loops ends here.
constexpr int kMaxDepth = 64;
}  // namespace

bool IsGameOrigin(std::string_view origin, const GameHosts& hosts) {
  // An origin is an address without a path; "null" and the like name no host.
  if (origin.empty() || origin.find("://") == std::string_view::npos) {
    return false;
  }
  return hosts.AllowsUrl(std::string(origin) + "/");
}

std::string OriginOfUrl(std::string_view url) {
  constexpr std::string_view kBlob = "blob:";
  if (url.size() > kBlob.size() && AsciiLower(url.substr(0, kBlob.size())) == kBlob) {
    url.remove_prefix(kBlob.size());
  }
  const size_t scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos) {
    return {};
  }
  const size_t end = url.find_first_of("/?#", scheme_end + 3);
  return AsciiLower(url.substr(0, end == std::string_view::npos ? url.size() : end));
}

void FrameTree::Attach(const std::string& frame_id, const std::string& parent_id) {
  Frame& frame = frames_[frame_id];
  frame.parent_id = parent_id;
}

void FrameTree::Navigate(const std::string& frame_id,
                         const std::string& parent_id,
                         std::string origin) {
  Frame& frame = frames_[frame_id];
  if (!parent_id.empty()) {
    frame.parent_id = parent_id;
  }
  frame.origin = std::move(origin);
}

void FrameTree::Detach(const std::string& frame_id) {
  std::vector<std::string> gone = {frame_id};
  while (!gone.empty()) {
    const std::string id = std::move(gone.back());
    gone.pop_back();
    frames_.erase(id);
    for (const auto& [child, frame] : frames_) {
      if (frame.parent_id == id) {
        gone.push_back(child);
      }
    }
  }
}

bool FrameTree::IsGameDocumentChain(const std::string& frame_id, const GameHosts& hosts) const {
  std::string id = frame_id;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    const auto frame = frames_.find(id);
    if (frame == frames_.end() || !IsGameOrigin(frame->second.origin, hosts)) {
      return false;
    }
    if (frame->second.parent_id.empty()) {
      return true;
    }
    id = frame->second.parent_id;
  }
  return false;
}

std::string FrameTree::OriginOf(std::string_view frame_id) const {
  const auto frame = frames_.find(frame_id);
  return frame == frames_.end() ? std::string() : frame->second.origin;
}

std::string FrameTree::ParentOf(std::string_view frame_id) const {
  const auto frame = frames_.find(frame_id);
  return frame == frames_.end() ? std::string() : frame->second.parent_id;
}

std::string FrameTree::RootOf(std::string_view frame_id) const {
  std::string id(frame_id);
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    const auto frame = frames_.find(id);
    if (frame == frames_.end()) {
      return {};
    }
    if (frame->second.parent_id.empty()) {
      return id;
    }
    id = frame->second.parent_id;
  }
  return {};
}

namespace {

std::string Unescaped(std::string_view url) {
  std::string out;
  out.reserve(url.size());
  for (size_t i = 0; i < url.size(); ++i) {
    if (url[i] == '%' && i + 2 < url.size() && HexDigitValue(url[i + 1]) >= 0 &&
        HexDigitValue(url[i + 2]) >= 0) {
      out += static_cast<char>(HexDigitValue(url[i + 1]) * 16 + HexDigitValue(url[i + 2]));
      i += 2;
    } else {
      out += url[i];
    }
  }
  return out;
}

}  // namespace

bool IsSameAddress(std::string_view a, std::string_view b) {
  return a == b || Unescaped(a) == Unescaped(b);
}

}  // namespace gameshell
