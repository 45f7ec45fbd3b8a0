// A segment's stream tells the control thread when its first fill would walk a long way through its
// file, so that prepare() leaves that fill to the streaming thread.

#include "PlayerTestSupport.h"
#include "platform/player/PlayerFileStream.h"
#include "tests/support/ToneFiles.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(PlayerFileStream, OnlyTheFillOfAFarPlaceInAnMp3NotYetCountedWalks) {
    testsupport::TemporaryFolder folder;
    // Eighty seconds of takes joined end to end (two takes, their bytes over and over): its length is
    // an estimate until counted.
    const std::string path = testsupport::writeJoinedMp3(
        folder.file("joined.mp3"), {testsupport::Channels(1, testsupport::sine(44100, 440, 44100, 0.3)),
                                    testsupport::Channels(1, testsupport::sine(44100, 660, 44100, 0.3))});
    ASSERT_FALSE(path.empty());
    const std::string takes = testsupport::readBytes(path);
    std::string bytes;
    for (int i = 0; i < 40; ++i)
        bytes += takes;
    ASSERT_TRUE(testsupport::writeBytes(path, bytes));
    auto opened = AudioFile::openForReading(path);
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    ASSERT_FALSE((*opened)->isLengthExact());
    const std::int64_t length = (*opened)->length();
    const struct {
        std::int64_t start;
        bool walks;
    } cases[] = {{0, false}, {10 * 44100, false}, {length - 44100, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE("from " + std::to_string(c.start));
        auto stream = PlayerFileStream::open(**opened, c.start, 44100, 8192);
        ASSERT_TRUE(stream.ok()) << stream.error().message;
        (*stream)->claim();
        EXPECT_EQ((*stream)->fillWalks(), c.walks);
        // Filled all the same, where it is asked to.
        EXPECT_EQ((*stream)->fill(4096).frames, 4096u);
        EXPECT_FALSE((*stream)->fillWalks());
        (*stream)->release();
    }
}
