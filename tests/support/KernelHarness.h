#pragma once
// Renders a kernel (RozezEruEX) outside any unit: output and input buffers of its own, a pull input that
// serves one constant per bus and channel, and render-event lists built in place. Test thread.

#include "RozezEruEX/DSPInterface.h"
#include "platform/audio/AudioUnit.h"
#include "platform/audio/PcmBuffer.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

namespace testsupport {

using platform::AudioFormat;
using platform::AudioTime;
using platform::PcmBuffer;
using platform::RenderStatus;

inline AudioFormat stereoFormat(double rate = 44100.0) {
    return *AudioFormat::standard(rate, 2);
}

// Serves, for bus b, channel c, the constant values[b][c].
class ConstantBusInput final : public platform::AudioUnitPullInput {
public:
    static constexpr std::uint32_t capacity = 4096;

    explicit ConstantBusInput(std::vector<std::vector<float>> values) {
        for (const auto& channels : values) {
            auto buffer =
                PcmBuffer::make(*AudioFormat::standard(44100.0, std::uint32_t(channels.size())), capacity);
            for (std::uint32_t c = 0; c < channels.size(); ++c)
                std::fill_n(buffer->channel(c), capacity, channels[c]);
            buffers_.push_back(std::move(buffer));
        }
        lists_.resize(buffers_.size());
    }
    RenderStatus pull(std::uint32_t bus, platform::AUAudioFrameCount frames,
                      const platform::AudioBufferList*& data) const override {
        ++pulls;
        if (bus >= buffers_.size()) {
            data = nullptr;
            return RenderStatus::notConnected;
        }
        lists_[bus] = buffers_[bus]->bufferList(frames);
        data = &lists_[bus];
        return RenderStatus::success;
    }
    mutable int pulls = 0;

private:
    std::vector<std::unique_ptr<PcmBuffer>> buffers_;
    mutable std::vector<platform::AudioBufferList> lists_;
};

// Output buffers and one stereo input buffer per bus, handed to the kernel with rzSetBuffer.
class KernelHarness {
public:
    static constexpr std::uint32_t capacity = 4096;

    explicit KernelHarness(rozezeru::DSPBase& dsp, std::uint32_t outputChannels = 2) : dsp_(dsp) {
        output_ = PcmBuffer::make(*AudioFormat::standard(44100.0, outputChannels), capacity);
        for (int bus = 0; bus < rozezeru::rzInputBusCount(&dsp); ++bus) {
            inputs_.push_back(PcmBuffer::make(stereoFormat(), capacity));
            inputLists_.push_back(
                std::make_unique<platform::AudioBufferList>(inputs_.back()->bufferList(capacity)));
            rozezeru::rzSetBuffer(&dsp, inputLists_.back().get(), std::size_t(bus));
        }
    }

    // Renders `frames` frames at `sampleTime` into the output from frame 0.
    RenderStatus render(std::int64_t sampleTime, std::uint32_t frames,
                        const rozezeru::AURenderEvent* events = nullptr,
                        const platform::AudioUnitPullInput* input = &platform::AudioUnitPullInput::none()) {
        outputList_ = output_->bufferList(frames);
        return rozezeru::internalRenderBlock(&dsp_)(AudioTime::withSampleTime(sampleTime, 44100.0), frames, 0,
                                                    outputList_, events, input);
    }
    // Renders `total` frames in cycles of `cycle` frames from `sampleTime`, collecting channel `channel`.
    std::vector<float> renderCycles(std::int64_t sampleTime, std::uint32_t total, std::uint32_t cycle,
                                    std::uint32_t channel = 0) {
        std::vector<float> samples;
        for (std::uint32_t done = 0; done < total;) {
            const std::uint32_t frames = std::min(cycle, total - done);
            render(sampleTime + done, frames);
            samples.insert(samples.end(), output_->channel(channel), output_->channel(channel) + frames);
            done += frames;
        }
        return samples;
    }

    float* output(std::uint32_t channel) { return output_->channel(channel); }
    // The first `frames` samples of an output channel.
    std::vector<float> channel(std::uint32_t channel, std::uint32_t frames) {
        return std::vector<float>(output_->channel(channel), output_->channel(channel) + frames);
    }
    platform::AudioBufferList& outputList() { return outputList_; }
    PcmBuffer& inputBuffer(std::size_t bus) { return *inputs_[bus]; }
    platform::AudioBufferList* inputList(std::size_t bus) { return inputLists_[bus].get(); }

private:
    rozezeru::DSPBase& dsp_;
    std::unique_ptr<PcmBuffer> output_;
    platform::AudioBufferList outputList_;
    std::vector<std::unique_ptr<PcmBuffer>> inputs_;
    std::vector<std::unique_ptr<platform::AudioBufferList>> inputLists_;
};

// A render-event list in time order as given; valid while the EventList lives.
class EventList {
public:
    // A parameter event: a jump.
    EventList& parameter(std::int64_t time, rozezeru::AUParameterAddress address, float value) {
        return add(time, platform::AURenderEventType::parameter, address, value, 0);
    }
    // A parameter-ramp event over `rampFrames` frames.
    EventList& ramp(std::int64_t time, rozezeru::AUParameterAddress address, float value,
                    std::uint32_t rampFrames) {
        return add(time, platform::AURenderEventType::parameterRamp, address, value, rampFrames);
    }
    EventList& midi(std::int64_t time, std::initializer_list<std::uint8_t> bytes) {
        rozezeru::AURenderEvent event;
        event.eventSampleTime = time;
        event.eventType = platform::AURenderEventType::midi;
        event.midi = platform::AUMIDIEvent();
        event.midi.length = std::uint16_t(bytes.size());
        std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), 3), event.midi.data);
        events_.push_back(event);
        return *this;
    }
    const rozezeru::AURenderEvent* head() {
        for (std::size_t i = 0; i < events_.size(); ++i)
            events_[i].next = i + 1 < events_.size() ? &events_[i + 1] : nullptr;
        return events_.empty() ? nullptr : &events_[0];
    }

private:
    EventList& add(std::int64_t time, platform::AURenderEventType type, rozezeru::AUParameterAddress address,
                   float value, std::uint32_t rampFrames) {
        rozezeru::AURenderEvent event;
        event.eventSampleTime = time;
        event.eventType = type;
        event.parameter.parameterAddress = address;
        event.parameter.value = value;
        event.parameter.rampDurationSampleFrames = rampFrames;
        events_.push_back(event);
        return *this;
    }

    std::vector<rozezeru::AURenderEvent> events_;
};

} // namespace testsupport
