#pragma once
// An offline engine with one kernel-hosting unit between a test source and the output. Test thread (the
// offline render runs on it too).

#include "RozezEruEX/RozezEruAU.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/NullAudioDevice.h"
#include "tests/platform/audio/EngineTestNodes.h"

#include <gtest/gtest.h>

namespace kerneltest {

struct HostedUnitRig {
    std::unique_ptr<platform::AudioEngine> engine;
    std::shared_ptr<platform::AudioUnitNode> node;
    rozezeru::RozezEruAU* unit = nullptr;
    enginetest::CountingSource source;

    // `frames` frames in cycles of `cycle`, one vector per channel.
    std::vector<std::vector<float>> render(std::uint32_t frames, std::uint32_t cycle) {
        return enginetest::renderOfflineFrames(*engine, frames, cycle);
    }
};

// Source (value(n) on every channel; none for a unit without inputs) -> unit -> output, all in `format`,
// started, nothing rendered yet.
template <typename Signal>
HostedUnitRig makeHostedUnitRig(std::shared_ptr<platform::AudioUnitNode> node,
                                const platform::AudioFormat& format, std::uint32_t maximumFrames,
                                Signal value) {
    HostedUnitRig rig;
    rig.engine = std::make_unique<platform::AudioEngine>(std::make_unique<platform::NullAudioDevice>());
    EXPECT_TRUE(rig.engine->enableManualRenderingMode(format, maximumFrames));
    rig.node = std::move(node);
    rig.unit = dynamic_cast<rozezeru::RozezEruAU*>(&rig.node->auAudioUnit());
    EXPECT_NE(rig.unit, nullptr);
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

} // namespace kerneltest
