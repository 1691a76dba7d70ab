#include "cache/core/cache_paths.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

TEST(IsCacheableUrlTest, SubstringOfTheWholeUrlCaseSensitive) {
  EXPECT_TRUE(IsCacheableUrl("http://h/a/b.png"));
  EXPECT_TRUE(IsCacheableUrl("http://h/tex.astc?v=1"));
  EXPECT_TRUE(IsCacheableUrl("http://h/s.mp3"));
  EXPECT_TRUE(IsCacheableUrl("http://h/s.wav"));
  EXPECT_TRUE(IsCacheableUrl("http://h/t.dds"));
  EXPECT_TRUE(IsCacheableUrl("http://h/i.webp"));
  EXPECT_TRUE(IsCacheableUrl("http://h/p.jpg"));
  EXPECT_TRUE(IsCacheableUrl("http://h/app.js?img=x.png"));
  EXPECT_TRUE(IsCacheableUrl("http://h/game.config"));
  EXPECT_TRUE(IsCacheableUrl("http://h/level.data"));
  EXPECT_FALSE(IsCacheableUrl("http://h/A.PNG"));
  EXPECT_FALSE(IsCacheableUrl("http://h/photo.jpeg"));
  EXPECT_FALSE(IsCacheableUrl("http://h/app.js"));
  EXPECT_FALSE(IsCacheableUrl("http://h/index.html"));
  EXPECT_FALSE(IsCacheableUrl(""));
}

TEST(CachePathFromUrlTest, PathAfterTheHostWithoutTheQuery) {
  EXPECT_EQ(CachePathFromUrl("http://example.com:8080/a/b.png?v=3"), "a/b.png");
  EXPECT_EQ(CachePathFromUrl("https://one.test/a/b.png"),
            CachePathFromUrl("http://two.test/a/b.png"));
  EXPECT_EQ(CachePathFromUrl("http://example.com"), "");
  EXPECT_EQ(CachePathFromUrl("http://example.com/"), "");
  EXPECT_EQ(CachePathFromUrl("no-slashes.png"), "");
  EXPECT_EQ(CachePathFromUrl("http://h/a.png?x?y"), "a.png");
  EXPECT_EQ(CachePathFromUrl("http://h/?a.png"), "");
  // The raw path is returned as is; deciding whether it is safe is a separate step.
  EXPECT_EQ(CachePathFromUrl("file:///C:/dir/a.png"), "C:/dir/a.png");
  EXPECT_EQ(CachePathFromUrl("http://h//etc/a.png"), "/etc/a.png");
}

// "?0" names a version; no query names none, though both have the token "0".
TEST(ResourceKeyTest, ParsedOnceWithWhetherTheUrlHadAQuery) {
  EXPECT_EQ(ResourceKeyFromUrl("http://h/a/b.png?v=3"), (ResourceKey{"a/b.png", "v=3", true}));
  EXPECT_EQ(ResourceKeyFromUrl("http://h/a/b.png"), (ResourceKey{"a/b.png", "0", false}));
  EXPECT_EQ(ResourceKeyFromUrl("http://h/a/b.png?0"), (ResourceKey{"a/b.png", "0", true}));
  // The login address's scheme keeps the URLs' paths; the other scheme's files live apart. No
  // address's own path reaches either tree, nor any path that is not storable.
  EXPECT_EQ(ResourceKeyFromUrl("https://h/a/b.png?v=3"),
            (ResourceKey{".https/a/b.png", "v=3", true}));
  EXPECT_EQ(ResourceKeyFromUrl("https://h/a/b.png?v=3", true),
            (ResourceKey{"a/b.png", "v=3", true}));
  EXPECT_EQ(ResourceKeyFromUrl("http://h/a/b.png?v=3", true).path, ".http/a/b.png");
  for (bool login_over_https : {false, true}) {
    for (const char* url : {"http://h/.https/a.png", "https://h/.https/a.png",
                            "http://h/.http/a.png", "https://h/.http/a.png"}) {
      EXPECT_EQ(ResourceKeyFromUrl(url, login_over_https).path, "") << url;
    }
  }
  EXPECT_EQ(ResourceKeyFromUrl("https://h/../a.png").path, "");
  EXPECT_EQ(ResourceKeyFromUrl("http://h/a.js").path, "");
  EXPECT_NE(ResourceKeyHash()(ResourceKeyFromUrl("http://h/a.png")),
            ResourceKeyHash()(ResourceKeyFromUrl("http://h/a.png?0")));
}

TEST(VersionFromUrlTest, QueryOrZero) {
  EXPECT_EQ(VersionFromUrl("http://h/a.png"), "0");
  EXPECT_EQ(VersionFromUrl("http://h/a.png?v=12"), "v=12");
  EXPECT_EQ(VersionFromUrl("http://h/a.png?v=1?w=2"), "v=1?w=2");
  EXPECT_EQ(VersionFromUrl("http://h/a.png?"), "");
}

