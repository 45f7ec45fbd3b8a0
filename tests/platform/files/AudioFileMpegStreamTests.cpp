// The MPEG stream reader on joined MP3s that are not one clean stream: takes at other rates, damage,
// headers that state nothing, failed reads, places past a short estimate and counts left running at exit.
// A ctest runs these under valgrind as well.

#include "AudioFileFixtures.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/files/MpegStreamReader.h"
#include "tests/support/OpenDescriptors.h"
#include "tests/support/Spectrum.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace platform;

namespace {

constexpr std::int64_t streamMpegFrame = 1152;

// Takes of `seconds` each at `rates`, mono, joined end to end.
std::string streamJoinedAtRates(const fixtures::TempFolder& dir, const std::string& name,
                                const std::vector<int>& rates, double seconds = 1.0) {
    std::vector<fixtures::Channels> parts;
    for (std::size_t i = 0; i < rates.size(); ++i)
        parts.push_back(
            fixtures::tone(std::int64_t(seconds * rates[i]), 1, rates[i], 0.1f + 0.1f * float(i)));
    return testsupport::writeJoinedMp3(dir.file(name), parts, rates);
}

std::unique_ptr<AudioFile> streamOpenOrFail(const std::string& path) {
    auto opened = AudioFile::openForReading(path);
    EXPECT_TRUE(opened.ok()) << opened.error().message;
    return opened ? std::move(opened.value()) : nullptr;
}

// Frames read from the file's position to its end; every read must succeed.
std::int64_t streamFramesToEnd(AudioFile& file) {
    auto buffer = PcmBuffer::make(file.processingFormat(), 4096);
    std::int64_t frames = 0;
    for (;;) {
        auto read = file.read(*buffer);
        EXPECT_TRUE(read.ok()) << "at frame " << file.framePosition() << ": " << read.error().message;
        if (!read || buffer->frameLength() == 0) return frames;
        frames += buffer->frameLength();
    }
}

std::int64_t streamCounted(const std::string& path) {
    auto file = streamOpenOrFail(path);
    if (!file) return -1;
    auto measured = file->measureLength();
    EXPECT_TRUE(measured.ok()) << measured.error().message;
    return file->length();
}

// The first Xing or Info tag of `bytes`, or npos.
std::size_t streamInfoTag(const std::string& bytes) {
    return std::min(bytes.find("Xing"), bytes.find("Info"));
}

void streamPutBigEndian32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + std::size_t(i)] = char((value >> (24 - 8 * i)) & 0xff);
}

} // namespace

