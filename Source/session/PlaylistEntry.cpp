#include "Source/session/PlaylistEntry.h"

#include "Source/session/AudioDuration.h"
#include "Source/session/TextNoteSet.h"
#include "Source/session/Transcription.h"
#include "Source/session/UrlCoding.h"
#include "platform/files/SongArchive.h"
#include "platform/foundation/Text.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>

namespace vantle {

namespace {

// Starts at 0 and is incremented before each use, so the first entry of a run has id 1.
std::int64_t nextPlaylistEntryId() {
    static std::atomic<std::int64_t> entryIdCounter{0};
    return ++entryIdCounter;
}

std::size_t utf8CharacterLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
    if (lead >= 0xC2) return 2;
    return 1;
}

bool entryHasSuffix(const std::string& text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

std::vector<std::string> tagCharacters(std::string_view text) {
    std::vector<std::string> characters;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t length = utf8CharacterLength(static_cast<unsigned char>(text[at]));
        if (at + length > text.size()) length = 1;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) length = 1;
        characters.emplace_back(text.substr(at, length));
        at += length;
    }
    return characters;
}

std::shared_ptr<PlaylistEntry> PlaylistEntry::make(const platform::Url& url) {
    std::optional<AudioFileLength> length = audioFileLength(url);
    if (!length) return nullptr;
    return make(url, *length);
}

std::shared_ptr<PlaylistEntry> PlaylistEntry::make(const platform::Url& url, const AudioFileLength& length) {
    auto entry = std::make_shared<PlaylistEntry>(MadeFromURL{}, url, length);
    entry->archivedAudio = length.archiveMember;
    return entry;
}

PlaylistEntry::PlaylistEntry(MadeFromURL, platform::Url url, const AudioFileLength& length)
    : _url(std::move(url)), _cachedDuration(length.seconds), durationIsProvisional(!length.final),
      durationIsEstimate(length.estimate), id(nextPlaylistEntryId()) {
    if (_url.pathExtension() == "mp4") attachments.push_back(std::make_shared<Attachment>(_url, "mp4"));
}

PlaylistEntry::PlaylistEntry(const platform::KeyedDecoder& decoder)
    : _url(decoder.decode<platform::Url>("_url")),
      prevTimeRangeSet(decoder.decode<TimeRangeSet>("prevTimeRangeSet")), id(nextPlaylistEntryId()) {
    if (auto set = decoder.tryDecode<TimeRangeSet>("currentTimeRangeSet"))
        currentTimeRangeSet = std::make_shared<TimeRangeSet>(std::move(*set));
    zeros = decoder.decode("zeros", std::vector<double>{});
    std::erase_if(zeros, [](double z) { return !std::isfinite(z); });
    playedDates = decoder.decode("playedDates", std::vector<platform::Date>{});
    storedBookmark = decoder.tryDecode<platform::Bytes>("storedBookmark");
    _cachedDuration = decoder.tryDecode<double>("_cachedDuration");
    if (_cachedDuration && !std::isfinite(*_cachedDuration)) _cachedDuration.reset();
    attachments = decodeAttachments(decoder, "sideDocuments");
    isCheckmarked = decoder.decode("isCheckmarked", false);
    zombie_inHistory = decoder.decode("inHistory", false);
    zombie_playedSinceHistory = decoder.decode("playedSinceHistory", false);
    tags = decoder.tryDecode<std::string>("tags");
    // A number outside the player's range, or of a fraction, is held to the nearest key it can play.
    const double key = decoder.decode("keyShift", 0.0);
    // Held before rounding: a number beyond a long's range has no rounding of its own.
    if (std::isfinite(key))
        keyShift = int(std::lround(std::clamp(key, -double(keyShiftLimit), double(keyShiftLimit))));
    tempo = decoder.decode("tempo", EntryTempo{});
    // A song archive's row shows its audio's name from the start, not the archive's until it is opened.
    if (std::optional<std::string> member = decoder.tryDecode<std::string>("archivedAudio"))
        archivedAudio = std::move(*member);
}

PlaylistEntry::~PlaylistEntry() = default;

