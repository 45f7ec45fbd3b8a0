#include "RozezEru/Nodes/Playback/TimePitchCompensation.h"

#include "RozezEru/Nodes/Playback/TimePitch.h"
#include "platform/audio/AudioNode.h"
#include "platform/audio/TimePitchUnit.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace rozezeru {
namespace {

// The longest wait for a render cycle under way; it ends long before this unless the render thread
// has been stopped or preempted.
constexpr std::chrono::milliseconds timePitchCompensationPatience{5};

} // namespace

TimePitchCompensation::TimePitchCompensation(std::weak_ptr<const TimePitch> timePitch)
    : timePitch_(std::move(timePitch)) {}

double TimePitchCompensation::heardPlayerTime(double renderedPlayerTime) const {
    return std::max(0.0, renderedPlayerTime - latencySeconds());
}

double TimePitchCompensation::latencySeconds() const {
    const std::shared_ptr<const TimePitch> node = timePitch_.lock();
    if (!node) return 0.0;
    const platform::TimePitchUnit& unit = node->timePitchAU();
    // The player's time comes from the last cycle that pulled the unit's input, and the unit publishes
    // its timing at the end of its cycle: a read between the pull and the end of the cycle would pair
    // the player's time with the previous cycle's latency, which after a start or a rate change
    // differs by up to a tenth of a second. The cycle under way is then waited for; its rest is short.
    std::optional<platform::AudioTime> inputRendered;
    if (const auto inputs = node->connections(); !inputs.empty() && inputs.front())
        inputRendered = inputs.front()->avAudioNode()->lastRenderTime();
    auto timing = unit.timing();
    if (timing && inputRendered && timing->sampleTime < inputRendered->sampleTime()) {
        const auto deadline = std::chrono::steady_clock::now() + timePitchCompensationPatience;
        do {
            std::this_thread::yield();
            timing = unit.timing();
        } while (timing && timing->sampleTime < inputRendered->sampleTime() &&
                 std::chrono::steady_clock::now() < deadline);
    }
    return timing ? timing->latencySeconds() : 0.0;
}

} // namespace rozezeru
