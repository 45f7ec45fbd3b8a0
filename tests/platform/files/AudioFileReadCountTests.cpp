// What the audio reader asks of the file system, and what it makes of the answers: the process's pread
// is taken, to count the reads of one call, or to answer them shortly or with an error, as a network
// file system or a failing disk may.

#include "AudioFileFixtures.h"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

using namespace platform;

namespace {

// Set by a test around the call whose reads it counts, on its own thread.
thread_local bool countReads = false;
thread_local std::uint64_t readsCounted = 0;
// Set by a test on its own thread: no read gives more than this many bytes, and one from this offset
// on fails with EIO.
thread_local std::size_t mostBytesPerRead = 0;
thread_local off_t failReadsFrom = -1;

} // namespace

// Every pread of the process comes here first.
extern "C" ssize_t pread(int fd, void* into, size_t count, off_t at) {
    if (countReads) ++readsCounted;
    if (failReadsFrom >= 0 && at >= failReadsFrom) {
        errno = EIO;
        return -1;
    }
    if (mostBytesPerRead > 0) count = std::min(count, mostBytesPerRead);
    return ssize_t(::syscall(SYS_pread64, fd, into, count, at));
}

namespace {

// The reads AudioFile::openForReading(path) makes, and whether it opened.
std::pair<std::uint64_t, bool> readsToOpen(const std::string& path) {
    readsCounted = 0;
    countReads = true;
    const bool opened = AudioFile::openForReading(path).ok();
    countReads = false;
    return {readsCounted, opened};
}

} // namespace

// A WAV whose wrapped size is looked for past its stated end is not read through at every 4 GiB of a
// sparse file of petabytes: opening it costs the same few reads as opening one of 5 GiB.
TEST(AudioFileReads, AWrappedWavOfAnyClaimedSizeOpensWithAFewReads) {
    fixtures::TempFolder dir;
    const std::uint64_t modest = (5ull << 30) / 4;
    const std::string small = testsupport::writeWrappedWav(dir.file("modest.wav"), modest, {{0, 1000}});
    ASSERT_FALSE(small.empty());
    if (!testsupport::isSparse(small)) GTEST_SKIP() << "the temporary folder keeps no sparse files";
    const auto [smallReads, smallOpened] = readsToOpen(small);
    ASSERT_TRUE(smallOpened);

    // As big as the folder's file system lets a file be: a petabyte, else almost 16 TiB (ext4).
    std::string huge;
    for (const std::uint64_t bytes : {1ull << 50, 15ull << 40}) {
        huge = testsupport::writeWrappedWav(dir.file("huge.wav"), bytes / 4, {{0, 1000}});
        if (!huge.empty()) break;
    }
    if (huge.empty()) GTEST_SKIP() << "the temporary folder keeps no file of 15 TiB";
    const auto [hugeReads, hugeOpened] = readsToOpen(huge);
    EXPECT_TRUE(hugeOpened);
    EXPECT_LE(hugeReads, smallReads + 8) << "a read at every 4 GiB of " << std::filesystem::file_size(huge);
}

// A read that gives fewer bytes than asked is no end of the file, and one that fails is no end either:
// the samples read on are those of a whole read, and a failure is said.
TEST(AudioFileReads, AShortReadReadsOnAndAFailedOneIsAnError) {
    fixtures::TempFolder dir;
    const std::string path = dir.file("take.wav");
    const fixtures::Channels tone = fixtures::tone(44100, 2, 44100.0);
    ASSERT_TRUE(fixtures::writeWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, tone, 44100));
    auto whole = AudioFile::openForReading(path);
    ASSERT_TRUE(whole.ok()) << whole.error().message;
    const fixtures::Channels expected = fixtures::readToEnd(**whole);
    ASSERT_EQ(expected[0].size(), 44100u);

    auto shortly = AudioFile::openForReading(path);
    ASSERT_TRUE(shortly.ok()) << shortly.error().message;
    mostBytesPerRead = 999;
    const fixtures::Channels readShortly = fixtures::readToEnd(**shortly);
    mostBytesPerRead = 0;
    EXPECT_EQ(readShortly, expected);

    auto failing = AudioFile::openForReading(path);
    ASSERT_TRUE(failing.ok()) << failing.error().message;
    auto buffer = PcmBuffer::make((*failing)->processingFormat(), 4096);
    failReadsFrom = 44 + 4 * 20000;
    std::uint64_t frames = 0;
    Result<void> read;
    while ((read = (*failing)->read(*buffer)) && buffer->frameLength() > 0)
        frames += buffer->frameLength();
    failReadsFrom = -1;
    EXPECT_FALSE(read.ok()) << "read to an end after " << frames << " frames";
    EXPECT_LT(frames, 44100u);
}

// A compressed file's length is what decodes: a read that fails while it is counted fails the open with
// the system's reason, not as damage (which a user would take for a file to throw away).
TEST(AudioFileReads, AReadThatFailsWhileAFileOpensIsSaidAsSuch) {
    fixtures::TempFolder dir;
    const fixtures::Channels tone = fixtures::tone(3 * 44100, 2, 44100.0);
    for (const auto& [name, format] : {std::pair{"take.mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
                                       std::pair{"take.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16}}) {
        SCOPED_TRACE(name);
        const std::string path = dir.file(name);
        ASSERT_TRUE(fixtures::writeWithSndfile(path, format, tone, 44100));
        // The first three quarters read; the rest fails.
        failReadsFrom = off_t(std::filesystem::file_size(path) / 4 * 3);
        auto opened = AudioFile::openForReading(path);
        failReadsFrom = -1;
        ASSERT_FALSE(opened.ok()) << "opened with " << (*opened)->length() << " frames";
        EXPECT_NE(opened.error().message.find(std::strerror(EIO)), std::string::npos)
            << opened.error().message;
    }
}
