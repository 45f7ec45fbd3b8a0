#pragma once
// An offline engine with one audio-unit node between a test source and the output, for the audio-unit
// tests.

#include "EngineTestNodes.h"
#include "GainTestUnit.h"

#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/NullAudioDevice.h"

#include <gtest/gtest.h>

namespace unittest {

struct UnitRig {
    std::unique_ptr<AudioEngine> engine;
    std::shared_ptr<AudioUnitNode> node;
    GainTestUnit* unit = nullptr;
    enginetest::CountingSource source;
};

// Source (value(n) on every channel; none for a unit without inputs) -> unit -> output, all in
// `format`, started, nothing rendered yet.
template <typename Signal>
UnitRig makeUnitRig(std::unique_ptr<GainTestUnit> unit, const AudioFormat& format,
                    std::uint32_t maximumFrames, Signal value) {
    UnitRig rig;
    rig.engine = std::make_unique<AudioEngine>(std::make_unique<NullAudioDevice>());
    EXPECT_TRUE(rig.engine->enableManualRenderingMode(format, maximumFrames));
    rig.unit = unit.get();
    rig.node = std::make_shared<AudioUnitNode>(std::move(unit));
    EXPECT_TRUE(rig.engine->attach(rig.node));
    if (rig.node->numberOfInputs() > 0) {
        rig.source = enginetest::makeSource(format, value);
        EXPECT_TRUE(rig.engine->attach(rig.source.node));
        EXPECT_TRUE(rig.engine->connect(*rig.source.node, *rig.node, 0, 0, format));
    }
    EXPECT_TRUE(rig.engine->connect(*rig.node, rig.engine->outputNode(), 0, 0, format));
    EXPECT_TRUE(rig.engine->start());
    return rig;
}

inline UnitRig makeUnitRig(const AudioFormat& format = unitStereo(), std::uint32_t maximumFrames = 256) {
    return makeUnitRig(std::make_unique<GainTestUnit>(), format, maximumFrames,
                       [](std::int64_t) { return 1.0f; });
}

} // namespace unittest
