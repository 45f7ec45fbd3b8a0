#include "platform/audio/AudioUnit.h"

#include <algorithm>
#include <cstring>
#include <thread>

namespace platform {

namespace {

Error audioUnitError(std::string message) {
    return Error::make("AudioUnit", std::move(message));
}

Error unitStatusError(int status, std::string message) {
    return Error::make("AudioUnit", std::move(message), status);
}

void unitSilence(AudioBufferList& list, AUAudioFrameCount frames) {
    for (std::uint32_t b = 0; b < list.numberBuffers; ++b) {
        list.buffers[b].dataByteSize = frames * sizeof(float);
        if (list.buffers[b].data) std::memset(list.buffers[b].data, 0, frames * sizeof(float));
    }
}

constexpr std::uint32_t unitFourCC(const char (&code)[5]) {
    return std::uint32_t(std::uint8_t(code[0])) << 24 | std::uint32_t(std::uint8_t(code[1])) << 16 |
           std::uint32_t(std::uint8_t(code[2])) << 8 | std::uint32_t(std::uint8_t(code[3]));
}

bool channelPairMatches(int in, int out, std::uint32_t inputs, std::uint32_t outputs, bool hasInputs) {
    if (in == -1 && out == -1) return !hasInputs || inputs == outputs;
    const bool inputFits = !hasInputs || in < 0 || std::uint32_t(in) == inputs;
    const bool outputFits = out < 0 || std::uint32_t(out) == outputs;
    return inputFits && outputFits;
}

class NoUnitInput final : public AudioUnitPullInput {
public:
    RenderStatus pull(std::uint32_t, AUAudioFrameCount, const AudioBufferList*& data) const override {
        data = nullptr;
        return RenderStatus::notConnected;
    }
};

} // namespace

// Busses and input ----------------------------------------------------------------------------------

Result<void> AudioUnitBus::setFormat(const AudioFormat& format) {
    if (!format.isStandard())
        return audioUnitError("A bus carries non-interleaved 32-bit float, not " + format.description());
    if (unit_.renderResourcesAllocated())
        return audioUnitError("Formats cannot change while render resources are allocated");
    if (!unit_.shouldChangeToFormat(format, *this))
        return audioUnitError("The audio unit does not accept " + format.description() + " on " +
                              (type_ == AudioUnitBusType::input ? "input" : "output") + " bus " +
                              std::to_string(index_));
    format_ = format;
    return Result<void>();
}

RenderStatus AudioUnitPullInput::pullInto(std::uint32_t bus, AUAudioFrameCount frames,
                                          AudioBufferList& into) const {
    const AudioBufferList* data = nullptr;
    const RenderStatus status = pull(bus, frames, data);
    for (std::uint32_t b = 0; b < into.numberBuffers; ++b) {
        into.buffers[b].dataByteSize = frames * sizeof(float);
        if (data && b < data->numberBuffers)
            std::memmove(into.floatData(b), data->floatData(b), frames * sizeof(float));
        else
            std::memset(into.floatData(b), 0, frames * sizeof(float));
    }
    return status;
}

const AudioUnitPullInput& AudioUnitPullInput::none() {
    static const NoUnitInput input;
    return input;
}

// The unit ----------------------------------------------------------------------------------------

struct AudioUnit::RenderObserverList {
    struct Entry {
        RenderObserverToken token = 0;
        RenderObserver observer;
    };
    std::vector<Entry> entries;
};

AudioUnit::AudioUnit(const AudioComponentDescription& description, std::uint32_t inputBusses,
                     std::uint32_t outputBusses, const AudioFormat& format, std::uint32_t eventCapacity)
    : description_(description), queue_(eventCapacity), events_(eventCapacity) {
    for (std::uint32_t i = 0; i < inputBusses; ++i)
        inputs_.emplace_back(new AudioUnitBus(*this, AudioUnitBusType::input, i, format));
    for (std::uint32_t i = 0; i < outputBusses; ++i)
        outputs_.emplace_back(new AudioUnitBus(*this, AudioUnitBusType::output, i, format));
}

AudioUnit::~AudioUnit() {
    // The subclass is gone already; only make sure no render call is still in here.
    shutOutRenderThread();
    observers_.store(nullptr);
}

Result<void> AudioUnit::setMaximumFramesToRender(AUAudioFrameCount frames) {
    if (allocated_)
        return audioUnitError("The frame limit cannot change while render resources are allocated");
    if (frames == 0) return audioUnitError("The frame limit must be at least 1");
    maximumFrames_ = frames;
    return Result<void>();
}

Result<void> AudioUnit::allocateRenderResources() {
    if (allocated_) return Result<void>();
    if (outputs_.empty()) return audioUnitError("The audio unit has no output bus");
    const double rate = outputs_[0]->format().sampleRate();
    for (const auto* busses : {&inputs_, &outputs_})
        for (const auto& bus : *busses) {
            if (!bus->format().isStandard()) return audioUnitError("A bus has no usable format");
            if (bus->format().sampleRate() != rate)
                return audioUnitError("The busses of an audio unit must share one sample rate");
        }
    if (const std::vector<int> capabilities = channelCapabilities(); !capabilities.empty()) {
        const bool hasInputs = !inputs_.empty();
        const std::uint32_t in = hasInputs ? inputs_[0]->format().channelCount() : 0;
        const std::uint32_t out = outputs_[0]->format().channelCount();
        bool supported = false;
        for (std::size_t i = 0; i + 1 < capabilities.size() && !supported; i += 2)
            supported = channelPairMatches(capabilities[i], capabilities[i + 1], in, out, hasInputs);
        if (!supported)
            return audioUnitError("The audio unit does not support " + std::to_string(in) + " input and " +
                                  std::to_string(out) + " output channels");
    }
    if (auto allocated = allocateInternalRenderResources(); !allocated) return allocated.error();
    allocated_ = true;
    letInRenderThread();
    return Result<void>();
}

void AudioUnit::deallocateRenderResources() {
    if (!allocated_) return;
    shutOutRenderThread();
    events_.clear(queue_);
    deallocateInternalRenderResources();
    allocated_ = false;
}

void AudioUnit::reset() {
    shutOutRenderThread();
    events_.clear(queue_);
    resetInternalRenderState();
    if (allocated_) letInRenderThread();
}

void AudioUnit::shutOutRenderThread() {
    renderEnabled_.store(false);
    while (rendering_.load())
        std::this_thread::yield();
}

void AudioUnit::letInRenderThread() {
    renderEnabled_.store(true);
}

bool AudioUnit::setParameter(std::uint32_t parameterID, AUValue value) {
    if (!tree_) return false;
    auto parameter = tree_->parameterWithID(parameterID);
    if (!parameter) return false;
    parameter->setValue(value);
    return true;
}

Result<AUValue> AudioUnit::getParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                        AudioUnitElement element) const {
    if (scope == AudioUnitScope::global && element == 0 && tree_)
        if (auto parameter = tree_->parameterWithID(id)) return parameter->value();
    return getScopedParameter(id, scope, element);
}

