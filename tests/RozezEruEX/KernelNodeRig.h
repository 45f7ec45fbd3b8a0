#pragma once
// Toolkit nodes over the probe kernels, for the tests of node instantiation, triggers and automation: a
// tone node whose output is its parameters' values frame by frame, a note node whose kernel records the raw
// MIDI it is sent, and an offline toolkit engine. Test thread (offline renders run on it too).

#include "tests/support/ProbeKernels.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Node.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "RozezEruEX/DSPRegistry.h"
#include "RozezEruEX/NodeInstantiation.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/NullAudioDevice.h"
#include "tests/support/EngineRig.h"
#include "tests/support/ToolkitRig.h"

#include <array>
#include <mutex>

namespace kerneltest {
using namespace testsupport;
using namespace rozezeru;

struct RawMIDIRecord {
    std::array<std::uint8_t, 3> bytes{};
    std::uint16_t length = 0;
    std::uint8_t cable = 0xFF;
    AUEventSampleTime sampleTime = -1;
};

// An instrument kernel that renders silence and records every MIDI event as it arrives.
class MIDIRecorderDSP final : public DSPBase {
public:
    static constexpr std::size_t capacity = 32;

    MIDIRecorderDSP() : DSPBase(0, false) {}
    void process(FrameRange range) override {
        for (std::uint32_t c = 0; c < outputBufferList->numberBuffers; ++c)
            std::fill_n(outputBufferList->floatData(c) + range.start, range.count, 0.0f);
    }
    void handleMIDIEvent(const AUMIDIEvent& event) override {
        if (count < capacity)
            records[count++] = {
                {event.data[0], event.data[1], event.data[2]}, event.length, event.cable, now};
        DSPBase::handleMIDIEvent(event);
    }

    std::array<RawMIDIRecord, capacity> records{};
    std::size_t count = 0;
};

inline void registerKernelNodeProbes() {
    registerProbeKernels();
    static std::once_flag once;
    std::call_once(once, [] { registerDSP<MIDIRecorderDSP>("tsmi", {}); });
}

inline NodeParameterDef probeToneDef(const char* identifier, const char* registryName) {
    registerKernelNodeProbes();
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
    ProbeToneNode() : unit_((registerKernelNodeProbes(), instantiateInstrument("tsgn"))) {
        setupParameters();
    }

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

// What a kernel ramp of `frames` frames from `from` to `to` plays at its k-th frame.
inline float kernelRampValue(float from, float to, std::uint32_t frames, std::uint32_t k) {
    if (k >= frames) return to;
    const float slope = (from - to) / float(frames);
    return float(frames - k) * slope + to;
}

using testsupport::offlineToolkitEngine;
using testsupport::renderToolkit;

} // namespace kerneltest
