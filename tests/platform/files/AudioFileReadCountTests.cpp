// What the audio reader asks of the file system: the reads of one open are counted by taking the
// process's pread, which forwards to the kernel unchanged.

#include "AudioFileFixtures.h"

#include <gtest/gtest.h>

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>

using namespace platform;

namespace {

// Set by a test around the call whose reads it counts, on its own thread.
thread_local bool countReads = false;
thread_local std::uint64_t readsCounted = 0;

} // namespace

// Every pread of the process comes here first.
extern "C" ssize_t pread(int fd, void* into, size_t count, off_t at) {
    if (countReads) ++readsCounted;
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
