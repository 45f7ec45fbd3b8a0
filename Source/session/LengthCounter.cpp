#include "Source/session/LengthCounter.h"

#include "Source/session/PlaylistEntry.h"
#include "platform/dispatch/MainQueue.h"
#include "platform/files/AudioFile.h"
#include "platform/files/SongArchive.h"
#include "platform/foundation/Console.h"

#include <utility>

namespace vantle {

namespace {

// Opens the file and counts its frames when its length is an estimate: the whole file is read, so never on
// the main thread. The count is kept for every later open of the unchanged file.
LengthCounter::Outcome lengthCounterCount(const std::string& path) {
    LengthCounter::Outcome outcome;
    auto file = platform::AudioFile::openForReading(path);
    // One that does not open is said so where it is shown or played.
    if (!file) return outcome;
    outcome.opened = true;
    outcome.wasEstimate = !(*file)->isLengthExact();
    if (outcome.wasEstimate) {
        if (platform::Result<void> measured = (*file)->measureLength(); !measured) {
            outcome.error = measured.error().message;
            return outcome;
        }
    }
    const double rate = (*file)->processingFormat().sampleRate();
    outcome.seconds = rate > 0 ? double((*file)->length()) / rate : 0.0;
    outcome.complete = (*file)->isComplete();
    outcome.archiveMember = (*file)->archiveMember();
    return outcome;
}

} // namespace

LengthCounter::LengthCounter(Sources sources, Counted counted, platform::DispatchQueue& worker)
    : sources_(std::move(sources)), counted_(std::move(counted)), worker_(worker) {}

LengthCounter::~LengthCounter() = default;

void LengthCounter::listChanged() {
    walk_.restart();
}

bool LengthCounter::wanted(const PlaylistEntry& entry) const {
    // Not yet measured, it may be an estimate: the count's own open tells.
    if (!entry.durationIsEstimate && entry._cachedDuration) return false;
    const auto tried = tried_.find(entry.id);
    if (tried == tried_.end()) return true;
    if (tried->second.path != entry._url.path()) return true;
    // An archive that failed is read again only once it changed: each read may be hundreds of MiB.
    return tried->second.archive && tried->second.archive != platform::fileStamp(tried->second.path);
}

void LengthCounter::update() {
    // One at a time, and the current song's count first: a count reads a whole file.
    if (busy_ || (sources_.currentBeingCounted && sources_.currentBeingCounted())) return;
    const std::shared_ptr<PlaylistEntry> current = sources_.current ? sources_.current() : nullptr;
    const std::shared_ptr<PlaylistEntry> entry =
        walk_.next(current, sources_.entries,
                   [this](const PlaylistEntry& listed) { return listed._url.isFileURL() && wanted(listed); });
    if (entry) start(entry);
}

void LengthCounter::start(const std::shared_ptr<PlaylistEntry>& entry) {
    const std::string path = entry->_url.path();
    tried_[entry->id] = {path, platform::isSongArchivePath(path) ? platform::fileStamp(path) : std::nullopt};
    busy_ = true;
    running_ = entry;
    std::weak_ptr<bool> alive = alive_;
    std::weak_ptr<PlaylistEntry> counted = entry;
    worker_.async([this, alive, counted, path] {
        Outcome outcome = lengthCounterCount(path);
        platform::mainQueue().async([this, alive, counted, path, outcome = std::move(outcome)] {
            // The count goes with the counter: while it is there, so is the counter.
            if (!alive.lock()) return;
            landed(counted, path, outcome);
        });
    });
}

void LengthCounter::landed(const std::weak_ptr<PlaylistEntry>& counted, const std::string& path,
                           const Outcome& outcome) {
    busy_ = false;
    running_.reset();
    const std::shared_ptr<PlaylistEntry> entry = counted.lock();
    if (!outcome.error.empty()) {
        platform::consolePrint("can't count the length of " + path + ": " + outcome.error);
    } else if (entry && outcome.opened && entry->_url.path() == path &&
               (entry->durationIsEstimate || !entry->_cachedDuration)) {
        entry->_cachedDuration = outcome.seconds;
        entry->durationIsProvisional = !outcome.complete;
        entry->durationIsEstimate = false;
        entry->archivedAudio = outcome.archiveMember;
        if (counted_) counted_(entry);
    }
    update();
}

} // namespace vantle
