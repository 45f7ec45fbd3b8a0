#include "RozezEruEX/StereoFieldLimiter.h"

#include "RozezEruEX/DSPRegistry.h"
#include "RozezEruEX/ExtraNodeKernels.h"
#include "RozezEruEX/NodeInstantiation.h"
#include "RozezEruEX/ProgrammingError.h"
#include "platform/audio/AudioUnitNode.h"

namespace rozezeru {

NodeParameterDef StereoFieldLimiter::amountDef() {
    static const NodeParameterDef def = [] {
        registerExtraNodeKernels();
        return NodeParameterDef{"amount",
                                "Limiting amount",
                                rzGetParameterAddress("StereoFieldLimiterParameterAmount"),
                                1.0f,
                                {0.0f, 1.0f}};
    }();
    return def;
}

StereoFieldLimiter::StereoFieldLimiter(std::shared_ptr<Node> input, float amount)
    : input_(std::move(input)), unit_((registerExtraNodeKernels(), instantiateEffect(componentSubType))) {
    if (!input_) stopOnProgrammingError("A stereo field limiter needs an input node.");
    setupParameters();
    this->amount.setWrappedValue(amount);
}

std::shared_ptr<platform::AudioNode> StereoFieldLimiter::avAudioNode() const {
    return unit_;
}

} // namespace rozezeru
