#pragma once
// Nodes and measurements shared by the engine tests.

#include "platform/audio/AudioEngine.h"
#include "platform/audio/IONodes.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/RenderContext.h"
#include "platform/audio/SourceNode.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <thread>
#include <vector>

namespace enginetest {

using namespace platform;

inline AudioFormat stereo(double rate = 44100.0) {
    return *AudioFormat::standard(rate, 2);
}
inline AudioFormat mono(double rate = 44100.0) {
    return *AudioFormat::standard(rate, 1);
}

inline std::unique_ptr<NullAudioDevice>
nullDevice(double rate, std::uint32_t period,
           NullAudioDevice::Pacing pacing = NullAudioDevice::Pacing::realTime) {
    NullAudioDevice::Configuration configuration;
    configuration.sampleRate = rate;
    configuration.framesPerPeriod = period;
    configuration.pacing = pacing;
    return std::make_unique<NullAudioDevice>(configuration);
}

// Polls until the condition holds; false after the timeout, which only a broken engine reaches.
template <typename Condition>
bool waitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// Copies input bus 0 to its output (silence when unconnected): an effect that does nothing.
class PassThroughNode final : public AudioNode {
public:
    explicit PassThroughNode(const AudioFormat& format) : AudioNode(1, 1) {
        setDefaultInputFormat(0, format);
        setDefaultOutputFormat(0, format);
    }
    std::atomic<int> renders{0};

protected:
    RenderStatus render(RenderContext& context, std::uint32_t frames, AudioBufferList& out, const AudioTime&,
                        std::uint32_t) override {
        renders.fetch_add(1, std::memory_order_relaxed);
        const AudioBufferList* in = nullptr;
        context.pullInput(0, frames, in);
        for (std::uint32_t c = 0; c < out.numberBuffers; ++c) {
            if (in && c < in->numberBuffers)
                std::memcpy(out.floatData(c), in->floatData(c), frames * sizeof(float));
            else
                std::memset(out.floatData(c), 0, frames * sizeof(float));
        }
        return RenderStatus::success;
    }
};

// A source whose every channel carries value(n) for its n-th rendered frame, counting its renders.
struct CountingSource {
    std::shared_ptr<SourceNode> node;
    std::shared_ptr<std::atomic<int>> renders = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<std::int64_t>> frames = std::make_shared<std::atomic<std::int64_t>>(0);
};

template <typename Signal> CountingSource makeSource(const AudioFormat& format, Signal value) {
    CountingSource source;
    auto renders = source.renders;
    auto position = source.frames;
    source.node = std::make_shared<SourceNode>(
        format, [renders, position, value](const AudioTime&, std::uint32_t frames, AudioBufferList& out) {
            renders->fetch_add(1, std::memory_order_relaxed);
            const std::int64_t start = position->fetch_add(frames, std::memory_order_relaxed);
            for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
                for (std::uint32_t i = 0; i < frames; ++i)
                    out.floatData(c)[i] = value(start + i);
            return true;
        });
    return source;
}

// A sine of `frequency` Hz at `rate`, amplitude 0.5.
inline CountingSource makeSine(const AudioFormat& format, double frequency) {
    const double step = 2.0 * std::numbers::pi * frequency / format.sampleRate();
    return makeSource(format, [step](std::int64_t n) { return float(0.5 * std::sin(step * double(n))); });
}

// Renders `frames` frames offline in slices of `slice` into one vector per channel.
inline std::vector<std::vector<float>> renderOfflineFrames(platform::AudioEngine& engine,
                                                           std::uint32_t frames, std::uint32_t slice) {
    const AudioFormat format = engine.manualRenderingFormat();
    auto buffer = PcmBuffer::make(format, slice);
    std::vector<std::vector<float>> channels(format.channelCount());
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t count = std::min(slice, frames - done);
        auto status = engine.renderOffline(count, *buffer);
        if (!status || *status != ManualRenderingStatus::success) return {};
        for (std::uint32_t c = 0; c < format.channelCount(); ++c)
            channels[c].insert(channels[c].end(), buffer->channel(c), buffer->channel(c) + count);
        done += count;
    }
    return channels;
}

// Power of `samples` at `frequency` (Goertzel), normalised by the length.
inline double goertzelPower(const std::vector<float>& samples, std::size_t from, double frequency,
                            double rate) {
    const double coefficient = 2.0 * std::cos(2.0 * std::numbers::pi * frequency / rate);
    double previous = 0.0, beforePrevious = 0.0;
    for (std::size_t i = from; i < samples.size(); ++i) {
        const double current = samples[i] + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    const double power =
        previous * previous + beforePrevious * beforePrevious - coefficient * previous * beforePrevious;
    const double length = double(samples.size() - from);
    return power / (length * length);
}

// Frequency estimated from rising zero crossings, linearly interpolated between samples.
inline double zeroCrossingFrequency(const std::vector<float>& samples, std::size_t from, double rate) {
    double first = -1.0, last = -1.0;
    int crossings = 0;
    for (std::size_t i = from + 1; i < samples.size(); ++i) {
        if (samples[i - 1] < 0.0f && samples[i] >= 0.0f) {
            const double at = double(i - 1) + samples[i - 1] / double(samples[i - 1] - samples[i]);
            if (first < 0.0) first = at;
            last = at;
            ++crossings;
        }
    }
    return crossings < 2 ? 0.0 : (crossings - 1) * rate / (last - first);
}

} // namespace enginetest
