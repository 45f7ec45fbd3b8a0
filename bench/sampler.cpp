// The sampler unit's render cost with 32 voices held: its own zone voices (a looped sample) and a
// SoundFont program through FluidSynth. Time per second of 44.1 kHz stereo audio, in cycles of 512.

#include "platform/audio/SamplerUnit.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>

namespace {

using platform::SamplerUnit;

constexpr double benchRate = 44100.0;
constexpr std::uint32_t benchCycle = 512;

platform::SamplerInstrument loopedSine() {
    auto sample = std::make_shared<platform::SamplerSample>();
    std::vector<float> samples(44100);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(0.5 * std::sin(2.0 * std::numbers::pi * 441.0 * double(i) / benchRate));
    sample->channels = {std::move(samples)};
    platform::SamplerZone zone;
    zone.sample = std::move(sample);
    zone.rootKey = 69;
    zone.loopEnabled = true;
    zone.loopStart = 4400;
    zone.loopEnd = 44100;
    platform::SamplerInstrument instrument;
    instrument.zones = {zone};
    return instrument;
}

void renderSecond(benchmark::State& state, SamplerUnit& unit) {
    std::vector<float> left(benchCycle), right(benchCycle);
    platform::AudioBufferList list;
    list.numberBuffers = 2;
    list.buffers[0] = {1, benchCycle * 4, left.data()};
    list.buffers[1] = {1, benchCycle * 4, right.data()};
    for (std::uint8_t key = 40; key < 72; ++key)
        unit.startNote(key, 100, 0);
    std::int64_t time = 0;
    for (auto _ : state) {
        for (std::uint32_t done = 0; done < std::uint32_t(benchRate); done += benchCycle, time += benchCycle)
            unit.render(platform::AudioTime::withSampleTime(time, benchRate), benchCycle, 0, list,
                        platform::AudioUnitPullInput::none());
        benchmark::DoNotOptimize(left.data());
    }
    state.counters["voices"] = unit.activeVoiceCount();
}

void BM_SamplerZones32Voices(benchmark::State& state) {
    SamplerUnit unit;
    unit.loadInstrument(loopedSine());
    if (!unit.allocateRenderResources()) return state.SkipWithError("allocation failed");
    renderSecond(state, unit);
}
BENCHMARK(BM_SamplerZones32Voices)->Unit(benchmark::kMillisecond);

void BM_SamplerSoundFont32Voices(benchmark::State& state) {
    SamplerUnit unit;
    // Program 19, a church organ, holds its notes for as long as they are held.
    if (!unit.loadSoundBank({"/usr/share/sounds/sf2/TimGM6mb.sf2", 19, 121, 0}))
        return state.SkipWithError("the General MIDI SoundFont is not installed");
    if (!unit.allocateRenderResources()) return state.SkipWithError("allocation failed");
    renderSecond(state, unit);
}
BENCHMARK(BM_SamplerSoundFont32Voices)->Unit(benchmark::kMillisecond);

} // namespace
