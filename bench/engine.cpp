// Offline rendering through a chain of ten pass-through nodes and the main mixer, against copying the
// same audio once with memcpy. Items are frames (stereo, 44.1 kHz, 512-frame cycles).

#include "platform/audio/AudioEngine.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/RenderContext.h"
#include "platform/audio/SourceNode.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

using namespace platform;

constexpr std::uint32_t benchFrames = 512;

class BenchPassThrough final : public AudioNode {
public:
    explicit BenchPassThrough(const AudioFormat& format) : AudioNode(1, 1) {
        setDefaultInputFormat(0, format);
        setDefaultOutputFormat(0, format);
    }

protected:
    RenderStatus render(RenderContext& context, std::uint32_t frames, AudioBufferList& out, const AudioTime&,
                        std::uint32_t) override {
        const AudioBufferList* in = nullptr;
        context.pullInput(0, frames, in);
        for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
            std::memcpy(out.floatData(c), in->floatData(c), frames * sizeof(float));
        return RenderStatus::success;
    }
};

void BM_EngineChainOfTenAndMixer(benchmark::State& state) {
    const AudioFormat format = *AudioFormat::standard(44100.0, 2);
    AudioEngine engine(std::make_unique<NullAudioDevice>());
    if (!engine.enableManualRenderingMode(format, benchFrames)) state.SkipWithError("manual rendering");
    std::vector<float> tone(benchFrames);
    for (std::uint32_t i = 0; i < benchFrames; ++i)
        tone[i] = float(i % 100) / 100.0f;
    auto source = std::make_shared<SourceNode>(
        format, [&](const AudioTime&, std::uint32_t frames, AudioBufferList& out) {
            for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
                std::memcpy(out.floatData(c), tone.data(), frames * sizeof(float));
            return true;
        });
    (void)engine.attach(source);
    AudioNode* previous = source.get();
    std::vector<std::shared_ptr<BenchPassThrough>> chain;
    for (int i = 0; i < 10; ++i) {
        chain.push_back(std::make_shared<BenchPassThrough>(format));
        (void)engine.attach(chain.back());
        (void)engine.connect(*previous, *chain.back(), 0, 0, format);
        previous = chain.back().get();
    }
    (void)engine.connect(*previous, engine.mainMixerNode(), format);
    (void)engine.start();
    auto buffer = PcmBuffer::make(format, benchFrames);
    for (auto _ : state) {
        auto status = engine.renderOffline(benchFrames, *buffer);
        benchmark::DoNotOptimize(buffer->channel(0)[benchFrames - 1]);
        if (!status || *status != ManualRenderingStatus::success) state.SkipWithError("render failed");
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * benchFrames);
}
BENCHMARK(BM_EngineChainOfTenAndMixer);

void BM_MemcpySameData(benchmark::State& state) {
    std::vector<float> from(benchFrames * 2, 0.25f), to(benchFrames * 2);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size() * sizeof(float));
        benchmark::ClobberMemory();
        benchmark::DoNotOptimize(to.data());
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * benchFrames);
}
BENCHMARK(BM_MemcpySameData);

} // namespace
