#pragma once
// Runs the one-channel filter step of a module over a block for the two channels of a pair kernel at once.
// The records are copied into locals, so their state stays in registers over the block, and the two
// channels' recursions, which do not depend on each other, overlap. Each sample takes exactly the
// arithmetic of the module's own compute. Render thread.

#include <cstdint>

namespace sigpro {

// out[i] = step(record, in[i]) for one channel.
template <class Record, class Step>
inline void runBlock(Record& record, const float* in, float* out, std::uint32_t frames, Step step) {
    Record local = record;
    for (std::uint32_t i = 0; i < frames; ++i)
        out[i] = step(local, in[i]);
    record = local;
}

// Both channels, frame by frame; a buffer may be both input and output (processing in place).
template <class Record, class Step>
inline void runPairBlock(Record& left, Record& right, const float* inLeft, const float* inRight,
                         float* outLeft, float* outRight, std::uint32_t frames, Step step) {
    Record l = left;
    Record r = right;
    for (std::uint32_t i = 0; i < frames; ++i) {
        const float xl = inLeft[i];
        const float xr = inRight[i];
        const float yl = step(l, xl);
        const float yr = step(r, xr);
        outLeft[i] = yl;
        outRight[i] = yr;
    }
    left = l;
    right = r;
}

// For modules that output 0 and keep their state while a parameter is out of range: `live` tells, per
// channel, whether the step runs.
template <class Record, class Step>
inline void runPairBlock(Record& left, Record& right, bool liveLeft, bool liveRight, const float* inLeft,
                         const float* inRight, float* outLeft, float* outRight, std::uint32_t frames,
                         Step step) {
    if (liveLeft && liveRight) {
        runPairBlock(left, right, inLeft, inRight, outLeft, outRight, frames, step);
        return;
    }
    if (liveLeft)
        runBlock(left, inLeft, outLeft, frames, step);
    else
        for (std::uint32_t i = 0; i < frames; ++i)
            outLeft[i] = 0.0f;
    if (liveRight)
        runBlock(right, inRight, outRight, frames, step);
    else
        for (std::uint32_t i = 0; i < frames; ++i)
            outRight[i] = 0.0f;
}

} // namespace sigpro
