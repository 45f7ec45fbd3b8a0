#include "RozezEru/Internals/RenderToFile.h"

#include "RozezEru/Internals/Settings.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/files/AudioFile.h"
#include "platform/foundation/Files.h"
#include "tests/RozezEru/AudioFiles/ConverterTestRig.h"
#include "tests/support/EngineRig.h"

#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToolkitLogCapture.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

using namespace rozezeru;
// Named one by one: a using-directive would leak into the other files of a unity batch.
using platform::AudioBufferList;
using platform::AudioFile;
using platform::AudioFormat;
using testsupport::makeSource;
using testsupport::ToolkitLogCapture;

namespace {

constexpr const char* renderFunction =
    "render(to:maximumFrameCount:duration:renderUntilSilent:silenceThreshold:prerender:progress:)";

// A source feeding a mixer feeding the engine's output, all in one format, so that nothing is
// converted on the way and the file holds the source's samples exactly.
struct ToneGraph {
    std::unique_ptr<platform::AudioEngine> engine =
        std::make_unique<platform::AudioEngine>(std::make_unique<platform::NullAudioDevice>());
    std::shared_ptr<platform::MixerNode> mixer = std::make_shared<platform::MixerNode>();
    std::shared_ptr<platform::AudioNode> source;

    ToneGraph(const AudioFormat& format, std::shared_ptr<platform::AudioNode> node)
        : source(std::move(node)) {
        EXPECT_TRUE(engine->attach(source));
        EXPECT_TRUE(engine->attach(mixer));
        EXPECT_TRUE(engine->connect(*source, *mixer, 0, 0, format));
        EXPECT_TRUE(engine->connect(*mixer, engine->outputNode(), 0, 0, format));
    }
};

// A source whose offline render fails once it reaches frame `failAt` (device cycles, which carry
// a host time, always succeed).
std::shared_ptr<platform::SourceNode> failingSource(const AudioFormat& format, std::int64_t failAt) {
    return std::make_shared<platform::SourceNode>(
        format, [failAt](const platform::AudioTime& when, std::uint32_t frames, AudioBufferList& out) {
            for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
                for (std::uint32_t i = 0; i < frames; ++i)
                    out.floatData(c)[i] = 0.25f;
            return when.isHostTimeValid() || when.sampleTime() + frames <= failAt;
        });
}

std::unique_ptr<AudioFile> floatWaveFile(const std::string& path, const AudioFormat& format) {
    platform::AudioFileSettings settings;
    settings.sampleRate = format.sampleRate();
    settings.numberOfChannels = format.channelCount();
    settings.linearPCMBitDepth = 32;
    settings.linearPCMIsFloat = true;
    settings.fileType = platform::AudioFileType::wave;
    auto file = AudioFile::openForWriting(path, settings);
    EXPECT_TRUE(file) << (file ? "" : file.error().message);
    return file ? std::move(*file) : nullptr;
}

void expectRenderError(const platform::Result<void>& result, const std::string& message) {
    ASSERT_FALSE(result);
    EXPECT_EQ(std::tuple(result.error().domain, result.error().code, result.error().message),
              std::tuple("AVAudioEngine ext", 1, message));
}

// Whether the engine runs, and whether it is still in manual rendering mode.
std::pair<bool, bool> engineState(const platform::AudioEngine& engine) {
    return {engine.isRunning(), engine.isInManualRenderingMode()};
}

} // namespace

