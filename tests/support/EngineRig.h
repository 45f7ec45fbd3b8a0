#pragma once
// Offline render rigs over the platform engine: formats, the null device, a pass-through node, a source
// of any signal that counts its renders, offline rendering into one vector per channel, and a rig with
// one audio-unit node between a source and the output. Links platform_audio. Test thread (the offline
// render runs on it too).

#include "platform/audio/AudioEngine.h"
#include "platform/audio/AudioUnitNode.h"
#include "platform/audio/IONodes.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/RenderContext.h"
#include "platform/audio/SourceNode.h"
#include "tests/support/Signals.h"
#include "tests/support/Wait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

namespace testsupport {

using platform::AudioFormat;

inline AudioFormat stereo(double rate = 44100.0) {
    return *AudioFormat::standard(rate, 2);
}
inline AudioFormat mono(double rate = 44100.0) {
    return *AudioFormat::standard(rate, 1);
}

inline std::unique_ptr<platform::NullAudioDevice>
nullDevice(double rate, std::uint32_t period,
           platform::NullAudioDevice::Pacing pacing = platform::NullAudioDevice::Pacing::realTime) {
    platform::NullAudioDevice::Configuration configuration;
    configuration.sampleRate = rate;
    configuration.framesPerPeriod = period;
    configuration.pacing = pacing;
    return std::make_unique<platform::NullAudioDevice>(configuration);
}

// The null device at 44.1 kHz in periods of 512 frames, rendering as fast as it can.
inline std::unique_ptr<platform::NullAudioDevice> fastDevice() {
    return nullDevice(44100.0, 512, platform::NullAudioDevice::Pacing::asFastAsPossible);
}

// Copies input bus 0 to its output (silence when unconnected): an effect that does nothing.
class PassThroughNode final : public platform::AudioNode {
public:
    explicit PassThroughNode(const AudioFormat& format) : platform::AudioNode(1, 1) {
        setDefaultInputFormat(0, format);
        setDefaultOutputFormat(0, format);
    }
    std::atomic<int> renders{0};

protected:
    platform::RenderStatus render(platform::RenderContext& context, std::uint32_t frames,
                                  platform::AudioBufferList& out, const platform::AudioTime&,
                                  std::uint32_t) override {
        renders.fetch_add(1, std::memory_order_relaxed);
        const platform::AudioBufferList* in = nullptr;
        context.pullInput(0, frames, in);
        for (std::uint32_t c = 0; c < out.numberBuffers; ++c) {
            if (in && c < in->numberBuffers)
                std::memcpy(out.floatData(c), in->floatData(c), frames * sizeof(float));
            else
                std::memset(out.floatData(c), 0, frames * sizeof(float));
        }
        return platform::RenderStatus::success;
    }
};

// A source whose every channel carries value(n) for its n-th rendered frame, counting its renders.
struct CountingSource {
    std::shared_ptr<platform::SourceNode> node;
    std::shared_ptr<std::atomic<int>> renders = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<std::int64_t>> frames = std::make_shared<std::atomic<std::int64_t>>(0);
};

template <typename Signal> CountingSource makeSource(const AudioFormat& format, Signal value) {
    CountingSource source;
    auto renders = source.renders;
    auto position = source.frames;
    source.node = std::make_shared<platform::SourceNode>(
        format, [renders, position, value](const platform::AudioTime&, std::uint32_t frames,
                                           platform::AudioBufferList& out) {
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
    auto buffer = platform::PcmBuffer::make(format, slice);
    std::vector<std::vector<float>> channels(format.channelCount());
    for (std::uint32_t done = 0; done < frames;) {
        const std::uint32_t count = std::min(slice, frames - done);
        auto status = engine.renderOffline(count, *buffer);
        if (!status || *status != platform::ManualRenderingStatus::success) return {};
        for (std::uint32_t c = 0; c < format.channelCount(); ++c)
            channels[c].insert(channels[c].end(), buffer->channel(c), buffer->channel(c) + count);
        done += count;
    }
    return channels;
}

// An offline engine with one audio-unit node between a test source and the output; `unit` is the node's
// unit as the test's type.
template <typename Unit> struct UnitRig {
    std::unique_ptr<platform::AudioEngine> engine;
    std::shared_ptr<platform::AudioUnitNode> node;
    Unit* unit = nullptr;
    CountingSource source;

    // `frames` frames in cycles of `cycle`, one vector per channel.
    std::vector<std::vector<float>> render(std::uint32_t frames, std::uint32_t cycle) {
        return renderOfflineFrames(*engine, frames, cycle);
    }
};

// Source (value(n) on every channel; none for a unit without inputs) -> unit -> output, all in `format`,
// started, nothing rendered yet.
template <typename Unit, typename Signal>
UnitRig<Unit> makeUnitRig(std::shared_ptr<platform::AudioUnitNode> node, const AudioFormat& format,
                          std::uint32_t maximumFrames, Signal value) {
    UnitRig<Unit> rig;
    rig.engine = std::make_unique<platform::AudioEngine>(std::make_unique<platform::NullAudioDevice>());
    EXPECT_TRUE(rig.engine->enableManualRenderingMode(format, maximumFrames));
    rig.node = std::move(node);
    rig.unit = dynamic_cast<Unit*>(&rig.node->auAudioUnit());
    EXPECT_NE(rig.unit, nullptr);
    EXPECT_TRUE(rig.engine->attach(rig.node));
    if (rig.node->numberOfInputs() > 0) {
        rig.source = makeSource(format, value);
        EXPECT_TRUE(rig.engine->attach(rig.source.node));
        EXPECT_TRUE(rig.engine->connect(*rig.source.node, *rig.node, 0, 0, format));
    }
    EXPECT_TRUE(rig.engine->connect(*rig.node, rig.engine->outputNode(), 0, 0, format));
    EXPECT_TRUE(rig.engine->start());
    return rig;
}

} // namespace testsupport
