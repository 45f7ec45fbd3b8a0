// The main window's waveform extraction of a 5-minute MP3 against decoding the file alone: figures for
// docs/performance.md. The goal is at most 1.1 times the decoding: the file is decoded once and reduced
// as it is read.

#include "BenchMusic.h"
#include "Source/playback/SamplesExtractor.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/dispatch/ConcurrentQueue.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/AudioFile.h"

#include <benchmark/benchmark.h>

#include <future>

namespace {

struct PictureBenchFile {
    fixtures::TempFolder dir;
    std::string mp3 = dir.file("five-minutes.mp3");
    PictureBenchFile() {
        fixtures::writeWithSndfile(mp3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, benchmusic::music(300.0), 44100);
    }
};

const std::string& pictureBenchMp3() {
    static PictureBenchFile file;
    return file.mp3;
}

// Decoding as the extraction reads: the whole file, 16384 frames at a time, on a worker thread.
void BM_DecodeMp35min(benchmark::State& state) {
    const std::string& path = pictureBenchMp3();
    for (auto _ : state) {
        std::promise<void> done;
        platform::globalQueue().async([&] {
            auto file = platform::AudioFile::openForReading(path);
            auto buffer = platform::PcmBuffer::make((*file)->processingFormat(), 16384);
            do {
                (void)(*file)->read(*buffer);
                benchmark::DoNotOptimize(buffer->floatChannelData()[0][0]);
            } while (buffer->frameLength() > 0);
            done.set_value();
        });
        done.get_future().wait();
    }
}

void BM_WaveformMp35minInto1000(benchmark::State& state) {
    const std::string& path = pictureBenchMp3();
    platform::mainQueue().bindToCurrentThread();
    for (auto _ : state) {
        bool done = false;
        (void)vantle::SamplesExtractor::extractSamples(
            path, 1000,
            [&](std::vector<float> values, float, const vantle::SamplesExtractor::Identifier&) {
                benchmark::DoNotOptimize(values);
                done = true;
            },
            [&](const platform::Error& error, const vantle::SamplesExtractor::Identifier&) {
                state.SkipWithError(error.message.c_str());
                done = true;
            });
        platform::mainQueue().drainUntil([&] { return done; }, 600.0);
    }
}

} // namespace

// Both run on a worker thread, so the CPU time is the whole process's (steadier than the wall clock on a
// shared machine); the file is made before the first run.
BENCHMARK(BM_DecodeMp35min)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(5);
BENCHMARK(BM_WaveformMp35minInto1000)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Iterations(5);

namespace {
// The reduction alone, over as many samples as the 5-minute file holds, in planar blocks as read.
void BM_ReduceOnly(benchmark::State& state) {
    constexpr std::size_t block = 16384, blocks = 300 * 44100 / block;
    std::vector<float> left(block), right(block), levels(2 * block);
    for (std::size_t i = 0; i < block; ++i) {
        left[i] = float(std::sin(double(i) * 0.01) * 0.5);
        right[i] = -0.7f * left[i];
    }
    const float* planes[2] = {levels.data(), levels.data() + block};
    for (auto _ : state) {
        vantle::SampleReducer reducer(2 * block * blocks / 1000, 2, -50.0f);
        for (std::size_t b = 0; b < blocks; ++b) {
            reducer.levelsOf(left.data(), block, levels.data());
            reducer.levelsOf(right.data(), block, levels.data() + block);
            reducer.add(planes, block);
        }
        reducer.finish();
        benchmark::DoNotOptimize(reducer.levels());
    }
}
} // namespace
BENCHMARK(BM_ReduceOnly)->Unit(benchmark::kMillisecond);
