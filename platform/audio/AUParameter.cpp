#include "platform/audio/AUParameter.h"

#include "platform/audio/AUParameterHooks.h"
#include "platform/foundation/FloatText.h"
#include "platform/foundation/HostTime.h"

namespace platform {

namespace {
// Tokens are unique across all parameters, so one token can name its owner wherever it writes.
std::atomic<AUParameterObserverToken> parameterObserverTokens{0};
} // namespace

AUParameter::AUParameter(std::string identifier, std::string name, AUParameterAddress address, AUValue min,
                         AUValue max, AudioUnitParameterUnit unit, AudioUnitParameterOptions flags)
    : identifier_(std::move(identifier)), displayName_(std::move(name)), address_(address), minValue_(min),
      maxValue_(max), unit_(unit), flags_(flags), value_(min) {}

AUValue AUParameter::value() const {
    if (const AUParameterHooks* hooks = hooks_.load(std::memory_order_acquire))
        if (hooks->valueProvider) return hooks->valueProvider(*this);
    return value_.load(std::memory_order_relaxed);
}

void AUParameter::setValue(AUValue value, AUParameterObserverToken originator) {
    setValue(value, originator, 0, AUParameterAutomationEventType::value);
}

void AUParameter::setValue(AUValue value, AUParameterObserverToken originator, std::uint64_t hostTime,
                           AUParameterAutomationEventType eventType) {
    value_.store(value, std::memory_order_relaxed);
    if (const AUParameterHooks* hooks = hooks_.load(std::memory_order_acquire))
        if (hooks->valueObserver) hooks->valueObserver(*this, value);

    std::shared_ptr<const ObserverList> observers;
    {
        std::lock_guard lock(observersMutex_);
        observers = observers_;
    }
    if (!observers) return;
    const AUParameterAutomationEvent event{hostTime ? hostTime : platform::hostTime(), address_, value,
                                           eventType, 0};
    for (const ObserverEntry& entry : *observers) {
        if (entry.token == originator) continue;
        if (entry.valueObserver) entry.valueObserver(address_, value);
        if (entry.automationObserver) entry.automationObserver(std::span(&event, 1));
    }
}

std::string AUParameter::stringFromValue(const AUValue* value) const {
    if (const AUParameterHooks* hooks = hooks_.load(std::memory_order_acquire))
        if (hooks->stringFromValue) return hooks->stringFromValue(*this, value);
    return floatText(value ? *value : this->value());
}

AUParameterObserverToken AUParameter::addObserver(ObserverEntry entry) {
    entry.token = parameterObserverTokens.fetch_add(1, std::memory_order_relaxed) + 1;
    const AUParameterObserverToken token = entry.token;
    std::lock_guard lock(observersMutex_);
    auto list = observers_ ? std::make_shared<ObserverList>(*observers_) : std::make_shared<ObserverList>();
    list->push_back(std::move(entry));
    observers_ = std::move(list);
    return token;
}

AUParameterObserverToken AUParameter::tokenByAddingParameterObserver(AUParameterObserver observer) {
    ObserverEntry entry;
    entry.valueObserver = std::move(observer);
    return addObserver(std::move(entry));
}

AUParameterObserverToken
AUParameter::tokenByAddingParameterAutomationObserver(AUParameterAutomationObserver observer) {
    ObserverEntry entry;
    entry.automationObserver = std::move(observer);
    return addObserver(std::move(entry));
}

void AUParameter::removeParameterObserver(AUParameterObserverToken token) {
    std::lock_guard lock(observersMutex_);
    if (!observers_) return;
    auto list = std::make_shared<ObserverList>();
    for (const ObserverEntry& entry : *observers_)
        if (entry.token != token) list->push_back(entry);
    if (list->size() != observers_->size()) observers_ = std::move(list);
}

} // namespace platform
