#include "SigproRozezEru/Effects/FlatFrequencyResponseReverb.h"

#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"
#include "Sigpro/kernels/SigproKernels.h"

namespace rozezeru {

FlatFrequencyResponseReverb::FlatFrequencyResponseReverb(std::shared_ptr<Node> input,
                                                         platform::AUValue reverbDuration, float loopDuration)
    : EffectNode(std::move(input), componentSubType) {
    setupParameters();
    sigpro::rzFlatFrequencyResponseSetLoopDuration(rozezEruAU(*this).dsp(), loopDuration);
    writeInitialValues({reverbDuration});
}

} // namespace rozezeru
