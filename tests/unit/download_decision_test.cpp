#include "cache/core/download_decision.h"

#include <gtest/gtest.h>

#include "test_file_systems.h"

namespace gameshell {
namespace {

using testing::MemoryFileSystem;

class DownloadDecisionTest : public ::testing::Test {
 protected:
  DownloadDecisionTest() { index_.Load(); }

  RequestDecision Decide(std::string_view url) { return DecideRequest(url, hosts_, index_, disk_); }

  GameHosts hosts_{"h", "other,*.cdn.test,h:8080"};
  MemoryFileSystem disk_;
  CacheIndex index_{disk_};
};

TEST_F(DownloadDecisionTest, PassesThroughWhatTheCacheDoesNotHandle) {
  for (const char* url :
       {"data:image/png;base64,http.png", "blob:http://h/x.png", "ws://h/a.png", "http://h/app.js",
        "http://h/index.html", "http://h/style.css", "http://h/A.PNG", "http://h/../a.png",
        "http://h//etc/a.png", "http://h/ZendariGameLauncher.dll?x.png", "http://h/C:/a.png",
        "http://h", "http://h/?a.png", "http://evil.test/a.png", "http://cdn.test/a.png",
        "http://h/fileList.txt/a.png"}) {
    SCOPED_TRACE(url);
    EXPECT_EQ(Decide(url).action, RequestAction::kPassThrough);
  }
  EXPECT_EQ(index_.Entries().size(), 1u);
}

// A redirect may lead the shell's download only to the game's own hosts, never to a weaker scheme.
TEST_F(DownloadDecisionTest, RedirectsStayWithinTheGamesHosts) {
  EXPECT_TRUE(MayFollowRedirect("http://h/a.png", "http://other/b/a.png", hosts_));
  EXPECT_TRUE(MayFollowRedirect("http://h/a.png", "https://x.cdn.test/a.png", hosts_));
  EXPECT_TRUE(MayFollowRedirect("https://h/a.png", "https://H:8080/a.png", hosts_));
  for (const char* to :
       {"http://evil.test/a.png", "http://[::1]:18433/a.png", "http://h.evil.test/a.png",
        "https://x.cdn.test:444/a.png", "http://h:8081/a.png", "file:///etc/passwd",
        "ftp://h/a.png", "data:image/png;base64,AAAA"}) {
    EXPECT_FALSE(MayFollowRedirect("http://h/a.png", to, hosts_)) << to;
  }
  EXPECT_FALSE(MayFollowRedirect("https://h/a.png", "http://h/a.png", hosts_));
  // Not to the debugging endpoint, even on a host of the game's.
  EXPECT_TRUE(
      MayFollowRedirect("http://h/a.png", "http://h:19224/a.png", GameHosts("h", "h:19224")));
  EXPECT_FALSE(
      MayFollowRedirect("http://h/a.png", "http://h:19223/a.png", GameHosts("h", "h:19223")));
}

// What a request gets from its path's entry and file. A decision records nothing and touches no
// file: the index takes a token only once its file is in place, so until a download succeeds the
// old file is never taken for the new version, and two requests for it start two downloads.
TEST_F(DownloadDecisionTest, TheStoredCopyIsCurrentOnlyForItsTokenAndWithBytes) {
  constexpr auto kStored = RequestAction::kStoredIsCurrent;
  constexpr auto kDownload = RequestAction::kDownload;
  const struct {
    const char* token;  // none: no entry
    const char* file;   // none: no file
    const char* url;
    RequestAction action;
  } cases[] = {
      {nullptr, nullptr, "http://h:80/res/a.png?v=2", kDownload},
      {nullptr, "old", "http://h/res/a.png?v=2", kDownload},
      {"v=2", "png", "http://other/res/a.png?v=2", kStored},
      {"v=2", "png", "http://a.CDN.test/res/a.png?v=2", kStored},
      // Bytes that came over plain http are never an https resource's.
      {"v=2", "png", "https://a.cdn.test/res/a.png?v=2", kDownload},
      {"v=2", "png", "http://h/res/a.png", kStored},      // no query: any stored token will do
      {"v=2", "png", "http://h/res/a.png?0", kDownload},  // "?0" names another version
      {"v=1", "old", "http://h/res/a.png?v=2", kDownload},
      {"v=1", nullptr, "http://h/res/a.png", kDownload},
      {"0", "", "http://h/res/a.png", kDownload},  // an empty file counts as missing
      {"0", "x", "http://h/res/a.png", kStored},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.token ? c.token : "-") + " " + (c.file ? c.file : "-") + " " +
                 c.url);
    MemoryFileSystem disk;
    CacheIndex index(disk);
    index.Load();
    if (c.token) {
      index.Update("res/a.png", c.token);
    }
    if (c.file) {
      disk.files["res/a.png"] = c.file;
    }
    const std::map<std::string, std::string> files = disk.files;
    for (int twice = 0; twice < 2; ++twice) {
      EXPECT_EQ(DecideRequest(c.url, hosts_, index, disk).action, c.action);
    }
    EXPECT_EQ(index.Find("res/a.png"),
              c.token ? std::optional<std::string>(c.token) : std::nullopt);
    EXPECT_EQ(disk.files, files);
  }
  EXPECT_EQ(Decide("http://h:80/res/a.png?v=2").key, (ResourceKey{"res/a.png", "v=2", true}));
  EXPECT_EQ(Decide("https://h/res/a.png?v=2").key.path, ".https/res/a.png");
  // A game served over https keeps its files at their own paths.
  MemoryFileSystem disk;
  CacheIndex index(disk);
  index.Load();
  EXPECT_EQ(
      DecideRequest("https://h/res/a.png?v=2", GameHosts("https://h", ""), index, disk).key.path,
      "res/a.png");
}

