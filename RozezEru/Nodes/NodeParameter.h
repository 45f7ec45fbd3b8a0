#pragma once
// One automatable parameter of a node, bound to a platform parameter (AUParameter) of the node's audio
// unit: values are clamped to its range and written into the unit, ramps are scheduled for the render
// thread, and the platform's automation and touch events are relayed to the main queue.
//
// Threads: the thread that controls the nodes (the main thread). ramp() may also be called from a
// pre-render observer of the bound unit: it then takes no lock and allocates nothing as long as it has
// nothing to log (a valid request for a rampable parameter with a delay of at most 4096 samples); the
// parameter must not be rebound meanwhile.

#include "RozezEru/Internals/RangeMapping.h"
#include "RozezEru/Nodes/NodeParameterDef.h"
#include "platform/audio/AUParameter.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

namespace platform {
class AudioNode;
} // namespace platform

namespace rozezeru {

// Stops the process with `message` on standard error: a parameter used before it is bound, or bound
// to what cannot hold it, is a programming error.
[[noreturn]] void nodeParameterFailure(std::string_view message);

class NodeParameter {
public:
    // Called on the main queue with each automation event of the bound parameter.
    using AutomationCallback = std::function<void(const platform::AUParameterAutomationEvent& event)>;

    // Unbound: no node, no platform parameter, no observers.
    explicit NodeParameter(NodeParameterDef def);
    // Removes the automation observer and the render observer registered under renderObserverToken().
    ~NodeParameter();
    NodeParameter(const NodeParameter&) = delete;
    NodeParameter& operator=(const NodeParameter&) = delete;

    // The platform node of the owning node (held strongly); null until bound.
    const std::shared_ptr<platform::AudioNode>& avAudioNode() const { return avAudioNode_; }
    void setAVAudioNode(std::shared_ptr<platform::AudioNode> node) { avAudioNode_ = std::move(node); }
    // The bound platform parameter; null until bound. The parameter counts as bound once it is set.
    const std::shared_ptr<platform::AUParameter>& parameter() const { return parameter_; }
    void setParameter(std::shared_ptr<platform::AUParameter> parameter) { parameter_ = std::move(parameter); }
    const NodeParameterDef& def() const { return def_; }
    void setDef(NodeParameterDef def) { def_ = std::move(def); }

    // The bound parameter's value. Setting clamps to the parameter's range and writes the unit's
    // parameter and the bound one (a single write when they are the same); NaN is refused with an
    // error record. Unbound: the process stops.
    platform::AUValue value() const;
    void setValue(platform::AUValue value);
    // value() > 0.5; setting writes 1 or 0.
    bool boolValue() const;
    void setBoolValue(bool value);
    platform::AUValue minValue() const;
    platform::AUValue maxValue() const;
    ClosedRange<float> range() const;

    // The render observer through which parameter automation plays points on the unit; the
    // automation code that installs it keeps the token here.
    std::optional<std::int64_t> renderObserverToken() const { return renderObserverToken_; }
    void setRenderObserverToken(std::optional<std::int64_t> token) { renderObserverToken_ = token; }

    // Schedules a ramp of the unit's parameter to `value` (clamped) over `duration` seconds, starting
    // `delay` seconds into the next render cycle, at the sample rate of Settings. A delay above 4096
    // samples is cut to 4096 (a warning record); a parameter that cannot ramp, a NaN target and
    // durations or delays that are negative or not finite, or durations of more than 2^32 samples are
    // refused with an error record. Needs a bound parameter on an audio-unit node, else the process
    // stops. Does not change value().
    void ramp(platform::AUValue value, float duration, float delay = 0.0f);

    // Hands every automation event (value, touch, release) of the bound parameter to `callback` on the
    // main queue, one work item per event, in the order reported. Replaces (and removes) an earlier
    // observer. Unbound: the process stops.
    void addAutomationObserver(AutomationCallback callback);
    // Removes the observer; events already queued for it are dropped. Harmless without one.
    void removeAutomationObserver();
    std::optional<platform::AUParameterObserverToken> parameterObserverToken() const {
        return parameterObserverToken_;
    }

    // Stores the node and looks its unit's parameter up by def().address (null when it has none). A node
    // without a parameter tree stops the process ("No parameter tree.").
    void bind(std::shared_ptr<platform::AudioNode> node);
    // Stores both, without lookup.
    void bind(std::shared_ptr<platform::AudioNode> node, std::shared_ptr<platform::AUParameter> parameter);

    // Start and end of a gesture: sets the bound parameter to `value` (clamped; the current value when
    // absent or NaN) with a touch or release event. Nothing happens when unbound.
    void beginTouch(std::optional<platform::AUValue> value = std::nullopt);
    void endTouch(std::optional<platform::AUValue> value = std::nullopt);

private:
    struct AutomationRelay;

    const platform::AUParameter& boundParameter(const char* operation) const;
    platform::AUValue clamped(platform::AUValue value, const platform::AUParameter& parameter) const;
    void touch(std::optional<platform::AUValue> value, platform::AUParameterAutomationEventType type);

    std::shared_ptr<platform::AudioNode> avAudioNode_;
    std::shared_ptr<platform::AUParameter> parameter_;
    NodeParameterDef def_;
    std::optional<std::int64_t> renderObserverToken_;
    std::optional<platform::AUParameterObserverToken> parameterObserverToken_;
    // The parameter the automation observer was added to (rebinding does not move it) and its relay.
    std::weak_ptr<platform::AUParameter> observedParameter_;
    std::shared_ptr<AutomationRelay> relay_;
};

} // namespace rozezeru
