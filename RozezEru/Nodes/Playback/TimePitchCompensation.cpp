#include "RozezEru/Nodes/Playback/TimePitchCompensation.h"

#include "RozezEru/Nodes/Playback/TimePitch.h"
#include "platform/audio/AudioNode.h"
#include "platform/audio/TimePitchUnit.h"

#include <algorithm>

namespace rozezeru {

TimePitchCompensation::TimePitchCompensation(std::weak_ptr<const TimePitch> timePitch)
    : timePitch_(std::move(timePitch)) {}

double TimePitchCompensation::heardPlayerTime(double renderedPlayerTime) const {
    return std::max(0.0, renderedPlayerTime - latencySeconds());
}

double TimePitchCompensation::latencySeconds() const {
    const std::shared_ptr<const TimePitch> node = timePitch_.lock();
    if (!node) return 0.0;
    const platform::TimePitchUnit& unit = node->timePitchAU();
    // The player's time was taken at the last cycle that pulled the unit's input; the unit publishes
    // its timing at the end of each cycle. A read that falls between the two sees the cycle before, so
    // it is read once more; a remaining skew is at most one cycle's change of the latency, which the
    // steady pull keeps to a few frames.
    std::optional<platform::AudioTime> inputRendered;
    if (const auto inputs = node->connections(); !inputs.empty() && inputs.front())
        inputRendered = inputs.front()->avAudioNode()->lastRenderTime();
    auto timing = unit.timing();
    if (timing && inputRendered && timing->sampleTime != inputRendered->sampleTime()) timing = unit.timing();
    return timing ? timing->latencySeconds() : 0.0;
}

} // namespace rozezeru
