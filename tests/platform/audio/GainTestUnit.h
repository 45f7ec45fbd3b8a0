#pragma once
// A small audio unit for the tests: multiplies its input (or, without inputs, a constant 1) by its
// "gain" parameter, applies scheduled gain changes and ramps at their exact frames and records the MIDI
// messages it receives. A gain ramp of n frames from A to B plays A + (B - A) * k / n at its k-th frame.

#include "platform/audio/AUParameterTree.h"
#include "platform/audio/AudioUnit.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <utility>
#include <vector>

namespace unittest {

using namespace platform;

constexpr std::uint32_t code(const char (&text)[5]) {
    return std::uint32_t(std::uint8_t(text[0])) << 24 | std::uint32_t(std::uint8_t(text[1])) << 16 |
           std::uint32_t(std::uint8_t(text[2])) << 8 | std::uint32_t(std::uint8_t(text[3]));
}

inline AudioFormat unitStereo(double rate = 44100.0) {
    return *AudioFormat::standard(rate, 2);
}

class GainTestUnit final : public AudioUnit {
public:
    static constexpr AUParameterAddress gainAddress = 0;
    static constexpr std::size_t midiCapacity = 256;

    struct MIDIRecord {
        AUEventSampleTime time = 0;
        AUEventSampleTime cycleStart = 0;
        std::uint8_t cable = 0;
        std::uint16_t length = 0;
        std::array<std::uint8_t, 3> data{};
        bool operator==(const MIDIRecord&) const = default;
    };

    static AudioComponentDescription effectDescription() {
        return {code("aumf"), code("gain"), code("Test"), 0, 0};
    }
    static AudioComponentDescription generatorDescription() {
        return {code("augn"), code("dcgn"), code("Test"), 0, 0};
    }

    explicit GainTestUnit(const AudioComponentDescription& description = effectDescription(),
                          std::uint32_t inputs = 1, std::uint32_t eventCapacity = defaultEventCapacity)
        : AudioUnit(description, inputs, 1, unitStereo(), eventCapacity) {
        gain_ = AUParameterTree::createParameter(
            "gain", "Gain", gainAddress, 0.0f, 4.0f, AudioUnitParameterUnit::linearGain,
            AudioUnitParameterFlag::isReadable | AudioUnitParameterFlag::isWritable |
                AudioUnitParameterFlag::canRamp);
        auto tree = AUParameterTree::createTree({gain_});
        tree->setImplementorValueObserver([this](const AUParameter&, AUValue value) {
            target_.store(value, std::memory_order_relaxed);
            changes_.fetch_add(1, std::memory_order_release);
        });
        tree->setImplementorValueProvider(
            [this](const AUParameter&) { return target_.load(std::memory_order_relaxed); });
        setParameterTree(tree);
        gain_->setValue(1.0f);
    }

    AUParameter& gain() const { return *gain_; }

    // What the render received; read while the unit does not render.
    std::size_t midiCount() const { return midiCount_.load(std::memory_order_acquire); }
    const MIDIRecord& midi(std::size_t index) const { return midi_[index]; }
    // (time from `from`, note) of each note-on received from sample time `from` on, as they came.
    std::vector<std::pair<AUEventSampleTime, int>> noteOns(AUEventSampleTime from = 0) const {
        std::vector<std::pair<AUEventSampleTime, int>> out;
        for (std::size_t i = 0; i < midiCount(); ++i)
            if (midi_[i].time >= from && (midi_[i].data[0] & 0xF0) == 0x90)
                out.emplace_back(midi_[i].time - from, midi_[i].data[1]);
        return out;
    }

    std::vector<int> channelCapabilities() const override { return capabilities; }
    // Pairs of channel counts (see AudioUnit::channelCapabilities); any count that is equal by default.
    std::vector<int> capabilities{-1, -1};
    // Formats of another rate are declined; 0 takes any.
    double requiredRate = 0.0;

