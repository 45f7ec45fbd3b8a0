#pragma once
// Helpers of the high-shelf kernel tests: a kernel filtering with its input lying in the output buffers
// (as the hosting unit arranges for an in-place kernel), a reference shelf made of a bare sp_pareq, and
// the values of a deferred set. Test thread.

#include "Sigpro/kernels/HighShelfParametricEqualizerFilterDSP.h"
#include "Sigpro/modules/sp_pareq.h"
#include "tests/RozezEruEX/KernelHarness.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

namespace shelftest {

using Dsp = sigpro::HighShelfParametricEqualizerFilterDSP;

using sigprotest::Stereo;

// A kernel initialised with a shelf set before init, so that the values jump.
struct Shelf {
    Shelf(float frequency, float gain, float q, double rate = 44100.0, std::uint32_t channels = 2)
        : harness(dsp, channels) {
        dsp.setParameter(Dsp::centerFrequencyAddress, frequency, false);
        dsp.setParameter(Dsp::gainAddress, gain, false);
        dsp.setParameter(Dsp::qAddress, q, false);
        dsp.init(int(channels), rate);
    }

    // Filters `input` in cycles of `cycle` frames starting at `sampleTime`.
    Stereo filter(const Stereo& input, std::uint32_t cycle = 512, std::int64_t sampleTime = 0) {
        Stereo output;
        const auto total = std::uint32_t(input.left.size());
        for (std::uint32_t done = 0; done < total;) {
            const std::uint32_t frames = std::min(cycle, total - done);
            std::copy_n(input.left.begin() + done, frames, harness.output(0));
            std::copy_n(input.right.begin() + done, frames, harness.output(1));
            harness.render(sampleTime + done, frames, nullptr, nullptr);
            output.left.insert(output.left.end(), harness.output(0), harness.output(0) + frames);
            output.right.insert(output.right.end(), harness.output(1), harness.output(1) + frames);
            done += frames;
        }
        return output;
    }

    Dsp dsp;
    kerneltest::KernelHarness harness;
};

// One bare high-shelf section at a sample rate, stepped with explicit parameter values.
class ReferenceShelf {
public:
    explicit ReferenceShelf(int sampleRate) : sp_(sampleRate) {
        sigpro::sp_pareq_init(sp_.get(), eq_.get());
        eq_->mode = 2.0f;
    }
    float step(float x, float frequency, float gain, float q) {
        std::tie(eq_->frequency, eq_->gain, eq_->q) = std::tuple(frequency, gain, q);
        return eq_(sp_.get(), x);
    }
    std::vector<float> filter(const std::vector<float>& input, float frequency, float gain, float q) {
        std::vector<float> output;
        for (float x : input)
            output.push_back(step(x, frequency, gain, q));
        return output;
    }

private:
    sigprotest::ContextHandle sp_;
    sigprotest::ModuleHandle<sigpro::sp_pareq, sigpro::sp_pareq_create, sigpro::sp_pareq_destroy,
                             sigpro::sp_pareq_compute>
        eq_;
};

// The values of a deferred set from `from` to `to` over `frames` frames, frame by frame.
inline float rampValue(float from, float to, std::uint32_t frames, std::uint32_t k) {
    const float slope = (from - to) / float(frames);
    return k < frames ? float(frames - k) * slope + to : to;
}

} // namespace shelftest
