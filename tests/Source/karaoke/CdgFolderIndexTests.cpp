// Many songs asked about at once: one listing per folder, off the calling thread, answers like
// cdgBesidePath's.

#include "Source/karaoke/CdgFile.h"
#include "Source/karaoke/CdgFolderIndex.h"
#include "platform/dispatch/MainQueue.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

namespace vantle {
namespace {

TEST(CdgFolderIndex, ListsEachFolderOnceAndAnswersAsTheFinderDoes) {
    testsupport::TemporaryFolder one, two;
    for (const char* name : {"SONG.MP3", "SONG.CDG", "plain.mp3", "Mixed.ogg", "MIXED.cdg", "x.cdg"})
        std::ofstream(one.file(name)) << "x";
    std::filesystem::create_directory(one.file("dir.cdg"));
    std::ofstream(two.file("b.flac")) << "x";
    int listings = 0;
    std::vector<bool> changes;
    CdgFolderIndex index([&](bool changed) {
        ++listings;
        changes.push_back(changed);
    });
    const std::vector<std::string> songs = {one.file("SONG.MP3"),  one.file("plain.mp3"),
                                            one.file("Mixed.ogg"), one.file("x.cdg"),
                                            one.file("dir.mp3"),   two.file("b.flac")};
    for (const std::string& song : songs)
        EXPECT_FALSE(index.hasGraphics(song)) << "not known before its folder is listed: " << song;
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return listings == 2; }, 20.0));
    for (const std::string& song : songs)
        EXPECT_EQ(index.hasGraphics(song), cdgBesidePath(song).has_value()) << song;
    EXPECT_EQ(index.hasGraphics(one.file("SONG.MP3")), true);
    platform::mainQueue().drain();
    EXPECT_EQ(listings, 2);
    // Only the folder with graphics changes what its songs show; the other's "none" stands.
    EXPECT_EQ(std::count(changes.begin(), changes.end(), true), 1);

    // After a refresh the old answer stands until the folder's new listing is in.
    std::ofstream(two.file("B.CDG")) << "x";
    index.refresh();
    EXPECT_EQ(index.hasGraphics(two.file("b.flac")), false);
    ASSERT_TRUE(platform::mainQueue().drainUntil([&] { return listings == 3; }, 20.0));
    EXPECT_EQ(index.hasGraphics(two.file("b.flac")), true);
    EXPECT_TRUE(changes.back()) << "graphics put beside a song change its answer";
}

// A song archive is listed only with its graphics inside: it has them, in any case of its extension,
// with no listing of its folder.
TEST(CdgFolderIndex, ASongArchiveHasItsGraphicsInside) {
    testsupport::TemporaryFolder folder;
    int listings = 0;
    CdgFolderIndex index([&](bool) { ++listings; });
    for (const char* name : {"Song.zip", "SONG.ZIP"})
        EXPECT_EQ(index.hasGraphics(folder.file(name)), true) << name;
    platform::mainQueue().drain();
    EXPECT_EQ(listings, 0);
}

TEST(CdgFolderIndex, AnswersForAGoneIndexAreDropped) {
    testsupport::TemporaryFolder folder;
    int listings = 0;
    {
        CdgFolderIndex index([&](bool) { ++listings; });
        (void)index.hasGraphics(folder.file("a.mp3"));
    }
    platform::mainQueue().drain();
    EXPECT_EQ(listings, 0);
}

// Closing the window or quitting ends the index: the listings queued for it are dropped, the one under
// way is told to stop, and none of them posts an answer.
TEST(CdgFolderIndex, AGoneIndexWaitsForNoListingNobodyWants) {
    platform::mainQueue().drain();
    std::atomic<int> listings{0};
    std::atomic<bool> firstStopped{false};
    const auto listFolder = [&](const std::string&, const std::function<bool()>& stopped) {
        // The deadline is only reached by an index that never says stop.
        if (listings++ == 0) firstStopped = testsupport::waitUntil(stopped, std::chrono::seconds(10));
        return std::vector<std::string>{"a.cdg"};
    };
    int answers = 0;
    {
        CdgFolderIndex index([&](bool) { ++answers; }, listFolder);
        for (int folder = 0; folder < 50; ++folder)
            (void)index.hasGraphics("/songs/" + std::to_string(folder) + "/a.mp3");
        ASSERT_TRUE(testsupport::waitUntil([&] { return listings == 1; }));
    }
    // The listing under way ends on its own, after the index.
    EXPECT_TRUE(testsupport::waitUntil([&] { return firstStopped.load(); }))
        << "the listing under way was not told to stop";
    EXPECT_EQ(listings, 1) << "listings nobody wanted any more were made";
    EXPECT_EQ(platform::mainQueue().drain(), 0u);
    EXPECT_EQ(answers, 0);
}

// A listing that does not come back (a share that stopped answering) does not hold the close either.
TEST(CdgFolderIndex, AGoneIndexWaitsForNoListingUnderWay) {
    std::atomic<bool> started{false}, letGo{false}, ended{false};
    const auto listFolder = [&](const std::string&, const std::function<bool()>&) {
        started = true;
        // Only an index that waits for its listing reaches the deadline.
        (void)testsupport::waitUntil([&] { return letGo.load(); }, std::chrono::seconds(10));
        ended = true;
        return std::vector<std::string>{"a.cdg"};
    };
    {
        CdgFolderIndex index([](bool) {}, listFolder);
        (void)index.hasGraphics("/share/a.mp3");
        ASSERT_TRUE(testsupport::waitUntil([&] { return started.load(); }));
    }
    EXPECT_FALSE(ended) << "the index waited for the listing under way";
    letGo = true;
    ASSERT_TRUE(testsupport::waitUntil([&] { return ended.load(); }));
}

} // namespace
} // namespace vantle
