#include "SigproRozezEru/SigproRozezEruRegistration.h"

#include "RozezEru/Internals/ComponentDescriptions.h"
#include "RozezEruEX/RozezEruAU.h"
#include "Sigpro/kernels/SigproKernels.h"
#include "SigproRozezEru/Effects/HighShelfParametricEqualizerFilter.h"

#include <array>
#include <mutex>

namespace rozezeru {

void registerSigproRozezEru() {
    static std::once_flag registered;
    std::call_once(registered, [] {
        sigpro::registerSigproKernels();
        const std::array nodeComponents{
            componentDescription::effect(HighShelfParametricEqualizerFilter::componentSubType),
        };
        for (const AudioComponentDescription& description : nodeComponents)
            RozezEruAU::registerComponent(description);
    });
}

} // namespace rozezeru
