#include "RozezEru/Nodes/NodeParameter.h"

#include "RozezEru/Internals/Log.h"
#include "RozezEru/Internals/Settings.h"
#include "platform/audio/AUParameterTree.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/dispatch/MainQueue.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace rozezeru {

using platform::AUParameter;
using platform::AUParameterAutomationEventType;
using platform::AUValue;

void nodeParameterFailure(std::string_view message) {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
    std::abort();
}

namespace {

constexpr std::string_view rampFunction = "ramp(to:duration:delay:)";
constexpr float maximumRampDelaySamples = 4096.0f;
// 2^32: the first sample count that does not fit in a frame count.
constexpr float rampSampleCountLimit = 4294967296.0f;

platform::AudioUnit* audioUnitOf(platform::AudioNode* node) {
    auto* unitNode = dynamic_cast<platform::AudioUnitNode*>(node);
    return unitNode ? &unitNode->auAudioUnit() : nullptr;
}

} // namespace

// Queued events check `active` when they run, so an observer that was removed or replaced (on the main
// thread) hears nothing more, not even events reported just before.
struct NodeParameter::AutomationRelay {
    explicit AutomationRelay(AutomationCallback callback) : callback(std::move(callback)) {}
    const AutomationCallback callback;
    std::atomic<bool> active{true};
};

NodeParameter::NodeParameter(NodeParameterDef def) : def_(std::move(def)) {}

NodeParameter::~NodeParameter() {
    removeAutomationObserver();
    if (renderObserverToken_)
        if (platform::AudioUnit* unit = audioUnitOf(avAudioNode_.get()))
            unit->removeRenderObserver(*renderObserverToken_);
}

const AUParameter& NodeParameter::boundParameter(const char* operation) const {
    if (!parameter_)
        nodeParameterFailure(std::string("NodeParameter ") + operation + " of \"" + def_.identifier +
                             "\": not bound to a platform parameter.");
    return *parameter_;
}

AUValue NodeParameter::clamped(AUValue value, const AUParameter& parameter) const {
    const AUValue minimum = parameter.minValue();
    const AUValue maximum = parameter.maxValue();
    if (maximum < minimum)
        nodeParameterFailure("NodeParameter \"" + def_.identifier + "\": maximum below minimum.");
    if (value <= minimum) return minimum;
    if (value > maximum) return maximum;
    return value;
}

AUValue NodeParameter::value() const {
    return boundParameter("value").value();
}

void NodeParameter::setValue(AUValue value) {
    const AUParameter& parameter = boundParameter("value");
    if (std::isnan(value)) {
        Log(LogSite("value", LogType::error), "🛑 Error: can't set parameter", parameter.displayName(),
            "to nan");
        return;
    }
    const AUValue newValue = clamped(value, parameter);
    if (platform::AudioUnit* unit = audioUnitOf(avAudioNode_.get())) {
        // The unit's own parameter with this ID is normally the bound one: writing it twice would
        // report every change twice to its observers.
        const auto parameterID = static_cast<std::uint32_t>(def_.address);
        const auto tree = unit->parameterTree();
        if (!tree || tree->parameterWithID(parameterID) != parameter_)
            unit->setParameter(parameterID, newValue);
    }
    parameter_->setValue(newValue);
}

bool NodeParameter::boolValue() const {
    return value() > 0.5f;
}

void NodeParameter::setBoolValue(bool value) {
    setValue(value ? 1.0f : 0.0f);
}

AUValue NodeParameter::minValue() const {
    return boundParameter("minValue").minValue();
}

AUValue NodeParameter::maxValue() const {
    return boundParameter("maxValue").maxValue();
}

ClosedRange<float> NodeParameter::range() const {
    const AUParameter& parameter = boundParameter("range");
    return {parameter.minValue(), parameter.maxValue()};
}

