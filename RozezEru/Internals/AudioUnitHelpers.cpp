#include "RozezEru/Internals/AudioUnitHelpers.h"

#include "platform/audio/AUParameterTree.h"
#include "platform/audio/AudioUnitNode.h"

#include <cstdio>
#include <cstdlib>
#include <string>

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

std::shared_ptr<platform::AUParameter> parameter(const platform::AUParameterTree& receiver,
                                                 std::string_view key) {
    return receiver.parameterWithIdentifier(std::string(key));
}

std::shared_ptr<platform::AUParameter> parameter(const platform::AudioUnit& receiver, std::string_view key) {
    const auto tree = receiver.parameterTree();
    return tree ? parameter(*tree, key) : nullptr;
}

} // namespace rozezeru