TEST(MpegStreamRead, WhatIsCountedIsWhatIsReadFromEveryPlace) {
    fixtures::TempFolder dir;
    const std::string damaged = streamJoinedAtRates(dir, "damaged.mp3", {44100, 44100}, 2.0);
    ASSERT_FALSE(damaged.empty());
    {
        // Stray bytes in the middle of the second take, where a frame was: the decoder finds the next.
        std::string bytes = testsupport::readBytes(damaged);
        bytes.insert(bytes.size() * 3 / 4, std::string(3000, '\x55'));
        ASSERT_TRUE(testsupport::writeBytes(damaged, bytes));
    }
    // Every take is read at the first take's rate, its tone at its own pitch.
    const struct {
        std::string path;
        int rate;       // the first take's
        double seconds; // of all the takes
        std::int64_t takes;
        std::int64_t lost;  // frames the damage took
        std::int64_t extra; // the encoders' delay and padding, at the first take's rate
    } cases[] = {
        {streamJoinedAtRates(dir, "16-44.mp3", {16000, 44100}), 16000, 2, 2, 0, 8 * streamMpegFrame},
        {streamJoinedAtRates(dir, "22-44-22.mp3", {22050, 44100, 22050}), 22050, 3, 3, 0,
         12 * streamMpegFrame},
        {streamJoinedAtRates(dir, "44-44-22-44.mp3", {44100, 44100, 22050, 44100}), 44100, 4, 4, 0,
         16 * streamMpegFrame},
        // Frames of 576 samples at 8 kHz make six times as many at 48 kHz.
        {streamJoinedAtRates(dir, "48-32-8.mp3", {48000, 32000, 8000}), 48000, 3, 3, 0,
         4 * 576 * 6 + 8 * streamMpegFrame},
        {damaged, 44100, 4, 2, 3 * streamMpegFrame, 8 * streamMpegFrame},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ASSERT_FALSE(c.path.empty());
        // Each reading from a copy of its own, which no count has seen.
        int copies = 0;
        auto uncounted = [&] {
            const std::string copy = c.path + "." + std::to_string(copies++);
            EXPECT_TRUE(testsupport::writeBytes(copy, testsupport::readBytes(c.path)));
            auto file = streamOpenOrFail(copy);
            EXPECT_TRUE(file && !file->isLengthExact());
            return file;
        };
        auto whole = uncounted();
        ASSERT_TRUE(whole);
        EXPECT_EQ(whole->processingFormat().sampleRate(), c.rate);
        const std::int64_t estimate = whole->length();
        const fixtures::Channels all = fixtures::readToEnd(*whole);
        const auto read = std::int64_t(all[0].size());
        auto counter = streamOpenOrFail(c.path);
        ASSERT_TRUE(counter && counter->measureLength().ok());
        const std::int64_t count = counter->length();
        EXPECT_EQ(read, count);
        const auto frames = std::int64_t(c.seconds * c.rate);
        EXPECT_GE(count, frames - c.lost);
        EXPECT_LE(count, frames + c.extra);
        const double take = c.seconds / double(c.takes) * c.rate;
        for (std::int64_t t = 0; t < c.takes; ++t)
            EXPECT_NEAR(
                testsupport::spectralPeakFrequency(all[0], std::size_t((double(t) + 0.2) * take), c.rate),
                440.0, 3.0)
                << "take " << t;
        // From places the player restores, before the count: in takes converted and not.
        for (const std::int64_t at : {estimate / 4, estimate / 2, estimate * 3 / 4, std::int64_t(take * 1.5),
                                      count - 100, count + 1000}) {
            SCOPED_TRACE("from " + std::to_string(at));
            auto file = uncounted();
            ASSERT_TRUE(file);
            file->setFramePosition(at);
            const fixtures::Channels rest = fixtures::readToEnd(*file);
            ASSERT_EQ(std::int64_t(rest[0].size()), std::max<std::int64_t>(0, count - at));
            // The frames a continuous read has there; a seek's run-up may leave the last bits apart.
            for (std::size_t i = 0; i < std::min<std::size_t>(rest[0].size(), 2000); i += 7)
                ASSERT_NEAR(rest[0][i], all[0][std::size_t(at) + i], 1e-5)
                    << "frame " << at + std::int64_t(i);
            // Once at its end, a file stays there.
            auto buffer = PcmBuffer::make(file->processingFormat(), 512);
            ASSERT_TRUE(file->read(*buffer).ok());
            EXPECT_EQ(buffer->frameLength(), 0u);
        }
    }
}

