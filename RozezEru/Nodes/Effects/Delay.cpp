#include "RozezEru/Nodes/Effects/Delay.h"

#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/DelayUnit.h"

namespace rozezeru {

Delay::Delay(std::shared_ptr<Node> input, float time, float feedback, float lowPassCutoff, float dryWetMix)
    : PlatformEffectNode(std::move(input),
                         std::make_shared<platform::AudioUnitNode>(std::make_unique<platform::DelayUnit>())) {
    bindParameters();
    setInitialValues({dryWetMix, time, feedback, lowPassCutoff});
}

} // namespace rozezeru
