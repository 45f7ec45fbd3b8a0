#pragma once
// Test help for node parameters: the test gain unit as a generator (every output sample is its gain)
// in an offline engine, and a definition of its gain parameter.

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/NullAudioDevice.h"
#include "tests/platform/audio/GainTestUnit.h"
#include "tests/support/EngineRig.h"

#include <gtest/gtest.h>

#include <memory>

namespace parametertest {

inline rozezeru::NodeParameterDef
gainDef(rozezeru::AudioUnitParameterOptions::RawValue flags = rozezeru::AudioUnitParameterOptions::default_) {
    return {"gain", "Gain",       unittest::GainTestUnit::gainAddress,
            1.0f,   {0.0f, 4.0f}, platform::AudioUnitParameterUnit::linearGain,
            flags};
}

struct GeneratorRig {
    std::unique_ptr<platform::AudioEngine> engine;
    std::shared_ptr<platform::AudioUnitNode> node;
    unittest::GainTestUnit* unit = nullptr;
};

// Unit -> output at 44100 Hz, stereo, started; nothing rendered yet.
inline GeneratorRig makeGeneratorRig(std::uint32_t maximumFrames = 4096) {
    GeneratorRig rig;
    rig.engine = std::make_unique<platform::AudioEngine>(std::make_unique<platform::NullAudioDevice>());
    EXPECT_TRUE(rig.engine->enableManualRenderingMode(unittest::unitStereo(), maximumFrames));
    auto unit = std::make_unique<unittest::GainTestUnit>(unittest::GainTestUnit::generatorDescription(), 0);
    rig.unit = unit.get();
    rig.node = std::make_shared<platform::AudioUnitNode>(std::move(unit));
    EXPECT_TRUE(rig.engine->attach(rig.node));
    EXPECT_TRUE(rig.engine->connect(*rig.node, rig.engine->outputNode(), 0, 0, unittest::unitStereo()));
    EXPECT_TRUE(rig.engine->start());
    return rig;
}

// Channel 0 of the next `frames` frames, rendered in cycles of `slice`.
inline std::vector<float> renderChannel0(GeneratorRig& rig, std::uint32_t frames,
                                         std::uint32_t slice = 4096) {
    auto channels = testsupport::renderOfflineFrames(*rig.engine, frames, slice);
    return channels.empty() ? std::vector<float>{} : channels[0];
}

} // namespace parametertest
