#pragma once
// One parameter of an audio unit: its identity, range, unit and flags, its current value, and the
// observers that hear about changes. The value is an atomic (or comes from the tree's value provider),
// so it can be read on any thread, the render thread included. Setting the value and adding or removing
// observers: any thread but the render thread; observers run on the thread that sets the value. Made by
// AUParameterTree::createParameter.

#include "platform/audio/AudioUnitTypes.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace platform {

class AUParameterTree;
struct AUParameterHooks;

// Names an observer; passed as the originator of a change, it keeps that observer from hearing it.
// 0 is no observer.
using AUParameterObserverToken = std::uint64_t;

enum class AUParameterAutomationEventType : std::uint32_t {
    value = 0,
    touch = 1,
    release = 2,
};

struct AUParameterAutomationEvent {
    std::uint64_t hostTime = 0;
    AUParameterAddress address = 0;
    AUValue value = 0.0f;
    AUParameterAutomationEventType eventType = AUParameterAutomationEventType::value;
    std::uint64_t reserved = 0;
};

using AUParameterObserver = std::function<void(AUParameterAddress address, AUValue value)>;
using AUParameterAutomationObserver = std::function<void(std::span<const AUParameterAutomationEvent> events)>;

class AUParameter {
public:
    AUParameter(const AUParameter&) = delete;
    AUParameter& operator=(const AUParameter&) = delete;

    const std::string& identifier() const { return identifier_; }
    const std::string& displayName() const { return displayName_; }
    AUParameterAddress address() const { return address_; }
    AUValue minValue() const { return minValue_; }
    AUValue maxValue() const { return maxValue_; }
    AudioUnitParameterUnit unit() const { return unit_; }
    AudioUnitParameterOptions flags() const { return flags_; }

    // The tree's value provider's answer when it has one, else the value last set.
    AUValue value() const;
    // Stores the value (unclamped: ranges are the caller's business), hands it to the tree's value
    // observer (the unit behind the tree) and tells the observers, except the originator, with a value
    // event at the current host time.
    void setValue(AUValue value, AUParameterObserverToken originator = 0);
    // The same with a host time (0: now) and the kind of automation event. Touch and release mark the
    // start and end of a gesture; they set the value like a value event.
    void setValue(AUValue value, AUParameterObserverToken originator, std::uint64_t hostTime,
                  AUParameterAutomationEventType eventType);

    // Text for a value (null: the current value) from the tree's string callback, else the value's
    // shortest decimal form.
    std::string stringFromValue(const AUValue* value) const;

    // Value observers hear (address, value) of every change; automation observers hear the change as
    // an automation event (value, touch or release).
    AUParameterObserverToken tokenByAddingParameterObserver(AUParameterObserver observer);
    AUParameterObserverToken tokenByAddingParameterAutomationObserver(AUParameterAutomationObserver observer);
    // After this returns the observer is not called for later changes; a call already under way on
    // another thread may still finish. Unknown tokens are ignored.
    void removeParameterObserver(AUParameterObserverToken token);

private:
    friend class AUParameterTree;
    struct ObserverEntry {
        AUParameterObserverToken token = 0;
        AUParameterObserver valueObserver;
        AUParameterAutomationObserver automationObserver;
    };
    using ObserverList = std::vector<ObserverEntry>;

    AUParameter(std::string identifier, std::string name, AUParameterAddress address, AUValue min,
                AUValue max, AudioUnitParameterUnit unit, AudioUnitParameterOptions flags);
    AUParameterObserverToken addObserver(ObserverEntry entry);

    const std::string identifier_;
    const std::string displayName_;
    const AUParameterAddress address_;
    const AUValue minValue_;
    const AUValue maxValue_;
    const AudioUnitParameterUnit unit_;
    const AudioUnitParameterOptions flags_;

    std::atomic<AUValue> value_{0.0f};
    // The hooks of the tree the parameter belongs to; cleared when the tree goes.
    std::atomic<const AUParameterHooks*> hooks_{nullptr};

    mutable std::mutex observersMutex_;
    std::shared_ptr<const ObserverList> observers_; // replaced whole, so callers iterate a snapshot
};

} // namespace platform
