// The audio-file helpers: whole files as buffers, buffers as files, extracted ranges, and ranges
// converted through the format converter.

#include "ConverterTestRig.h"

#include "platform/foundation/Files.h"

#include "tests/support/ToolkitLogCapture.h"

using namespace convertertest;
using rozezeru::AudioFileFormat;

namespace {

std::unique_ptr<platform::AudioFile> open(const std::string& path) {
    auto file = platform::AudioFile::openForReading(path);
    return file ? std::move(file.value()) : nullptr;
}

// Frame i holds i / 2^20 on every channel, as 32-bit float: every frame is told apart exactly.
std::string writeRamp(const std::string& path, std::size_t frames) {
    EXPECT_TRUE(testsupport::writeRampFile(path, frames, 0.0f, 1.0f / 1048576.0f, 44100, 2));
    return path;
}

// Extracts 0.5 s to 1 s, converted; `inHandler` runs in the completion handler.
std::optional<platform::Error> extractAndWait(platform::AudioFile& file, const std::string& destination,
                                              std::optional<Options> options,
                                              std::function<void()> inHandler = {}) {
    return reportOf([&](auto handler) {
        rozezeru::extract(file, url(destination), 0.5, 1.0, 0.0, 0.0, options, [=](const auto& error) {
            if (inHandler) inHandler();
            handler(error);
        });
    });
}

} // namespace

TEST(AudioFileUtilities, WholeFilesAndBuffers) {
    testsupport::TemporaryFolder folder;
    auto file = open(writeRamp(folder.file("ramp.wav"), 88200));
    EXPECT_EQ(rozezeru::toFloatChannelData(*file).value()[1][88199], 88199.0f / 1048576.0f);
    // The loudest block is the last whole one.
    EXPECT_EQ(rozezeru::peak(*file)->framePosition, 172 * 512);

    // A buffer written over an existing file replaces it only once complete.
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("copy.wav"), std::string("previous")));
    auto buffer = rozezeru::toAVAudioPCMBuffer(*file);
    auto written = rozezeru::writeAudioFile(folder.file("copy.wav"), *buffer);
    ASSERT_TRUE(written.ok());
    EXPECT_EQ(readAll(folder.file("copy.wav")), readAll(folder.file("ramp.wav")));
    EXPECT_EQ(entries(folder.path), (std::set<std::string>{"ramp.wav", "copy.wav"}));

    testsupport::ToolkitLogCapture capture;
    auto huge = open(testsupport::writeSparseCaf(folder.file("huge.caf"), (std::uint64_t(1) << 32) + 10));
    EXPECT_EQ(rozezeru::toAVAudioPCMBuffer(*huge), nullptr);
    EXPECT_EQ(capture.contents("AudioFileUtilities.cpp", "toAVAudioPCMBuffer()").size(), 1u);
}

TEST(AudioFileUtilities, ExtractWritesTheRangeAsCaf) {
    testsupport::TemporaryFolder folder;
    auto file = open(writeRamp(folder.file("ramp.wav"), 88200));
    const auto whole = readAll(folder.file("ramp.wav"));
    for (const auto& [destination, made] :
         {std::pair("clip.wav", "clip.caf"), std::pair("clip2.CAF", "clip2.CAF")}) {
        auto clip = rozezeru::extract(*file, url(folder.file(destination)), 0.5, 1.0, 0.0, 0.0);
        ASSERT_NE(clip, nullptr);
        const auto samples = readAll(folder.file(made));
        ASSERT_EQ(samples.size(), 2u);
        EXPECT_EQ(samples[0], std::vector<float>(whole[0].begin() + 22050, whole[0].begin() + 44100));
    }
    // A fade-in starts near silence; the unfaded end is untouched.
    ASSERT_NE(rozezeru::extract(*file, url(folder.file("faded.caf")), 0.5, 1.0, 0.1, 0.0), nullptr);
    const auto faded = readAll(folder.file("faded.caf"));
    EXPECT_LT(faded[0][0], whole[0][22050] / 50.0f);
    EXPECT_EQ(faded[0][22049], whole[0][44099]);
}

TEST(AudioFileUtilities, ConvertingExtractNamesTheResultAfterTheTarget) {
    testsupport::TemporaryFolder folder;
    auto mp3 = open(writeTone(folder.file("song.mp3"), SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 88200));
    // A file of the user's with the old temporary name stays.
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("clip_temp.caf"), std::string("mine")));
    std::set<std::string> duringHandler;
    EXPECT_EQ(messageOf(extractAndWait(*mp3, folder.file("clip.wav"), std::nullopt,
                                       [&] { duringHandler = entries(folder.path); })),
              "");
    EXPECT_EQ(readAll(folder.file("clip.wav"))[0].size(), 22050u);
    // The handler runs with the result in place, before the temporary range file's folder is removed.
    EXPECT_EQ(duringHandler.size(), 4u);
    EXPECT_TRUE(duringHandler.count("clip.wav"));
    EXPECT_EQ(entries(folder.path), (std::set<std::string>{"song.mp3", "clip_temp.caf", "clip.wav"}));

    Options toCaf(AudioFileFormat::caf, std::nullopt, std::nullopt, std::nullopt);
    EXPECT_EQ(messageOf(extractAndWait(*mp3, folder.file("other.WAV"), toCaf)), "");
    EXPECT_EQ(formatOf(folder.file("other.caf")).fileType, platform::AudioFileType::caf);
    EXPECT_EQ(messageOf(extractAndWait(*mp3, folder.file("clip.mp3"), std::nullopt)),
              "The output file format isn't able to be produced by this class.");
    EXPECT_FALSE(platform::fileExists(folder.file("clip.mp3")));
    EXPECT_EQ(rozezeru::assetAudioFormat(url(folder.file("clip.wav")))->bitsPerChannel, 16u);
}
