// The song book on 100,000 songs in 1,000 folders: indexing them from nothing, against listing and
// stat-ing the same folders (what any look at them costs); a second look at an unchanged book, against
// the same listing; and searches as the host types them, against finding the same words in 100,000 names
// held in memory (what a plain filter of the list does).
//
//   bench_song_book [benchmark flags]

#include "Source/karaoke/host/HostDatabase.h"
#include "Source/karaoke/host/SongIndex.h"
#include "tests/support/TemporaryFolder.h"

#include <benchmark/benchmark.h>

#include "BenchRatio.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace {

constexpr int songCount = 100000;
constexpr int perFolder = 100;

const char* const artists[] = {
    "Édith Piaf", "Queen",        "ABBA",  "Motörhead", "Beyoncé",         "Nena",
    "Bee Gees",   "Dolly Parton", "Björk", "Los Lobos", "Sinéad O'Connor", "The Beatles"};
const char* const words[] = {"Love",   "Night", "Rose",  "Heart", "Dancing", "Rain",
                             "Fire",   "Sweet", "Blue",  "Crazy", "Dream",   "Wild",
                             "Summer", "Moon",  "River", "Song",  "Café",    "Señorita"};

std::string songName(int i) {
    char disc[32];
    std::snprintf(disc, sizeof disc, "SC%04d-%02d", i / 20, i % 20);
    const std::string artist =
        std::string(artists[i % 12]) + (i % 7 ? "" : " & Friends " + std::to_string(i % 97));
    std::string title = std::string(words[i % 18]) + " " + words[(i / 18) % 18] + " " + std::to_string(i);
    return std::string(disc) + " - " + artist + " - " + title + (i % 3 ? ".zip" : ".mp3");
}

// The folders, made once for the whole run.
const testsupport::TemporaryFolder& collection() {
    static testsupport::TemporaryFolder folder("vantle-bench-songs");
    static const bool made = [] {
        for (int i = 0; i < songCount; ++i) {
            const std::string sub = folder.path + "/songs/disc " + std::to_string(i / perFolder);
            if (i % perFolder == 0) std::filesystem::create_directories(sub);
            std::ofstream(sub + "/" + songName(i)) << i;
        }
        return true;
    }();
    (void)made;
    return folder;
}

std::size_t listSongs(const std::string& root) {
    std::size_t found = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        struct stat status {};
        if (::stat(entry.path().c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
            vantle::host::SongIndex::isSongFile(entry.path().string()))
            ++found;
    }
    return found;
}

void BM_IndexFromNothing(benchmark::State& state) {
    const std::string root = collection().path + "/songs";
    int round = 0;
    benchratio::measureAgainst(
        state, 1,
        [&] {
            const std::string path = collection().path + "/index" + std::to_string(round++) + ".sqlite";
            auto database = vantle::host::HostDatabase::open(path);
            vantle::host::SongIndex index(*database);
            index.setRoots({root});
            vantle::host::SongIndex::Changes changes;
            index.refresh(root, changes);
            if (changes.added != songCount) state.SkipWithError("not every song was indexed");
        },
        [&] { benchmark::DoNotOptimize(listSongs(root)); });
}
BENCHMARK(BM_IndexFromNothing)->Iterations(3)->Unit(benchmark::kMillisecond);

// One index for the refresh and the searches.
vantle::host::SongIndex& builtIndex() {
    static auto database = vantle::host::HostDatabase::open(collection().path + "/built.sqlite");
    static vantle::host::SongIndex index(*database);
    static const bool built = [] {
        const std::string root = collection().path + "/songs";
        index.setRoots({root});
        vantle::host::SongIndex::Changes changes;
        index.refresh(root, changes);
        return true;
    }();
    (void)built;
    return index;
}

void BM_RefreshUnchanged(benchmark::State& state) {
    vantle::host::SongIndex& index = builtIndex();
    const std::string root = collection().path + "/songs";
    benchratio::measureAgainst(
        state, 1,
        [&] {
            vantle::host::SongIndex::Changes changes;
            index.refresh(root, changes);
            if (!changes.foldersListed.empty()) state.SkipWithError("an unchanged folder was listed");
        },
        [&] { benchmark::DoNotOptimize(listSongs(root)); });
}
BENCHMARK(BM_RefreshUnchanged)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_Search(benchmark::State& state, const char* query) {
    vantle::host::SongIndex& index = builtIndex();
    // The reference: each name folded once beforehand, then searched for every word as a plain filter would.
    static const std::vector<std::string> folded = [] {
        std::vector<std::string> names;
        for (int i = 0; i < songCount; ++i)
            names.push_back(vantle::host::foldedForSearch(songName(i)));
        return names;
    }();
    const std::string wanted = vantle::host::foldedForSearch(query);
    std::vector<std::string> queryWords;
    for (std::size_t at = 0; at < wanted.size();) {
        const std::size_t end = std::min(wanted.find(' ', at), wanted.size());
        if (end > at) queryWords.push_back(wanted.substr(at, end - at));
        at = end + 1;
    }
    benchratio::measureAgainst(
        state, 3, [&] { benchmark::DoNotOptimize(index.search(query, 200)); },
        [&] {
            std::size_t hits = 0;
            for (const std::string& name : folded) {
                bool all = true;
                for (const std::string& word : queryWords)
                    all = all && name.find(word) != std::string::npos;
                hits += all;
            }
            benchmark::DoNotOptimize(hits);
        });
}
BENCHMARK_CAPTURE(BM_Search, rare_name_with_accent, "edith")->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, common_word, "love")->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, two_words, "piaf rose")->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, part_of_a_disc_id, "c0412")->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, one_letter, "q")->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Search, nothing_found, "zeppelin")->Iterations(20)->Unit(benchmark::kMillisecond);

} // namespace
