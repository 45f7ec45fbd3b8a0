#include "SigproRozezEru/Effects/HighShelfParametricEqualizerFilter.h"

#include "SigproRozezEru/NodeParameterTable.h"
#include "SigproRozezEru/SigproRozezEruRegistration.h"

#include <array>

namespace rozezeru {

namespace {

using platform::AudioUnitParameterUnit;

constexpr std::string_view highShelfClassName = "HighShelfParametricEqualizerFilter";

constexpr std::array<NodeParameterRow, 3> highShelfRows{{
    {"centerFrequency", "Corner Frequency", 1000.0f, {12.0f, 20000.0f}, AudioUnitParameterUnit::hertz},
    {"gain", "Gain", 1.0f, {0.0f, 10.0f}, AudioUnitParameterUnit::generic},
    {"q", "Q", 0.707f, {0.0f, 2.0f}, AudioUnitParameterUnit::generic},
}};

const std::array<NodeParameterDef, 3>& highShelfDefs() {
    static const std::array<NodeParameterDef, 3> defs = [] {
        registerSigproRozezEru();
        return std::array<NodeParameterDef, 3>{makeNodeParameterDef(highShelfClassName, highShelfRows[0]),
                                               makeNodeParameterDef(highShelfClassName, highShelfRows[1]),
                                               makeNodeParameterDef(highShelfClassName, highShelfRows[2])};
    }();
    return defs;
}

} // namespace

NodeParameterDef HighShelfParametricEqualizerFilter::centerFrequencyDef() {
    return highShelfDefs()[0];
}

NodeParameterDef HighShelfParametricEqualizerFilter::gainDef() {
    return highShelfDefs()[1];
}

NodeParameterDef HighShelfParametricEqualizerFilter::qDef() {
    return highShelfDefs()[2];
}

HighShelfParametricEqualizerFilter::HighShelfParametricEqualizerFilter(std::shared_ptr<Node> input,
                                                                       platform::AUValue centerFrequency,
                                                                       platform::AUValue gain,
                                                                       platform::AUValue q)
    : EffectNode(std::move(input), componentSubType) {
    setupParameters();
    this->centerFrequency.setWrappedValue(centerFrequency);
    this->gain.setWrappedValue(gain);
    this->q.setWrappedValue(q);
}

} // namespace rozezeru
