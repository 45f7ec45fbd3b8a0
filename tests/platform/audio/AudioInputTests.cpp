#include "RenderAllocationTrap.h"
#include "tests/support/EngineRig.h"

#include "platform/audio/AlsaAudioDevice.h"
#include "platform/audio/CaptureRing.h"
#include "platform/audio/IONodes.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/support/Signals.h"
#include "tests/support/Spectrum.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

using namespace platform;
using namespace testsupport;

namespace {

// Frame n of input channel c carries c·100000 + n: every sample names its channel and frame exactly.
std::unique_ptr<FakeInputDevice> eightChannels(std::uint32_t capturedPerPeriod = 0) {
    FakeInputDevice::Configuration configuration;
    for (int c = 0; c < 8; ++c)
        configuration.inputs.push_back(
            FakeInputDevice::perFrame([c](std::uint64_t n) { return float(c * 100000 + std::int64_t(n)); }));
    configuration.capturedFramesPerPeriod = capturedPerPeriod;
    return std::make_unique<FakeInputDevice>(std::move(configuration));
}

// What a tap on the input node heard, channel by channel.
struct Heard {
    std::mutex mutex;
    std::vector<std::vector<float>> channels;
};

void listen(InputNode& input, Heard& heard) {
    const AudioFormat format = input.outputFormat(0);
    heard.channels.assign(format.channelCount(), {});
    ASSERT_TRUE(
        input.taps().install(0, 512, format, [&heard](std::shared_ptr<PcmBuffer> buffer, const AudioTime&) {
            std::lock_guard lock(heard.mutex);
            for (std::size_t c = 0; c < heard.channels.size(); ++c)
                heard.channels[c].insert(heard.channels[c].end(), buffer->channel(std::uint32_t(c)),
                                         buffer->channel(std::uint32_t(c)) + buffer->frameLength());
        }));
}

} // namespace

TEST(CaptureRing, DropsWhatFindsNoRoomAndFillsWhatIsMissingWithSilence) {
    CaptureRing ring(2, 4);
    const float left[] = {1, 2, 3}, right[] = {-1, -2, -3};
    const float* both[] = {left, right};
    ring.write(both, 2, 3);
    ring.write(both, 1, 3); // one frame fits; the missing channel is silent
    float a[6], b[6];
    float* out[] = {a, b};
    EXPECT_EQ(ring.read(out, 6), 4u);
    EXPECT_EQ(std::vector<float>(a, a + 6), (std::vector<float>{1, 2, 3, 1, 0, 0}));
    EXPECT_EQ(std::vector<float>(b, b + 6), (std::vector<float>{-1, -2, -3, 0, 0, 0}));
    EXPECT_EQ((std::vector<std::uint64_t>{ring.droppedFrames(), ring.underruns(), ring.missingFrames()}),
              (std::vector<std::uint64_t>{2, 1, 2}));
}

TEST(CaptureRing, ReadsOnceTheLeadHasComeInAndWaitsForItAgainAfterAnUnderrun) {
    CaptureRing ring(1, 8, 3);
    const float values[] = {1, 2, 3, 4, 5};
    const float* in[] = {values};
    float got[2];
    float* out[] = {got};
    struct Step {
        std::uint32_t write, expectRead;
        std::uint64_t underruns, missing;
    };
    // Two waiting: nothing read and nothing counted before the first lead; then the lead is in, two are
    // read, one is left for a short read; after it, two waiting are not enough.
    const Step steps[] = {{2, 0, 0, 0}, {1, 2, 0, 0}, {0, 1, 1, 1}, {2, 0, 2, 3}, {1, 2, 2, 3}};
    for (const Step& step : steps) {
        ring.write(in, 1, step.write);
        EXPECT_EQ(ring.read(out, 2), step.expectRead);
        EXPECT_EQ(std::pair(ring.underruns(), ring.missingFrames()), std::pair(step.underruns, step.missing));
    }
}

