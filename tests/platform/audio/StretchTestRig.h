#pragma once
// An offline engine with a counting test source -> a time-changing unit (time-pitch, varispeed) ->
// output, and the measurements the tests of those units share: frequency, tone-burst onsets and the
// heard input position of every output frame from the units' per-cycle timing.

#include "tests/support/EngineRig.h"

#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/StretchTiming.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace stretchtest {

using namespace platform;

inline constexpr double sampleRate = 44100.0;

inline AudioFormat stretchStereo() {
    return *AudioFormat::standard(sampleRate, 2);
}

template <typename Unit> struct StretchRig {
    std::unique_ptr<AudioEngine> engine;
    std::shared_ptr<AudioUnitNode> node;
    Unit* unit = nullptr;
    testsupport::CountingSource source;
};

// Source (value(n) on both channels for input frame n) -> unit -> output, started.
template <typename Unit, typename Signal>
StretchRig<Unit> makeStretchRig(std::unique_ptr<Unit> unit, Signal value, std::uint32_t maximumFrames = 512) {
    StretchRig<Unit> rig;
    rig.engine = std::make_unique<AudioEngine>(std::make_unique<NullAudioDevice>());
    EXPECT_TRUE(rig.engine->enableManualRenderingMode(stretchStereo(), maximumFrames));
    rig.unit = unit.get();
    rig.node = std::make_shared<AudioUnitNode>(std::move(unit));
    rig.source = testsupport::makeSource(stretchStereo(), value);
    EXPECT_TRUE(rig.engine->attach(rig.node));
    EXPECT_TRUE(rig.engine->attach(rig.source.node));
    EXPECT_TRUE(rig.engine->connect(*rig.source.node, *rig.node, 0, 0, stretchStereo()));
    EXPECT_TRUE(rig.engine->connect(*rig.node, rig.engine->outputNode(), 0, 0, stretchStereo()));
    EXPECT_TRUE(rig.engine->start());
    return rig;
}

// One render cycle as the test saw it: the source's frames after it and the unit's timing of it.
struct CycleRecord {
    std::int64_t sourceFrames = 0;
    StretchTiming timing;
};

struct Rendered {
    std::vector<float> left;
    std::vector<float> right;
    std::vector<CycleRecord> cycles;
};

// Renders `cycles` cycles of `frames` frames, calling `beforeCycle(i)` before cycle i.
template <typename Unit>
Rendered renderCycles(StretchRig<Unit>& rig, int cycles, std::uint32_t frames,
                      const std::function<void(int)>& beforeCycle = {}) {
    Rendered rendered;
    auto buffer = PcmBuffer::make(stretchStereo(), frames);
    for (int i = 0; i < cycles; ++i) {
        if (beforeCycle) beforeCycle(i);
        const auto status = rig.engine->renderOffline(frames, *buffer);
        EXPECT_TRUE(status && *status == ManualRenderingStatus::success);
        if (!status || *status != ManualRenderingStatus::success) break;
        rendered.left.insert(rendered.left.end(), buffer->channel(0), buffer->channel(0) + frames);
        rendered.right.insert(rendered.right.end(), buffer->channel(1), buffer->channel(1) + frames);
        CycleRecord record;
        record.sourceFrames = rig.source.frames->load();
        const auto timing = rig.unit->timing();
        EXPECT_TRUE(timing.has_value());
        if (timing) record.timing = *timing;
        rendered.cycles.push_back(record);
    }
    return rendered;
}

// The input position heard at output frame `frame`, from the cycles' timing (between two cycle starts
// the position moves evenly).
inline double heardAt(const std::vector<CycleRecord>& cycles, double frame) {
    for (std::size_t i = 0; i + 1 < cycles.size(); ++i) {
        const StretchTiming& a = cycles[i].timing;
        const StretchTiming& b = cycles[i + 1].timing;
        if (frame >= double(a.outputFrames) && frame < double(b.outputFrames))
            return a.heardInputFrame + (frame - double(a.outputFrames)) /
                                           double(b.outputFrames - a.outputFrames) *
                                           (b.heardInputFrame - a.heardInputFrame);
    }
    return NAN;
}

// A steady 1 kHz sine of amplitude 0.5.
inline float sine1k(std::int64_t frame) {
    return float(0.5 * std::sin(2.0 * M_PI * 1000.0 * double(frame) / sampleRate));
}

// A 1 kHz tone of amplitude 0.5 sounding for 20 ms every 250 ms from 0.1 s of input on.
inline constexpr double burstFirst = 0.1;
inline constexpr double burstPeriod = 0.25;
inline float toneBursts(std::int64_t frame) {
    const double t = double(frame) / sampleRate;
    const double phase = std::fmod(t - burstFirst, burstPeriod);
    if (t < burstFirst || phase > 0.02) return 0.0f;
    return float(0.5 * std::sin(2.0 * M_PI * 1000.0 * t));
}

// Output frames where a burst starts: the 2 ms RMS envelope rises through half the burst's level
// (the envelope's centre at that moment).
inline std::vector<double> burstOnsets(const std::vector<float>& samples) {
    constexpr std::size_t window = 88;
    std::vector<double> onsets;
    double energy = 0.0;
    bool quiet = true;
    for (std::size_t k = 0; k < samples.size(); ++k) {
        energy += double(samples[k]) * samples[k];
        if (k >= window) energy -= double(samples[k - window]) * samples[k - window];
        const double level = std::sqrt(std::max(0.0, energy) / window);
        if (quiet && level > 0.17 && k >= window) {
            quiet = false;
            onsets.push_back(double(k) - window / 2.0);
        }
        if (level < 0.05) quiet = true;
    }
    return onsets;
}

// Seconds from the input position `frame` to the nearest burst start.
inline double burstError(double frame) {
    const double t = frame / sampleRate - burstFirst;
    return t - std::round(t / burstPeriod) * burstPeriod;
}

} // namespace stretchtest
