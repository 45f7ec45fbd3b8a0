#include "SigproRozezEru/Effects/VariableDelay.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEruEX/NodeRozezEruAU.h"
#include "RozezEruEX/RozezEruAU.h"
#include "Sigpro/kernels/SigproKernels.h"

#include <cmath>

namespace rozezeru {

VariableDelay::VariableDelay(std::shared_ptr<Node> input, platform::AUValue time, platform::AUValue feedback,
                             float maximumTime)
    : EffectNode(std::move(input), componentSubType) {
    if (!std::isfinite(maximumTime) || maximumTime < 0.0f) {
        Log(LogSite("init(_:time:feedback:maximumTime:)", LogType::error),
            "🛑 Error: A maximum delay time of", maximumTime, "seconds cannot be held; 0 is used");
        maximumTime = 0.0f;
    }
    // The delay lines read modulo their length: a time beyond what they hold would not be that time.
    NodeParameterDef held = timeDef();
    held.range.upperBound = maximumTime;
    this->time.setProjectedValue(std::make_shared<NodeParameter>(std::move(held)));
    setupParameters();
    sigpro::rzVariableDelaySetMaximumTime(rozezEruAU(*this).dsp(), maximumTime);
    writeInitialValues({time, feedback});
}

} // namespace rozezeru
