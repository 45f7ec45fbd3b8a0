#pragma once
// The shared unit rig around the gain test unit, for the audio-unit tests.

#include "GainTestUnit.h"

#include "tests/support/EngineRig.h"

namespace unittest {

using GainUnitRig = testsupport::UnitRig<GainTestUnit>;

template <typename Signal>
GainUnitRig makeUnitRig(std::unique_ptr<GainTestUnit> unit, const AudioFormat& format,
                        std::uint32_t maximumFrames, Signal value) {
    return testsupport::makeUnitRig<GainTestUnit>(std::make_shared<AudioUnitNode>(std::move(unit)), format,
                                                  maximumFrames, value);
}

inline GainUnitRig makeUnitRig(const AudioFormat& format = unitStereo(), std::uint32_t maximumFrames = 256) {
    return makeUnitRig(std::make_unique<GainTestUnit>(), format, maximumFrames,
                       [](std::int64_t) { return 1.0f; });
}

} // namespace unittest
