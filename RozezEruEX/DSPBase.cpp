#include "RozezEruEX/DSPBase.h"

#include "RozezEruEX/ProgrammingError.h"
#include "platform/audio/AudioUnit.h"

#include <algorithm>
#include <cstring>

namespace rozezeru {

namespace {

constexpr std::uint8_t midiStatusNoteOff = 0x80;
constexpr std::uint8_t midiStatusNoteOn = 0x90;
constexpr std::uint8_t midiDataMaximum = 127;

} // namespace

DSPBase::DSPBase(int inputBusCount, bool canProcessInPlace)
    : inputBufferLists(std::size_t(std::max(inputBusCount, 0)), nullptr),
      canProcessInPlace(canProcessInPlace) {}

DSPBase::~DSPBase() = default;

void DSPBase::setParameter(AUParameterAddress address, AUValue value, bool immediate) {
    if (address >= maxParameterCount || !parameters[address]) return;
    ParameterRamper& ramper = *parameters[address];
    if (!immediate && isInitialized.load(std::memory_order_acquire)) {
        // Target first, then the counter: the render thread reads them in the opposite order.
        ramper.target.exchange(value, std::memory_order_relaxed);
        ramper.changeCounter.fetch_add(1, std::memory_order_release);
    } else {
        ramper.startRamp(value, 0);
    }
}

AUValue DSPBase::getParameter(AUParameterAddress address) {
    if (address >= maxParameterCount || !parameters[address]) return 0.0f;
    return parameters[address]->target.load(std::memory_order_relaxed);
}

void DSPBase::init(int channelCount, double sampleRate) {
    this->channelCount = channelCount;
    this->sampleRate = sampleRate;
    isInitialized.store(true, std::memory_order_release);
}

void DSPBase::deinit() {
    isInitialized.store(false, std::memory_order_release);
}

void DSPBase::handleMIDIEvent(const AUMIDIEvent& midiEvent) {
    if (midiEvent.length != 3) return;
    const std::uint8_t status = midiEvent.data[0] & 0xF0;
    const std::uint8_t note = midiEvent.data[1];
    const std::uint8_t velocity = midiEvent.data[2];
    if (status == midiStatusNoteOff) {
        if (note <= midiDataMaximum) stopNote(note, velocity);
    } else if (status == midiStatusNoteOn) {
        if (note > midiDataMaximum || velocity > midiDataMaximum) return;
        // A note-on with velocity 0 is a note-off.
        if (velocity == 0)
            stopNote(note, 0);
        else
            startNote(note, velocity);
    }
}

void DSPBase::handleParameterEvent(const AUParameterEvent& parameterEvent) {
    const AUParameterAddress address = parameterEvent.parameterAddress;
    if (address >= maxParameterCount || !parameters[address]) return;
    parameters[address]->startRamp(parameterEvent.value, parameterEvent.rampDurationSampleFrames);
}

platform::RenderStatus DSPBase::render(const platform::AudioTime& timestamp, AUAudioFrameCount frames,
                                       std::uint32_t outputBusNumber, AudioBufferList& output,
                                       const AURenderEvent* events,
                                       const platform::AudioUnitPullInput* pullInput) {
    if (outputBusNumber != 0) stopOnProgrammingError("We don't yet support multiple output busses");

    if (inputLiesInOutput()) {
        inputBufferLists[0] = &output;
        if (pullInput) pullInput->pullInto(0, frames, output);
    } else {
        for (std::size_t bus = 0; bus < inputBufferLists.size(); ++bus) {
            AudioBufferList* buffers = bus < internalBufferLists.size() ? internalBufferLists[bus] : nullptr;
            inputBufferLists[bus] = buffers;
            // A failed pull leaves silence in the buffers; the kernel processes what is there.
            if (buffers && pullInput) pullInput->pullInto(std::uint32_t(bus), frames, *buffers);
        }
    }
    outputBufferList = &output;
    processWithEvents(timestamp.sampleTime(), frames, events);
    return platform::RenderStatus::success;
}

void DSPBase::processWithEvents(AUEventSampleTime sampleTime, AUAudioFrameCount frames,
                                const AURenderEvent* events) {
    now = sampleTime;
    const std::uint32_t rampSamples = rampDurationSamples();
    for (ParameterRamper* ramper : parameters) {
        if (!ramper) break;
        startRampIfChanged(*ramper, rampSamples);
    }
    if (frames == 0) return;

    AUAudioFrameCount framesRemaining = frames;
    const AURenderEvent* event = events;
    while (framesRemaining > 0) {
        if (!event) {
            processOrBypass(framesRemaining, frames - framesRemaining);
            return;
        }
        // Clamped into the cycle: an event past its end renders the rest of the cycle first.
        const AUEventSampleTime ahead = event->eventSampleTime - now;
        const AUAudioFrameCount segment =
            ahead <= 0 ? 0 : AUAudioFrameCount(std::min<AUEventSampleTime>(ahead, framesRemaining));
        if (segment != 0) {
            processOrBypass(segment, frames - framesRemaining);
            framesRemaining -= segment;
            now += segment;
        }
        handleOneEvent(*event);
        event = event->next;
        while (event && event->eventSampleTime <= now) {
            handleOneEvent(*event);
            event = event->next;
        }
    }
    for (; event; event = event->next)
        handleOneEvent(*event);
}

void DSPBase::startRampIfChanged(ParameterRamper& ramper, std::uint32_t samples) {
    const std::uint32_t changes = ramper.changeCounter.load(std::memory_order_acquire);
    if (changes == ramper.updateCounter) return;
    ramper.updateCounter = changes;
    const float target = ramper.target.load(std::memory_order_relaxed);
    ramper.slope = samples == 0 ? 0.0f : (ramper.currentValue() - target) / float(samples);
    ramper.samplesRemaining = samples;
    ramper.endValue = target;
}

void DSPBase::processOrBypass(AUAudioFrameCount frames, AUAudioFrameCount offset) {
    if (isStarted.load(std::memory_order_relaxed)) {
        process(FrameRange{offset, frames});
        return;
    }
    // While bypassed no DSP runs and the ramps move on as if the time had passed.
    for (ParameterRamper* ramper : parameters)
        if (ramper) ramper->advance(frames);

    AudioBufferList& output = *outputBufferList;
    const std::size_t bytes = std::size_t(frames) * sizeof(float);
    if (inputBufferLists.empty()) {
        for (std::uint32_t channel = 0; channel < output.numberBuffers; ++channel)
            std::memset(output.floatData(channel) + offset, 0, bytes);
        return;
    }
    if (inputLiesInOutput()) return;
    const AudioBufferList* input = inputBufferLists[0];
    const std::uint32_t channels = std::min(std::uint32_t(std::max(channelCount, 0)), output.numberBuffers);
    for (std::uint32_t channel = 0; channel < channels; ++channel) {
        float* destination = output.floatData(channel) + offset;
        if (input && channel < input->numberBuffers)
            std::memmove(destination, input->floatData(channel) + offset, bytes);
        else
            std::memset(destination, 0, bytes);
    }
}

void DSPBase::handleOneEvent(const AURenderEvent& event) {
    switch (event.eventType) {
    case platform::AURenderEventType::parameter:
    case platform::AURenderEventType::parameterRamp:
        handleParameterEvent(event.parameter);
        return;
    case platform::AURenderEventType::midi:
        handleMIDIEvent(event.midi);
        return;
    }
}

void DSPBase::cloneFirstChannel(FrameRange range) {
    if (channelCount < 2 || !outputBufferList) return;
    AudioBufferList& output = *outputBufferList;
    const std::uint32_t channels = std::min(std::uint32_t(channelCount), output.numberBuffers);
    const float* first = output.floatData(0) + range.start;
    for (std::uint32_t channel = 1; channel < channels; ++channel)
        std::memcpy(output.floatData(channel) + range.start, first, std::size_t(range.count) * sizeof(float));
}

} // namespace rozezeru