void PlaylistEntry::encode(platform::KeyedEncoder& encoder) const {
    encoder.encode("_url", _url);
    encoder.encode("prevTimeRangeSet", prevTimeRangeSet);
    // A listening that covers nothing (every entry of an opened session starts one) is no listening
    // to store: the one the file held stays, so a session opened and closed unplayed encodes as the
    // file it was read from.
    if (currentTimeRangeSet && currentTimeRangeSet->coveredDuration() > 0) {
        encoder.encode("currentTimeRangeSet", currentTimeRangeSet);
    } else if (listeningAsRead) {
        encoder.encode("currentTimeRangeSet", *listeningAsRead);
    }
    encoder.encode("zeros", zeros);
    encoder.encode("playedDates", playedDates);
    encoder.encodeIfPresent("storedBookmark", storedBookmark);
    // A length that may grow is measured again when the session is next read.
    if (!durationIsProvisional) encoder.encodeIfPresent("_cachedDuration", _cachedDuration);
    encoder.nestedUnkeyedContainer("sideDocuments", [&](platform::UnkeyedEncoder& list) {
        for (const auto& attachment : attachments)
            if (attachment) list.encode(*attachment);
    });
    encoder.encode("isCheckmarked", isCheckmarked);
    encoder.encode("inHistory", zombie_inHistory);
    encoder.encode("playedSinceHistory", zombie_playedSinceHistory);
    encoder.encodeIfPresent("tags", tags);
    if (keyShift != 0) encoder.encode("keyShift", std::int64_t(keyShift));
    if (!archivedAudio.empty()) encoder.encode("archivedAudio", archivedAudio);
    if (!tempo.empty()) encoder.encode("tempo", tempo);
}

std::string PlaylistEntry::titleFileName() const {
    if (archivedAudio.empty()) return _url.lastPathComponent();
    return archivedAudio.substr(archivedAudio.find_last_of('/') + 1);
}

TextNoteSet& PlaylistEntry::noteSet() {
    if (!noteSet_) noteSet_ = std::make_unique<TextNoteSet>(_url);
    return *noteSet_;
}

bool PlaylistEntry::notesUnsaved() const {
    return noteSet_ && noteSet_->altered;
}

Transcription& PlaylistEntry::transcription() {
    if (!transcription_) transcription_ = std::make_unique<Transcription>(_url);
    return *transcription_;
}

std::optional<double> PlaylistEntry::duration() {
    if (_cachedDuration) return _cachedDuration;
    // A song archive is measured by reading its audio whole, hundreds of MiB perhaps: never where the
    // window asks (a table's paint), but by the length counter's worker or the player's load.
    if (platform::isSongArchivePath(_url.path())) return std::nullopt;
    std::optional<AudioFileLength> length = audioFileLength(_url);
    if (!length) return std::nullopt;
    durationIsProvisional = !length->final;
    durationIsEstimate = length->estimate;
    _cachedDuration = length->seconds;
    archivedAudio = length->archiveMember;
    return _cachedDuration;
}

void PlaylistEntry::relocate(const platform::Url& url) {
    // The set goes with the old place: what a save cannot write there now (a file being written
    // elsewhere, a folder gone with the song) is printed, not dropped.
    if (noteSet_ && noteSet_->altered && !noteSet_->save()) noteSet_->logUnwritten();
    noteSet_.reset();
    transcription_.reset();
    _cachedDuration.reset();
    durationIsProvisional = false;
    durationIsEstimate = false;
    _url = url;
}

void PlaylistEntry::beginTimeRange(double time) {
    if (!std::isfinite(time)) return;
    // A span begun is nothing heard yet: the listening is unlogged once a span grows (the display
    // tick begins one at a paused position, and a restored, logged listening must stay logged).
    if (!currentTimeRangeSet) currentTimeRangeSet = std::make_shared<TimeRangeSet>();
    const std::vector<TimeRange>& spans = currentTimeRangeSet->ranges;
    for (std::size_t i = 0; i < spans.size(); ++i) {
        if (spans[i].start <= time && time <= spans[i].end) {
            cachedTimeRangeIndex = i;
            return;
        }
    }
    cachedTimeRangeIndex = currentTimeRangeSet->addRange(time, time, 0);
}

