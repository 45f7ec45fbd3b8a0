#include "AudioFileFixtures.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>

using namespace platform;

namespace {

// Ten hours of 44.1 kHz stereo: 6.35 GB of 16-bit samples, whose sizes wrap past 4 GiB.
constexpr std::uint64_t tenHours = 36000ull * 44100;

// The four marked frames the fixture writes at `mark`, as the file reads them.
void expectMarkAt(AudioFile& file, const testsupport::WavMark& mark) {
    SCOPED_TRACE("frame " + std::to_string(mark.frame));
    auto buffer = PcmBuffer::make(file.processingFormat(), 6);
    file.setFramePosition(std::int64_t(mark.frame));
    ASSERT_TRUE(file.read(*buffer).ok());
    const std::uint32_t frames = buffer->frameLength();
    ASSERT_GE(frames, 4u);
    for (std::uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(buffer->channel(0)[i], float(mark.value + int(i)) / 32768.0f);
        EXPECT_EQ(buffer->channel(1)[i], -float(mark.value + int(i)) / 32768.0f);
    }
    // Around the mark lies silence.
    for (std::uint32_t i = 4; i < frames; ++i)
        EXPECT_EQ(buffer->channel(0)[i], 0.0f);
}

} // namespace

TEST(AudioFileLarge, AWavOver4GiBWithWrappedSizesReadsToItsTrueEnd) {
    fixtures::TempFolder dir;
    const std::vector<testsupport::WavMark> marks = {
        {0, 1000},
        // Where the wrapped size says the data ends, and past it.
        {(tenHours * 4 & 0xffffffffu) / 4 - 2, 2000},
        {tenHours / 2, 3000},
        {tenHours - 4, 4000},
    };
    const std::string path =
        testsupport::writeWrappedWav(dir.file("ten hours.wav"), tenHours, marks, "Night");
    ASSERT_FALSE(path.empty());
    if (!testsupport::isSparse(path)) GTEST_SKIP() << "the temporary folder keeps no sparse files";

    auto opened = AudioFile::openForReading(path);
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    EXPECT_EQ((*opened)->length(), std::int64_t(tenHours));
    EXPECT_EQ((*opened)->fileFormat().fileType, AudioFileType::wave);
    EXPECT_EQ((*opened)->fileFormat().bitsPerChannel, 16u);
    // Forwards, backwards, and through a second reader of the same file.
    for (const auto& mark : marks)
        expectMarkAt(**opened, mark);
    expectMarkAt(**opened, marks[1]);
    auto again = (*opened)->openAgain();
    ASSERT_TRUE(again.ok()) << again.error().message;
    EXPECT_EQ((*again)->length(), std::int64_t(tenHours));
    expectMarkAt(**again, marks.back());
    // The end is the end.
    auto buffer = PcmBuffer::make((*opened)->processingFormat(), 16);
    (*opened)->setFramePosition(std::int64_t(tenHours) - 1);
    ASSERT_TRUE((*opened)->read(*buffer).ok());
    EXPECT_EQ(buffer->frameLength(), 1u);
    ASSERT_TRUE((*opened)->read(*buffer).ok());
    EXPECT_EQ(buffer->frameLength(), 0u);
}

TEST(AudioFileLarge, AWavWhoseHeaderIsRightIsReadAsItSaysHoweverBigTheFile) {
    fixtures::TempFolder dir;
    // One second of samples, then a chunk of junk that takes the file past 4 GiB.
    const std::string path = dir.file("padded.wav");
    const fixtures::Channels tone = fixtures::tone(44100, 2, 44100.0);
    ASSERT_TRUE(fixtures::writeWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, tone, 44100));
    const std::uint64_t junk = 0xffff0000u;
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << "JUNK";
        for (int i = 0; i < 4; ++i)
            out << char((junk >> (8 * i)) & 0xff);
    }
    std::error_code error;
    std::filesystem::resize_file(path, std::filesystem::file_size(path) + junk, error);
    ASSERT_FALSE(error) << error.message();
    if (!testsupport::isSparse(path)) GTEST_SKIP() << "the temporary folder keeps no sparse files";

    auto opened = AudioFile::openForReading(path);
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    EXPECT_EQ((*opened)->length(), 44100);
    EXPECT_EQ(fixtures::readToEnd(**opened)[0].size(), 44100u);
}

TEST(AudioFileLarge, AWavOfAWholeNumberOf4GiBOfSamplesEndsWhereTheyDo) {
    fixtures::TempFolder dir;
    // Its data size field wraps to 0, as a writer that never came back to fill it in leaves it.
    const std::string title = std::string("LIST\x10\0\0\0INFOINAM\x04\0\0\0Two\0", 24);
    const std::string id3 = std::string("id3 \x0a\0\0\0ID3\x04\0\0\0\0\0\0", 18);
    struct Case {
        std::uint64_t frames;
        std::string after;
    };
    const Case cases[] = {
        {1ull << 30, title}, // 4 GiB, then a chunk the size of 6 frames
        {1ull << 31, id3},   // 8 GiB: the chunk lies two wraps on
        {1ull << 30, {}},    // nothing after: the samples run to the end of the file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.frames) + " frames, " + std::to_string(c.after.size()) + " bytes after");
        const testsupport::WavMark last{c.frames - 4, 4000};
        const std::string path = testsupport::writeWrappedWav(dir.file("exact.wav"), c.frames,
                                                              {{0, 1000}, last}, "Take", c.after);
        ASSERT_FALSE(path.empty());
        if (!testsupport::isSparse(path)) GTEST_SKIP() << "the temporary folder keeps no sparse files";
        auto opened = AudioFile::openForReading(path);
        ASSERT_TRUE(opened.ok()) << opened.error().message;
        EXPECT_EQ((*opened)->length(), std::int64_t(c.frames));
        expectMarkAt(**opened, {0, 1000});
        // The last frames are the marked ones, and nothing of the chunk after them is heard.
        auto buffer = PcmBuffer::make((*opened)->processingFormat(), 16);
        (*opened)->setFramePosition(std::int64_t(last.frame));
        ASSERT_TRUE((*opened)->read(*buffer).ok());
        ASSERT_EQ(buffer->frameLength(), 4u);
        EXPECT_EQ(buffer->channel(0)[3], float(last.value + 3) / 32768.0f);
        auto again = (*opened)->openAgain();
        ASSERT_TRUE(again.ok()) << again.error().message;
        EXPECT_EQ((*again)->length(), std::int64_t(c.frames));
    }
}
