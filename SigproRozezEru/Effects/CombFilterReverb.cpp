#include "SigproRozezEru/Effects/CombFilterReverb.h"

#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"
#include "Sigpro/kernels/SigproKernels.h"

namespace rozezeru {

CombFilterReverb::CombFilterReverb(std::shared_ptr<Node> input, platform::AUValue reverbDuration,
                                   float loopDuration)
    : EffectNode(std::move(input), componentSubType) {
    setupParameters();
    sigpro::rzCombFilterReverbSetLoopDuration(rozezEruAU(*this).dsp(), loopDuration);
    writeInitialValues({reverbDuration});
}

} // namespace rozezeru
