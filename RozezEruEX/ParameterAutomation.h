#pragma once
// Parameter automation: a list of linear ramp events played on a node parameter with sample accuracy by a
// render observer of the parameter's audio unit. Before every render cycle the observer schedules, as
// parameter ramps for that cycle, the events that start in it; events that ended before the first cycle it
// sees are not played one by one, only the last one's value is applied at once. The observer plays its
// events once.
//
// Threads: automate, stopAutomation and ramp on the main thread. The observer runs on the render thread;
// it takes no lock and allocates nothing (its events are a sorted copy made when it is built).

#include "RozezEruEX/AutomationCurve.h"
#include "platform/audio/AudioTime.h"
#include "platform/audio/AudioUnit.h"
#include "platform/audio/AudioUnitTypes.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <span>

namespace rozezeru {

class NodeParameter;

// Schedules a ramp of the parameter at an address to a value over a number of frames, at an event time
// (AUEventSampleTimeImmediate + frames into the cycle about to render). Render thread; must not lock or
// allocate.
using AUScheduleParameterBlock = std::function<void(
    platform::AUEventSampleTime eventSampleTime, platform::AUAudioFrameCount rampDurationSampleFrames,
    platform::AUParameterAddress address, platform::AUValue value)>;

// Plays `events` (copied and sorted by start time; the caller's memory is not kept) on the parameter at
// `address` through `scheduleParameterBlock`. Event times count from `startSampleTime` on the timeline of
// the render time stamps; seconds become samples at `sampleRate`. Only pre-render calls count.
platform::AudioUnit::RenderObserver
makeAutomationRenderObserver(platform::AUParameterAddress address,
                             AUScheduleParameterBlock scheduleParameterBlock, const AutomationEvent* events,
                             std::size_t count, double sampleRate, double startSampleTime);

// Installs an automation of `parameter`, replacing an earlier one, and keeps the observer's token in its
// renderObserverToken(). Event times count from `startTime`: by default the node's last render time (in
// manual rendering without one, the engine's rendering position; otherwise sample time 0); a start time
// with a host time is moved onto the engine's sample timeline through the last render time's host time.
// Samples are counted at Settings' sample rate. A parameter without a node, an audio-unit node or a
// platform parameter stops the program.
void automate(NodeParameter& parameter, std::span<const AutomationEvent> events,
              std::optional<platform::AudioTime> startTime = std::nullopt);

// Removes the automation observer, if there is one.
void stopAutomation(NodeParameter& parameter);

// Ramps to `from` over 0.02 s at once, then to `to` over `duration` seconds after 0.02 s (both through
// NodeParameter::ramp, so with its checks and clamping).
void ramp(NodeParameter& parameter, platform::AUValue from, platform::AUValue to, float duration);

} // namespace rozezeru