TEST(RenderToFile, ToneThroughAMixerLandsInTheFileSampleForSample) {
    testsupport::TemporaryFolder folder;
    const AudioFormat format = testsupport::stereo();
    auto tone = testsupport::makeSine(format, 441.0);
    ToneGraph graph(format, tone.node);
    const std::string path = folder.file("tone.wav");
    auto file = floatWaveFile(path, format);
    ASSERT_TRUE(file);

    std::vector<double> progress;
    int prerenders = 0;
    std::int64_t framesBeforeFirstCall = -1;
    // 0.10001 s is 4410.44 frames: the file gets the whole frames only, the last call the remainder.
    auto rendered = renderToFile(
        *graph.engine, *file, 1000, 0.10001, false, 0.00005f,
        [&] {
            ++prerenders;
            framesBeforeFirstCall = *tone.frames;
            EXPECT_EQ(engineState(*graph.engine), std::pair(true, true));
        },
        [&](double share) { progress.push_back(share); });
    ASSERT_TRUE(rendered) << rendered.error().message;

    EXPECT_EQ(std::tuple(prerenders, framesBeforeFirstCall, std::int64_t(*tone.frames), file->length()),
              std::tuple(1, std::int64_t(0), std::int64_t(4410), std::int64_t(4410)));
    EXPECT_EQ(progress, (std::vector{1000 / 4410.0, 2000 / 4410.0, 3000 / 4410.0, 4000 / 4410.0, 1.0}));
    EXPECT_EQ(engineState(*graph.engine), std::pair(false, false));

    ASSERT_TRUE(file->close());
    std::vector<float> expected(4410);
    const double step = 2.0 * std::numbers::pi * 441.0 / 44100.0;
    for (std::size_t n = 0; n < 4410; ++n)
        expected[n] = float(0.5 * std::sin(step * double(n)));
    EXPECT_EQ(convertertest::readAll(path), std::vector(2, expected));
}

TEST(RenderToFile, UntilSilentStopsAtTheThirdQuietSliceInARow) {
    testsupport::TemporaryFolder folder;
    const AudioFormat format = testsupport::mono(10000.0);
    // Slices of 100 frames: 0-2 quiet (before the duration's end, so not counted), 3 loud,
    // 4-5 quiet, 6 loud (the count starts again), 7-9 quiet, loud for ever after.
    auto slices = makeSource(format, [](std::int64_t n) {
        const std::int64_t slice = n / 100;
        const bool quiet = slice <= 2 || slice == 4 || slice == 5 || (slice >= 7 && slice <= 9);
        return quiet ? 0.00001f : 0.5f;
    });
    ToneGraph graph(format, slices.node);
    auto file = floatWaveFile(folder.file("silence.wav"), format);
    ASSERT_TRUE(file);

    ToolkitLogCapture capture;
    std::vector<double> progress;
    auto rendered = renderToFile(*graph.engine, *file, 100, 0.035, true, 0.00005f, {},
                                 [&](double share) { progress.push_back(share); });
    ASSERT_TRUE(rendered) << rendered.error().message;
    EXPECT_EQ(file->length(), 1000);
    EXPECT_EQ(progress,
              (std::vector{100 / 350.0, 200 / 350.0, 300 / 350.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0}));
    EXPECT_FALSE(graph.engine->isInManualRenderingMode());
    EXPECT_TRUE(capture.sink.records().empty());
}

TEST(RenderToFile, UntilSilentEndsAtItsLimit) {
    testsupport::TemporaryFolder folder;
    const AudioFormat format = testsupport::mono(8000.0);
    auto loud = makeSource(format, [](std::int64_t) { return 0.5f; });
    ToneGraph graph(format, loud.node);
    ToolkitLogCapture capture;

    // The default limit: the duration plus a minute, the last call cut to fit it.
    auto file = floatWaveFile(folder.file("default.wav"), format);
    ASSERT_TRUE(file);
    ASSERT_TRUE(renderToFile(*graph.engine, *file, 4096, 0.5, true));
    EXPECT_EQ(std::pair(file->length(), std::int64_t(*loud.frames)),
              std::pair(std::int64_t(8000 * 60 + 4000), std::int64_t(8000 * 60 + 4000)));

    // A limit of the caller's, and a threshold of 0 that nothing can undercut.
    auto limited = floatWaveFile(folder.file("limited.wav"), format);
    ASSERT_TRUE(limited);
    auto silent = makeSource(format, [](std::int64_t) { return 0.0f; });
    ToneGraph quiet(format, silent.node);
    ASSERT_TRUE(renderToFile(*quiet.engine, *limited, 3000, 0.25, true, 0.0f, {}, {}, 1.0));
    EXPECT_EQ(std::pair(limited->length(), std::int64_t(*silent.frames)),
              std::pair(std::int64_t(8000), std::int64_t(8000)));
    EXPECT_EQ(engineState(*quiet.engine), std::pair(false, false));
    ASSERT_EQ(capture.sink.records().size(), 2u);
    EXPECT_EQ(capture.sink.records()[0].level, platform::LogType::info);
    EXPECT_EQ(
        capture.contents("RenderToFile.cpp", renderFunction),
        (std::vector<std::string>{"⚠️ renderToFile reached its limit of 60.5 seconds before silence",
                                  "⚠️ renderToFile reached its limit of 1.0 seconds before silence"}));
}

