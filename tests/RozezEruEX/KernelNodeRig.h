#pragma once
// Toolkit nodes over the probe kernels, for the tests of node instantiation, triggers and automation: a
// tone node whose output is its parameters' values frame by frame, and a node with the gate and trigger
// mixins over any kernel-hosting unit. Test thread (offline renders run on it too).

#include "tests/support/ProbeKernels.h"

#include "RozezEru/Nodes/Node.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "RozezEruEX/NodeInstantiation.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "platform/audio/AudioUnitNode.h"
#include "tests/support/ToolkitRig.h"

namespace kerneltest {
using namespace testsupport;
using namespace rozezeru;

inline NodeParameterDef probeToneDef(const char* identifier, const char* registryName) {
    registerProbeKernels();
    return {identifier,
            identifier,
            rzGetParameterAddress(registryName),
            0.0f,
            {-10.0f, 10.0f},
            platform::AudioUnitParameterUnit::generic,
            AudioUnitParameterOptions::default_};
}

// The probe generator ("tsgn") as a node: channel 0 plays `first`, channel 1 plays `second`.
class ProbeToneNode final : public Node {
public:
    ProbeToneNode() : unit_((registerProbeKernels(), instantiateInstrument("tsgn"))) { setupParameters(); }

    std::vector<std::shared_ptr<Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return unit_; }
    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(first, second);
    }

    Parameter<float> first{probeToneDef("first", "ProbeGeneratorParameterFirst")};
    Parameter<float> second{probeToneDef("second", "ProbeGeneratorParameterSecond")};

private:
    std::shared_ptr<platform::AudioUnitNode> unit_;
};

// A node over any kernel-hosting unit, with the default gate and trigger behaviour.
class NoteNode final : public Node, public Gated, public Triggerable, public MIDITriggerable {
public:
    explicit NoteNode(std::shared_ptr<platform::AudioUnitNode> unit) : unit_(std::move(unit)) {}

    std::vector<std::shared_ptr<Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return unit_; }
    using MIDITriggerable::trigger;
    using Triggerable::trigger;

private:
    std::shared_ptr<platform::AudioUnitNode> unit_;
};

} // namespace kerneltest
