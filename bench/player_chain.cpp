// The application's playback chain offline: a file played by AudioPlayer (read and decoded as it
// plays), through a TimePitch at rate 0.8 and a Mixer, rendered in 512-frame cycles until the file has
// been heard to its end. The counters give the process's CPU time, every thread included (decoding
// too), per second of the file (cpuPerFileSecond) and per second of output (cpuPerOutputSecond), for
// overlap 4 (Rubber Band's faster engine) and overlap 8 (its finer one).
//
//   bench_player_chain [benchmark flags] [FILE]
//   bench_player_chain [benchmark flags] --make-mp3=PATH
//
// Without FILE it plays a 60 s stereo music-like MP3 made in a temporary folder; --make-mp3 writes
// that MP3 to PATH and keeps it, so that other tools can be measured on the same file.

#include "BenchMusic.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Mixer.h"
#include "RozezEru/Nodes/Playback/AudioPlayer.h"
#include "RozezEru/Nodes/Playback/TimePitch.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/dispatch/MainQueue.h"
#include "tests/platform/files/AudioFileFixtures.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <optional>

namespace {

constexpr float chainBenchRate = 0.8f;
constexpr std::uint32_t chainBenchCycle = 512;

double processCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

bool writeChainBenchMp3(const std::string& path) {
    return fixtures::writeWithSndfile(path, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III,
                                      benchmusic::music(60.0), 44100);
}

void playChain(benchmark::State& state, const std::string& path, float overlap) {
    double cpu = 0.0, fileSeconds = 0.0, outputSeconds = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        rozezeru::AudioEngine engine(std::make_unique<platform::NullAudioDevice>());
        auto player = std::make_shared<rozezeru::AudioPlayer>();
        auto timePitch = std::make_shared<rozezeru::TimePitch>(player);
        timePitch->setRate(chainBenchRate);
        timePitch->setOverlap(overlap);
        engine.setOutput(
            std::make_shared<rozezeru::Mixer>(std::vector<std::shared_ptr<rozezeru::Node>>{timePitch}));
        if (auto loaded = player->load(path); !loaded) {
            state.SkipWithError(("cannot open " + path + ": " + loaded.error().message).c_str());
            return;
        }
        if (!engine.startTest(0.0)) {
            state.SkipWithError("offline rendering");
            return;
        }
        auto buffer = platform::PcmBuffer::make(engine.avEngine().manualRenderingFormat(), chainBenchCycle);
        // The file's length at the slower rate, and a quarter of a second for the stretcher's tail.
        const double rendered = player->duration() / chainBenchRate + 0.25;
        const auto frames = std::int64_t(rendered * buffer->format().sampleRate());
        player->play();
        state.ResumeTiming();

        const double before = processCpuSeconds();
        double energy = 0.0;
        for (std::int64_t done = 0; done < frames; done += chainBenchCycle) {
            auto status = engine.avEngine().renderOffline(chainBenchCycle, *buffer);
            if (!status || *status != platform::ManualRenderingStatus::success) {
                state.SkipWithError("render failed");
                return;
            }
            energy += double(buffer->channel(0)[0]) * buffer->channel(0)[0];
        }
        cpu += processCpuSeconds() - before;
        fileSeconds += player->duration();
        outputSeconds += rendered;

        state.PauseTiming();
        if (!(energy > 0.0)) {
            state.SkipWithError("the chain played silence");
            return;
        }
        player->stop();
        platform::mainQueue().drain();
        state.ResumeTiming();
    }
    state.counters["cpuPerFileSecond"] = cpu / fileSeconds;
    state.counters["cpuPerOutputSecond"] = cpu / outputSeconds;
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    std::optional<fixtures::TempFolder> folder;
    std::string path;
    const std::string makeFlag = "--make-mp3=";
    if (argc > 1 && std::string(argv[1]).rfind(makeFlag, 0) == 0) {
        path = std::string(argv[1]).substr(makeFlag.size());
        if (!writeChainBenchMp3(path)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    } else if (argc > 1) {
        path = argv[1];
    } else {
        folder.emplace();
        path = folder->file("music.mp3");
        if (!writeChainBenchMp3(path)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    std::fprintf(stderr, "playing %s\n", path.c_str());
    benchmark::RegisterBenchmark("PlayerChain/rate0.8/overlap4Faster",
                                 [path](benchmark::State& state) { playChain(state, path, 4.0f); })
        ->MeasureProcessCPUTime()
        ->UseRealTime()
        ->Iterations(3)
        ->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("PlayerChain/rate0.8/overlap8Finer",
                                 [path](benchmark::State& state) { playChain(state, path, 8.0f); })
        ->MeasureProcessCPUTime()
        ->UseRealTime()
        ->Iterations(3)
        ->Unit(benchmark::kSecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
