#include "Source/session/BackgroundTempo.h"

#include "Source/session/PlaylistEntry.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"

#include <utility>

namespace vantle {

BackgroundTempo::BackgroundTempo(Sources sources, Analyse analyse, Found found,
                                 platform::DispatchQueue& worker)
    : sources_(std::move(sources)), analyse_(std::move(analyse)), found_(std::move(found)), worker_(worker) {}

BackgroundTempo::~BackgroundTempo() {
    cancel_->store(true);
}

void BackgroundTempo::listChanged() {
    walk_.restart();
}

void BackgroundTempo::recheck(const PlaylistEntry& entry) {
    tried_.erase(entry.id);
    listChanged();
}

bool BackgroundTempo::wanted(const PlaylistEntry& entry) const {
    if (!entry._url.isFileURL()) return false;
    // A grid set by hand is the teacher's: no analysis replaces it.
    if (entry.tempo.tempo && entry.tempo.tempo->corrected) return false;
    const auto tried = tried_.find(entry.id);
    const Dance dance = sources_.dance(entry);
    return tried == tried_.end() || tried->second != Tried{entry._url.path(), dance, bandOf(dance)};
}

DanceBand BackgroundTempo::bandOf(Dance dance) const {
    return sources_.band ? sources_.band(dance) : defaultBand(dance);
}

void BackgroundTempo::update() {
    if (busy_) return;
    const std::shared_ptr<PlaylistEntry> current = sources_.current ? sources_.current() : nullptr;
    const std::shared_ptr<PlaylistEntry> entry =
        walk_.next(current, sources_.entries, [this](const PlaylistEntry& listed) { return wanted(listed); });
    if (entry) start(entry);
}

void BackgroundTempo::start(const std::shared_ptr<PlaylistEntry>& entry) {
    const std::string path = entry->_url.path();
    const Dance dance = sources_.dance(*entry);
    // The worker gets its own copy: the teacher may edit the table while it runs.
    const DanceBand band = bandOf(dance);
    const auto before = tried_.find(entry->id);
    // A band edited since this run analysed the song may pick another level.
    const bool bandEdited =
        before != tried_.end() && before->second.dance == dance && before->second.band != band;
    tried_[entry->id] = {path, dance, band};
    busy_ = true;
    running_ = entry;
    // What the entry holds now, to tell on the worker whether the file is still the one analysed.
    const EntryTempo& held = entry->tempo;
    const bool current = held.tempo && held.analysedFor == dance && !bandEdited;
    const std::uint64_t heldSize = current ? held.fileSize : 0;
    const std::int64_t heldModified = current ? held.fileModified : 0;
    std::weak_ptr<PlaylistEntry> analysed = entry;
    worker_.async([this, cancel = cancel_, analyse = analyse_, analysed, path, dance, band, current, heldSize,
                   heldModified] {
        Outcome outcome;
        if (const std::optional<platform::FileStamp> stamp = platform::fileStamp(path)) {
            outcome.opened = true;
            outcome.size = stamp->size;
            outcome.modified = stamp->modified;
            if (!(current && heldSize == stamp->size && heldModified == stamp->modified) && !cancel->load()) {
                outcome.tempo = analyse(path, band, cancel.get());
                outcome.analysed = true;
            }
        }
        // A window closed meanwhile is not answered: nothing of it lands in what the program does next.
        if (cancel->load()) return;
        platform::mainQueue().async(
            [this, cancel, analysed, path, dance, band, outcome = std::move(outcome)] {
                // Not cancelled, this object is still there.
                if (cancel->load()) return;
                landed(analysed, path, dance, band, outcome);
            });
    });
}

void BackgroundTempo::landed(const std::weak_ptr<PlaylistEntry>& analysed, const std::string& path,
                             Dance dance, const DanceBand& band, const Outcome& outcome) {
    busy_ = false;
    running_.reset();
    const std::shared_ptr<PlaylistEntry> entry = analysed.lock();
    if (outcome.analysed && !outcome.tempo && outcome.opened)
        platform::consolePrint("no tempo found in " + path);
    // Corrected, moved or given another dance or band meanwhile: what was found is of no use.
    if (entry && outcome.tempo && entry->_url.path() == path && sources_.dance(*entry) == dance &&
        bandOf(dance) == band && !(entry->tempo.tempo && entry->tempo.tempo->corrected)) {
        entry->tempo.tempo = outcome.tempo;
        entry->tempo.tempo->corrected = false;
        entry->tempo.fileSize = outcome.size;
        entry->tempo.fileModified = outcome.modified;
        entry->tempo.analysedFor = dance;
        if (found_) found_(entry);
    }
    update();
}

} // namespace vantle