TEST(RenderToFile, BadDurationsFailAndLeaveARunningEngineRunning) {
    testsupport::TemporaryFolder folder;
    const AudioFormat format = testsupport::stereo();
    auto tone = testsupport::makeSine(format, 441.0);
    ToneGraph graph(format, tone.node);
    auto file = floatWaveFile(folder.file("bad.wav"), format);
    ASSERT_TRUE(file);
    ASSERT_TRUE(graph.engine->start());

    bool called = false;
    auto mark = [&] { called = true; };
    // Negative, not finite, frames beyond any count, and (until silent) a limit below zero.
    using Bad = std::tuple<double, bool, std::optional<double>>;
    for (const auto& [seconds, untilSilent, limit] : {Bad{-1.0, false, {}},
                                                      {std::nan(""), false, {}},
                                                      {INFINITY, false, {}},
                                                      {1e300, false, {}},
                                                      {1.0, true, -2.0}}) {
        SCOPED_TRACE(seconds);
        expectRenderError(
            renderToFile(*graph.engine, *file, 1024, seconds, untilSilent, 0.00005f, mark, {}, limit),
            "Seconds needs to be a positive value");
    }
    EXPECT_EQ(std::pair(called, engineState(*graph.engine)), std::pair(false, std::pair(true, false)));

    // Zero seconds succeeds, writing nothing and reporting no progress.
    int progressCalls = 0;
    ASSERT_TRUE(
        renderToFile(*graph.engine, *file, 1024, 0.0, false, 0.00005f, {}, [&](double) { ++progressCalls; }));
    EXPECT_EQ(std::pair(file->length(), progressCalls), std::pair(std::int64_t(0), 0));
    EXPECT_EQ(engineState(*graph.engine), std::pair(false, false));
}

TEST(RenderToFile, FailuresKeepTheGoodSlicesAndPutTheEngineBack) {
    testsupport::TemporaryFolder folder;
    const AudioFormat format = testsupport::stereo();
    ToolkitLogCapture capture;

    // A source that fails in its fourth slice: three slices written, then "render error".
    ToneGraph failing(format, failingSource(format, 1000));
    ASSERT_TRUE(failing.engine->start());
    auto file = floatWaveFile(folder.file("failing.wav"), format);
    ASSERT_TRUE(file);
    expectRenderError(renderToFile(*failing.engine, *file, 300, 1.0), "render error");
    EXPECT_EQ(file->length(), 900);
    EXPECT_EQ(engineState(*failing.engine), std::pair(true, false));
    failing.engine->stop();

    // Missing input from the input node is a render error as well; a stopped engine stays stopped.
    auto engine = std::make_unique<platform::AudioEngine>(std::make_unique<platform::NullAudioDevice>());
    platform::InputNode& input = engine->inputNode();
    ASSERT_TRUE(input.setManualRenderingInputBlock(
        format, [](std::uint32_t) -> const AudioBufferList* { return nullptr; }));
    ASSERT_TRUE(engine->connect(input, engine->outputNode(), 0, 0, format));
    auto starved = floatWaveFile(folder.file("starved.wav"), format);
    ASSERT_TRUE(starved);
    expectRenderError(renderToFile(*engine, *starved, 512, 1.0), "render error");
    EXPECT_EQ(starved->length(), 0);
    EXPECT_EQ(engineState(*engine), std::pair(false, false));

    // The platform refuses manual rendering: its own error, and the engine runs again.
    auto tone = testsupport::makeSine(format, 441.0);
    ToneGraph refused(format, tone.node);
    ASSERT_TRUE(refused.engine->start());
    auto other = floatWaveFile(folder.file("refused.wav"), format);
    ASSERT_TRUE(other);
    auto result = renderToFile(*refused.engine, *other, 0, 1.0);
    ASSERT_FALSE(result);
    EXPECT_NE(result.error().domain, "AVAudioEngine ext");
    EXPECT_EQ(engineState(*refused.engine), std::pair(true, false));
    refused.engine->stop();

    EXPECT_TRUE(capture.sink.records().empty());
}
