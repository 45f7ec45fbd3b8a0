#include "platform/foundation/Files.h"
#include "platform/foundation/Url.h"
#include "tests/support/TemporaryFolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unordered_set>

using namespace platform;

TEST(Url, PercentEncodingOfFilePaths) {
    Url url = Url::fileURLWithPath("/Music/with space/Café #1?.mp3", false);
    EXPECT_TRUE(url.isFileURL());
    EXPECT_EQ(url.absoluteString(), "file:///Music/with%20space/Caf%C3%A9%20%231%3F.mp3");
    EXPECT_EQ(url.path(), "/Music/with space/Café #1?.mp3");
    EXPECT_EQ(url.lastPathComponent(), "Café #1?.mp3");

    // Sub-delimiters, ":" and "@" stay as they are; "%", quotes, brackets and controls do not.
    EXPECT_EQ(Url::fileURLWithPath("/a/b!$&'()*+,;=:@~-._x", false).absoluteString(),
              "file:///a/b!$&'()*+,;=:@~-._x");
    EXPECT_EQ(Url::fileURLWithPath("/100%\"<>[]\\^`{|}\t", false).absoluteString(),
              "file:///100%25%22%3C%3E%5B%5D%5C%5E%60%7B%7C%7D%09");
    // Bytes that are not UTF-8 (a Latin-1 file name) survive the round trip.
    Url latin1 = Url::fileURLWithPath("/m/caf\xE9.mp3", false);
    EXPECT_EQ(latin1.absoluteString(), "file:///m/caf%E9.mp3");
    EXPECT_EQ(Url::fromAbsoluteString(latin1.absoluteString())->path(), "/m/caf\xE9.mp3");
}

TEST(Url, FileURLWithPathResolvesAndMarksDirectories) {
    std::string cwd = std::filesystem::current_path().string();
    EXPECT_EQ(Url::fileURLWithPath("song.mp3").path(), cwd + "/song.mp3");
    EXPECT_EQ(Url::fileURLWithPath("./a/../b.mp3").path(), cwd + "/b.mp3");
    EXPECT_EQ(Url::fileURLWithPath("/a//b///c.mp3").path(), "/a/b/c.mp3");
    Url here = Url::fileURLWithPath("");
    EXPECT_EQ(here.path(), cwd);
    EXPECT_TRUE(here.hasDirectoryPath());

    const testsupport::TemporaryFolder temporary;
    const std::string& dir = temporary.path;
    ASSERT_TRUE(createDirectory(dir + "/Sets").ok());
    ASSERT_TRUE(writeFileAtomically(dir + "/song.mp3", std::string_view("x")).ok());
    Url folder = Url::fileURLWithPath(dir);
    EXPECT_TRUE(folder.hasDirectoryPath());
    EXPECT_EQ(folder.path(), dir);
    EXPECT_EQ(folder.absoluteString(), "file://" + percentEncodePath(dir) + "/");
    EXPECT_FALSE(Url::fileURLWithPath(dir + "/song.mp3").hasDirectoryPath());
    EXPECT_TRUE(folder.appendingPathComponent("Sets").hasDirectoryPath());
    EXPECT_FALSE(folder.appendingPathComponent("song.mp3").hasDirectoryPath());
    EXPECT_FALSE(folder.appendingPathComponent("missing").hasDirectoryPath());

    // A trailing slash marks a directory without asking the file system.
    Url missing = Url::fileURLWithPath("/no/such/folder/");
    EXPECT_TRUE(missing.hasDirectoryPath());
    EXPECT_EQ(missing.path(), "/no/such/folder");
    EXPECT_EQ(missing.absoluteString(), "file:///no/such/folder/");
    EXPECT_EQ(Url::fileURLWithPath("/").absoluteString(), "file:///");
    EXPECT_TRUE(Url::fileURLWithPath(std::string_view("/a\0b", 4)).isEmpty());
}

TEST(Url, PathExtensions) {
    Url archive = Url::fileURLWithPath("/m/a.tar.gz", false);
    EXPECT_EQ(archive.pathExtension(), "gz");
    EXPECT_EQ(archive.deletingPathExtension().path(), "/m/a.tar");
    EXPECT_EQ(archive.deletingPathExtension().deletingPathExtension().path(), "/m/a");

    // The companion files of an audio file replace its last extension.
    EXPECT_EQ(Url::fileURLWithPath("/m/a.b.m4a", false)
                  .deletingPathExtension()
                  .appendingPathExtension("txt")
                  .path(),
              "/m/a.b.txt");
    EXPECT_EQ(
        Url::fileURLWithPath("/m/Song", false).deletingPathExtension().appendingPathExtension("txt").path(),
        "/m/Song.txt");
    EXPECT_EQ(Url::fileURLWithPath("/m/Song.mp3", false)
                  .deletingPathExtension()
                  .appendingPathExtension("t.txt")
                  .path(),
              "/m/Song.t.txt");

    for (const char* name : {"/m/.hidden", "/m/noext", "/m/trailing.", "/m/..", "/a.b/c", "/"}) {
        Url url = Url::fileURLWithPath(name, false);
        EXPECT_EQ(url.pathExtension(), "") << name;
        EXPECT_EQ(url.deletingPathExtension(), url) << name;
    }
    EXPECT_EQ(Url::fileURLWithPath("/m/.hidden.mp3", false).pathExtension(), "mp3");
    EXPECT_EQ(Url::fileURLWithPath("/m/b.MP4", false).pathExtension(), "MP4");

    Url bundle = Url::fileURLWithPath("/x/pkg.bundle/");
    EXPECT_EQ(bundle.pathExtension(), "bundle");
    EXPECT_EQ(bundle.deletingPathExtension().absoluteString(), "file:///x/pkg/");
    EXPECT_EQ(archive.appendingPathExtension(""), archive);
    EXPECT_EQ(archive.appendingPathExtension("a/b"), archive);
}