TEST(MpegStreamRead, ACraftedStreamIsReadWithoutHarmAsFarAsItsCount) {
    // Takes at 16 and 44.1 kHz, damaged (see data/README.md); its Xing header states 11 frames and 936
    // bytes. The reader is driven directly: as a whole, the file is not taken for a joined one.
    const std::string path = std::string(VANTLE_FILES_TEST_DATA) + "/mp3-rate-change-seek.mp3";
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(descriptor, 0);
    const MpegInfoHeader header{936, 11, 5681 - 51};
    auto openReader = [&] {
        AudioFileBackend::Info info;
        auto reader = openMpegStreamReader(descriptor, path, header, info);
        EXPECT_TRUE(reader.ok()) << reader.error().message;
        return reader ? std::move(reader.value()) : nullptr;
    };
    std::vector<float> samples(4096);
    float* channels[] = {samples.data()};
    // The frames read from `at` on, reading on past failures as AudioFile does: from where it stands.
    auto framesFrom = [&](AudioFileBackend& reader, std::int64_t at, int& failures) {
        std::int64_t frames = 0;
        if (!reader.seek(at)) ++failures;
        for (int i = 0; i < 64 && failures < 4; ++i) {
            auto got = reader.read(ChannelPointers{channels, 1}, 4096);
            if (!got) {
                ++failures;
                (void)reader.seek(at + frames);
                continue;
            }
            if (*got == 0) break;
            frames += *got;
        }
        return frames;
    };
    auto counter = openReader();
    ASSERT_TRUE(counter);
    auto count = counter->measureLength();
    ASSERT_TRUE(count.ok()) << count.error().message;
    // 12,800: where the decoder once wrote past its buffer after the first failure.
    for (const std::int64_t at :
         {std::int64_t(0), std::int64_t(12800), *count / 4, *count / 2, *count * 3 / 4, *count + 1000}) {
        SCOPED_TRACE("from " + std::to_string(at));
        auto reader = openReader();
        ASSERT_TRUE(reader);
        int failures = 0;
        EXPECT_EQ(framesFrom(*reader, at, failures), std::max<std::int64_t>(0, *count - at));
        EXPECT_EQ(failures, 0);
    }
    ::close(descriptor);
}

TEST(MpegStreamRead, HeadersThatStateNothingOrTooLittleAreReadToTheEnd) {
    fixtures::TempFolder dir;
    constexpr int rate = 44100;
    // A Xing header stating no frames and no bytes over four takes.
    const std::string xing = streamJoinedAtRates(dir, "xing-zero.mp3", {rate, rate, rate, rate});
    ASSERT_FALSE(xing.empty());
    {
        std::string bytes = testsupport::readBytes(xing);
        const std::size_t tag = streamInfoTag(bytes);
        ASSERT_NE(tag, std::string::npos);
        streamPutBigEndian32(bytes, tag + 8, 0);
        streamPutBigEndian32(bytes, tag + 12, 0);
        ASSERT_TRUE(testsupport::writeBytes(xing, bytes));
    }
    // A VBRI header in place of the first take's Info header, stating that take's bytes and 100 frames (far
    // fewer than those bytes hold), over three.
    const std::string vbri = streamJoinedAtRates(dir, "vbri.mp3", {rate, rate, rate});
    ASSERT_FALSE(vbri.empty());
    {
        std::string bytes = testsupport::readBytes(vbri);
        const std::size_t tag = streamInfoTag(bytes);
        ASSERT_NE(tag, std::string::npos);
        const std::size_t frame = bytes.rfind('\xff', tag);
        ASSERT_NE(frame, std::string::npos);
        const std::string stated = bytes.substr(tag + 12, 4);
        std::fill(bytes.begin() + std::ptrdiff_t(frame + 4), bytes.begin() + std::ptrdiff_t(tag + 16), '\0');
        bytes.replace(frame + 36, 4, "VBRI");
        bytes[frame + 41] = 1;
        bytes.replace(frame + 46, 4, stated);
        streamPutBigEndian32(bytes, frame + 50, 100);
        ASSERT_TRUE(testsupport::writeBytes(vbri, bytes));
    }
    const struct {
        std::string path;
        std::int64_t takes;
    } cases[] = {{xing, 4}, {vbri, 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto file = streamOpenOrFail(c.path);
        ASSERT_TRUE(file);
        EXPECT_FALSE(file->isLengthExact());
        const std::int64_t whole = c.takes * rate;
        EXPECT_NEAR(double(file->length()), double(whole), 0.1 * double(whole)) << "from the size";
        const std::int64_t frames = streamFramesToEnd(*file);
        EXPECT_GE(frames, whole);
        EXPECT_LE(frames, whole + 3 * c.takes * streamMpegFrame);
        EXPECT_EQ(streamCounted(c.path), frames);
    }
}

TEST(MpegStreamRead, APlacePastAShortEstimateIsKeptUntilTheCountSaysWhereTheEndIs) {
    fixtures::TempFolder dir;
    constexpr int rate = 44100;
    const std::string path = streamJoinedAtRates(dir, "short.mp3", {rate, rate, rate, rate});
    ASSERT_FALSE(path.empty());
    {
        // A header whose frames are little more than half its bytes' worth, as when the first take is
        // quieter than the rest: an estimate of little more than half the file.
        std::string bytes = testsupport::readBytes(path);
        const std::size_t tag = streamInfoTag(bytes);
        ASSERT_NE(tag, std::string::npos);
        const auto frames = std::uint32_t(std::uint8_t(bytes[tag + 8])) << 24 |
                            std::uint32_t(std::uint8_t(bytes[tag + 9])) << 16 |
                            std::uint32_t(std::uint8_t(bytes[tag + 10])) << 8 | std::uint8_t(bytes[tag + 11]);
        streamPutBigEndian32(bytes, tag + 8, frames * 5 / 9);
        ASSERT_TRUE(testsupport::writeBytes(path, bytes));
    }
    auto file = streamOpenOrFail(path);
    ASSERT_TRUE(file);
    const std::int64_t estimate = file->length();
    const std::int64_t length = streamCounted(path);
    ASSERT_LT(estimate, length * 2 / 3);

    // Inside the stream: played from there, as the counted file is.
    auto reference = streamOpenOrFail(path);
    ASSERT_TRUE(reference);
    const std::int64_t inside = (estimate + length) / 2;
    reference->setFramePosition(inside);
    file->setFramePosition(inside);
    EXPECT_EQ(file->framePosition(), inside);
    auto expected = PcmBuffer::make(file->processingFormat(), 1000);
    auto got = PcmBuffer::make(file->processingFormat(), 1000);
    ASSERT_TRUE(reference->read(*expected).ok() && file->read(*got).ok());
    ASSERT_EQ(got->frameLength(), 1000u);
    // The same frames: a seek's run-up may leave the last bits of a sample apart.
    for (std::uint32_t i = 0; i < 1000; ++i)
        ASSERT_NEAR(got->channel(0)[i], expected->channel(0)[i], 1e-4) << "frame " << inside + i;

    // Past the stream: the place stays asked for and nothing is read, until the count ends it.
    const std::int64_t beyond = length + 5 * rate;
    file->setFramePosition(beyond);
    EXPECT_EQ(file->framePosition(), beyond);
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(file->read(*got).ok());
        EXPECT_EQ(got->frameLength(), 0u);
        EXPECT_FALSE(file->isLengthExact());
        EXPECT_EQ(file->framePosition(), beyond);
    }
    ASSERT_TRUE(file->measureLength().ok());
    EXPECT_EQ(file->length(), length);
    EXPECT_EQ(file->framePosition(), length);
}

