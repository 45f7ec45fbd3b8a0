// Offline rendering through a chain of ten pass-through nodes and the main mixer, against copying the
// same audio once with memcpy. Items are frames (stereo, 44.1 kHz, 512-frame cycles). The pass-through
// nodes hand their input on as the engine lets them. BM_EngineChainAgainstCopy measures both in one run
// and reports their ratio.

#include "platform/audio/AudioEngine.h"
#include "platform/audio/MixerNode.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/RenderContext.h"
#include "platform/audio/SourceNode.h"

#include "BenchRatio.h"

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
        context.forwardInput(0, frames, out);
        return RenderStatus::success;
    }
};

// The engine of the benchmarks: source -> ten pass-through nodes -> main mixer -> output, started.
struct BenchChain {
    const AudioFormat format = *AudioFormat::standard(44100.0, 2);
    AudioEngine engine{std::make_unique<NullAudioDevice>()};
    std::vector<float> tone = std::vector<float>(benchFrames);
    std::shared_ptr<SourceNode> source;
    std::vector<std::shared_ptr<BenchPassThrough>> chain;
    std::unique_ptr<PcmBuffer> buffer = PcmBuffer::make(format, benchFrames);

    bool make() {
        if (!engine.enableManualRenderingMode(format, benchFrames)) return false;
        for (std::uint32_t i = 0; i < benchFrames; ++i)
            tone[i] = float(i % 100) / 100.0f;
        source = std::make_shared<SourceNode>(
            format, [this](const AudioTime&, std::uint32_t frames, AudioBufferList& out) {
                for (std::uint32_t c = 0; c < out.numberBuffers; ++c)
                    std::memcpy(out.floatData(c), tone.data(), frames * sizeof(float));
                return true;
            });
        (void)engine.attach(source);
        AudioNode* previous = source.get();
        for (int i = 0; i < 10; ++i) {
            chain.push_back(std::make_shared<BenchPassThrough>(format));
            (void)engine.attach(chain.back());
            (void)engine.connect(*previous, *chain.back(), 0, 0, format);
            previous = chain.back().get();
        }
        (void)engine.connect(*previous, engine.mainMixerNode(), format);
        return bool(engine.start());
    }
    bool cycle() {
        auto status = engine.renderOffline(benchFrames, *buffer);
        benchmark::DoNotOptimize(buffer->channel(0)[benchFrames - 1]);
        return status && *status == ManualRenderingStatus::success;
    }
};

void BM_EngineChainOfTenAndMixer(benchmark::State& state) {
    BenchChain graph;
    if (!graph.make()) state.SkipWithError("engine");
    for (auto _ : state)
        if (!graph.cycle()) state.SkipWithError("render failed");
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

// One cycle of the graph against one copy of its frames (the source's tone into both channels of the
// output buffer, the least any graph must do), in alternating batches of 64 of each.
void BM_EngineChainAgainstCopy(benchmark::State& state) {
    BenchChain graph;
    if (!graph.make()) state.SkipWithError("engine");
    bool failed = false;
    benchratio::measureAgainst(
        state, 64, [&] { failed |= !graph.cycle(); },
        [&] {
            for (std::uint32_t c = 0; c < 2; ++c)
                std::memcpy(graph.buffer->channel(c), graph.tone.data(), benchFrames * sizeof(float));
            benchmark::ClobberMemory();
            benchmark::DoNotOptimize(graph.buffer->channel(1)[benchFrames - 1]);
        });
    if (failed) state.SkipWithError("render failed");
}
BENCHMARK(BM_EngineChainAgainstCopy);

} // namespace
