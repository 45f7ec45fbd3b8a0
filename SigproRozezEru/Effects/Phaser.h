#pragma once
// A stereo phaser: notches swept by a low-frequency oscillator. Main thread (the kernel renders on the render
// thread).

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

class Phaser final : public EffectNode {
public:
    static constexpr std::string_view componentSubType = "phas";
    static constexpr std::string_view nodeClassName = "Phaser";
    // In declaration order, which is the order of the parameter tree and of the kernel's addresses.
    static constexpr std::array<NodeParameterRow, 9> parameterRows{{
        {"notchMinimumFrequency", "Min notch frequency", 100.0f, {20.0f, 5000.0f}, ParameterUnit::hertz},
        {"notchMaximumFrequency", "Max notch frequency", 800.0f, {20.0f, 10000.0f}, ParameterUnit::hertz},
        {"notchWidth", "Notch width", 1000.0f, {10.0f, 5000.0f}, ParameterUnit::hertz},
        {"notchFrequency", "Notch frequency", 1.5f, {1.1f, 4.0f}, ParameterUnit::hertz},
        {"vibratoMode", "Vibrato mode", 1.0f, {0.0f, 1.0f}, ParameterUnit::generic},
        {"depth", "Depth", 1.0f, {0.0f, 1.0f}, ParameterUnit::generic},
        {"feedback", "Feedback", 0.0f, {0.0f, 1.0f}, ParameterUnit::generic},
        {"inverted", "Inversion", 0.0f, {0.0f, 1.0f}, ParameterUnit::generic},
        {"lfoBPM", "LFO Frequency", 30.0f, {24.0f, 360.0f}, ParameterUnit::BPM},
    }};
    static NodeParameterDef notchMinimumFrequencyDef() { return nodeParameterDef<Phaser>(0); }
    static NodeParameterDef notchMaximumFrequencyDef() { return nodeParameterDef<Phaser>(1); }
    static NodeParameterDef notchWidthDef() { return nodeParameterDef<Phaser>(2); }
    static NodeParameterDef notchFrequencyDef() { return nodeParameterDef<Phaser>(3); }
    static NodeParameterDef vibratoModeDef() { return nodeParameterDef<Phaser>(4); }
    static NodeParameterDef depthDef() { return nodeParameterDef<Phaser>(5); }
    static NodeParameterDef feedbackDef() { return nodeParameterDef<Phaser>(6); }
    static NodeParameterDef invertedDef() { return nodeParameterDef<Phaser>(7); }
    static NodeParameterDef lfoBPMDef() { return nodeParameterDef<Phaser>(8); }

    // `input` must not be null. The values are written (clamped) once the parameter tree is set up.
    explicit Phaser(std::shared_ptr<Node> input,
                    platform::AUValue notchMinimumFrequency = notchMinimumFrequencyDef().defaultValue,
                    platform::AUValue notchMaximumFrequency = notchMaximumFrequencyDef().defaultValue,
                    platform::AUValue notchWidth = notchWidthDef().defaultValue,
                    platform::AUValue notchFrequency = notchFrequencyDef().defaultValue,
                    platform::AUValue vibratoMode = vibratoModeDef().defaultValue,
                    platform::AUValue depth = depthDef().defaultValue,
                    platform::AUValue feedback = feedbackDef().defaultValue,
                    platform::AUValue inverted = invertedDef().defaultValue,
                    platform::AUValue lfoBPM = lfoBPMDef().defaultValue)
        : EffectNode(std::move(input), componentSubType) {
        setupParameters();
        writeInitialValues({notchMinimumFrequency, notchMaximumFrequency, notchWidth, notchFrequency,
                            vibratoMode, depth, feedback, inverted, lfoBPM});
    }

    std::vector<std::shared_ptr<NodeParameter>> parameters() const override {
        return parameterList(notchMinimumFrequency, notchMaximumFrequency, notchWidth, notchFrequency,
                             vibratoMode, depth, feedback, inverted, lfoBPM);
    }

    Parameter<float> notchMinimumFrequency{notchMinimumFrequencyDef()};
    Parameter<float> notchMaximumFrequency{notchMaximumFrequencyDef()};
    Parameter<float> notchWidth{notchWidthDef()};
    Parameter<float> notchFrequency{notchFrequencyDef()};
    Parameter<float> vibratoMode{vibratoModeDef()};
    Parameter<float> depth{depthDef()};
    Parameter<float> feedback{feedbackDef()};
    Parameter<float> inverted{invertedDef()};
    Parameter<float> lfoBPM{lfoBPMDef()};
};

} // namespace rozezeru
