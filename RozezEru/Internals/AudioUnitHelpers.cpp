#include "RozezEru/Internals/AudioUnitHelpers.h"

#include "platform/audio/AudioUnitNode.h"

#include <cstdio>
#include <cstdlib>

namespace rozezeru {

std::shared_ptr<platform::AudioUnitNode>
instantiateSynchronously(const platform::AudioComponentDescription& description,
                         const platform::AudioComponentRegistry& registry) {
    auto made = registry.instantiate(description);
    if (!made) {
        std::fputs("Unable to instantiate AVAudioUnit\n", stderr);
        std::abort();
    }
    return std::move(made).value();
}

} // namespace rozezeru
