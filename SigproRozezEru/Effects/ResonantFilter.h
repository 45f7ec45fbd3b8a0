#pragma once
// A resonant band filter given by its centre frequency and bandwidth. Main thread (the kernel renders on the
// render thread).

#include "RozezEru/Nodes/NodeParameterDef.h"
#include "RozezEru/Nodes/Parameter.h"
#include "RozezEru/Nodes/ParameterSetup.h"
#include "SigproRozezEru/Effects/EffectNode.h"
#include "SigproRozezEru/NodeParameterTable.h"
#include "platform/audio/AudioUnitTypes.h"

#include <array>
#include <memory>
#include <string_view>
#include <vector>

namespace rozezeru {

class ResonantFilter final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "resn";
    static constexpr std::string_view nodeClassName = "ResonantFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 2> parameterRows{{
        {"frequency", "Frequency", 4000.0f, {100.0f, 20000.0f}, ParameterUnit::hertz},
        {"bandwidth", "Bandwidth of the filter.", 1000.0f, {0.0f, 10000.0f}, ParameterUnit::hertz},
    }};
    static NodeParameterDef frequencyDef() { return nodeParameterDef<ResonantFilter>(0); }
    static NodeParameterDef bandwidthDef() { return nodeParameterDef<ResonantFilter>(1); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit ResonantFilter(std::shared_ptr<Node> input,
                            platform::AUValue frequency = frequencyDef().defaultValue,
                            platform::AUValue bandwidth = bandwidthDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({frequency, bandwidth});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(frequency, bandwidth);
    }

    Parameter<float> frequency{frequencyDef()};
    Parameter<float> bandwidth{bandwidthDef()};
};

} // namespace rozezeru