void PlaylistEntry::finishListening(const platform::Clock& clock) {
    TextNoteSet& notes = noteSet();
    if (notes.altered) notes.save();
    if (!currentTimeRangeSet) return;
    // Each span searches on from where the one before it landed; a set read from a file may be
    // out of order, and then the search starts over.
    std::size_t hint = 0;
    double previousStart = -std::numeric_limits<double>::infinity();
    for (const TimeRange& span : currentTimeRangeSet->ranges) {
        // A listening opened where playback stood and never played covers nothing.
        if (!(span.end > span.start)) continue;
        if (span.start < previousStart) hint = 0;
        previousStart = span.start;
        if (std::optional<std::size_t> index = prevTimeRangeSet.addRange(span.start, span.end, hint))
            hint = *index;
    }
    if (coveredFraction(*currentTimeRangeSet) > 0.5 && !hasBeenCompleted) {
        playedDates.push_back(clock.now());
        hasBeenCompleted = true;
    }
}

double PlaylistEntry::coveredFraction(const TimeRangeSet& set) {
    std::optional<double> length = duration();
    if (!length || !(*length > 0.001)) return 0;
    return std::clamp(set.coveredDuration() / *length, 0.0, 1.0);
}

std::optional<std::int64_t> PlaylistEntry::secondsSinceLastPlayed(const platform::Clock& clock) const {
    if (playedDates.empty()) return std::nullopt;
    double seconds = std::trunc(clock.now().timeIntervalSince(playedDates.back()));
    // Dates from a file can be anything; keep the count representable.
    constexpr double limit = 0x1p62;
    if (!std::isfinite(seconds)) return std::nullopt;
    return static_cast<std::int64_t>(std::clamp(seconds, -limit, limit));
}

std::optional<std::int64_t> PlaylistEntry::daysSinceLastPlayed(const platform::Clock& clock) const {
    if (playedDates.empty()) return std::nullopt;
    platform::Date lastDay = clock.startOfDay(playedDates.back());
    platform::Date today = clock.startOfDay(clock.now());
    // Starts of local days lie whole days apart give or take a daylight-saving hour, so rounding
    // counts calendar days.
    double days = std::round(today.timeIntervalSince(lastDay) / 86400.0);
    constexpr double limit = 0x1p52;
    if (!std::isfinite(days)) return std::nullopt;
    return static_cast<std::int64_t>(std::clamp(days, -limit, limit));
}

bool PlaylistEntry::matchesFilter(const std::vector<std::string>& words, const TagSet& includeTags,
                                  const TagSet& excludeTags) const {
    std::vector<std::string> carried = tagCharacters(tags.value_or(std::string()));
    auto carries = [&](const std::string& tag) {
        return std::find(carried.begin(), carried.end(), tag) != carried.end();
    };
    for (const std::string& tag : excludeTags)
        if (carries(tag)) return false;
    if (!includeTags.empty()) return std::all_of(includeTags.begin(), includeTags.end(), carries);

    std::string name;
    bool nameReady = false;
    for (const std::string& word : words) {
        if (word.empty()) continue;
        if (!nameReady) {
            name = _url.lastPathComponent();
            if (entryHasSuffix(name, ".mp3")) name.erase(name.size() - 4);
            if (entryHasSuffix(name, ".m4a")) name.erase(name.size() - 4);
            name = platform::lowercased(name);
            nameReady = true;
        }
        if (name.find(word) == std::string::npos) return false;
    }
    return true;
}

void PlaylistEntry::addZero(double time) {
    if (!std::isfinite(time)) return;
    std::erase_if(zeros, [time](double z) { return !(std::fabs(z - time) > 3.0); });
    zeros.push_back(time);
    std::sort(zeros.begin(), zeros.end());
}

double PlaylistEntry::nextZero(double time) {
    double end = duration().value_or(0.0);
    if (zeros.empty() || zeros.back() < time) return end;
    std::size_t i = zeros.size() - 1;
    while (i > 0 && !(zeros[i - 1] < time))
        --i;
    return zeros[i];
}

} // namespace vantle
