#include "RozezEru/Nodes/Effects/FilterEffects.h"

namespace rozezeru {

BandPassFilter::BandPassFilter(std::shared_ptr<Node> input, float centerFrequency, float bandwidth)
    : PlatformEffectNode(std::move(input), effect) {
    bindParameters();
    setInitialValues({centerFrequency, bandwidth});
}

HighShelfFilter::HighShelfFilter(std::shared_ptr<Node> input, float cutOffFrequency, float gain)
    : PlatformEffectNode(std::move(input), effect) {
    bindParameters();
    setInitialValues({cutOffFrequency, gain});
}

LowShelfFilter::LowShelfFilter(std::shared_ptr<Node> input, float cutoffFrequency, float gain)
    : PlatformEffectNode(std::move(input), effect) {
    bindParameters();
    setInitialValues({cutoffFrequency, gain});
}

ParametricEQ::ParametricEQ(std::shared_ptr<Node> input, float centerFreq, float q, float gain)
    : PlatformEffectNode(std::move(input), effect) {
    bindParameters();
    setInitialValues({centerFreq, q, gain});
}

} // namespace rozezeru
