// What keeping the session safe costs the window's thread. BM_KeyChangeAgainstStateWrite: a change of the
// state (a key pressed) as the window's thread now makes it, against the state file written at once as
// it was before (encoded, written to a temporary, flushed and renamed). BM_RecoveryCaptureAgainstEncode:
// the look at the unsaved order and keys that the window's thread makes each second while the order is
// unsaved, against encoding the whole document, for lists of 10,000 and 100,000 entries.

#include "Source/session/AppState.h"
#include "Source/session/Playlist.h"
#include "Source/session/SessionRecovery.h"
#include "Source/session/SessionSafekeeping.h"
#include "Source/session/UrlCoding.h"
#include "platform/dispatch/TimerClock.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"

#include <benchmark/benchmark.h>

#include "BenchEntries.h"
#include "BenchRatio.h"

#include <filesystem>
#include <memory>
#include <string>

using namespace vantle;

namespace {

// Timers that never fall due: only the window's thread's own work is measured.
class StandingClock final : public platform::TimerClock {
public:
    double now() const override { return 0; }
};

struct BenchStateFolder {
    BenchStateFolder() : path(platform::makeTemporaryDirectory("vantle-bench").value()) {
        setAppStateDirectory(path);
    }
    ~BenchStateFolder() {
        setAppStateDirectory(std::nullopt);
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

std::shared_ptr<Playlist> benchList(int count) {
    auto playlist = std::make_shared<Playlist>();
    for (int i = 0; i < count; ++i) {
        auto entry = benchentries::decodedEntry("/home/host/Karaoke/Disc " + std::to_string(i / 20) +
                                                "/Track " + std::to_string(i) + ".mp3");
        entry->prevTimeRangeSet.ranges = {{0, 30.5 + i % 7}, {45, 120.25}};
        playlist->allEntries.push_back(std::move(entry));
    }
    playlist->rememberSavedLayout();
    return playlist;
}

void BM_KeyChangeAgainstStateWrite(benchmark::State& state) {
    BenchStateFolder folder;
    platform::TimerScheduler scheduler(std::make_shared<StandingClock>());
    AppState record(platform::Url::fileURLWithPath(folder.path + "/Friday.vantle"), 42.5, 3,
                    std::make_shared<TimeRangeSet>(), std::vector<double>{1.5, 62.0});
    record.currentTimeRangeSet->ranges = {{10, 42.5}};
    SessionSafekeeping keeper(
        {[&] { return record; }, [] { return std::optional<SessionRecovery>(); }, [] { return false; }},
        scheduler);
    const platform::Url file = appStateFileURL();
    benchratio::measureAgainst(
        state, 20, [&] { keeper.stateChanged(); }, [&] { writeAppState(record, file); });
}
BENCHMARK(BM_KeyChangeAgainstStateWrite)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_RecoveryCaptureAgainstEncode(benchmark::State& state) {
    std::shared_ptr<Playlist> playlist = benchList(static_cast<int>(state.range(0)));
    const platform::Url session = platform::Url::fileURLWithPath("/home/host/Friday.vantle");
    // A song moved to the top and a key changed: the whole order is kept.
    std::rotate(playlist->allEntries.begin(), playlist->allEntries.end() - 1, playlist->allEntries.end());
    playlist->allEntries[5]->keyShift = 2;
    playlist->dirty = true;
    benchratio::measureAgainst(
        state, 1, [&] { benchmark::DoNotOptimize(SessionRecovery::capture(*playlist, session)); },
        [&] { benchmark::DoNotOptimize(platform::encodePlist(*playlist)); });
}
BENCHMARK(BM_RecoveryCaptureAgainstEncode)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

} // namespace
