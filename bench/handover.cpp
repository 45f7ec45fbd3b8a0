// Files handed over to a running player, as `vantle *.wav` does from a later start: BM_HandOver/N hands
// N small WAV files (0.1 s, mono, 8 kHz) to the main window at once, with the real player, parts and
// table, offscreen, and runs the window's event loop until every file is in: BM_HandOver/N/0 as the
// program does it (the files measured on a worker, put in by batches), BM_HandOver/N/1 with the whole
// addition made on the window's thread, as it was before. It measures the longest stretch the main
// thread was away from its loop (the longest gap between two turns of a 1 ms probe timer, less its
// millisecond: how long a key press or a repaint could have waited), the main thread's CPU time, the
// time until the last file was in, and what the process holds more afterwards (resident size and
// heap). The reference, measured in the same run on the same files, is the least the window could do
// with them on its own thread: make each file's entry (the audio reader opens it and reads its length)
// into a plain list.
//
//   bench_handover [--benchmark_filter=BM_HandOver/100000/] [benchmark flags]
//
// Each size runs once: the files are made (outside the timing) in a folder of their own. The counters:
// longest_stretch_s, main_thread_s, until_in_s and reference_main_thread_s; rss_growth_MB and
// reference_rss_growth_MB, heap_growth_MB and reference_heap_growth_MB; undo_steps (1 when the files
// were one step), entries.

#include "Source/mainwindow/AppDelegate.h"
#include "Source/mainwindow/MainViewController.h"
#include "Source/mainwindow/MainWindowController.h"
#include "Source/mainwindow/RealParts.h"
#include "Source/playback/PlayerRZ.h"
#include "Source/playback/RestTimer.h"
#include "Source/session/AppState.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/QtMainQueue.h"
#include "tests/support/TemporaryFolder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace vantle;

namespace {

QApplication& application() {
    static int argc = 1;
    static char name[] = "bench_handover";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
        auto* made = new QApplication(argc, argv);
        platform::bindMainQueueToQtLoop(*made);
        return made;
    }();
    return *app;
}

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double residentMegabytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stod(line.substr(6)) / 1024;
    return 0;
}

double heapMegabytes() {
    const struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// A canonical 44-byte header and 800 frames of 16-bit silence, written as they are: making 100,000
// files through an encoder would take longer than the measurement.
void writeTinyWav(const std::string& path) {
    constexpr std::uint32_t frames = 800, rate = 8000, dataBytes = frames * 2;
    unsigned char header[44] = {'R', 'I', 'F', 'F', 0,  0, 0,   0,   'W', 'A', 'V', 'E', 'f', 'm', 't',
                                ' ', 16,  0,   0,   0,  1, 0,   1,   0,   0,   0,   0,   0,   0,   0,
                                0,   0,   2,   0,   16, 0, 'd', 'a', 't', 'a', 0,   0,   0,   0};
    const auto put32 = [&](int at, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            header[at + i] = static_cast<unsigned char>(value >> (8 * i));
    };
    put32(4, 36 + dataBytes);
    put32(24, rate);
    put32(28, rate * 2);
    put32(40, dataBytes);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    std::fwrite(header, 1, sizeof header, file);
    const std::vector<char> silence(dataBytes, 0);
    std::fwrite(silence.data(), 1, silence.size(), file);
    std::fclose(file);
}

std::vector<std::string> makeFiles(const testsupport::TemporaryFolder& folder, int count) {
    std::vector<std::string> paths;
    paths.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "song %06d.wav", i);
        paths.push_back(folder.file(name));
        writeTinyWav(paths.back());
    }
    return paths;
}

// The program as main() sets it up, in folders of its own, restored and idle.
struct RunningPlayer {
    explicit RunningPlayer(const testsupport::TemporaryFolder& home) {
        platform::UserDefaults::setStandardFolder(home.file("config"));
        setAppStateDirectory(home.file("state"));
        MainViewEnvironment environment;
        environment.parts = realMainViewParts({nullptr});
        environment.makePlayer = [] { return std::make_unique<PlayerRZ>(); };
        environment.makeBreakTimer = [] { return std::make_unique<RestTimer>(); };
        window = std::make_unique<MainWindowController>(std::move(environment), &delegate);
        window->resize(1100, 800);
        window->show();
        delegate.applicationDidBecomeActive();
        QApplication::processEvents();
    }
    ~RunningPlayer() {
        window.reset();
        setAppStateDirectory(std::nullopt);
    }
    AppDelegate delegate;
    std::unique_ptr<MainWindowController> window;
};

void BM_HandOver(benchmark::State& state) {
    application();
    const int count = static_cast<int>(state.range(0));
    testsupport::TemporaryFolder files("vantle-bench-handover");
    const std::vector<std::string> paths = makeFiles(files, count);
    testsupport::TemporaryFolder home("vantle-bench-home");
    // The console line each handed-over file gets would be most of the output.
    std::fflush(stdout);
    const int console = ::dup(STDOUT_FILENO);
    if (const int null = ::open("/dev/null", O_WRONLY); null >= 0) {
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    for (auto _ : state) {
        // Reference: each file's entry made once, nothing else.
        double heap = heapMegabytes(), rss = residentMegabytes(), cpu = threadCpuSeconds();
        {
            std::vector<std::shared_ptr<PlaylistEntry>> entries;
            for (const std::string& path : paths)
                entries.push_back(PlaylistEntry::make(platform::Url::fileURLWithPath(path, false)));
            state.counters["reference_main_thread_s"] = threadCpuSeconds() - cpu;
            state.counters["reference_rss_growth_MB"] = residentMegabytes() - rss;
            state.counters["reference_heap_growth_MB"] = heapMegabytes() - heap;
        }
        malloc_trim(0);

        RunningPlayer player(home);
        heap = heapMegabytes();
        rss = residentMegabytes();
        cpu = threadCpuSeconds();
        MainViewController& view = player.window->mainViewController();
        if (state.range(1) == 1) view.filesAddedAtOnce = paths.size();
        // The probe turns every millisecond while the loop is free; the longest gap between two turns
        // is the longest the window could not answer.
        QElapsedTimer clock;
        qint64 lastTurn = 0, longest = 0;
        QEventLoop loop;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(1);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - lastTurn);
            lastTurn = now;
            if (!view.adding()) loop.quit();
        });
        clock.start();
        // The hand-over itself is the first stretch.
        player.delegate.openFilesFromLaterStart(paths);
        probe.start();
        loop.exec();
        // Until the window has laid out and drawn the table that now holds them.
        QApplication::processEvents();
        probe.stop();
        longest = std::max(longest, clock.nsecsElapsed() - lastTurn);
        state.counters["until_in_s"] = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
        state.counters["longest_stretch_s"] = std::max(0.0, static_cast<double>(longest) * 1e-9 - 0.001);
        state.counters["main_thread_s"] = threadCpuSeconds() - cpu;
        state.counters["rss_growth_MB"] = residentMegabytes() - rss;
        state.counters["heap_growth_MB"] = heapMegabytes() - heap;
        const std::shared_ptr<Playlist> playlist = player.window->mainViewController().playlist();
        state.counters["entries"] = static_cast<double>(playlist->allEntries.size());
        state.counters["undo_steps"] = static_cast<double>(playlist->undoer.undoStack().size());
        if (playlist->allEntries.size() != paths.size()) state.SkipWithError("not every file was added");
    }
    std::fflush(stdout);
    if (console >= 0) {
        ::dup2(console, STDOUT_FILENO);
        ::close(console);
    }
}
BENCHMARK(BM_HandOver)
    ->ArgsProduct({{4000, 16000, 100000}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace
