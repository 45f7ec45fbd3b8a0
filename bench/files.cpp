// Decode speed of 60-second files through AudioFile: figures for docs/performance.md.

#include "tests/platform/files/AudioFileFixtures.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int benchRate = 44100;
constexpr std::int64_t benchFrames = 60 * benchRate;

struct BenchFiles {
    fixtures::TempFolder dir;
    std::string wav = dir.file("tone.wav"), mp3 = dir.file("tone.mp3"), m4a = dir.file("tone.m4a");
    BenchFiles() {
        const fixtures::Channels tone = fixtures::tone(benchFrames, 2, benchRate);
        fixtures::writeWithSndfile(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, tone, benchRate);
        fixtures::writeWithSndfile(mp3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, tone, benchRate);
        fixtures::writeAac(m4a, tone, benchRate);
    }
};

const BenchFiles& benchFiles() {
    static BenchFiles files;
    return files;
}

// Opens the file and reads all of it in blocks of 4096 frames.
void decodeWhole(benchmark::State& state, const std::string& path) {
    std::int64_t frames = 0;
    for (auto _ : state) {
        auto file = platform::AudioFile::openForReading(path);
        if (!file.ok()) {
            state.SkipWithError(file.error().message.c_str());
            return;
        }
        auto buffer = platform::PcmBuffer::make((*file)->processingFormat(), 4096);
        do {
            (void)(*file)->read(*buffer);
            frames += buffer->frameLength();
        } while (buffer->frameLength() > 0);
        benchmark::DoNotOptimize(buffer->channel(0)[0]);
    }
    state.counters["x realtime"] =
        benchmark::Counter(double(frames) / benchRate, benchmark::Counter::kIsRate);
}

void BM_DecodeWav60s(benchmark::State& state) {
    decodeWhole(state, benchFiles().wav);
}
void BM_DecodeMp360s(benchmark::State& state) {
    decodeWhole(state, benchFiles().mp3);
}
void BM_DecodeM4a60s(benchmark::State& state) {
    decodeWhole(state, benchFiles().m4a);
}

// A seek far back and a read of 4096 frames, as a player's jump does.
void seekAndRead(benchmark::State& state, const std::string& path) {
    auto file = platform::AudioFile::openForReading(path);
    auto buffer = platform::PcmBuffer::make((*file)->processingFormat(), 4096);
    std::int64_t target = 0;
    for (auto _ : state) {
        target = (target + 1234567) % ((*file)->length() - 4096);
        (*file)->setFramePosition(target);
        (void)(*file)->read(*buffer);
        benchmark::DoNotOptimize(buffer->channel(0)[0]);
    }
}
void BM_SeekMp3(benchmark::State& state) {
    seekAndRead(state, benchFiles().mp3);
}
void BM_SeekM4a(benchmark::State& state) {
    seekAndRead(state, benchFiles().m4a);
}

} // namespace

BENCHMARK(BM_DecodeWav60s)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeMp360s)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeM4a60s)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeekMp3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SeekM4a)->Unit(benchmark::kMicrosecond);
