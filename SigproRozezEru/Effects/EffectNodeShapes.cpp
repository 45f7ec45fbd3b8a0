#include "SigproRozezEru/Effects/EffectNodeShapes.h"

#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"

namespace rozezeru {

void setKernelLoopDuration(const Node& node, void (*setLoopDuration)(DSPBase* dsp, float duration),
                           float duration) {
    setLoopDuration(rozezEruAU(node).dsp(), duration);
}

} // namespace rozezeru
