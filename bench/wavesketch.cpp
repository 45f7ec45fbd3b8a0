// Analysing a 5-minute MP3 into 1,000 waveform values against decoding it alone: figures for
// docs/performance.md. The goal is that the analysis costs at most a tenth more than the decoding. The same
// for a 16-bit WAV file, whose decoding is nearly free, shows the cost of the reduction itself.

#include "Wavesketch/WaveformAnalyzer.h"
#include "tests/platform/files/AudioFileFixtures.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int benchRate = 44100;

struct WaveBenchFiles {
    fixtures::TempFolder dir;
    std::string mp3 = dir.file("five-minutes.mp3"), wav = dir.file("five-minutes.wav");
    WaveBenchFiles() {
        const fixtures::Channels tone = fixtures::tone(300 * benchRate, 2, benchRate);
        fixtures::writeWithSndfile(mp3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, tone, benchRate);
        fixtures::writeWithSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, tone, benchRate);
    }
};

const WaveBenchFiles& waveBenchFiles() {
    static WaveBenchFiles files;
    return files;
}

// Decoding as the analyzer does it: the whole file, interleaved, 4096 frames at a time, on a thread of the
// package's task pool.
void decodeOnly(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        std::promise<void> done;
        wavesketch::TaskPool::shared().run(wavesketch::TaskPriority::high(), [&] {
            auto file = platform::AudioFile::openForReading(path);
            const auto& processing = (*file)->processingFormat();
            auto format = platform::AudioFormat::make(
                platform::CommonFormat::pcmFloat32, processing.sampleRate(), processing.channelCount(), true);
            auto buffer = platform::PcmBuffer::make(*format, 4096);
            do {
                (void)(*file)->read(*buffer);
                benchmark::DoNotOptimize(buffer->floatChannelData()[0][0]);
            } while (buffer->frameLength() > 0);
            done.set_value();
        });
        done.get_future().wait();
    }
}

void analyseInto1000(benchmark::State& state, const std::string& path) {
    const platform::Url url = platform::Url::fileURLWithPath(path);
    for (auto _ : state) {
        auto values = wavesketch::WaveformAnalyzer()
                          .samples(url, 1000, wavesketch::QualityOfService::userInitiated)
                          .get();
        if (!values.ok()) state.SkipWithError(values.error().message.c_str());
        benchmark::DoNotOptimize(values);
    }
}

void BM_DecodeMp35min(benchmark::State& state) {
    decodeOnly(state, waveBenchFiles().mp3);
}
void BM_AnalyseMp35minInto1000(benchmark::State& state) {
    analyseInto1000(state, waveBenchFiles().mp3);
}
void BM_DecodeWav5min(benchmark::State& state) {
    decodeOnly(state, waveBenchFiles().wav);
}
void BM_AnalyseWav5minInto1000(benchmark::State& state) {
    analyseInto1000(state, waveBenchFiles().wav);
}

} // namespace

// The analysis runs on a pool thread, so the CPU time is the whole process's (steadier than the wall clock
// on a shared machine); the files are made before the first run.
BENCHMARK(BM_DecodeMp35min)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->Setup([](const benchmark::State&) { waveBenchFiles(); });
BENCHMARK(BM_AnalyseMp35minInto1000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_DecodeWav5min)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_AnalyseWav5minInto1000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
