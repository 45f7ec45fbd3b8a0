// A song with its notes loaded as making it the current entry loads it: the entry is made from its
// file, its length read, its notes file read, its markers laid out on a 1000-pixel time slider and
// the slider drawn once. BM_NotesLoad/N measures a song with N notes against the same song without a
// notes file, in one run, and reports their ratio; BM_NotesLoadFullestFile does the same for a notes
// file as large as is read, of the shortest lines (about 420,000 notes). Each load is timed with the
// release of what it loaded. The counters held_kB and reference_held_kB give the heap the loaded song
// holds with its notes and without them (run with GLIBC_TUNABLES=glibc.malloc.tcache_count=0, or freed
// small blocks waiting in the thread cache count as held); peak_rss_MB the process's peak resident size.
//
//   bench_notes_load [benchmark flags]
//
// It runs offscreen unless QT_QPA_PLATFORM says otherwise.

#include "Source/session/PlaylistEntry.h"
#include "Source/session/TextNoteSet.h"
#include "Source/views/TimeSlider.h"
#include "platform/foundation/Files.h"
#include "tests/support/NotesFiles.h"
#include "tests/support/TemporaryFolder.h"
#include "tests/support/ToneFiles.h"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include "BenchRatio.h"

#include <malloc.h>

#include <fstream>
#include <string>

using namespace vantle;

namespace {

// Three minutes of silence, mono, 8 kHz: the length is read from the header, so the file's size
// does not matter.
platform::Url writeBenchSong(const std::string& path) {
    const testsupport::Channels silence(1, std::vector<float>(8000 * 180));
    if (!testsupport::writeWithSndfile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, silence, 8000)) return {};
    return platform::Url::fileURLWithPath(path, false);
}

// The process's peak resident size so far: run one benchmark at a time for its own.
double peakResidentMegabytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024;
    return 0;
}

std::size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Loads the song into the slider and draws it.
class SongLoader {
public:
    SongLoader() : image_(1000, 40, QImage::Format_ARGB32_Premultiplied) { slider_.resize(1000, 40); }

    void load(const platform::Url& song) {
        std::shared_ptr<PlaylistEntry> entry = PlaylistEntry::make(song);
        slider_.loadEntry(entry);
        slider_.render(&image_);
        benchmark::DoNotOptimize(image_.constBits());
    }
    void unload() { slider_.loadEntry(nullptr); }
    // A load, and the release of what it loaded when the next song comes: each song pays for its own.
    void loadAndLeave(const platform::Url& song) {
        load(song);
        unload();
    }
    std::size_t markers() const { return slider_.noteMarks().size(); }

    // The heap a loaded song holds beyond an empty slider, in kilobytes.
    double heldKilobytes(const platform::Url& song) {
        unload();
        const std::size_t before = heapInUse();
        load(song);
        const std::size_t after = heapInUse();
        unload();
        return (static_cast<double>(after) - static_cast<double>(before)) / 1024;
    }

private:
    TimeSlider slider_;
    QImage image_;
};

void measureNotesLoad(benchmark::State& state, const std::string& notesText, std::size_t expectedNotes) {
    testsupport::TemporaryFolder folder("vantle-bench");
    const platform::Url withNotes = writeBenchSong(folder.file("with notes.wav"));
    const platform::Url without = writeBenchSong(folder.file("without.wav"));
    if (withNotes.path().empty() || without.path().empty() ||
        !platform::writeFileAtomically(folder.file("with notes.txt"), std::string_view(notesText))) {
        state.SkipWithError("cannot write the song or its notes");
        return;
    }
    SongLoader loader;
    loader.load(withNotes);
    if (loader.markers() != expectedNotes) {
        state.SkipWithError(("read " + std::to_string(loader.markers()) + " notes").c_str());
        return;
    }
    benchratio::measureAgainst(
        state, 1, [&] { loader.loadAndLeave(withNotes); }, [&] { loader.loadAndLeave(without); });
    state.counters["notes"] = static_cast<double>(expectedNotes);
    state.counters["file_MB"] = static_cast<double>(notesText.size()) / (1 << 20);
    state.counters["held_kB"] = loader.heldKilobytes(withNotes);
    state.counters["reference_held_kB"] = loader.heldKilobytes(without);
    state.counters["peak_rss_MB"] = peakResidentMegabytes();
}

void BM_NotesLoad(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    // Lines of some 45 characters, the length of "12:34 promenade home, then swing your partner".
    measureNotesLoad(state, testsupport::notesFileText("/home/caller/Music/Hoedown.wav", count, 30), count);
}
BENCHMARK(BM_NotesLoad)
    ->Arg(0)
    ->Arg(100)
    ->Arg(10000)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

void BM_NotesLoadFullestFile(benchmark::State& state) {
    // "0:01\n" over and over, up to the largest file read.
    std::string text = "/home/caller/Music/Hoedown.wav\n";
    std::size_t notes = 0;
    while (text.size() + 5 <= TextNoteSet::largestFileSize) {
        text += "0:01\n";
        ++notes;
    }
    measureNotesLoad(state, text, notes);
}
BENCHMARK(BM_NotesLoadFullestFile)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
