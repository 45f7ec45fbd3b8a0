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