Result<void> AudioUnit::setParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                                     AUValue value) {
    if (scope == AudioUnitScope::global && element == 0 && setParameter(id, value)) return Result<void>();
    return setScopedParameter(id, scope, element, value);
}

Result<AUValue> AudioUnit::getScopedParameter(AudioUnitParameterID, AudioUnitScope, AudioUnitElement) const {
    return unitStatusError(AudioUnitErr::invalidParameter, "The audio unit has no such parameter");
}

Result<void> AudioUnit::setScopedParameter(AudioUnitParameterID, AudioUnitScope, AudioUnitElement, AUValue) {
    return unitStatusError(AudioUnitErr::invalidParameter, "The audio unit has no such parameter");
}

Result<std::size_t> AudioUnit::getProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                           AudioUnitElement element, std::span<std::byte> data) const {
    if (id != AudioUnitProperty::elementCount) return getUnitProperty(id, scope, element, data);
    std::uint32_t count = 1;
    if (scope == AudioUnitScope::input) count = inputBusCount();
    if (scope == AudioUnitScope::output) count = outputBusCount();
    if (data.size() < sizeof count)
        return unitStatusError(AudioUnitErr::invalidPropertyValue, "The element count takes 4 bytes");
    std::memcpy(data.data(), &count, sizeof count);
    return sizeof count;
}

