// Cost of the "peq2" high-shelf unit per stereo frame: the kernel-hosting unit rendering blocks of 512
// frames (input pull, render loop, ramp steps, two sp_pareq sections), steady and with its gain ramping
// all the time, against a plain stereo biquad loop over the same data. One core. per_frame is seconds per
// stereo frame. BM_Peq2UnitAgainstBiquad measures the steady unit and a plain transposed direct form II
// biquad (each channel in turn) in one run and reports their ratio.

#include "RozezEru/Internals/ComponentDescriptions.h"
#include "RozezEruEX/RozezEruAU.h"
#include "Sigpro/kernels/HighShelfParametricEqualizerFilterDSP.h"
#include "Sigpro/kernels/SigproKernels.h"
#include "platform/audio/PcmBuffer.h"

#include "BenchRatio.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

namespace {

using namespace platform;
using sigpro::HighShelfParametricEqualizerFilterDSP;

constexpr std::uint32_t peq2Block = 512;

// Stereo noise, served to the unit as its input.
class Peq2BenchInput final : public AudioUnitPullInput {
public:
    Peq2BenchInput() : buffer_(PcmBuffer::make(*AudioFormat::standard(44100.0, 2), peq2Block)) {
        std::mt19937 generator(3);
        std::uniform_real_distribution<float> distribution(-0.5f, 0.5f);
        for (std::uint32_t c = 0; c < 2; ++c)
            for (std::uint32_t i = 0; i < peq2Block; ++i)
                buffer_->channel(c)[i] = distribution(generator);
        list_ = buffer_->bufferList(peq2Block);
    }
    RenderStatus pull(std::uint32_t, AUAudioFrameCount, const AudioBufferList*& data) const override {
        data = &list_;
        return RenderStatus::success;
    }
    const float* channel(std::uint32_t c) const { return buffer_->channel(c); }

private:
    std::unique_ptr<PcmBuffer> buffer_;
    AudioBufferList list_;
};

void setPerFrame(benchmark::State& state) {
    state.counters["per_frame"] = benchmark::Counter(
        double(peq2Block), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// A "peq2" unit at 1 kHz, gain 4, Q 0.707, allocated; null when the registry has none.
std::unique_ptr<rozezeru::RozezEruAU> makePeq2Unit() {
    sigpro::registerSigproKernels();
    auto made = rozezeru::RozezEruAU::make(rozezeru::componentDescription::effect("peq2"));
    if (!made) return nullptr;
    rozezeru::DSPBase* kernel = (*made)->dsp();
    rozezeru::rzSetParameterValue(kernel, HighShelfParametricEqualizerFilterDSP::centerFrequencyAddress,
                                  1000.0f);
    rozezeru::rzSetParameterValue(kernel, HighShelfParametricEqualizerFilterDSP::gainAddress, 4.0f);
    rozezeru::rzSetParameterValue(kernel, HighShelfParametricEqualizerFilterDSP::qAddress, 0.707f);
    (void)(*made)->allocateRenderResources();
    return std::move(*made);
}

void renderPeq2Unit(benchmark::State& state, bool ramping) {
    auto made = makePeq2Unit();
    if (!made) {
        state.SkipWithError("no peq2 unit");
        return;
    }
    auto& unit = *made;
    rozezeru::DSPBase* kernel = unit.dsp();
    const Peq2BenchInput input;
    auto output = PcmBuffer::make(*AudioFormat::standard(44100.0, 2), peq2Block);
    AudioBufferList list = output->bufferList(peq2Block);
    std::int64_t sampleTime = 0;
    float gain = 4.0f;
    for (auto _ : state) {
        // A new target every block keeps a ramp running, so the coefficients change on every frame.
        if (ramping)
            rozezeru::rzSetParameterValue(kernel, HighShelfParametricEqualizerFilterDSP::gainAddress,
                                          gain = gain > 5.0f ? 1.0f : gain + 1.0f);
        unit.render(AudioTime::withSampleTime(sampleTime, 44100.0), peq2Block, 0, list, input);
        sampleTime += peq2Block;
        benchmark::DoNotOptimize(output->channel(1)[peq2Block - 1]);
    }
    setPerFrame(state);
}

void BM_Peq2UnitSteady(benchmark::State& state) {
    renderPeq2Unit(state, false);
}
BENCHMARK(BM_Peq2UnitSteady);

void BM_Peq2UnitRamping(benchmark::State& state) {
    renderPeq2Unit(state, true);
}
BENCHMARK(BM_Peq2UnitRamping);

// Two direct-form biquads (the same arithmetic as sp_pareq's filter step) over the same input, with fixed
// coefficients: the floor a shelf equaliser can reach without the unit around it.
void BM_PlainStereoBiquad(benchmark::State& state) {
    const Peq2BenchInput input;
    auto output = PcmBuffer::make(*AudioFormat::standard(44100.0, 2), peq2Block);
    const float b0 = 3.1f, b1 = -4.9f, b2 = 1.9f, a1 = -1.2f, a2 = 0.36f;
    float state0[4] = {}, state1[4] = {};
    for (auto _ : state) {
        for (std::uint32_t c = 0; c < 2; ++c) {
            float* s = c == 0 ? state0 : state1;
            const float* in = input.channel(c);
            float* out = output->channel(c);
            for (std::uint32_t i = 0; i < peq2Block; ++i) {
                const float x = in[i];
                const float y = ((b2 * s[1] + (b0 * x + b1 * s[0])) - a1 * s[2]) - a2 * s[3];
                out[i] = y;
                s[1] = s[0];
                s[0] = x;
                s[3] = s[2];
                s[2] = y;
            }
        }
        benchmark::DoNotOptimize(output->channel(1)[peq2Block - 1]);
        benchmark::ClobberMemory();
    }
    setPerFrame(state);
}
BENCHMARK(BM_PlainStereoBiquad);

// The steady unit against a transposed direct form II biquad over the same input, one channel after the
// other, in alternating batches of 16 blocks; work_ns and reference_ns are per block of 512 frames.
void BM_Peq2UnitAgainstBiquad(benchmark::State& state) {
    auto unit = makePeq2Unit();
    if (!unit) {
        state.SkipWithError("no peq2 unit");
        return;
    }
    const Peq2BenchInput input;
    auto output = PcmBuffer::make(*AudioFormat::standard(44100.0, 2), peq2Block);
    AudioBufferList list = output->bufferList(peq2Block);
    std::int64_t sampleTime = 0;
    const float b0 = 3.1f, b1 = -4.9f, b2 = 1.9f, a1 = -1.2f, a2 = 0.36f;
    float states[2][2] = {};
    benchratio::measureAgainst(
        state, 16,
        [&] {
            unit->render(AudioTime::withSampleTime(sampleTime, 44100.0), peq2Block, 0, list, input);
            sampleTime += peq2Block;
            benchmark::DoNotOptimize(output->channel(1)[peq2Block - 1]);
        },
        [&] {
            for (std::uint32_t c = 0; c < 2; ++c) {
                const float* in = input.channel(c);
                float* out = output->channel(c);
                float s1 = states[c][0], s2 = states[c][1];
                for (std::uint32_t i = 0; i < peq2Block; ++i) {
                    const float x = in[i];
                    const float y = b0 * x + s1;
                    s1 = b1 * x - a1 * y + s2;
                    s2 = b2 * x - a2 * y;
                    out[i] = y;
                }
                states[c][0] = s1;
                states[c][1] = s2;
            }
            benchmark::DoNotOptimize(output->channel(1)[peq2Block - 1]);
            benchmark::ClobberMemory();
        });
}
BENCHMARK(BM_Peq2UnitAgainstBiquad);

} // namespace
