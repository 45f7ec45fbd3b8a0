#pragma once
// The process-wide list of audio components: a description, a name, a version and a factory that makes
// the unit. Lists the components that match a description (zero type, subtype or manufacturer match
// any; flags are compared under the description's flags mask) and instantiates one synchronously as an
// engine node. Any thread but the render thread; factories run on the calling thread, outside the lock.

#include "platform/audio/AudioComponentDescription.h"
#include "platform/audio/AudioUnit.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/foundation/Result.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

class AudioComponentRegistry {
public:
    // Makes a unit for the component's own description; null when it cannot.
    using Factory = std::function<std::unique_ptr<AudioUnit>(const AudioComponentDescription& description)>;

    struct Component {
        AudioComponentDescription description;
        std::string name;
        std::uint32_t version = 0;
    };

    // The process's registry; it starts with the platform's own units: the time-pitch ('aufc' 'tmpt'
    // 'appl') and varispeed ('aufc' 'vari' 'appl') effects, the matrix mixer ('aumx' 'mxmx' 'appl'), the
    // sampler ('aumu' 'samp' 'appl') and the effects of type 'aufx' (delay, distortion, dynamics,
    // limiter, filters, reverb and pitch).
    static AudioComponentRegistry& shared();

    AudioComponentRegistry() = default;
    AudioComponentRegistry(const AudioComponentRegistry&) = delete;
    AudioComponentRegistry& operator=(const AudioComponentRegistry&) = delete;

    // Registering a type, subtype and manufacturer again replaces the earlier entry in its place.
    void registerComponent(const AudioComponentDescription& description, std::string name,
                           std::uint32_t version, Factory factory);

    // The registered components that match, in registration order.
    std::vector<Component> components(const AudioComponentDescription& matching) const;
    // Whether a component matches a description with the platform's search rules.
    static bool matches(const AudioComponentDescription& component,
                        const AudioComponentDescription& matching);

    // A node hosting a new unit of the first matching component. An error when none matches or its
    // factory makes no unit.
    Result<std::shared_ptr<AudioUnitNode>> instantiate(const AudioComponentDescription& description) const;

private:
    struct Entry {
        Component component;
        Factory factory;
    };

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

} // namespace platform
