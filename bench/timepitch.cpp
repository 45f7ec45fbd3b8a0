// The time-pitch unit offline at rate 0.8 (a slowed-down dance track): one iteration renders one second
// of stereo 44.1 kHz output in 512-frame cycles, so the time per iteration is the share of a core one
// stream takes. Overlap 4 runs Rubber Band's faster engine, overlap 8 its finer one; a pitch shift adds
// the resampling stage; the varispeed unit is there for comparison.

#include "platform/audio/AudioEngine.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/IONodes.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/SourceNode.h"
#include "platform/audio/TimePitchUnit.h"
#include "platform/audio/VarispeedUnit.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using namespace platform;

constexpr double benchRate = 44100.0;
constexpr std::uint32_t benchCycle = 512;

// A few seconds of a chord with a beat and some noise, looped: music-like input keeps the stretcher
// busy the way songs do (a pure tone or silence would flatter it).
std::vector<float> benchMusic() {
    std::vector<float> music(std::size_t(benchRate * 4));
    std::mt19937 noise(7);
    std::uniform_real_distribution<float> spread(-1.0f, 1.0f);
    for (std::size_t i = 0; i < music.size(); ++i) {
        const double t = double(i) / benchRate;
        const double beat = std::exp(-12.0 * std::fmod(t, 0.5));
        music[i] = float(0.15 * (std::sin(2 * M_PI * 220 * t) + std::sin(2 * M_PI * 277.2 * t) +
                                 std::sin(2 * M_PI * 329.6 * t)) +
                         0.3 * beat * spread(noise));
    }
    return music;
}

void benchStretch(benchmark::State& state, std::unique_ptr<AudioUnit> unit) {
    const AudioFormat format = *AudioFormat::standard(benchRate, 2);
    AudioEngine engine(std::make_unique<NullAudioDevice>());
    if (!engine.enableManualRenderingMode(format, benchCycle)) state.SkipWithError("manual rendering");
    const std::vector<float> music = benchMusic();
    std::size_t position = 0;
    auto source = std::make_shared<SourceNode>(
        format, [&](const AudioTime&, std::uint32_t frames, AudioBufferList& out) {
            for (std::uint32_t i = 0; i < frames; ++i) {
                const float left = music[position];
                const float right = music[(position + 1000) % music.size()];
                out.floatData(0)[i] = left;
                out.floatData(1)[i] = right;
                position = (position + 1) % music.size();
            }
            return true;
        });
    auto node = std::make_shared<AudioUnitNode>(std::move(unit));
    (void)engine.attach(source);
    (void)engine.attach(node);
    (void)engine.connect(*source, *node, 0, 0, format);
    (void)engine.connect(*node, engine.outputNode(), 0, 0, format);
    if (!engine.start()) state.SkipWithError("engine start");
    auto buffer = PcmBuffer::make(format, benchCycle);
    // Past the start, where the first cycle fills the stretcher.
    for (int i = 0; i < 50; ++i)
        (void)engine.renderOffline(benchCycle, *buffer);
    for (auto _ : state) {
        for (std::uint32_t done = 0; done < std::uint32_t(benchRate); done += benchCycle)
            (void)engine.renderOffline(benchCycle, *buffer);
        benchmark::DoNotOptimize(buffer->channel(0)[0]);
    }
    state.counters["coreShare"] = benchmark::Counter(
        double(state.iterations()), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

std::unique_ptr<AudioUnit> benchTimePitch(float overlap, float pitch) {
    auto unit = std::make_unique<TimePitchUnit>();
    unit->setRate(0.8f);
    unit->setOverlap(overlap);
    unit->setPitch(pitch);
    return unit;
}

void BM_TimePitchRate08Overlap4Faster(benchmark::State& state) {
    benchStretch(state, benchTimePitch(4.0f, 0.0f));
}
void BM_TimePitchRate08Overlap8Finer(benchmark::State& state) {
    benchStretch(state, benchTimePitch(8.0f, 0.0f));
}
void BM_TimePitchRate08Overlap8FinerPitchUp300(benchmark::State& state) {
    benchStretch(state, benchTimePitch(8.0f, 300.0f));
}
void BM_VarispeedRate08(benchmark::State& state) {
    auto unit = std::make_unique<VarispeedUnit>();
    unit->setRate(0.8f);
    benchStretch(state, std::move(unit));
}

} // namespace

BENCHMARK(BM_TimePitchRate08Overlap4Faster)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimePitchRate08Overlap8Finer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TimePitchRate08Overlap8FinerPitchUp300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VarispeedRate08)->Unit(benchmark::kMillisecond);