Result<void> AudioUnit::setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                                    std::span<const std::byte> data) {
    if (id == AudioUnitProperty::elementCount) {
        std::uint32_t count = 0;
        if (data.size() != sizeof count)
            return unitStatusError(AudioUnitErr::invalidPropertyValue, "The element count takes 4 bytes");
        std::memcpy(&count, data.data(), sizeof count);
        if (scope == AudioUnitScope::global)
            return unitStatusError(AudioUnitErr::invalidScope, "Only busses can be counted");
        auto& busses = scope == AudioUnitScope::input ? inputs_ : outputs_;
        if (count != busses.size()) {
            if (!acceptsElementCount(scope, count))
                return unitStatusError(AudioUnitErr::propertyNotWritable, "The audio unit cannot have " +
                                                                              std::to_string(count) +
                                                                              " busses there");
            if (allocated_)
                return unitStatusError(AudioUnitErr::initialized,
                                       "Busses cannot change while render resources are allocated");
            const auto type =
                scope == AudioUnitScope::input ? AudioUnitBusType::input : AudioUnitBusType::output;
            const AudioFormat format =
                busses.empty() ? *AudioFormat::standard(44100.0, 2) : busses[0]->format();
            busses.resize(std::min<std::size_t>(busses.size(), count));
            while (busses.size() < count)
                busses.emplace_back(new AudioUnitBus(*this, type, std::uint32_t(busses.size()), format));
        }
    } else if (auto set = setUnitProperty(id, scope, element, data); !set) {
        return set;
    }
    // A listener may remove itself (or others): walk a copy.
    const auto listeners = propertyListeners_;
    for (const auto& [token, listener] : listeners)
        listener(id, scope, element);
    return Result<void>();
}

Result<std::size_t> AudioUnit::getUnitProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement,
                                               std::span<std::byte>) const {
    return unitStatusError(AudioUnitErr::invalidProperty, "The audio unit has no such property");
}

Result<void> AudioUnit::setUnitProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement,
                                        std::span<const std::byte>) {
    return unitStatusError(AudioUnitErr::invalidProperty, "The audio unit has no such property");
}

AudioUnit::PropertyListenerToken AudioUnit::addPropertyListener(PropertyListener listener) {
    propertyListeners_.emplace_back(nextPropertyListenerToken_, std::move(listener));
    return nextPropertyListenerToken_++;
}

void AudioUnit::removePropertyListener(PropertyListenerToken token) {
    std::erase_if(propertyListeners_, [&](const auto& entry) { return entry.first == token; });
}

// Scheduled events --------------------------------------------------------------------------------

bool AudioUnit::schedule(const AURenderEvent& event) {
    const bool accepted = queue_.push(event);
    if (!accepted) refusedEvents_.fetch_add(1, std::memory_order_relaxed);
    return accepted;
}

bool AudioUnit::scheduleParameterRamp(AUEventSampleTime when, AUAudioFrameCount rampDurationFrames,
                                      AUParameterAddress address, AUValue value) {
    AURenderEvent event;
    event.eventSampleTime = when;
    event.eventType =
        rampDurationFrames > 0 ? AURenderEventType::parameterRamp : AURenderEventType::parameter;
    event.parameter.rampDurationSampleFrames = rampDurationFrames;
    event.parameter.parameterAddress = address;
    event.parameter.value = value;
    return schedule(event);
}

bool AudioUnit::acceptsMIDIEvents() const {
    const std::uint32_t type = description_.componentType;
    return type == unitFourCC("aumu") || type == unitFourCC("aumf") || type == unitFourCC("aumi");
}