TEST(CaptureRing, AWriterAndAReaderThreadKeepTheFramesInOrder) {
    CaptureRing ring(1, 700);
    constexpr std::uint32_t total = 200000;
    std::atomic<bool> written{false};
    std::thread writer([&] {
        float chunk[333];
        for (std::uint32_t next = 1; next <= total;) {
            const std::uint32_t count =
                std::min<std::uint32_t>({333, total + 1 - next, 700 - ring.available()});
            for (std::uint32_t i = 0; i < count; ++i)
                chunk[i] = float(next + i);
            const float* channels[] = {chunk};
            ring.write(channels, 1, count);
            next += count;
            if (count == 0) std::this_thread::yield();
        }
        written = true;
    });
    std::uint32_t expected = 1;
    bool ordered = true;
    float block[256];
    float* out[] = {block};
    while (expected <= total && !(written && ring.available() == 0)) {
        const std::uint32_t got = ring.read(out, 256);
        for (std::uint32_t i = 0; i < got; ++i)
            ordered = ordered && block[i] == float(expected++);
    }
    writer.join();
    EXPECT_TRUE(ordered);
    EXPECT_EQ(expected, total + 1);
}

TEST(AudioInput, ChannelMapPicksTheDeviceChannelsSampleForSample) {
    traptest::ScopedTrapHooks hooks;
    AudioEngine engine(eightChannels());
    InputNode& input = engine.inputNode();

    // A map naming a channel the device lacks changes nothing.
    for (const auto& refused : {std::vector<std::int32_t>{2, 8}, std::vector<std::int32_t>{-1}})
        EXPECT_FALSE(input.setChannelMap(refused));
    EXPECT_TRUE(input.channelMap().empty());
    ASSERT_TRUE(input.setChannelMap({3, 2, 3}));
    EXPECT_EQ(std::pair(input.outputFormat(0).channelCount(), input.deviceFormat().channelCount()),
              std::pair(3u, 8u));

    // Tapped and feeding nothing, the node still renders in every cycle.
    Heard heard;
    listen(input, heard);
    ASSERT_TRUE(engine.start());
    ASSERT_TRUE(waitUntil([&] { return input.taps().deliveredBuffers(0) >= 16; }));
    // A running engine takes a new map at once.
    ASSERT_TRUE(input.setChannelMap({2, 3}));
    engine.stop();
    input.taps().remove(0);

    std::lock_guard lock(heard.mutex);
    bool exact = true;
    for (std::size_t n = 0; n < 8192; ++n)
        for (std::size_t c = 0; c < 3; ++c)
            exact = exact && heard.channels[c][n] == float((c == 1 ? 2 : 3) * 100000 + std::int64_t(n));
    EXPECT_TRUE(exact);
    EXPECT_EQ(input.underruns(), 0u);
    traptest::expectNoRenderAllocations();
    // Its consumers take the channel count of a new map.
    ASSERT_TRUE(engine.connect(input, engine.mainMixerNode(), std::nullopt));
    ASSERT_TRUE(input.setChannelMap({7}));
    EXPECT_EQ(
        std::pair(input.outputFormat(0).channelCount(), engine.mainMixerNode().inputFormat(0).channelCount()),
        std::pair(1u, 1u));
}

TEST(AudioInput, InputThatRunsShortIsSilenceAndCounted) {
    // 384 frames captured per period of 512: each cycle lacks 128.
    AudioEngine engine(eightChannels(384));
    InputNode& input = engine.inputNode();
    ASSERT_TRUE(input.setChannelMap({5}));
    Heard heard;
    listen(input, heard);
    ASSERT_TRUE(engine.start());
    ASSERT_TRUE(waitUntil([&] { return input.taps().deliveredBuffers(0) >= 2; }));
    engine.stop();
    input.taps().remove(0);

    std::lock_guard lock(heard.mutex);
    const auto& got = heard.channels[0];
    EXPECT_EQ(std::vector<float>(got.begin() + 382, got.begin() + 386),
              (std::vector<float>{500382, 500383, 0, 0}));
    EXPECT_EQ(std::vector<float>(got.begin() + 510, got.begin() + 514),
              (std::vector<float>{0, 0, 500384, 500385}));
    EXPECT_GE(input.underruns(), 2u);
    EXPECT_EQ(input.missingFrames(), 128 * input.underruns());
}

namespace {

// The ALSA "null" PCM for output and `capture` for input, or nothing when the machine has no "null".
std::unique_ptr<AlsaAudioDevice> alsaNullDevice(const std::string& capture) {
    AlsaAudioDevice::Request request;
    request.pcmName = "null";
    request.capturePcmName = capture;
    auto device = AlsaAudioDevice::open(request);
    return device ? std::move(device).value() : nullptr;
}

} // namespace

