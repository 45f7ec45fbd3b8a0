#pragma once
// One audio file of a playlist and what the listener did with it. Shared by reference
// (std::shared_ptr) between the playlist, the player and the main window; main thread only.

#include "Source/session/Attachment.h"
#include "Source/session/AudioDuration.h"
#include "Source/session/TimeRangeSet.h"
#include "Source/tempo/EntryTempo.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Date.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/KeyedCoding.h"
#include "platform/foundation/Url.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vantle {

class TextNoteSet;
class Transcription;
struct AudioFileLength;

// Tags are single characters; a tag set holds each as its UTF-8 text.
using TagSet = std::set<std::string>;

// The characters of a text, each as its UTF-8 text (a stray byte of ill-formed text counts as
// one character).
std::vector<std::string> tagCharacters(std::string_view text);

class PlaylistEntry {
public:
    // The farthest a stored key shift goes from the song's own key, semitones either way.
    static constexpr int keyShiftLimit = 6;

    // The entry for an audio file: nothing when the file cannot be opened as audio (the counter
    // is then not advanced). A file with the extension "mp4" gets itself as its one attachment.
    static std::shared_ptr<PlaylistEntry> make(const platform::Url& url);
    // The entry for an audio file already measured (elsewhere, on another thread): the file is not
    // opened again.
    static std::shared_ptr<PlaylistEntry> make(const platform::Url& url, const AudioFileLength& length);

    // Decoding: "_url" and "prevTimeRangeSet" are required; every other key is lenient (missing
    // or malformed gives the default) and one malformed side document drops only itself.
    explicit PlaylistEntry(const platform::KeyedDecoder& decoder);
    // The stored keys in their fixed order; optional fields only when present.
    void encode(platform::KeyedEncoder& encoder) const;

    ~PlaylistEntry();
    PlaylistEntry(const PlaylistEntry&) = delete;
    PlaylistEntry& operator=(const PlaylistEntry&) = delete;

    // Entries are the same file when their URLs are equal; nothing else counts.
    friend bool operator==(const PlaylistEntry& a, const PlaylistEntry& b) { return a._url == b._url; }

    // ---- stored and run-time fields ----
    platform::Url _url;
    // Spans of the listening in progress; shared with the player and the application state.
    std::shared_ptr<TimeRangeSet> currentTimeRangeSet;
    // The listening the file held when the session was read (the window that saved it was then
    // listening): written back as it was until a listening here covers something, so that a session
    // opened and closed unplayed is what it was. Never a listening of this run.
    std::shared_ptr<const TimeRangeSet> listeningAsRead;
    // Spans of earlier listenings, merged.
    TimeRangeSet prevTimeRangeSet;
    // Zero marks in seconds, ascending.
    std::vector<double> zeros;
    // A completed listening has been counted in this run.
    bool hasBeenCompleted = false;
    // One date per completed listening, oldest first.
    std::vector<platform::Date> playedDates;
    std::optional<platform::Bytes> storedBookmark;
    std::optional<double> _cachedDuration;
    // The cached duration was measured while the file held less than its header states (still being
    // written), or is an estimate not yet counted: shown, but never stored as the file's length. Never
    // stored itself.
    bool durationIsProvisional = false;
    // The cached duration is an estimate from the file's size and bit rate (an MP3 whose header states less
    // than the file holds), shown as one until the file is counted; provisional too. Never stored.
    bool durationIsEstimate = false;
    // currentTimeRangeSet has its line in the listening log and nothing was heard since (a song left
    // again unplayed, or ranges an earlier run logged as it quit): no second line. Never stored.
    bool listeningLogged = false;
    // The span of currentTimeRangeSet that playback is extending.
    std::optional<std::size_t> cachedTimeRangeIndex;
    // Identity within one run: 1 for the first entry made, never stored.
    const std::int64_t id;
    std::vector<std::shared_ptr<Attachment>> attachments;
    bool isCheckmarked = false;
    // Carried from file to file only.
    bool zombie_inHistory = false;
    bool zombie_playedSinceHistory = false;
    // One character per tag; absent and empty both mean none.
    std::optional<std::string> tags;
    // The key the song is sung in, semitones from its own (the player's range); stored only when not 0,
    // so documents of songs in their own key stay as they were.
    int keyShift = 0;
    // The song's dance, target and beat grid; stored under "tempo" when any is known.
    EntryTempo tempo;
    // For a song archive, the audio's name inside it (the song's title comes from it), once the archive
    // was opened in this run; empty otherwise. Never stored.
    std::string archivedAudio;
    // The file name a title is made of: the archive's audio, when known, else the file's own.
    std::string titleFileName() const;
    // Its file was gone when the player last looked (at a load, or while it played on from the file
    // still open); never stored.
    bool fileMissing = false;

    // The timed notes and the transcription beside the audio file, read on first use.
    TextNoteSet& noteSet();
    Transcription& transcription();
    // Notes changed here that are not in their file yet (a save waited or failed); false while the
    // notes were never read.
    bool notesUnsaved() const;

    // Seconds; measured once and cached. Nothing while the file cannot be opened (each read
    // tries again). A length measured while the file is still being written, or estimated, is provisional.
    std::optional<double> duration();
    // The file is now at `url`: its length, notes and transcription are read from there on next
    // use (notes altered and not yet saved are saved first, beside the old place; those that cannot be
    // written there are printed).
    void relocate(const platform::Url& url);

    // ---- listening history ----

    // Makes the span holding `time` (ends inclusive) the one playback extends, opening (time,
    // time) when none holds it. A time that is not finite is ignored.
    void beginTimeRange(double time);
    // Saves altered notes, merges this listening's spans into prevTimeRangeSet and, when more
    // than half of the file was heard, counts one completed listening (once per run) dated now.
    void finishListening(const platform::Clock& clock = platform::Clock::system());
    // The part of the file the set covers: its union of spans over the duration, within [0, 1];
    // 0 when the duration cannot be measured or is not above 0.001 s.
    double coveredFraction(const TimeRangeSet& set);
    // Whole seconds since the last completed listening; nothing without one.
    std::optional<std::int64_t>
    secondsSinceLastPlayed(const platform::Clock& clock = platform::Clock::system()) const;
    // Local calendar days between the last completed listening and today (yesterday is 1 even
    // across a 23-hour day); nothing without one.
    std::optional<std::int64_t>
    daysSinceLastPlayed(const platform::Clock& clock = platform::Clock::system()) const;
    // Exclude tags reject; with include tags the entry must carry every one of them (the words
    // are then not consulted); otherwise every non-empty word must occur in the lower-cased file
    // name without its ".mp3" and then ".m4a" suffix.
    bool matchesFilter(const std::vector<std::string>& words, const TagSet& includeTags,
                       const TagSet& excludeTags) const;
    // Sets a zero mark, dropping every mark within 3.0 s of it. A time that is not finite is
    // ignored.
    void addZero(double time);
    // The first mark at or after `time`, else the duration (0 when that cannot be measured).
    double nextZero(double time);

private:
    struct MadeFromURL {};

public:
    // For make() only.
    PlaylistEntry(MadeFromURL, platform::Url url, const AudioFileLength& length);

private:
    std::unique_ptr<TextNoteSet> noteSet_;
    std::unique_ptr<Transcription> transcription_;
};

} // namespace vantle
