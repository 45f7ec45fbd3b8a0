// Conversion speed of a 5-minute stereo MP3 to WAV and to M4A through the format converter, beside
// FFmpeg's command-line tool doing the same: figures for docs/performance.md.

#include "RozezEru/AudioFiles/FormatConverter/FormatConverter.h"

#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <future>

namespace {

constexpr int convertRate = 44100;
constexpr double convertSeconds = 300.0;

struct ConvertFiles {
    testsupport::TemporaryFolder dir{"vantle-bench-convert"};
    std::string mp3 = dir.file("song.mp3");
    ConvertFiles() {
        const auto frames = std::size_t(convertSeconds * convertRate);
        testsupport::Channels tone{testsupport::sine(frames, 440.0, convertRate, 0.3),
                                   testsupport::sine(frames, 660.0, convertRate, 0.3)};
        testsupport::writeWithSndfile(mp3, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, tone, convertRate);
    }
};

const ConvertFiles& convertFiles() {
    static ConvertFiles files;
    return files;
}

void convertWith(benchmark::State& state, const std::string& extension) {
    const auto& files = convertFiles();
    const auto output = platform::Url::fileURLWithPath(files.dir.file("out." + extension), false);
    for (auto _ : state) {
        std::promise<std::optional<platform::Error>> reported;
        auto converter = std::make_shared<rozezeru::FormatConverter>(
            platform::Url::fileURLWithPath(files.mp3, false), output);
        converter->start([&](const std::optional<platform::Error>& error) { reported.set_value(error); });
        if (auto error = reported.get_future().get()) {
            state.SkipWithError(error->message.c_str());
            return;
        }
    }
    state.counters["x realtime"] =
        benchmark::Counter(convertSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

void convertWithFfmpeg(benchmark::State& state, const std::string& arguments) {
    const auto& files = convertFiles();
    const std::string command =
        "ffmpeg -nostdin -v error -y -i '" + files.mp3 + "' " + arguments + " '" + files.dir.path + "/";
    for (auto _ : state) {
        if (std::system((command + "ffmpeg-out'").c_str()) != 0) {
            state.SkipWithError("ffmpeg failed (is it installed?)");
            return;
        }
    }
    state.counters["x realtime"] =
        benchmark::Counter(convertSeconds * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ConvertMp3ToWav5min(benchmark::State& state) {
    convertWith(state, "wav");
}
void BM_ConvertMp3ToM4a5min(benchmark::State& state) {
    convertWith(state, "m4a");
}
void BM_FfmpegMp3ToWav5min(benchmark::State& state) {
    convertWithFfmpeg(state, "-f wav");
}
void BM_FfmpegMp3ToM4a5min(benchmark::State& state) {
    convertWithFfmpeg(state, "-c:a aac -b:a 128k -f ipod");
}

} // namespace

BENCHMARK(BM_ConvertMp3ToWav5min)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FfmpegMp3ToWav5min)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ConvertMp3ToM4a5min)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_FfmpegMp3ToM4a5min)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
