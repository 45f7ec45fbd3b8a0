// What the player compares after a change event: the same bytes, and the same file, or not.
#include "Source/playback/FileFingerprint.h"

#include "PlaybackTestSupport.h"
#include "tests/support/FifoGuard.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/stat.h>

using vantle::FileFingerprint;

namespace {

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

TEST(FileFingerprint, TellsTheSameBytesAndTheSameFileApart) {
    fixtures::TempFolder folder;
    const std::string path = folder.file("song.bin");
    // Larger than the head and tail together, so that both ends count.
    std::string song(300 * 1024, 'a');
    for (std::size_t i = 0; i < song.size(); ++i)
        song[i] = static_cast<char>('a' + i % 23);
    const struct {
        const char* what;
        std::function<void()> change;
        bool sameBytes, sameFile;
    } cases[] = {
        {"touched", [&] { ASSERT_TRUE(playbacktest::touchFile(path)); }, true, true},
        {"written again alike", [&] { writeBytes(path, song); }, true, true},
        {"renamed over by a copy",
         [&] {
             writeBytes(path + ".part", song);
             std::filesystem::rename(path + ".part", path);
         },
         true, false},
        {"its first byte changed", [&] { writeBytes(path, "Z" + song.substr(1)); }, false, true},
        {"its last byte changed", [&] { writeBytes(path, song.substr(0, song.size() - 1) + "Z"); }, false,
         true},
        {"a byte longer", [&] { writeBytes(path, song + "a"); }, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeBytes(path, song);
        const std::optional<FileFingerprint> before = FileFingerprint::of(path);
        ASSERT_TRUE(before);
        EXPECT_EQ(before->size, song.size());
        c.change();
        const std::optional<FileFingerprint> after = FileFingerprint::of(path);
        ASSERT_TRUE(after);
        EXPECT_EQ(after->sameBytes(*before), c.sameBytes);
        EXPECT_EQ(after->sameFile(*before), c.sameFile);
        EXPECT_EQ(before->namedBy(path), c.sameFile);
    }

    // Small and empty files are read whole; what is not a readable file has none.
    for (const std::string& bytes : {std::string(), std::string("ab")}) {
        writeBytes(path, bytes);
        ASSERT_TRUE(FileFingerprint::of(path));
        EXPECT_EQ(FileFingerprint::of(path)->size, bytes.size());
    }
    EXPECT_FALSE(FileFingerprint::of(folder.file("absent.bin")));
    EXPECT_FALSE(FileFingerprint::of(path)->namedBy(folder.file("absent.bin")));
    EXPECT_FALSE(FileFingerprint::of(folder.path));
}

// A FIFO or a device renamed over the playing file: the fingerprint is nothing, at once, instead of
// holding the main thread until someone writes to the FIFO.
TEST(FileFingerprint, NoneForAFifoOrADeviceAndNoWait) {
    fixtures::TempFolder folder;
    const std::string fifo = folder.file("song.wav");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", folder.file("zero.wav"));
    for (const std::string& path : {fifo, folder.file("zero.wav")}) {
        SCOPED_TRACE(path);
        auto call = testsupport::callGuardedAgainstFifo(fifo, [&] { return FileFingerprint::of(path); });
        EXPECT_FALSE(call.blocked);
        EXPECT_FALSE(call.result);
    }
}

} // namespace
