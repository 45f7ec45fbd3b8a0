#pragma once
// A toolkit node rendered offline for tap tests: renders a tap buffer at a time and waits until the
// node's tap thread has handed it on, so the ring never overruns on a slow machine; and PCM buffers
// built from sample lists. Only the toolkit's test programs include this. Test thread.

#include "RozezEru/Internals/Settings.h"
#include "platform/audio/AudioNode.h"
#include "tests/support/ToolkitNodes.h"
#include "tests/support/ToolkitRig.h"

#include <gtest/gtest.h>

namespace testsupport {

struct TapRig {
    explicit TapRig(std::shared_ptr<SignalNode> tapped)
        : node(std::move(tapped)), engine(offlineToolkitEngine(node, 20.0)) {}

    platform::AudioNodeTaps& taps() const { return node->avAudioNode()->taps(); }
    // Renders `count` buffers of `size` frames through bus 0's tap.
    void feed(std::uint32_t size, int count) {
        for (int i = 0; i < count; ++i) {
            const std::uint64_t before = taps().deliveredBuffers(0);
            renderToolkit(*engine, size, std::min(size, 512u));
            ASSERT_TRUE(waitUntil([&] { return taps().deliveredBuffers(0) > before; }));
        }
    }

    // The same, ending early once bus 0 carries no tap (its own block removed it, say).
    void feedWhileTapped(std::uint32_t size, int count) {
        for (int i = 0; i < count && taps().isInstalled(0); ++i) {
            const std::uint64_t before = taps().deliveredBuffers(0);
            renderToolkit(*engine, size, std::min(size, 512u));
            ASSERT_TRUE(
                waitUntil([&] { return !taps().isInstalled(0) || taps().deliveredBuffers(0) > before; }));
        }
    }

    std::shared_ptr<SignalNode> node;
    std::unique_ptr<rozezeru::AudioEngine> engine;
};

// One list per channel; `capacity` 0 means the frames' count.
inline std::shared_ptr<platform::PcmBuffer> pcmBuffer(const std::vector<std::vector<float>>& channels,
                                                      std::uint32_t capacity = 0, double rate = 44100.0) {
    const auto frames = std::uint32_t(channels.at(0).size());
    std::shared_ptr<platform::PcmBuffer> buffer = platform::PcmBuffer::make(
        *platform::AudioFormat::standard(rate, std::uint32_t(channels.size())), std::max(capacity, frames));
    for (std::size_t c = 0; c < channels.size(); ++c)
        std::copy(channels[c].begin(), channels[c].end(), buffer->channel(std::uint32_t(c)));
    buffer->setFrameLength(frames);
    return buffer;
}

// Plays its frame index.
inline std::shared_ptr<SignalNode> rampNode() {
    return std::make_shared<SignalNode>([](std::int64_t n) { return float(n); });
}

// A node whose toolkit output format is mono.
class MonoNode final : public rozezeru::Node {
public:
    std::vector<std::shared_ptr<Node>> connections() const override { return {}; }
    std::shared_ptr<platform::AudioNode> avAudioNode() const override { return source_.node; }
    platform::AudioFormat outputFormat() const override { return mono(); }

private:
    CountingSource source_ = makeSource(mono(), [](std::int64_t) { return 0.0f; });
};

// Sets the process-wide format, in which the toolkit connects every node, for a scope.
struct ScopedAudioFormat {
    explicit ScopedAudioFormat(const platform::AudioFormat& format) {
        rozezeru::Settings::setAudioFormat(format);
    }
    ~ScopedAudioFormat() { rozezeru::Settings::setAudioFormat(saved); }
    platform::AudioFormat saved = rozezeru::Settings::audioFormat();
};

inline std::vector<float> rampSamples(std::uint32_t count, float start = 0.0f) {
    std::vector<float> samples(count);
    for (std::uint32_t i = 0; i < count; ++i)
        samples[i] = start + float(i);
    return samples;
}

} // namespace testsupport