TEST(AudioInput, WithoutACaptureDeviceTheEngineRefusesToStartAndTheOutputStillPlays) {
    std::vector<std::unique_ptr<AudioDevice>> devices;
    devices.push_back(std::make_unique<NullAudioDevice>());
    devices.push_back(std::make_unique<FakeInputDevice>(FakeInputDevice::Configuration{}));
    if (auto alsa = alsaNullDevice("hw:CARD=VantleNoSuchCard,DEV=0")) devices.push_back(std::move(alsa));
    for (auto& device : devices) {
        SCOPED_TRACE(device->name());
        AudioEngine engine(std::move(device));
        (void)engine.inputNode();
        auto started = engine.start();
        ASSERT_FALSE(started);
        EXPECT_EQ(started.error().message.find("No audio input device"), 0u) << started.error().message;
        EXPECT_FALSE(engine.isRunning());
        engine.detach(engine.inputNode());
        EXPECT_TRUE(engine.start());
        engine.stop();
    }
}

TEST(AlsaCapture, TheCaptureThreadFeedsTheInputNodeWhileTheEngineRuns) {
    auto made = alsaNullDevice("null");
    if (!made) GTEST_SKIP() << "ALSA has no \"null\" PCM";
    AlsaAudioDevice& device = *made;
    traptest::ScopedTrapHooks hooks;
    AudioEngine engine(std::move(made));
    InputNode& input = engine.inputNode();
    ASSERT_TRUE(input.setChannelMap({1}));
    Heard heard;
    listen(input, heard);
    if (auto started = engine.start(); !started) GTEST_SKIP() << started.error().message;
    EXPECT_TRUE(device.isCapturing());
    EXPECT_TRUE(
        waitUntil([&] { return device.framesCaptured() >= 8192 && input.taps().deliveredBuffers(0) >= 16; }));
    engine.stop();
    input.taps().remove(0);
    EXPECT_FALSE(device.isCapturing());
    EXPECT_FALSE(device.captureHasFailed());
    // And capture starts again with the engine.
    const std::uint64_t captured = device.framesCaptured();
    ASSERT_TRUE(engine.start());
    EXPECT_TRUE(waitUntil([&] { return device.framesCaptured() > captured; }));
    engine.stop();
    traptest::expectNoRenderAllocations();
}

TEST(AudioInput, InputAtAnotherRateArrivesAtItsPitchAndLevel) {
    traptest::ScopedTrapHooks hooks;
    for (const double inputRate : {48000.0, 22050.0, 96000.0}) {
        SCOPED_TRACE(inputRate);
        // A 1 kHz tone of amplitude 0.5 at the input's own rate, into a 44.1 kHz engine.
        FakeInputDevice::Configuration configuration;
        configuration.inputSampleRate = inputRate;
        configuration.inputs.push_back(FakeInputDevice::perFrame([inputRate](std::uint64_t n) {
            return float(0.5 * std::sin(2.0 * std::numbers::pi * 1000.0 * double(n) / inputRate));
        }));
        AudioEngine engine(std::make_unique<FakeInputDevice>(std::move(configuration)));
        InputNode& input = engine.inputNode();
        EXPECT_EQ(input.outputFormat(0).sampleRate(), 44100.0);
        Heard heard;
        listen(input, heard);
        ASSERT_TRUE(engine.start());
        ASSERT_TRUE(waitUntil([&] { return input.taps().deliveredBuffers(0) >= 24; }));
        engine.stop();
        input.taps().remove(0);

        std::lock_guard lock(heard.mutex);
        const auto& got = heard.channels[0];
        ASSERT_GE(got.size(), 24u * 512u);
        // Past the converter's first frames, the tone as it was played, and nothing missing.
        const std::size_t first = onset(got, 0.1f) + 1024;
        EXPECT_NEAR(spectralPeakFrequency(got, first, 44100.0), 1000.0, 1.0);
        EXPECT_NEAR(toneAmplitude(got, 44100.0, 1000.0, first), 0.5, 0.005);
        EXPECT_EQ(input.underruns(), 0u);
    }
    traptest::expectNoRenderAllocations();
}
