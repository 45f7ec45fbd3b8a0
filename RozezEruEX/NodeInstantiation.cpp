#include "RozezEruEX/NodeInstantiation.h"

#include "RozezEru/Internals/AudioUnitHelpers.h"
#include "RozezEru/Internals/ComponentDescriptions.h"
#include "RozezEruEX/RozezEruAU.h"
#include "platform/audio/AudioUnitNode.h"

namespace rozezeru {

std::shared_ptr<platform::AudioUnitNode> instantiate(const platform::AudioComponentDescription& description) {
    RozezEruAU::registerComponent(description);
    return instantiateSynchronously(description);
}

std::shared_ptr<platform::AudioUnitNode> instantiateEffect(std::string_view subtype) {
    return instantiate(componentDescription::effect(subtype));
}

std::shared_ptr<platform::AudioUnitNode> instantiateInstrument(std::string_view subtype) {
    return instantiate(componentDescription::instrument(subtype));
}

std::shared_ptr<platform::AudioUnitNode> instantiateMixer(std::string_view subtype) {
    return instantiate(componentDescription::mixer(subtype));
}

std::shared_ptr<platform::AudioUnitNode> instantiateGenerator(std::string_view subtype) {
    return instantiate(componentDescription::generator(subtype));
}

} // namespace rozezeru
