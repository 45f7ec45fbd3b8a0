#include "Sigpro/modules/PitchTracker.h"

#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_ptrack.h"

#include <climits>
#include <new>

namespace sigpro {

PitchTracker* rzPitchTrackerCreate(std::int32_t sampleRate, std::uint32_t hopSize, std::uint32_t peakCount) {
    auto* t = new (std::nothrow) PitchTracker{};
    if (t == nullptr) return nullptr;
    sp_create(&t->context);
    t->context->sample_rate = sampleRate;
    t->context->channels = 1;
    sp_ptrack_create(&t->tracker);
    // Sizes beyond int are refused by the module like any other bad window.
    const int hop = hopSize > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(hopSize);
    const int peaks = peakCount > static_cast<std::uint32_t>(INT_MAX) ? INT_MAX : static_cast<int>(peakCount);
    if (t->tracker != nullptr) sp_ptrack_init(t->context, t->tracker, hop, peaks);
    return t;
}

void rzPitchTrackerDestroy(PitchTracker* tracker) {
    if (tracker == nullptr) return;
    sp_ptrack_destroy(&tracker->tracker);
    sp_destroy(&tracker->context);
    delete tracker;
}

void rzPitchTrackerAnalyze(PitchTracker* tracker, const float* samples, std::uint32_t frameCount) {
    if (tracker == nullptr || tracker->tracker == nullptr) return;
    for (std::uint32_t i = 0; i < frameCount; ++i) {
        float sample = samples[i];
        sp_ptrack_compute(tracker->context, tracker->tracker, &sample, &tracker->pitch, &tracker->amplitude);
    }
}

void rzPitchTrackerGetAmplitudeAndPitch(const PitchTracker* tracker, float* amplitude, float* pitch) {
    *amplitude = tracker->amplitude;
    *pitch = tracker->pitch;
}

} // namespace sigpro
