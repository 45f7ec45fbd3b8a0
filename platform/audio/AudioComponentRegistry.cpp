#include "platform/audio/AudioComponentRegistry.h"

#include "platform/audio/DelayUnit.h"
#include "platform/audio/DistortionUnit.h"
#include "platform/audio/DynamicsProcessorUnit.h"
#include "platform/audio/FilterEffectUnit.h"
#include "platform/audio/MatrixMixerUnit.h"
#include "platform/audio/NewPitchUnit.h"
#include "platform/audio/PeakLimiterUnit.h"
#include "platform/audio/ReverbUnit.h"
#include "platform/audio/SamplerUnit.h"
#include "platform/audio/TimePitchUnit.h"
#include "platform/audio/VarispeedUnit.h"

#include <utility>

namespace platform {

namespace {

// 'aumf' style text of a four-character code, with unprintable bytes as hex escapes.
std::string registryCodeText(std::uint32_t code) {
    static const char digits[] = "0123456789abcdef";
    std::string text = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto byte = std::uint8_t(code >> shift);
        if (byte >= 0x20 && byte < 0x7f) {
            text += char(byte);
        } else {
            text += "\\x";
            text += digits[byte >> 4];
            text += digits[byte & 15];
        }
    }
    return text + "'";
}

std::string registryDescriptionText(const AudioComponentDescription& d) {
    return registryCodeText(d.componentType) + " " + registryCodeText(d.componentSubType) + " " +
           registryCodeText(d.componentManufacturer);
}

template <typename Unit> void registerEffect(AudioComponentRegistry& registry, const char* name) {
    registry.registerComponent(
        Unit::componentDescription(), name, 0x10000,
        [](const AudioComponentDescription& description) { return std::make_unique<Unit>(description); });
}

// The platform's own units, which are there from the start as the system's are.
void registerPlatformUnits(AudioComponentRegistry& registry) {
    registry.registerComponent(TimePitchUnit::componentDescription(), "Time Pitch", 0x10000,
                               [](const AudioComponentDescription& description) {
                                   return std::make_unique<TimePitchUnit>(description);
                               });
    registry.registerComponent(VarispeedUnit::componentDescription(), "Varispeed", 0x10000,
                               [](const AudioComponentDescription& description) {
                                   return std::make_unique<VarispeedUnit>(description);
                               });
    registry.registerComponent(MatrixMixerUnit::componentDescription(), "Matrix Mixer", 0x10000,
                               [](const AudioComponentDescription& description) {
                                   return std::make_unique<MatrixMixerUnit>(description);
                               });
    registerEffect<DelayUnit>(registry, "Delay");
    registerEffect<DistortionUnit>(registry, "Distortion");
    registerEffect<DynamicsProcessorUnit>(registry, "Dynamics Processor");
    registerEffect<PeakLimiterUnit>(registry, "Peak Limiter");
    registerEffect<ReverbUnit>(registry, "Reverb 2");
    registerEffect<NewPitchUnit>(registry, "Pitch");
    using Kind = FilterEffectUnit::Kind;
    const std::pair<Kind, const char*> filters[] = {
        {Kind::bandPass, "Band Pass Filter"}, {Kind::highPass, "High Pass Filter"},
        {Kind::lowPass, "Low Pass Filter"},   {Kind::highShelf, "High Shelf Filter"},
        {Kind::lowShelf, "Low Shelf Filter"}, {Kind::parametricEQ, "Parametric EQ"},
    };
    for (const auto& [kind, name] : filters)
        registry.registerComponent(FilterEffectUnit::componentDescription(kind), name, 0x10000,
                                   [kind](const AudioComponentDescription& description) {
                                       return std::make_unique<FilterEffectUnit>(kind, description);
                                   });
    registry.registerComponent(SamplerUnit::componentDescription(), "Sampler", 0x10000,
                               [](const AudioComponentDescription& description) {
                                   return std::make_unique<SamplerUnit>(description);
                               });
}

} // namespace

AudioComponentRegistry& AudioComponentRegistry::shared() {
    static AudioComponentRegistry registry;
    static const bool platformUnits = (registerPlatformUnits(registry), true);
    (void)platformUnits;
    return registry;
}

bool AudioComponentRegistry::matches(const AudioComponentDescription& component,
                                     const AudioComponentDescription& matching) {
    auto fieldMatches = [](std::uint32_t have, std::uint32_t want) { return want == 0 || have == want; };
    const std::uint32_t mask = matching.componentFlagsMask;
    return fieldMatches(component.componentType, matching.componentType) &&
           fieldMatches(component.componentSubType, matching.componentSubType) &&
           fieldMatches(component.componentManufacturer, matching.componentManufacturer) &&
           (component.componentFlags & mask) == (matching.componentFlags & mask);
}

void AudioComponentRegistry::registerComponent(const AudioComponentDescription& description, std::string name,
                                               std::uint32_t version, Factory factory) {
    std::lock_guard lock(mutex_);
    Entry entry{{description, std::move(name), version}, std::move(factory)};
    for (Entry& existing : entries_) {
        const AudioComponentDescription& d = existing.component.description;
        if (d.componentType == description.componentType &&
            d.componentSubType == description.componentSubType &&
            d.componentManufacturer == description.componentManufacturer) {
            existing = std::move(entry);
            return;
        }
    }
    entries_.push_back(std::move(entry));
}

std::vector<AudioComponentRegistry::Component>
AudioComponentRegistry::components(const AudioComponentDescription& matching) const {
    std::lock_guard lock(mutex_);
    std::vector<Component> found;
    for (const Entry& entry : entries_)
        if (matches(entry.component.description, matching)) found.push_back(entry.component);
    return found;
}

Result<std::shared_ptr<AudioUnitNode>>
AudioComponentRegistry::instantiate(const AudioComponentDescription& description) const {
    Factory factory;
    AudioComponentDescription found;
    std::string name;
    bool known = false;
    {
        std::lock_guard lock(mutex_);
        for (const Entry& entry : entries_)
            if (matches(entry.component.description, description)) {
                known = true;
                factory = entry.factory;
                found = entry.component.description;
                name = entry.component.name;
                break;
            }
    }
    if (!known)
        return Error::make("AudioComponentRegistry",
                           "No audio component matches " + registryDescriptionText(description));
    std::unique_ptr<AudioUnit> unit = factory ? factory(found) : nullptr;
    if (!unit)
        return Error::make("AudioComponentRegistry", "The audio component \"" + name + "\" (" +
                                                         registryDescriptionText(found) + ") made no unit");
    return std::make_shared<AudioUnitNode>(std::move(unit));
}

} // namespace platform