TEST(MpegStreamRead, AFailedReadInAStreamNotCountedIsReportedAndEndsNothing) {
    fixtures::TempFolder dir;
    const std::string path = streamJoinedAtRates(dir, "joined.mp3", {44100, 44100}, 2.0);
    ASSERT_FALSE(path.empty());
    const std::string other = dir.file("other");
    ASSERT_TRUE(testsupport::writeBytes(other, "x"));
    auto file = streamOpenOrFail(path);
    ASSERT_TRUE(file);
    const std::int64_t length = streamCounted(path);
    const int descriptor = testsupport::descriptorOn(*testsupport::fileIdentity(path));
    ASSERT_GE(descriptor, 0);
    auto buffer = PcmBuffer::make(file->processingFormat(), 4096);
    ASSERT_TRUE(file->read(*buffer).ok());
    std::int64_t frames = buffer->frameLength();
    // The reader's descriptor made to fail (a descriptor open for writing only), then put back.
    const int saved = ::dup(descriptor);
    const int failing = ::open(other.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(saved, 0);
    ASSERT_GE(failing, 0);
    ASSERT_EQ(::dup2(failing, descriptor), descriptor);
    bool failed = false;
    for (int i = 0; i < 20 && !failed; ++i) {
        auto read = file->read(*buffer);
        failed = !read;
        frames += buffer->frameLength();
    }
    ASSERT_EQ(::dup2(saved, descriptor), descriptor);
    ::close(saved);
    ::close(failing);
    EXPECT_TRUE(failed) << "a failed read is reported";
    EXPECT_FALSE(file->isLengthExact());
    EXPECT_EQ(file->framePosition(), frames);
    frames += streamFramesToEnd(*file);
    EXPECT_EQ(frames, length);
    EXPECT_TRUE(file->isLengthExact());
    EXPECT_EQ(file->length(), length);
}

namespace {

// A joined MP3 of a few megabytes, which takes a while to count (a long while under a memory checker).
std::string streamLongJoinedMp3(const fixtures::TempFolder& dir) {
    const std::string path = streamJoinedAtRates(dir, "long.mp3", {44100, 44100});
    if (path.empty()) return {};
    const std::string take = testsupport::readBytes(path);
    std::string bytes;
    for (int i = 0; i < 100; ++i)
        bytes += take;
    return testsupport::writeBytes(path, bytes) ? path : std::string();
}

} // namespace

TEST(MpegStreamRead, OnlyAFarPlaceBeforeTheCountIsAWalk) {
    fixtures::TempFolder dir;
    const std::string path = streamLongJoinedMp3(dir);
    ASSERT_FALSE(path.empty());
    auto file = streamOpenOrFail(path);
    ASSERT_TRUE(file);
    const std::int64_t far = file->length() * 3 / 4, near = 10 * 44100;
    ASSERT_GT(far, 120 * 44100);
    auto buffer = PcmBuffer::make(file->processingFormat(), 256);
    EXPECT_FALSE(file->nextReadWalks()) << "from the start";
    file->setFramePosition(near);
    EXPECT_FALSE(file->nextReadWalks()) << "a few seconds in";
    file->setFramePosition(far);
    EXPECT_TRUE(file->nextReadWalks());
    ASSERT_TRUE(file->read(*buffer).ok());
    EXPECT_FALSE(file->nextReadWalks()) << "where it stands";
    file->setFramePosition(near);
    EXPECT_FALSE(file->nextReadWalks()) << "back within the way walked";
    auto counted = file->openAgain();
    ASSERT_TRUE(counted.ok() && (*counted)->measureLength().ok());
    auto again = streamOpenOrFail(path);
    ASSERT_TRUE(again);
    again->setFramePosition(far);
    EXPECT_FALSE(again->nextReadWalks()) << "counted, the index leads there";
}

TEST(MpegStreamCount, ACountLeftRunningAtExitTouchesNothingFreed) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    fixtures::TempFolder dir;
    const std::string path = streamLongJoinedMp3(dir);
    const std::string counted = streamJoinedAtRates(dir, "counted.mp3", {44100, 44100});
    ASSERT_FALSE(path.empty() || counted.empty());
    // As in the program: the background queue has run work before the first MP3 is read, and another
    // file was counted before.
    EXPECT_EXIT(
        {
            globalQueue().async([] {});
            if (auto other = AudioFile::openForReading(counted); !other || !(*other)->measureLength())
                std::_Exit(2);
            auto opened = AudioFile::openForReading(path);
            if (!opened || (*opened)->isLengthExact()) std::_Exit(2);
            std::shared_ptr<AudioFile> file = std::move(opened.value());
            globalQueue().async([file] { (void)file->measureLength(); });
            std::exit(0);
        },
        testing::ExitedWithCode(0), "");
}

TEST(MpegStreamCount, AStoppedCountFails) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    fixtures::TempFolder dir;
    const std::string path = streamLongJoinedMp3(dir);
    ASSERT_FALSE(path.empty());
    // In a process of its own: the stop is for good.
    EXPECT_EXIT(
        {
            auto opened = AudioFile::openForReading(path);
            if (!opened) std::_Exit(2);
            AudioFile::stopLengthCounts();
            auto measured = (*opened)->measureLength();
            std::_Exit(!measured && !(*opened)->isLengthExact() ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