TEST(Url, PathComponents) {
    Url song = Url::fileURLWithPath("/a/b.mp3", false);
    Url parent = song.deletingLastPathComponent();
    EXPECT_EQ(parent.path(), "/a");
    EXPECT_EQ(parent.absoluteString(), "file:///a/");
    EXPECT_EQ(parent.deletingLastPathComponent().absoluteString(), "file:///");
    EXPECT_EQ(Url::fileURLWithPath("/", true).deletingLastPathComponent().path(), "/");
    EXPECT_EQ(Url::fileURLWithPath("/", true).lastPathComponent(), "/");

    Url docs = Url::fileURLWithPath("/home/u/Documents", true);
    Url target = docs.appendingPathComponent("Dance Night").appendingPathComponent("x.mp3", false);
    EXPECT_EQ(target.absoluteString(), "file:///home/u/Documents/Dance%20Night/x.mp3");
    EXPECT_EQ(docs.appendingPathComponent("a/b/", false).absoluteString(), "file:///home/u/Documents/a/b/");
    EXPECT_EQ(docs.appendingPathComponent("/c", false).path(), "/home/u/Documents/c");
    EXPECT_EQ(docs.appendingPathComponent(""), docs);
}

TEST(Url, ParsingAbsoluteStrings) {
    auto url = Url::fromAbsoluteString("file:///Music/with%20space/Caf%c3%a9.mp3");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->path(), "/Music/with space/Café.mp3");
    // Lower-case escapes come out in the canonical upper-case form.
    EXPECT_EQ(url->absoluteString(), "file:///Music/with%20space/Caf%C3%A9.mp3");
    EXPECT_FALSE(url->hasDirectoryPath());

    EXPECT_EQ(Url::fromAbsoluteString("FILE://localhost/tmp/a"), Url::fileURLWithPath("/tmp/a", false));
    EXPECT_EQ(Url::fromAbsoluteString("file:/tmp/a")->path(), "/tmp/a");
    EXPECT_EQ(Url::fromAbsoluteString("file:///a.mp3?x=1#t=10")->absoluteString(), "file:///a.mp3");
    EXPECT_EQ(Url::fromAbsoluteString("file:///Caf\xC3\xA9 x")->absoluteString(), "file:///Caf%C3%A9%20x");
    auto dir = Url::fromAbsoluteString("file:///m/Sets/");
    ASSERT_TRUE(dir);
    EXPECT_TRUE(dir->hasDirectoryPath());
    EXPECT_EQ(dir->path(), "/m/Sets");
    EXPECT_EQ(Url::fromAbsoluteString("file:///")->path(), "/");

    for (const char* bad : {"", "/plain/path", "http://host/a.mp3", "file://server/a.mp3", "file:relative",
                            "file://", "file:///a%2", "file:///a%", "file:///a%zz", "file:///a%00b",
                            "file:///a\nb", "filex:///a", ":///a"}) {
        EXPECT_FALSE(Url::fromAbsoluteString(bad)) << bad;
    }
}

TEST(Url, EqualityHashingAndEmptyUrls) {
    Url a = Url::fileURLWithPath("/m/a b.mp3", false);
    EXPECT_EQ(a, *Url::fromAbsoluteString("file:///m/a%20b.mp3"));
    EXPECT_NE(a, Url::fileURLWithPath("/m/a b.mp3", true));
    EXPECT_NE(a, Url::fileURLWithPath("/m/A b.mp3", false));
    std::unordered_set<Url> set{a, *Url::fromAbsoluteString("file://localhost/m/a%20b.mp3"),
                                Url::fileURLWithPath("/m/other.mp3", false)};
    EXPECT_EQ(set.size(), 2u);

    Url empty;
    EXPECT_FALSE(empty.isFileURL());
    EXPECT_EQ(empty.absoluteString(), "");
    EXPECT_EQ(empty.lastPathComponent(), "");
    EXPECT_EQ(empty.pathExtension(), "");
    EXPECT_TRUE(empty.appendingPathComponent("x").isEmpty());
    EXPECT_TRUE(empty.appendingPathExtension("x").isEmpty());
    EXPECT_TRUE(empty.deletingLastPathComponent().isEmpty());
    EXPECT_EQ(empty, Url());
    EXPECT_NE(empty, a);
}