    std::atomic<int> allocations{0};
    std::atomic<int> deallocations{0};
    std::atomic<int> resets{0};
    std::atomic<int> renders{0};

protected:
    bool shouldChangeToFormat(const AudioFormat& format, const AudioUnitBus&) override {
        return requiredRate == 0.0 || format.sampleRate() == requiredRate;
    }
    Result<void> allocateInternalRenderResources() override {
        allocations.fetch_add(1);
        jump(target_.load());
        return Result<void>();
    }
    void deallocateInternalRenderResources() override { deallocations.fetch_add(1); }
    void resetInternalRenderState() override {
        resets.fetch_add(1);
        jump(target_.load());
    }

    RenderStatus internalRender(const AudioTime& timestamp, AUAudioFrameCount frames, std::uint32_t,
                                AudioBufferList& output, const AURenderEvent* events,
                                const AudioUnitPullInput& input) override {
        renders.fetch_add(1, std::memory_order_relaxed);
        // A value set through the tree takes effect at the start of the next cycle.
        const std::uint32_t changes = changes_.load(std::memory_order_acquire);
        if (changes != seenChanges_) {
            seenChanges_ = changes;
            jump(target_.load(std::memory_order_relaxed));
        }
        if (inputBusCount() > 0) {
            input.pullInto(0, frames, output);
        } else {
            for (std::uint32_t c = 0; c < output.numberBuffers; ++c)
                std::fill_n(output.floatData(c), frames, 1.0f);
        }
        const AUEventSampleTime start = timestamp.sampleTime();
        AUAudioFrameCount done = 0;
        for (const AURenderEvent* event = events; event; event = event->next) {
            const AUEventSampleTime offset =
                std::clamp<AUEventSampleTime>(event->eventSampleTime - start, 0, frames);
            apply(output, done, AUAudioFrameCount(offset));
            done = AUAudioFrameCount(offset);
            handle(*event, start);
        }
        apply(output, done, frames);
        return RenderStatus::success;
    }

private:
    void jump(float value) {
        rampFrom_ = rampTo_ = value;
        rampLength_ = rampPosition_ = 0;
    }
    float currentGain() const {
        if (rampPosition_ >= rampLength_) return rampTo_;
        return rampFrom_ + (rampTo_ - rampFrom_) * float(rampPosition_) / float(rampLength_);
    }
    void apply(AudioBufferList& output, AUAudioFrameCount from, AUAudioFrameCount to) {
        for (AUAudioFrameCount i = from; i < to; ++i) {
            const float gain = currentGain();
            for (std::uint32_t c = 0; c < output.numberBuffers; ++c)
                output.floatData(c)[i] *= gain;
            if (rampPosition_ < rampLength_) ++rampPosition_;
        }
    }
    void handle(const AURenderEvent& event, AUEventSampleTime cycleStart) {
        switch (event.eventType) {
        case AURenderEventType::parameter:
        case AURenderEventType::parameterRamp:
            if (event.parameter.parameterAddress != gainAddress) return;
            if (event.parameter.rampDurationSampleFrames == 0) {
                jump(event.parameter.value);
            } else {
                rampFrom_ = currentGain();
                rampTo_ = event.parameter.value;
                rampLength_ = event.parameter.rampDurationSampleFrames;
                rampPosition_ = 0;
            }
            return;
        case AURenderEventType::midi: {
            const std::size_t index = midiCount_.load(std::memory_order_relaxed);
            if (index >= midiCapacity) return;
            MIDIRecord& record = midi_[index];
            record.time = event.eventSampleTime;
            record.cycleStart = cycleStart;
            record.cable = event.midi.cable;
            record.length = event.midi.length;
            std::copy_n(event.midi.data, 3, record.data.begin());
            midiCount_.store(index + 1, std::memory_order_release);
            return;
        }
        }
    }

    std::shared_ptr<AUParameter> gain_;
    std::atomic<float> target_{1.0f};
    std::atomic<std::uint32_t> changes_{0};
    // Render thread.
    std::uint32_t seenChanges_ = 0;
    float rampFrom_ = 1.0f, rampTo_ = 1.0f;
    AUAudioFrameCount rampLength_ = 0, rampPosition_ = 0;
    std::array<MIDIRecord, midiCapacity> midi_{};
    std::atomic<std::size_t> midiCount_{0};
};

} // namespace unittest
