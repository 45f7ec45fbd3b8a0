// The application's player (PlayerRZ: file player → time-pitch → mixer → treble shelf) rendered offline
// in 512-frame cycles through 1,000 seeks and rate changes, a new entry loaded every hundred, each
// followed by a quarter of a second of playing. Every cycle is timed, in wall time and in the render
// thread's CPU time (which leaves out what a busy machine's preemptions add): the table gives the
// worst, 99.9th-percentile and median cycle as a share of the cycle's budget (512 frames at 44.1 kHz,
// 11.6 ms), over all cycles and over the first cycle after a seek or a load, against steady playing
// at rate 1.25 (the fastest of the events, so the dearest steady cycle) measured first in the same
// run. Then the render thread's CPU time per second of audio while stopped, while playing at rate 1
// and at rate 0.8, against a cycle that only copies its 512 stereo frames (memcpy).
//
//   bench_player_seeks [--overlap=N] [--events=N]
//
// The files are 60 s of stereo music-like audio, written as 32-bit float WAV to a temporary folder so
// that decoding (which offline rendering does inside the cycle) stays out of the figures.

#include "BenchMusic.h"

#include "RozezEru/Internals/AudioEngine.h"
#include "RozezEru/Nodes/Playback/TimePitch.h"
#include "Source/playback/PlayerRZ.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/audio/NullAudioDevice.h"
#include "platform/audio/PcmBuffer.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Console.h"
#include "tests/platform/files/AudioFileFixtures.h"
#include "tests/support/ConsoleCapture.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t seeksCycle = 512;
constexpr double seeksRate = 44100.0;
constexpr double seeksBudget = seeksCycle / seeksRate;
// Cycles rendered after every event, and the rates the events choose from (1 included: a teacher
// goes back to the recording's own speed).
constexpr int seeksCyclesPerEvent = 22;
constexpr float seeksRates[] = {1.0f, 0.8f, 0.9f, 1.0f, 1.1f, 1.25f, 0.75f, 1.0f};

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

double wallSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The share of the budget below which `share` of the cycles stayed.
double percentile(std::vector<double> cycles, double share) {
    if (cycles.empty()) return 0.0;
    std::sort(cycles.begin(), cycles.end());
    const auto at = std::size_t(std::ceil(share * double(cycles.size()))) - 1;
    return cycles[std::min(at, cycles.size() - 1)];
}

struct Chain {
    vantle::PlayerRZ player{std::make_unique<platform::NullAudioDevice>()};
    std::unique_ptr<platform::PcmBuffer> buffer;

    explicit Chain(float overlap) {
        player.timePitch()->setOverlap(overlap);
        (void)player.engine().startTest(0.0);
        buffer = platform::PcmBuffer::make(player.engine().avEngine().manualRenderingFormat(), seeksCycle);
    }
    // One cycle; its wall time as a share of the budget, or a negative value when it failed. The
    // render thread's CPU time of the cycle, the same way, in `cpu`.
    double cycle(double* cpu = nullptr) {
        const double before = wallSeconds();
        const double cpuBefore = threadCpuSeconds();
        const auto status = player.engine().avEngine().renderOffline(seeksCycle, *buffer);
        const double took = wallSeconds() - before;
        if (cpu) *cpu = (threadCpuSeconds() - cpuBefore) / seeksBudget;
        if (!status || *status != platform::ManualRenderingStatus::success) return -1.0;
        return took / seeksBudget;
    }
    // Render-thread CPU seconds per second of audio over `seconds` of audio.
    double cpuPerSecond(double seconds) {
        const int cycles = int(seconds / seeksBudget);
        const double before = threadCpuSeconds();
        for (int i = 0; i < cycles; ++i)
            if (cycle() < 0) return -1.0;
        return (threadCpuSeconds() - before) / (cycles * seeksBudget);
    }
};

// The same CPU figure for a cycle that copies its frames and does nothing else.
double memcpyCpuPerSecond() {
    std::vector<float> from(2 * seeksCycle, 0.25f), to(2 * seeksCycle);
    constexpr int cycles = 4'000'000;
    const double before = threadCpuSeconds();
    for (int i = 0; i < cycles; ++i) {
        std::memcpy(to.data(), from.data(), seeksCycle * sizeof(float));
        std::memcpy(to.data() + seeksCycle, from.data() + seeksCycle, seeksCycle * sizeof(float));
        asm volatile("" : : "r"(to.data()) : "memory");
    }
    return (threadCpuSeconds() - before) / (cycles * seeksBudget);
}

std::string option(int argc, char** argv, const std::string& name, const std::string& fallback) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind(name + "=", 0) == 0)
            return std::string(argv[i]).substr(name.size() + 1);
    return fallback;
}

} // namespace