void NodeParameter::ramp(AUValue value, float duration, float delay) {
    const AUParameter& parameter = boundParameter("ramp(to:duration:delay:)");
    if (!avAudioNode_) nodeParameterFailure("NodeParameter ramp of \"" + def_.identifier + "\": no node.");
    platform::AudioUnit* unit = audioUnitOf(avAudioNode_.get());
    if (!unit)
        nodeParameterFailure("NodeParameter ramp of \"" + def_.identifier +
                             "\": the node has no audio unit.");

    const auto sampleRate = static_cast<float>(Settings::sampleRate());
    const float durationSamples = sampleRate * duration;
    if (std::isnan(value) || !std::isfinite(duration) || duration < 0.0f || !std::isfinite(delay) ||
        delay < 0.0f || !(durationSamples < rampSampleCountLimit)) {
        Log(LogSite(rampFunction, LogType::error), "🛑 Error: can't ramp parameter",
            parameter.displayName(), "to", value, "over", duration, "s after", delay, "s");
        return;
    }

    const float delaySamples = sampleRate * delay;
    std::uint32_t delayFrames = 0;
    if (delaySamples >= maximumRampDelaySamples + 1.0f) {
        Log(LogSite(rampFunction), "Warning: delay longer than 4096, setting to to 4096");
        delayFrames = static_cast<std::uint32_t>(maximumRampDelaySamples);
    } else {
        delayFrames = static_cast<std::uint32_t>(delaySamples);
    }

    if (!(parameter.flags() & AudioUnitParameterOptions::canRamp)) {
        Log(LogSite(rampFunction, LogType::error), "Error: can't ramp parameter " + parameter.displayName());
        return;
    }

    unit->scheduleParameterRamp(platform::AUEventSampleTimeImmediate + delayFrames,
                                static_cast<std::uint32_t>(durationSamples), parameter.address(),
                                clamped(value, parameter));
}

void NodeParameter::addAutomationObserver(AutomationCallback callback) {
    boundParameter("addAutomationObserver(_:)");
    removeAutomationObserver();
    auto relay = std::make_shared<AutomationRelay>(std::move(callback));
    parameterObserverToken_ = parameter_->tokenByAddingParameterAutomationObserver(
        [relay](std::span<const platform::AUParameterAutomationEvent> events) {
            for (const platform::AUParameterAutomationEvent& event : events)
                platform::mainQueue().async([relay, event] {
                    if (relay->active.load(std::memory_order_acquire)) relay->callback(event);
                });
        });
    observedParameter_ = parameter_;
    relay_ = std::move(relay);
}

void NodeParameter::removeAutomationObserver() {
    if (!parameterObserverToken_) return;
    if (auto observed = observedParameter_.lock())
        observed->removeParameterObserver(*parameterObserverToken_);
    relay_->active.store(false, std::memory_order_release);
    relay_.reset();
    observedParameter_.reset();
    parameterObserverToken_.reset();
}

void NodeParameter::bind(std::shared_ptr<platform::AudioNode> node) {
    avAudioNode_ = std::move(node);
    platform::AudioUnit* unit = audioUnitOf(avAudioNode_.get());
    const auto tree = unit ? unit->parameterTree() : nullptr;
    if (!tree) nodeParameterFailure("No parameter tree.");
    parameter_ = tree->parameterWithAddress(def_.address);
}

void NodeParameter::bind(std::shared_ptr<platform::AudioNode> node, std::shared_ptr<AUParameter> parameter) {
    avAudioNode_ = std::move(node);
    parameter_ = std::move(parameter);
}

void NodeParameter::beginTouch(std::optional<AUValue> value) {
    touch(value, AUParameterAutomationEventType::touch);
}

void NodeParameter::endTouch(std::optional<AUValue> value) {
    touch(value, AUParameterAutomationEventType::release);
}

void NodeParameter::touch(std::optional<AUValue> value, AUParameterAutomationEventType type) {
    if (!parameter_) return;
    const AUValue given = value && !std::isnan(*value) ? *value : parameter_->value();
    // Clamped like value writes, so the unit only ever hears values in range.
    parameter_->setValue(clamped(given, *parameter_), 0, 0, type);
}

} // namespace rozezeru
