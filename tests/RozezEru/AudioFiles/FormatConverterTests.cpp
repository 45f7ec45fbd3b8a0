// FormatConverter: options, routes, round trips of samples and lengths, and failures that leave no
// partial output behind.

#include "ConverterTestRig.h"

#include "platform/files/AssetReader.h"
#include "platform/foundation/Files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/mount.h>

using namespace convertertest;
using rozezeru::AudioFileFormat;
using rozezeru::FormatConverter;

namespace {

// Rate, length in frames and bit rate of the file's audio, as FFmpeg's own tool reads them.
std::tuple<long, long, long> probe(const std::string& path) {
    long rate = -1, frames = -1, bitRate = -1;
    const std::string command = "ffprobe -v error -select_streams a:0 -show_entries "
                                "stream=sample_rate,duration_ts,bit_rate -of csv=p=0 '" +
                                path + "'";
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        if (std::fscanf(pipe, "%ld,%ld,%ld", &rate, &frames, &bitRate) != 3) rate = -1;
        ::pclose(pipe);
    }
    return {rate, frames, bitRate};
}

} // namespace

TEST(FormatConverter, OptionsAndClassification) {
    Options options;
    EXPECT_EQ(options.bitRate(), 128000u);
    for (auto [given, stored] : {std::pair(500000u, 320000u), {0u, 64000u}, {96000u, 96000u}}) {
        options.setBitRate(given);
        EXPECT_EQ(options.bitRate(), stored);
    }
    testsupport::TemporaryFolder folder;
    const auto upper = writeTone(folder.file("song.WAV"), SF_FORMAT_WAV | SF_FORMAT_PCM_24, 100, 1);
    const auto fromFile = Options::fromURL(url(upper));
    ASSERT_TRUE(fromFile);
    EXPECT_EQ(std::tuple(*fromFile->format, *fromFile->sampleRate, *fromFile->bitDepth, *fromFile->channels),
              std::tuple(AudioFileFormat::unknown, 44100.0, 24u, 1u));

    const auto bare = writeTone(folder.file("pcm"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 100);
    const auto lossless = writeTone(folder.file("lossless.data"), SF_FORMAT_CAF | SF_FORMAT_ALAC_16, 4096);
    const auto mp3 = writeTone(folder.file("tone.bin"), SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 4096);
    using Case = std::tuple<std::string, bool, std::optional<bool>>;
    for (const auto& [path, ignoring, expected] :
         {Case{folder.file("x.flac"), false, true}, Case{folder.file("x.bwf"), false, false},
          Case{bare, false, false}, Case{lossless, false, false}, Case{mp3, false, true},
          Case{folder.file("missing.xyz"), false, false},
          Case{folder.file("missing.xyz"), true, std::nullopt}})
        EXPECT_EQ(FormatConverter::isCompressed(url(path), ignoring), expected) << path;
}

TEST(FormatConverter, PcmRoundTripKeepsTheSamples) {
    testsupport::TemporaryFolder folder;
    const auto source = writeTone(folder.file("a.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 20000);
    Options to24(AudioFileFormat::aif, std::nullopt, 24, std::nullopt);
    to24.bitDepthRule = FormatConverter::BitDepthRule::any;
    Options toFloat;
    toFloat.isFloat = true;
    toFloat.bitDepth = 32;
    toFloat.bitDepthRule = FormatConverter::BitDepthRule::any;
    Options to16(std::nullopt, std::nullopt, 16, std::nullopt);
    using Step = std::tuple<std::string, std::string, Options, std::uint32_t, bool, bool>;
    for (const auto& [from, to, options, bits, isFloat, bigEndian] :
         {Step{source, folder.file("b.aif"), to24, 24, false, true},
          Step{folder.file("b.aif"), folder.file("c.caf"), toFloat, 32, true, false},
          Step{folder.file("c.caf"), folder.file("d.wav"), to16, 16, false, false}}) {
        EXPECT_EQ(messageOf(convert(from, to, options)), "") << to;
        const auto format = formatOf(to);
        EXPECT_EQ(std::tuple(format.bitsPerChannel, format.isFloat, format.isBigEndian),
                  std::tuple(bits, isFloat, bigEndian))
            << to;
    }
    // 16 → 24 → float → 16 bits loses nothing: the samples come back exactly.
    EXPECT_EQ(readAll(folder.file("d.wav")), readAll(source));

    // Under the default rule a 16-bit input stays 16-bit; the same format again is a byte copy.
    EXPECT_EQ(messageOf(convert(source, folder.file("f.wav"))), "");
    EXPECT_EQ(textOf(folder.file("f.wav")), textOf(source));
    to24.bitDepthRule = FormatConverter::BitDepthRule::lessThanOrEqual;
    EXPECT_EQ(messageOf(convert(source, folder.file("g.aif"), to24)), "");
    EXPECT_EQ(formatOf(folder.file("g.aif")).bitsPerChannel, 16u);
}

TEST(FormatConverter, PcmOutputIsSignedIntegerUnlessFloatIsAskedFor) {
    testsupport::TemporaryFolder folder;
    const auto single = writeTone(folder.file("single.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 4000);
    const auto twice = writeTone(folder.file("double.caf"), SF_FORMAT_CAF | SF_FORMAT_DOUBLE, 4000);
    Options asFloat;
    asFloat.isFloat = true;
    using Case = std::tuple<std::string, std::string, Options, std::uint32_t, bool, bool>;
    for (const auto& [from, to, options, bits, isFloat, bigEndian] :
         {Case{single, "a.aif", {}, 32, false, true}, Case{single, "a.wav", {}, 32, false, false},
          Case{single, "a.caf", {}, 32, false, false}, Case{twice, "b.wav", {}, 32, false, false},
          Case{single, "c.caf", asFloat, 32, true, false}, Case{twice, "d.wav", asFloat, 64, true, false}}) {
        EXPECT_EQ(messageOf(convert(from, folder.file(to), options)), "") << to;
        const auto format = formatOf(folder.file(to));
        EXPECT_EQ(std::tuple(format.bitsPerChannel, format.isFloat, format.isBigEndian),
                  std::tuple(bits, isFloat, bigEndian))
            << to;
        // 32-bit integers and float keep a tone at this level to within float rounding.
        const auto got = readAll(folder.file(to)), sent = readAll(from);
        ASSERT_EQ(got.size(), 2u) << to;
        ASSERT_EQ(got[1].size(), sent[1].size()) << to;
        for (std::size_t i = 0; i < got[1].size(); i += 97)
            ASSERT_NEAR(got[1][i], sent[1][i], 1e-6) << to << " frame " << i;
    }
}

TEST(FormatConverter, ARateChangeKeepsTimeAndPitch) {
    testsupport::TemporaryFolder folder;
    const auto source = writeTone(folder.file("tone.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100);
    Options options(std::nullopt, 48000.0, std::nullopt, 1);
    EXPECT_EQ(messageOf(convert(source, folder.file("up.caf"), options)), "");
    const auto up = readAll(folder.file("up.caf"));
    ASSERT_EQ(up.size(), 1u);
    EXPECT_EQ(up[0].size(), 48000u);
    EXPECT_NEAR(testsupport::zeroCrossingFrequency(up[0], 4800, 48000.0), 1000.0, 0.5);
}

TEST(FormatConverter, CompressedFilesKeepTheirLength) {
    testsupport::TemporaryFolder folder;
    const auto mp3 = writeTone(folder.file("song.mp3"), SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100);
    const auto m4a = writeM4a(folder.file("song.m4a"), 44100);
    EXPECT_EQ(messageOf(convert(mp3, folder.file("mp3.wav"))), "");
    EXPECT_EQ(messageOf(convert(m4a, folder.file("m4a.wav"))), "");
    // MP3: what the reader decodes, within one frame of encoder padding of what went in.
    const auto fromMp3 = readAll(folder.file("mp3.wav"));
    ASSERT_FALSE(fromMp3.empty());
    EXPECT_EQ(fromMp3[0].size(), readAll(mp3)[0].size());
    EXPECT_NEAR(double(fromMp3[0].size()), 44100.0, 1152.0);
    // M4A: exactly, through the stream's stated duration; no bit depth in the input gives 16 bits.
    EXPECT_EQ(readAll(folder.file("m4a.wav"))[0].size(), 44100u);
    EXPECT_EQ(formatOf(folder.file("m4a.wav")).bitsPerChannel, 16u);
}

TEST(FormatConverter, AacOutputHasTheRateBitRateAndLengthAsked) {
    testsupport::TemporaryFolder folder;
    const auto stereo = writeTone(folder.file("stereo.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 441000);
    const auto mono = writeTone(folder.file("mono.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 441000, 1);
    const auto high =
        writeTone(folder.file("high.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 960000, 2, 96000);
    using Case = std::tuple<std::string, std::string, long, long, long>;
    for (const auto& [input, name, expectedRate, expectedFrames, kbps] :
         {Case{stereo, "stereo.m4a", 44100, 441000, 128}, Case{mono, "mono.m4a", 44100, 441000, 64},
          Case{high, "high.m4a", 48000, 480000, 128}}) {
        const auto output = folder.file(name);
        EXPECT_EQ(messageOf(convert(input, output)), "") << name;
        EXPECT_EQ(readAll(output)[0].size(), std::size_t(expectedFrames)) << name;
        const auto [rate, frames, bitRate] = probe(output);
        EXPECT_EQ(std::pair(rate, frames), std::pair(expectedRate, expectedFrames)) << name;
        EXPECT_NEAR(double(bitRate) / 1000.0, double(kbps), 0.25 * double(kbps)) << name;
    }
    // A 96 kHz compressed input keeps its rate in PCM.
    EXPECT_EQ(messageOf(convert(high, folder.file("high.wav"))), "");
    EXPECT_EQ(formatOf(folder.file("high.wav")).sampleRate, 96000.0);
}

TEST(FormatConverter, CompressedToCompressedGoesThroughAPrivateTemporary) {
    testsupport::TemporaryFolder folder;
    const auto mp3 = writeTone(folder.file("song.mp3"), SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100);
    // A file of the user's with the intermediate's old name is no business of the converter's.
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("song_TEMP.wav"), std::string("mine")));
    auto converter = std::make_shared<FormatConverter>(url(mp3), url(folder.file("song.m4a")));
    EXPECT_EQ(messageOf(runToReport(converter)), "");
    EXPECT_EQ(converter->inputURL, url(mp3));
    EXPECT_EQ(readAll(folder.file("song.m4a"))[0].size(), readAll(mp3)[0].size());
    EXPECT_EQ(entries(folder.path), (std::set<std::string>{"song.mp3", "song.m4a", "song_TEMP.wav"}));
    EXPECT_EQ(textOf(folder.file("song_TEMP.wav")), "mine");
}

TEST(FormatConverter, FailuresReportTheirErrorAndLeaveNoOutput) {
    testsupport::TemporaryFolder folder;
    const auto wav = writeTone(folder.file("in.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4410);
    const auto mp3 = writeTone(folder.file("in.mp3"), SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 4410);
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("junk.wav"), std::string(5000, 'x')));
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("junk.mp3"), std::string(5000, 'x')));
    ASSERT_TRUE(platform::writeFileAtomically(folder.file("old.aif"), std::string("previous")));
    const auto before = entries(folder.path);
    Options keep;
    keep.eraseFile = false;
    Options m4a(AudioFileFormat::m4a, std::nullopt, std::nullopt, std::nullopt);
    using Case = std::tuple<std::optional<std::string>, std::optional<std::string>, std::optional<Options>,
                            std::string>;
    const std::string nowhere = "/nonexistent-vantle-folder/out";
    const std::string same =
        "The input and output files are the same. You need to choose another output URL.";
    const std::string unreadable = "Cannot read audio file \"" + folder.file("junk.mp3") + "\": ";
    const std::string uncreatable =
        "Unable to create output file at " + nowhere +
        ".aif. dstFormat <2 ch, 44100 Hz, 'lpcm' 16-bit big-endian signed integer, AIFF>";
    const std::string unproduced = "The output file format isn't able to be produced by this class.";
    for (const auto& [input, output, options, message] : {
             Case{std::nullopt, folder.file("o.wav"), {}, "Input file can't be nil."},
             Case{wav, std::nullopt, {}, "Output file can't be nil."},
             Case{wav, wav, {}, same},
             Case{wav, folder.path + "/./in.wav", {}, same},
             Case{wav, folder.file("old.aif"), keep,
                  "The output file exists already. You need to choose a unique URL or delete the file."},
             Case{folder.file("junk.wav"), folder.file("old.aif"), {}, "Unable to open the input file."},
             Case{folder.file("junk.mp3"), folder.file("o.wav"), {}, unreadable},
             Case{wav, nowhere + ".aif", {}, uncreatable},
             Case{mp3,
                  nowhere + ".wav",
                  {},
                  "cannot write \"" + nowhere + ".wav\": No such file or directory"},
             Case{mp3, folder.file("o.xyz"), {}, unproduced},
             Case{mp3, folder.file("o.mp3"), {}, unproduced},
         }) {
        auto converter =
            std::make_shared<FormatConverter>(input ? std::optional(url(*input)) : std::nullopt,
                                              output ? std::optional(url(*output)) : std::nullopt, options);
        const auto error = runToReport(converter);
        ASSERT_TRUE(error) << message;
        EXPECT_EQ(error->message.substr(0, message.size()), message);
        EXPECT_EQ(entries(folder.path), before) << message;
    }
    EXPECT_EQ(textOf(folder.file("old.aif")), "previous");
    EXPECT_EQ(readAll(wav)[0].size(), 4410u);

    // The PCM route itself writes PCM only; start() sends PCM to M4A through the asset route.
    auto direct = std::make_shared<FormatConverter>(url(wav), url(folder.file("o.m4a")), m4a);
    std::optional<platform::Error> refused;
    direct->convertToPCM([&](const std::optional<platform::Error>& error) { refused = error; });
    EXPECT_EQ(messageOf(refused), "Output file must be caf, wav or aif.");
    EXPECT_EQ(messageOf(convert(wav, folder.file("o.m4a"))), "");
}

TEST(FormatConverter, ACancelledConversionLeavesNothing) {
    testsupport::TemporaryFolder folder;
    // Days of audio that take no room: the conversion cannot end before the cancellation.
    const auto endless = testsupport::writeSparseCaf(folder.file("endless.mp3"), std::uint64_t(1) << 34);
    auto converter = std::make_shared<FormatConverter>(url(endless), url(folder.file("out.wav")));
    const auto error = reportOf([&](auto handler) {
        converter->start(handler);
        if (converter->reader) converter->reader->cancelReading();
    });
    EXPECT_EQ(std::pair(messageOf(error), error ? error->domain : ""),
              std::pair(std::string("Process canceled"), std::string(FormatConverter::errorDomain)));
    EXPECT_EQ(entries(folder.path), std::set<std::string>{"endless.mp3"});
}

TEST(FormatConverter, AFullDiskFailsCleanlyAndKeepsThePreviousFile) {
    testsupport::TemporaryFolder folder, disk;
    if (::mount("tmpfs", disk.path.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "a small tmpfs cannot be mounted here (" << std::strerror(errno) << "; needs root)";
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk.path};
    const auto wav = writeTone(folder.file("long.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 441000);
    const auto mp3 = writeTone(folder.file("long.mp3"), SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 441000);
    ASSERT_TRUE(platform::writeFileAtomically(disk.file("old.wav"), std::string("previous")));
    for (const auto& [input, output] :
         {std::pair(wav, disk.file("out.aif")), std::pair(mp3, disk.file("out.wav")),
          std::pair(wav, disk.file("old.wav")), std::pair(mp3, disk.file("old.wav")),
          std::pair(mp3, disk.file("out.m4a"))}) {
        EXPECT_TRUE(convert(input, output)) << output;
        EXPECT_EQ(entries(disk.path), std::set<std::string>{"old.wav"}) << output;
    }
    EXPECT_EQ(textOf(disk.file("old.wav")), "previous");
}
