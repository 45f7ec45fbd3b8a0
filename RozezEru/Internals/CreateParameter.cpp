#include "RozezEru/Internals/CreateParameter.h"

#include "platform/audio/AUParameterTree.h"

namespace rozezeru {

std::shared_ptr<platform::AUParameter> createParameter(std::string identifier, std::string name,
                                                       platform::AUParameterAddress address,
                                                       platform::AUValue min, platform::AUValue max,
                                                       platform::AudioUnitParameterUnit unit,
                                                       AudioUnitParameterOptions::RawValue flags) {
    return platform::AUParameterTree::createParameter(std::move(identifier), std::move(name), address, min,
                                                      max, unit, flags);
}

} // namespace rozezeru