bool AudioUnit::scheduleMIDIEvent(AUEventSampleTime when, std::uint8_t cable,
                                  std::span<const std::uint8_t> bytes) {
    if (!acceptsMIDIEvents() || bytes.empty() || bytes.size() > 3) {
        refusedEvents_.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    AURenderEvent event;
    event.eventSampleTime = when;
    event.eventType = AURenderEventType::midi;
    event.midi = AUMIDIEvent();
    event.midi.cable = cable;
    event.midi.length = std::uint16_t(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        event.midi.data[i] = bytes[i];
    return schedule(event);
}

// Render observers --------------------------------------------------------------------------------

AudioUnit::RenderObserverToken AudioUnit::tokenByAddingRenderObserver(RenderObserver observer) {
    std::lock_guard lock(observersMutex_);
    auto list = std::make_unique<RenderObserverList>();
    if (currentObservers_) list->entries = currentObservers_->entries;
    const RenderObserverToken token = nextObserverToken_++;
    list->entries.push_back({token, std::move(observer)});
    publishObservers(std::move(list));
    return token;
}

void AudioUnit::removeRenderObserver(RenderObserverToken token) {
    std::lock_guard lock(observersMutex_);
    if (!currentObservers_) return;
    auto list = std::make_unique<RenderObserverList>();
    for (const auto& entry : currentObservers_->entries)
        if (entry.token != token) list->entries.push_back(entry);
    if (list->entries.size() == currentObservers_->entries.size()) return;
    publishObservers(list->entries.empty() ? nullptr : std::move(list));
}

void AudioUnit::publishObservers(std::unique_ptr<RenderObserverList> list) {
    observers_.store(list.get());
    if (currentObservers_) retiredObservers_.push_back(std::move(currentObservers_));
    currentObservers_ = std::move(list);
    reclaimObservers();
}

void AudioUnit::reclaimObservers() {
    // A list the render thread announced before the swap may still be in use; the others are free.
    const RenderObserverList* inUse = observersInUse_.load();
    std::erase_if(retiredObservers_, [&](const auto& list) { return list.get() != inUse; });
}

AudioUnit::RenderObserverList* AudioUnit::acquireObservers() {
    // Hazard pointer: announce the list, then check it is still the published one. Either the writer's
    // swap comes first and the check fails, or the writer's reclaim sees the announcement.
    RenderObserverList* list = observers_.load();
    for (;;) {
        observersInUse_.store(list);
        RenderObserverList* again = observers_.load();
        if (again == list) return list;
        list = again;
    }
}

// Rendering ---------------------------------------------------------------------------------------

RenderStatus AudioUnit::bypassRender(AUAudioFrameCount frames, AudioBufferList& output,
                                     const AudioUnitPullInput& input) {
    if (inputs_.empty()) {
        unitSilence(output, frames);
        return RenderStatus::success;
    }
    const RenderStatus status = input.forward(0, frames, output);
    return status == RenderStatus::error ? RenderStatus::error : RenderStatus::success;
}

RenderStatus AudioUnit::render(const AudioTime& timestamp, AUAudioFrameCount frames, std::uint32_t outputBus,
                               AudioBufferList& output, const AudioUnitPullInput& input) {
    rendering_.store(true);
    if (!renderEnabled_.load() || outputBus >= outputs_.size() || frames > maximumFrames_ ||
        output.numberBuffers != outputs_[outputBus]->format().channelCount()) {
        unitSilence(output, frames);
        rendering_.store(false, std::memory_order_release);
        return RenderStatus::error;
    }
    RenderObserverList* observers = acquireObservers();

    // Events travel with output bus 0, once per cycle.
    const bool carriesEvents = outputBus == 0;
    // Without a sample time the unit counts its own frames, so events still have a timeline.
    const AudioTime when =
        timestamp.isSampleTimeValid() ? timestamp
        : timestamp.isHostTimeValid()
            ? AudioTime::withBoth(timestamp.hostTime(), fallbackSampleTime_,
                                  outputs_[outputBus]->format().sampleRate())
            : AudioTime::withSampleTime(fallbackSampleTime_, outputs_[outputBus]->format().sampleRate());
    const AUEventSampleTime start = when.sampleTime();
    const AUEventSampleTime end = start + AUEventSampleTime(frames);
    if (carriesEvents) {
        fallbackSampleTime_ = end;
        events_.beginCycle(start);
    }

    if (observers)
        for (const auto& entry : observers->entries)
            entry.observer(AudioUnitRenderAction::preRender, when, frames, outputBus);

    // Taken in after the pre-render observers, so what they schedule can land in this cycle.
    const AURenderEvent* due = carriesEvents ? events_.takeDue(queue_, end) : nullptr;
    RenderStatus status;
    if (shouldBypassEffect() && !rendersBypassItself())
        status = bypassRender(frames, output, input);
    else
        status = internalRender(when, frames, outputBus, output, due, input);
    if (carriesEvents) events_.endCycle();

    if (observers) {
        AudioUnitRenderActionFlags flags = AudioUnitRenderAction::postRender;
        if (status == RenderStatus::error) flags |= AudioUnitRenderAction::postRenderError;
        for (const auto& entry : observers->entries)
            entry.observer(flags, when, frames, outputBus);
    }

    observersInUse_.store(nullptr);
    rendering_.store(false, std::memory_order_release);
    return status;
}

} // namespace platform
