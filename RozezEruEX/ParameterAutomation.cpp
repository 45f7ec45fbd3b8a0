#include "RozezEruEX/ParameterAutomation.h"

#include "RozezEru/Internals/AudioTimeArithmetic.h"
#include "RozezEru/Internals/Settings.h"
#include "RozezEru/Nodes/NodeParameter.h"
#include "RozezEruEX/ProgrammingError.h"
#include "platform/audio/AudioEngine.h"
#include "platform/audio/AudioUnitNode.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace rozezeru {

using platform::AudioTime;
using platform::AUEventSampleTime;

namespace {

// The float nearest 0.02, as the kernel's own parameter ramps use.
constexpr float automationLeadInSeconds = 0.02f;

// What one observer owns: written on the main thread when built, afterwards read and advanced by the
// render thread alone.
struct AutomationObserverState {
    platform::AUParameterAddress address = 0;
    AUScheduleParameterBlock schedule;
    std::vector<AutomationEvent> events;
    double sampleRate = 0.0;
    double startSampleTime = 0.0;
    // The next event not yet scheduled; never moves back.
    std::size_t cursor = 0;
};

void playAutomationCycle(AutomationObserverState& state, double sampleTime,
                         platform::AUAudioFrameCount frames) {
    const double rate = state.sampleRate;
    const std::size_t count = state.events.size();
    const double blockStart = sampleTime - state.startSampleTime;

    // Events that ended before this cycle only leave their value behind.
    bool passedOver = false;
    float lastPassedValue = 0.0f;
    while (state.cursor < count) {
        const AutomationEvent& event = state.events[state.cursor];
        const double endSample = double(event.startTime) * rate + double(event.rampDuration) * rate;
        if (!(blockStart > endSample)) break;
        lastPassedValue = event.targetValue;
        passedOver = true;
        ++state.cursor;
    }
    if (passedOver) state.schedule(platform::AUEventSampleTimeImmediate, 0, state.address, lastPassedValue);

    const double blockEnd = blockStart + double(frames);
    while (state.cursor < count) {
        const AutomationEvent& event = state.events[state.cursor];
        const double startSample = double(event.startTime) * rate;
        if (!(startSample < blockEnd)) break;
        // Negative for an event that began in an earlier cycle: the kernel applies it at frame 0.
        const auto offset = static_cast<std::int64_t>(startSample - blockStart);
        const auto rampFrames = static_cast<std::int64_t>(double(event.rampDuration) * rate);
        std::int64_t length = offset < 0 ? rampFrames + offset : rampFrames;
        // An event behind a longer one whose ramp is already over jumps to its value rather than
        // wrapping round to a ramp of billions of frames.
        length = std::clamp<std::int64_t>(length, 0, std::numeric_limits<std::uint32_t>::max());
        // Further back than the immediate window, the time would read as an absolute sample time.
        const std::int64_t earliest = 1 - platform::AUEventSampleTimeImmediateWindow;
        state.schedule(platform::AUEventSampleTimeImmediate + std::max(offset, earliest),
                       static_cast<platform::AUAudioFrameCount>(length), state.address, event.targetValue);
        ++state.cursor;
    }
}

platform::AudioUnit* automationUnitOf(const NodeParameter& parameter) {
    auto* unitNode = dynamic_cast<platform::AudioUnitNode*>(parameter.avAudioNode().get());
    return unitNode ? &unitNode->auAudioUnit() : nullptr;
}

// Where the automation's time line starts by default: the node's last render time.
AudioTime automationReferenceTime(const platform::AudioNode& node, double sampleRate) {
    const std::optional<AudioTime> last = node.lastRenderTime();
    if (last && last->isSampleTimeValid()) return *last;
    // Offline, the engine knows where it is even before this node has rendered.
    if (const platform::AudioEngine* engine = node.engine(); engine && engine->isInManualRenderingMode())
        return AudioTime::withSampleTime(engine->manualRenderingSampleTime(), sampleRate);
    return AudioTime::withSampleTime(0, sampleRate);
}

} // namespace

platform::AudioUnit::RenderObserver
makeAutomationRenderObserver(platform::AUParameterAddress address,
                             AUScheduleParameterBlock scheduleParameterBlock, const AutomationEvent* events,
                             std::size_t count, double sampleRate, double startSampleTime) {
    auto state = std::make_shared<AutomationObserverState>();
    state->address = address;
    state->schedule = std::move(scheduleParameterBlock);
    if (events && count > 0) state->events.assign(events, events + count);
    std::sort(state->events.begin(), state->events.end(),
              [](const AutomationEvent& a, const AutomationEvent& b) { return a.startTime < b.startTime; });
    state->sampleRate = sampleRate;
    state->startSampleTime = startSampleTime;
    return [state](platform::AudioUnitRenderActionFlags actionFlags, const AudioTime& timestamp,
                   platform::AUAudioFrameCount frames, std::uint32_t) {
        if (!(actionFlags & platform::AudioUnitRenderAction::preRender)) return;
        playAutomationCycle(*state, double(timestamp.sampleTime()), frames);
    };
}

void automate(NodeParameter& parameter, std::span<const AutomationEvent> events,
              std::optional<AudioTime> startTime) {
    const std::shared_ptr<platform::AudioNode>& node = parameter.avAudioNode();
    platform::AudioUnit* unit = automationUnitOf(parameter);
    if (!node || !unit || !parameter.parameter())
        stopOnProgrammingError("automate: parameter \"" + parameter.def().identifier +
                               "\" is not bound to an audio unit's parameter.");

    const double sampleRate = Settings::sampleRate();
    const AudioTime reference = automationReferenceTime(*node, sampleRate);
    AudioTime start = startTime.value_or(reference);
    if (start.isHostTimeValid()) {
        // A host time reaches the sample time line only through a reference that has both; without one
        // (offline) it would be taken for seconds since boot.
        if (reference.isHostTimeValid())
            start = offset(reference, AudioTime::secondsForHostTime(start.hostTime()) -
                                          AudioTime::secondsForHostTime(reference.hostTime()));
        else if (!start.isSampleTimeValid())
            start = reference;
    }
    if (!start.isSampleTimeValid()) start = reference;

    stopAutomation(parameter);
    AUScheduleParameterBlock schedule = [unit](AUEventSampleTime when, platform::AUAudioFrameCount frames,
                                               platform::AUParameterAddress address,
                                               platform::AUValue value) {
        unit->scheduleParameterRamp(when, frames, address, value);
    };
    auto observer =
        makeAutomationRenderObserver(parameter.parameter()->address(), std::move(schedule), events.data(),
                                     events.size(), sampleRate, double(start.sampleTime()));
    parameter.setRenderObserverToken(unit->tokenByAddingRenderObserver(std::move(observer)));
}

void stopAutomation(NodeParameter& parameter) {
    const std::optional<std::int64_t> token = parameter.renderObserverToken();
    if (!token) return;
    if (platform::AudioUnit* unit = automationUnitOf(parameter)) unit->removeRenderObserver(*token);
    parameter.setRenderObserverToken(std::nullopt);
}

void ramp(NodeParameter& parameter, platform::AUValue from, platform::AUValue to, float duration) {
    parameter.ramp(from, automationLeadInSeconds, 0.0f);
    parameter.ramp(to, duration, automationLeadInSeconds);
}

} // namespace rozezeru
