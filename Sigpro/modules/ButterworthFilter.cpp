#include "Sigpro/modules/ButterworthFilter.h"

#include "Sigpro/modules/PairBlock.h"

#include <numbers>

namespace sigpro {

namespace {

template <class Record, class Design>
void computeButterworthPair(Record& left, Record& right, Design design, const float* inLeft,
                            const float* inRight, float* outLeft, float* outRight, std::uint32_t frames) {
    const bool liveLeft = butterworthCoefficientsReady(left, design);
    const bool liveRight = butterworthCoefficientsReady(right, design);
    runPairBlock(left, right, liveLeft, liveRight, inLeft, inRight, outLeft, outRight, frames,
                 butterworthSectionStep<Record>);
}

} // namespace

int butterworthInit(sp_data* sp, ButterworthCutoffRecord& r) {
    r.frequency = 1000.0f;
    r.last_frequency = 0.0f;
    r.s1 = r.s2 = 0.0f;
    r.half_radians_per_hz = static_cast<float>(std::numbers::pi / sp->sample_rate);
    return 1;
}

int butterworthInit(sp_data* sp, ButterworthBandRecord& r, float bandwidth) {
    r.frequency = 1000.0f;
    r.bandwidth = bandwidth;
    r.last_frequency = r.last_bandwidth = 0.0f;
    r.s1 = r.s2 = 0.0f;
    r.half_radians_per_hz = static_cast<float>(std::numbers::pi / sp->sample_rate);
    r.radians_per_hz = static_cast<float>(2.0 * std::numbers::pi / sp->sample_rate);
    return 1;
}

int butterworthComputePair(ButterworthCutoffRecord& left, ButterworthCutoffRecord& right,
                           ButterworthCutoffDesign design, const float* inLeft, const float* inRight,
                           float* outLeft, float* outRight, std::uint32_t frames) {
    computeButterworthPair(left, right, design, inLeft, inRight, outLeft, outRight, frames);
    return 1;
}

int butterworthComputePair(ButterworthBandRecord& left, ButterworthBandRecord& right,
                           ButterworthBandDesign design, const float* inLeft, const float* inRight,
                           float* outLeft, float* outRight, std::uint32_t frames) {
    computeButterworthPair(left, right, design, inLeft, inRight, outLeft, outRight, frames);
    return 1;
}

} // namespace sigpro