// A file whose path is in flux holds no known version: never served, not even the once while a
// newer one downloads.
TEST_F(DownloadDecisionTest, AFileOfNoKnownVersionIsNeverServed) {
  disk_.files["res/a.png"] = "bytes of who knows";
  index_.Update("res/a.png", kNoVersionToken);  // in flux: a kill during its replacement
  for (const char* url : {"http://h/res/a.png?v=2", "http://h/res/a.png"}) {
    SCOPED_TRACE(url);
    const RequestDecision in_flux = Decide(url);
    EXPECT_EQ(in_flux.action, RequestAction::kDownload);
    EXPECT_FALSE(in_flux.disk_copy_usable);
  }
  index_.Update("res/a.png", "v=1");
  EXPECT_TRUE(Decide("http://h/res/a.png?v=2").disk_copy_usable);  // the old version, once
  // A kill cut the new version's line short after the line marking the file in flux: the torn
  // line is left out, and what the file holds (v=12's bytes) is no version at all.
  CacheIndex torn(disk_);
  disk_.files[kIndexFileName] =
      "r/g/a.dat v=3\nr/g/a.dat " + std::string(kNoVersionToken) + "\nr/g/a.dat v=1";
  disk_.files["r/g/a.dat"] = "bytes of v=12";
  torn.Load();
  const RequestDecision after_kill = DecideRequest("http://h/r/g/a.dat?v=1", hosts_, torn, disk_);
  EXPECT_EQ(after_kill.action, RequestAction::kDownload);
  EXPECT_FALSE(after_kill.disk_copy_usable);
}

// Where names ignore case, "A.png" and "a.png" are one file: neither may serve the other's bytes.
TEST_F(DownloadDecisionTest, SpellingsThatShareAFileNeverServeEachOthersBytes) {
  disk_.ignore_case = true;
  CacheIndex index(disk_);
  disk_.files[kIndexFileName] = "res/a.png 1\nres/A.png 1\n";
  index.Load();
  disk_.files["res/a.png"] = disk_.files["res/A.png"] = "bytes of A.png";  // one file
  auto decide = [&](const char* url) { return DecideRequest(url, hosts_, index, disk_); };
  EXPECT_EQ(decide("http://h/res/A.png?1").action, RequestAction::kStoredIsCurrent);
  RequestDecision lower = decide("http://h/res/a.png?1");
  EXPECT_EQ(lower.action, RequestAction::kDownload);
  EXPECT_FALSE(lower.disk_copy_usable);
  index.Update("res/a.png", "1");
  EXPECT_EQ(decide("http://h/res/a.png?1").action, RequestAction::kStoredIsCurrent);
  EXPECT_FALSE(decide("http://h/res/A.png?1").disk_copy_usable);
}

}  // namespace
}  // namespace gameshell
