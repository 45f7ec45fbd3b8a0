#include "RozezEru/Nodes/Effects/PlaygroundGenerators.h"
#include "tests/platform/audio/RenderAllocationTrap.h"
#include "tests/support/ToolkitRig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <set>

using namespace rozezeru;

namespace {

// The next `frames` frames of `generator` as the engine's output, both channels.
struct PlaygroundRig {
    explicit PlaygroundRig(std::shared_ptr<Node> generator)
        : engine(testsupport::offlineToolkitEngine(std::move(generator), 10.0)) {}
    std::vector<std::vector<float>> render(std::uint32_t frames) {
        return testsupport::renderToolkit(*engine, frames, 256);
    }
    std::unique_ptr<AudioEngine> engine;
};

std::shared_ptr<Table> playgroundCountingTable(std::size_t length) {
    std::vector<float> content(length);
    std::iota(content.begin(), content.end(), 0.0f);
    return std::make_shared<Table>(std::move(content));
}

bool playgroundSilent(const std::vector<float>& samples) {
    return std::all_of(samples.begin(), samples.end(), [](float v) { return v == 0.0f; });
}

} // namespace

TEST(PlaygroundGenerators, NoiseIsUniformWithinItsAmplitudeOnEveryChannelOnceStarted) {
    auto noise = std::make_shared<PlaygroundNoiseGenerator>(0.5f);
    PlaygroundRig rig(noise);
    EXPECT_FALSE(noise->isStarted());
    EXPECT_TRUE(playgroundSilent(rig.render(1000)[0]));

    noise->start();
    traptest::ScopedTrapHooks hooks;
    const auto out = rig.render(44100);
    traptest::expectNoRenderAllocations();
    EXPECT_EQ(out[0], out[1]);
    EXPECT_LE(testsupport::peak(out[0]), 0.5f);
    EXPECT_NEAR(std::accumulate(out[0].begin(), out[0].end(), 0.0) / 44100.0, 0.0, 0.01);
    EXPECT_NEAR(testsupport::rms(out[0]), 0.5 / std::sqrt(3.0), 0.005);
    // The resolution is 2^-24 of the whole range: a second of noise repeats almost no value.
    EXPECT_GT(std::set<float>(out[0].begin(), out[0].end()).size(), 43900u);

    noise->setAmplitude(0.0f);
    EXPECT_TRUE(playgroundSilent(rig.render(512)[0]));
    noise->setAmplitude(1.0f);
    noise->stop();
    EXPECT_TRUE(playgroundSilent(rig.render(512)[0]));
}

TEST(PlaygroundGenerators, OscillatorReadsItsTableAtItsFrequencyAndKeepsItsPhase) {
    auto oscillator = std::make_shared<PlaygroundOscillator>(playgroundCountingTable(4096), 440.0f, 1.0f);
    PlaygroundRig rig(oscillator);
    EXPECT_TRUE(playgroundSilent(rig.render(300)[0]));
    oscillator->start();
    auto out = rig.render(10);
    EXPECT_EQ(std::vector<float>(out[0].begin(), out[0].begin() + 5),
              (std::vector<float>{0, 40, 81, 122, 163}));
    EXPECT_EQ(out[0], out[1]);

    // Stopped and started again, it goes on where it stopped.
    oscillator->stop();
    EXPECT_TRUE(playgroundSilent(rig.render(7)[0]));
    oscillator->start();
    const float resumed = rig.render(1)[0][0];
    EXPECT_NEAR(resumed - out[0][9], 40.9f, 1.0f);

    oscillator->setFrequency(0.0f);
    oscillator->setAmplitude(0.5f);
    out = rig.render(64);
    EXPECT_TRUE(std::all_of(out[0].begin(), out[0].end(), [&](float v) { return v == out[0][0]; }));
    oscillator->setFrequency(-440.0f);
    out = rig.render(3);
    EXPECT_LT(out[0][1], out[0][0]);

    // Frequencies past the sample rate, or not numbers, never read outside the table.
    oscillator->setAmplitude(1.0f);
    for (float frequency : {100000.0f, -3.0e6f, NAN, INFINITY}) {
        oscillator->setFrequency(frequency);
        out = rig.render(512);
        EXPECT_TRUE(std::all_of(out[0].begin(), out[0].end(), [](float v) {
            return v >= 0.0f && v <= 4095.0f;
        })) << frequency;
    }
    for (auto table : {std::make_shared<Table>(std::vector<float>{}), std::shared_ptr<Table>()}) {
        auto empty = std::make_shared<PlaygroundOscillator>(table);
        PlaygroundRig emptyRig(empty);
        empty->start();
        EXPECT_TRUE(playgroundSilent(emptyRig.render(512)[0]));
    }
}