struct PathCase {
  std::string path;
  bool confined;
  bool storable;
};

std::string RepeatedSegments(int count) {
  std::string path;
  for (int i = 0; i < count; ++i) {
    path += "a/";
  }
  return path;
}

// Paths a hostile page or server could produce, and what the cache may do with them.
TEST(CachePathSafetyTest, HostilePathTable) {
  const PathCase cases[] = {
      {"res/ui/a.png", true, true},
      {"a.png", true, true},
      {"cfg/game.config", true, true},
      {"lvl/one.data", true, true},
      {"res/a.png.bak", true, false},
      // Only the last extension counts: a library or program never lands beside the shell.
      {"imageformats/libmarker.png.so", true, false},
      {"dir/x.dat.dll", true, false},
      {"a.config.so", true, false},
      // The shell's own files are never written through, nor replaced.
      {"fileList.txt/x.png", true, false},
      {"FILELIST.TXT/x.png", true, false},
      {"res/.gameshell-tmp-1-2/x.png", true, false},
      {".gameshell-tmp-1-2.png", true, false},
      {"res/fileList.txt.png", true, true},
      // Names Windows cannot hold as files: devices, trailing dots and spaces, forbidden signs.
      {"CON", false, false},
      {"res/con.png", false, false},
      {"res/con .png", false, false},
      {"res/COM1  .dat", false, false},
      {"res/Aux.tar.png", false, false},
      {"nul /a.png", false, false},
      {"res/COM1.png", false, false},
      {"res/lpt0.dat", false, false},
      {"res/COM\xC2\xB9.png", false, false},
      {"res/console.png", true, true},
      {"res/COM10.png", true, true},
      {"res/dir./a.png", false, false},
      {"res/dir /a.png", false, false},
      {"res/a<b.png", false, false},
      {"res/a\"b.png", false, false},
      {"res/a|b.png", false, false},
      {"res/a*b.png", false, false},
      {"res/\xE8\xB5\x84\xE6\xBA\x90/a.png", true, true},
      {"/etc/a.png", false, false},
      {"//server/share/a.png", false, false},
      {"\\windows\\a.png", false, false},
      {"res\\a.png", false, false},
      {"C:/Windows/a.png", false, false},
      {"c:a.png", false, false},
      {"res/a:stream.png", false, false},
      {"../a.png", false, false},
      {"res/../../a.png", false, false},
      {"res/..", false, false},
      {"./a.png", false, false},
      {"res/./a.png", false, false},
      {"res//a.png", false, false},
      {"res/", false, false},
      {"", false, false},
      {"res/a\n.png", false, false},
      {"res/a\r.png", false, false},
      {"res/a\t.png", false, false},
      {"res/\x7f.png", false, false},
      {"..png", true, false},
      {"...", false, false},
      {"res/%2e%2e/a.png", true, true},
      // Escapes stay as written: a file name with a "%", never a separator or a zero byte.
      {"res/a%2Fb.png", true, true},
      {"res/a%5Cb.png", true, true},
      {"res/a%00b.png", true, true},
      // Confined, but not a resource file: nothing is planted next to the program.
      {"ZendariGameLauncher.dll", true, false},
      {"libZendariGameLauncher.so", true, false},
      {"x.png/ZendariGameLauncher.dll", true, false},
      {"fileList.txt", true, false},
      {"version", true, false},
      {"index.html", true, false},
      // Hidden files and directories: other programs' settings, keys and autostart entries.
      {".config/fontconfig/fonts.conf", true, false},
      {".pki/nssdb/cert9.dat", true, false},
      {"res/.x.png", true, false},
      {".png", true, false},
      {"res/a.b/c.png", true, true},
      // The other scheme's trees, and nothing else that starts with a dot.
      {".https/res/a.png", true, true},
      {".http/res/a.png", true, true},
      {".http/.https/a.png", true, false},
      {".https/.https/a.png", true, false},
      {".https/fileList.txt", true, false},
      {".https/", false, false},
      {".httpsx/a.png", true, false},
      {"res/.https/a.png", true, false},
      // Within what a file system takes, or nothing is made at all.
      {std::string(255, 'a') + ".png", true, false},
      {std::string(251, 'a') + ".png", true, true},
      {RepeatedSegments(509) + "a.png", true, true},   // 1,023 bytes
      {RepeatedSegments(510) + "a.png", true, false},  // 1,025 bytes
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(IsConfinedCachePath(c.path), c.confined);
    EXPECT_EQ(IsStorableCachePath(c.path), c.storable);
  }
  EXPECT_FALSE(IsConfinedCachePath(std::string_view("a\0b.png", 7)));
}

TEST(ContentTypeTest, FromTheCachePathsExtension) {
  EXPECT_STREQ(ContentTypeForCachePath("a.png/b.mp3"), "audio/mpeg");
  EXPECT_STREQ(ContentTypeForCachePath("e.png.bak"), "application/octet-stream");
}

}  // namespace
}  // namespace gameshell
