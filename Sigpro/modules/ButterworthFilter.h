#pragma once
// What the four Butterworth modules share: the records (one with a cutoff, for sp_butlp and sp_buthp; one
// with a centre and a width, for sp_butbp and sp_butbr) and everything but each filter's coefficient
// design. Render thread (init on the kernel's set-up or reset).

#include "Sigpro/modules/ButterworthSection.h"
#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct ButterworthCutoffRecord {
    float frequency;
    float last_frequency;
    float a1, a2, a3, a4, a5;
    float s1, s2;
    float half_radians_per_hz;
};

struct ButterworthBandRecord {
    float frequency;
    float bandwidth;
    float last_frequency, last_bandwidth;
    float a1, a2, a3, a4, a5;
    float s1, s2;
    float half_radians_per_hz, radians_per_hz;
};

// Each function below returns 1, as the modules' own do.

// Sets a1 ... a5 from the record's parameters, which are above 0.
using ButterworthCutoffDesign = void (*)(ButterworthCutoffRecord& r);
using ButterworthBandDesign = void (*)(ButterworthBandRecord& r);

// A frequency of 1000 Hz (and the given width), no history, the coefficients due at the first compute.
int butterworthInit(sp_data* sp, ButterworthCutoffRecord& r);
int butterworthInit(sp_data* sp, ButterworthBandRecord& r, float bandwidth);

// Brings the coefficients up to date; false while the filter is off (its output is then 0).
inline bool butterworthCoefficientsReady(ButterworthCutoffRecord& r, ButterworthCutoffDesign design) {
    if (!(r.frequency > 0.0f)) return false;
    if (r.frequency != r.last_frequency) {
        r.last_frequency = r.frequency;
        design(r);
    }
    return true;
}

inline bool butterworthCoefficientsReady(ButterworthBandRecord& r, ButterworthBandDesign design) {
    if (!(r.bandwidth > 0.0f)) return false;
    if (r.bandwidth != r.last_bandwidth || r.frequency != r.last_frequency) {
        r.last_bandwidth = r.bandwidth;
        r.last_frequency = r.frequency;
        design(r);
    }
    return true;
}

// One sample of either record; a cutoff or width not above 0 gives 0.0 and leaves the history untouched.
// Called per sample on the render path, so the design is a template argument and the whole step inlines
// into each module.
template <auto design, class Record> inline int butterworthCompute(Record& r, const float* in, float* out) {
    *out = butterworthCoefficientsReady(r, design) ? butterworthSectionStep(r, *in) : 0.0f;
    return 1;
}

// `frames` samples of each of the two records, their parameters holding still over the block.
int butterworthComputePair(ButterworthCutoffRecord& left, ButterworthCutoffRecord& right,
                           ButterworthCutoffDesign design, const float* inLeft, const float* inRight,
                           float* outLeft, float* outRight, std::uint32_t frames);
int butterworthComputePair(ButterworthBandRecord& left, ButterworthBandRecord& right,
                           ButterworthBandDesign design, const float* inLeft, const float* inRight,
                           float* outLeft, float* outRight, std::uint32_t frames);

} // namespace sigpro
