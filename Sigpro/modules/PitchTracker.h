#pragma once
// Pitch and amplitude tracking of tapped sample buffers outside any kernel: one tracker per analysed
// channel, over an sp_ptrack module on its own context. Any one thread at a time per tracker; analysis
// allocates nothing.

#include <cstdint>

namespace sigpro {

struct sp_data;
struct sp_ptrack;

struct PitchTracker {
    sp_data* context;
    sp_ptrack* tracker;
    float amplitude; // the module's latest amplitude, 0 before any analysis
    float pitch;     // the module's latest pitch in Hz, 0 before any analysis
};

// A new tracker, owned by the caller (free it with rzPitchTrackerDestroy); nullptr when memory is
// exhausted. A hop size the module refuses ("Woops") leaves a tracker whose analysis reads 0 and 0.
PitchTracker* rzPitchTrackerCreate(std::int32_t sampleRate, std::uint32_t hopSize, std::uint32_t peakCount);
// Destroys the module, the context and the tracker; null does nothing.
void rzPitchTrackerDestroy(PitchTracker* tracker);
// Runs the module once per sample in order; consecutive buffers form one stream.
void rzPitchTrackerAnalyze(PitchTracker* tracker, const float* samples, std::uint32_t frameCount);
// The amplitude and pitch as of the last analysed sample; does not run the module.
void rzPitchTrackerGetAmplitudeAndPitch(const PitchTracker* tracker, float* amplitude, float* pitch);

} // namespace sigpro
