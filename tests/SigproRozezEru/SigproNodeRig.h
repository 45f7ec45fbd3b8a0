#pragma once
// Test help for the effect and generator nodes: a source node that plays a given signal, and an offline
// toolkit engine with a node as its output. Test thread (offline renders run on it too).

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Node.h"
#include "platform/audio/NullAudioDevice.h"
#include "tests/support/EngineRig.h"
#include "tests/support/ToolkitRig.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace sigpronodetest {

// Plays value(n) on both channels for its n-th rendered frame.
class SignalNode final : public rozezeru::Node {
public:
    template <typename Signal>
    explicit SignalNode(Signal value) : source_(testsupport::makeSource(testsupport::stereo(), value)) {}

    std::vector<std::shared_ptr<rozezeru::Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return source_.node; }

private:
    testsupport::CountingSource source_;
};

using testsupport::offlineToolkitEngine;
using testsupport::renderToolkit;

} // namespace sigpronodetest
