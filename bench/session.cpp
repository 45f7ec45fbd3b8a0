// Session documents: loading and saving a playlist of 10,000 entries, each with spans, dates,
// zero marks, a bookmark, tags and, for every tenth, a side document. BM_SessionLoadSaveAgainstFile
// measures a load and a save against reading the document's bytes and writing them again the same way
// (temporary file, fsync, rename), in one run, and reports their ratio.

#include "Source/session/Playlist.h"
#include "Source/session/UrlCoding.h"
#include "platform/foundation/Files.h"

#include <benchmark/benchmark.h>

#include "BenchEntries.h"
#include "BenchRatio.h"

#include <filesystem>
#include <string>

using namespace vantle;

namespace {

constexpr int benchEntryCount = 10000;

std::shared_ptr<Playlist> benchDocument() {
    auto playlist = std::make_shared<Playlist>();
    playlist->allEntries.reserve(benchEntryCount);
    for (int i = 0; i < benchEntryCount; ++i) {
        const std::string path =
            "/home/dancer/Music/Class " + std::to_string(i / 100) + "/Track " + std::to_string(i) + ".mp3";
        auto entry = benchentries::decodedEntry(path);
        entry->prevTimeRangeSet.ranges = {{0, 30.5 + i % 7}, {45, 120.25}};
        entry->currentTimeRangeSet = std::make_shared<TimeRangeSet>();
        entry->currentTimeRangeSet->ranges = {{10, 20}};
        entry->zeros = {1.5, 62.0, 90.25};
        entry->playedDates = {platform::Date{700000000.0 + i}, platform::Date{710000000.0 + i}};
        entry->storedBookmark = platform::Bytes(48, static_cast<std::uint8_t>(i));
        entry->_cachedDuration = 180.0 + i % 60;
        entry->isCheckmarked = i % 3 == 0;
        entry->tags = i % 2 ? "ab" : "c";
        if (i % 10 == 0)
            entry->attachments.push_back(std::make_shared<Attachment>(
                platform::Url::fileURLWithPath(path).deletingPathExtension().appendingPathExtension("pdf"),
                "pdf"));
        playlist->allEntries.push_back(std::move(entry));
    }
    playlist->assignedEntry = playlist->allEntries[benchEntryCount / 2];
    playlist->currentTime = 42.5;
    return playlist;
}

struct BenchFolder {
    BenchFolder() : path(platform::makeTemporaryDirectory("vantle-bench").value()) {}
    ~BenchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string path;
};

void BM_SessionSave(benchmark::State& state) {
    BenchFolder folder;
    auto playlist = benchDocument();
    platform::Url url = platform::Url::fileURLWithPath(folder.path + "/bench.vantle");
    for (auto _ : state) {
        playlist->dirty = true;
        playlist->save(url);
        if (playlist->dirty) state.SkipWithError("save failed");
    }
    state.counters["bytes"] = static_cast<double>(platform::readFile(url.path())->size());
}
BENCHMARK(BM_SessionSave)->Unit(benchmark::kMillisecond);

void BM_SessionEncode(benchmark::State& state) {
    auto playlist = benchDocument();
    for (auto _ : state) {
        platform::Result<platform::Bytes> bytes = platform::encodePlist(*playlist);
        benchmark::DoNotOptimize(bytes);
    }
}
BENCHMARK(BM_SessionEncode)->Unit(benchmark::kMillisecond);

void BM_SessionLoad(benchmark::State& state) {
    BenchFolder folder;
    platform::Url url = platform::Url::fileURLWithPath(folder.path + "/bench.vantle");
    benchDocument()->save(url);
    for (auto _ : state) {
        platform::Result<std::shared_ptr<Playlist>> playlist = Playlist::read(url);
        if (!playlist) {
            state.SkipWithError("load failed");
            break;
        }
        (*playlist)->prepareAfterLoad();
        benchmark::DoNotOptimize(playlist);
    }
}
BENCHMARK(BM_SessionLoad)->Unit(benchmark::kMillisecond);

void BM_SessionLoadSaveAgainstFile(benchmark::State& state) {
    BenchFolder folder;
    platform::Url url = platform::Url::fileURLWithPath(folder.path + "/bench.vantle");
    const std::string copy = folder.path + "/copy.vantle";
    benchDocument()->save(url);
    bool failed = false;
    benchratio::measureAgainst(
        state, 1,
        [&] {
            platform::Result<std::shared_ptr<Playlist>> playlist = Playlist::read(url);
            if (!playlist) {
                failed = true;
                return;
            }
            (*playlist)->prepareAfterLoad();
            (*playlist)->dirty = true;
            (*playlist)->save(url);
            failed |= (*playlist)->dirty;
        },
        [&] {
            platform::Result<platform::Bytes> bytes = platform::readFile(url.path());
            failed |= !bytes || !platform::writeFileAtomically(copy, *bytes);
        });
    if (failed) state.SkipWithError("load or save failed");
}
BENCHMARK(BM_SessionLoadSaveAgainstFile)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace
