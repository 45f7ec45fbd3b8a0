// The tempo analysis of a 3-minute MP3 on one core, against decoding the same file alone and against
// its playing time: figures for docs/performance.md. The goal is an analysis in at most a sixtieth of
// the playing time. The analysis alone, on samples already decoded, shows its own share.

#include "Source/tempo/TempoAnalysis.h"
#include "bench/BenchMusic.h"
#include "bench/BenchRatio.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/files/AudioFile.h"
#include "tests/platform/files/AudioFileFixtures.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int benchRate = 44100;
constexpr double songSeconds = 180;

struct TempoBenchFile {
    fixtures::TempFolder dir;
    std::string mp3 = dir.file("three-minutes.mp3");
    fixtures::Channels music = benchmusic::music(songSeconds, benchRate);
    std::vector<float> mono;
    TempoBenchFile() {
        fixtures::writeWithSndfile(mp3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, music, benchRate);
        for (std::size_t n = 0; n < music[0].size(); ++n)
            mono.push_back(0.5f * (music[0][n] + music[1][n]));
    }
};

const TempoBenchFile& benchFile() {
    static TempoBenchFile file;
    return file;
}

// Decoding as the analysis does it: the whole file, 16384 frames at a time.
void decode(const std::string& path) {
    auto file = platform::AudioFile::openForReading(path);
    auto buffer = platform::PcmBuffer::make((*file)->processingFormat(), 16384);
    do {
        (void)(*file)->read(*buffer);
        benchmark::DoNotOptimize(buffer->floatChannelData()[0][0]);
    } while (buffer->frameLength() > 0);
}

void BM_AnalyseFileAgainstDecoding(benchmark::State& state) {
    const auto& file = benchFile();
    benchratio::measureAgainst(
        state, 1,
        [&] { benchmark::DoNotOptimize(vantle::analyseTempoFile(file.mp3, vantle::Dance::waltz, nullptr)); },
        [&] { decode(file.mp3); });
    state.counters["playing_time_share"] = state.counters["work_ns"] / (songSeconds * 1e9);
}
BENCHMARK(BM_AnalyseFileAgainstDecoding)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_AnalyseSamplesAgainstDecoding(benchmark::State& state) {
    const auto& file = benchFile();
    benchratio::measureAgainst(
        state, 1,
        [&] {
            benchmark::DoNotOptimize(
                vantle::analyseTempo(file.mono.data(), file.mono.size(), benchRate, std::nullopt));
        },
        [&] { decode(file.mp3); });
    state.counters["playing_time_share"] = state.counters["work_ns"] / (songSeconds * 1e9);
}
BENCHMARK(BM_AnalyseSamplesAgainstDecoding)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