int main(int argc, char** argv) {
    const float overlap = std::stof(option(argc, argv, "--overlap", "8"));
    const int events = std::stoi(option(argc, argv, "--events", "1000"));
    testsupport::ScopedConsoleCapture quiet;
    platform::mainQueue().bindToCurrentThread();
    fixtures::TempFolder folder;
    const std::vector<std::string> paths = {folder.file("a.wav"), folder.file("b.wav")};
    const fixtures::Channels music = benchmusic::music(60.0);
    for (const auto& path : paths)
        if (!fixtures::writeWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_FLOAT, music, 44100)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    std::vector<std::shared_ptr<vantle::PlaylistEntry>> entries;
    for (const auto& path : paths)
        entries.push_back(vantle::PlaylistEntry::make(platform::Url::fileURLWithPath(path)));

    Chain chain(overlap);
    struct Cycles {
        std::vector<double> wall, cpu;
        bool render(Chain& chain) {
            double used = 0.0;
            const double share = chain.cycle(&used);
            wall.push_back(share);
            cpu.push_back(used);
            return share >= 0.0;
        }
    };
    // Steady playing at rate 1.25, after a second to settle.
    Cycles steady, all, afterSeek, afterLoad;
    chain.player.setEntry(entries[0]);
    chain.player.setRate(1.25f);
    chain.player.play();
    Cycles settling;
    for (int i = 0; i < 100; ++i)
        (void)settling.render(chain);
    for (int i = 0; i < 1000; ++i)
        if (!steady.render(chain)) return 1;

    std::mt19937 random(17);
    std::uniform_real_distribution<double> position(0.0, 55.0);
    for (int event = 0; event < events; ++event) {
        Cycles* first = nullptr;
        if (event % 100 == 99) {
            chain.player.setEntry(entries[std::size_t(event / 100) % 2]);
            chain.player.play();
            first = &afterLoad;
        } else if (event % 2 == 0) {
            chain.player.setCurrentTime(position(random));
            first = &afterSeek;
        } else {
            chain.player.setRate(seeksRates[std::size_t(event / 2) % std::size(seeksRates)]);
        }
        for (int i = 0; i < seeksCyclesPerEvent; ++i) {
            if (!all.render(chain)) {
                std::fprintf(stderr, "render failed\n");
                return 1;
            }
            if (i == 0 && first) {
                first->wall.push_back(all.wall.back());
                first->cpu.push_back(all.cpu.back());
            }
        }
        platform::mainQueue().drain();
    }
    if (!chain.player.isPlaying()) {
        std::fprintf(stderr, "the player stopped during the run\n");
        return 1;
    }

    chain.player.setRate(0.8f);
    const double stretching = chain.cpuPerSecond(20.0);
    chain.player.setRate(1.0f);
    (void)chain.cpuPerSecond(1.0);
    const double unity = chain.cpuPerSecond(20.0);
    chain.player.stop();
    (void)chain.cpuPerSecond(1.0);
    const double stopped = chain.cpuPerSecond(20.0);
    const double copying = memcpyCpuPerSecond();

    std::printf("overlap %g, %d events, %zu cycles of %u frames (budget %.2f ms)\n\n", overlap, events,
                all.wall.size(), seeksCycle, seeksBudget * 1e3);
    std::printf("| cycles | count | worst | 99.9th percentile | median | worst CPU × steady median CPU |\n"
                "|---|---|---|---|---|---|\n");
    const double steadyMedian = percentile(steady.cpu, 0.5);
    const std::pair<const char*, const Cycles*> rows[] = {{"steady at rate 1.25", &steady},
                                                          {"through the events", &all},
                                                          {"first after a seek", &afterSeek},
                                                          {"first after a load", &afterLoad}};
    for (const auto& [name, cycles] : rows)
        for (const auto& [kind, values] : {std::pair{"wall", &cycles->wall}, {"CPU", &cycles->cpu}})
            std::printf("| %s, %s | %zu | %.3f | %.3f | %.3f | %s |\n", name, kind, values->size(),
                        percentile(*values, 1.0), percentile(*values, 0.999), percentile(*values, 0.5),
                        std::string(kind) == "CPU"
                            ? std::to_string(percentile(*values, 1.0) / steadyMedian).substr(0, 4).c_str()
                            : "");
    std::printf("\n| state | render-thread CPU per second of audio | × memcpy cycle |\n|---|---|---|\n");
    for (const auto& [name, cpu] : {std::pair{"stopped", stopped},
                                    {"playing at rate 1", unity},
                                    {"playing at rate 0.8", stretching},
                                    {"memcpy cycle", copying}})
        std::printf("| %s | %.3g %% | %.0f |\n", name, cpu * 100.0, cpu / copying);
    return 0;
}
