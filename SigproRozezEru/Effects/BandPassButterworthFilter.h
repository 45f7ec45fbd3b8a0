#pragma once
// A Butterworth band-pass filter, one per channel. Main thread (the kernel renders on the render thread).

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

class BandPassButterworthFilter final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "btbp";
    static constexpr std::string_view nodeClassName = "BandPassButterworthFilter";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 2> parameterRows{{
        {"centerFrequency", "Center Frequency", 2000.0f, {12.0f, 20000.0f}, ParameterUnit::hertz},
        {"bandwidth", "Bandwidth", 100.0f, {0.0f, 20000.0f}, ParameterUnit::hertz},
    }};
    static NodeParameterDef centerFrequencyDef() { return nodeParameterDef<BandPassButterworthFilter>(0); }
    static NodeParameterDef bandwidthDef() { return nodeParameterDef<BandPassButterworthFilter>(1); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit BandPassButterworthFilter(std::shared_ptr<Node> input,
                                       platform::AUValue centerFrequency = centerFrequencyDef().defaultValue,
                                       platform::AUValue bandwidth = bandwidthDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({centerFrequency, bandwidth});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(centerFrequency, bandwidth);
    }

    Parameter<float> centerFrequency{centerFrequencyDef()};
    Parameter<float> bandwidth{bandwidthDef()};
};

} // namespace rozezeru
