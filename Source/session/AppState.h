#pragma once
// The record with which the application reopens the last session: document, current entry,
// position, and the current entry's unfinished listening and zero marks. Main thread.

#include "Source/session/TimeRangeSet.h"
#include "platform/foundation/KeyedCoding.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/Url.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vantle {

class Playlist;
class PlaylistEntry;
class PlayerServices;

class AppState {
public:
    AppState() = default;
    AppState(std::optional<platform::Url> playlistURL, double currentTime,
             std::optional<std::int64_t> currentEntryIndex, std::shared_ptr<TimeRangeSet> currentTimeRangeSet,
             std::optional<std::vector<double>> zeros);

    std::optional<platform::Url> playlistURL;
    double currentTime = 0;
    std::optional<std::int64_t> currentEntryIndex;
    // The same object as the entry's when the record is made.
    std::shared_ptr<TimeRangeSet> currentTimeRangeSet;
    std::optional<std::vector<double>> zeros;
    // Whether the listening in currentTimeRangeSet has its line in the listening log (written at a
    // quit, after the line); a state file without it is taken as logged.
    std::optional<bool> currentListeningLogged;

    // The keys in field order, optional ones only when present; "currentTime" is required.
    void encode(platform::KeyedEncoder& encoder) const;
    static AppState decode(const platform::KeyedDecoder& decoder);

    // The record as the main window saves it: the open document, the playback position, the
    // index of the playlist's current entry in the full list and the player's entry's spans and
    // marks.
    static AppState capture(const std::optional<platform::Url>& sessionURL, const Playlist& playlist,
                            const PlayerServices& player);

    // currentEntryIndex when it names an entry of the playlist; nothing otherwise (a state file
    // written for another version of the document may point anywhere).
    std::optional<std::size_t> entryIndex(const Playlist& playlist) const;

    // Gives the entry the record's spans and marks, each only when the record has them, and with the
    // spans whether they were logged.
    void restore(PlaylistEntry& entry) const;
};

// The state folder: $XDG_STATE_HOME/com.fennorastudio.Vantle (by default
// ~/.local/state/com.fennorastudio.Vantle), created on each call. A folder that cannot be made
// is reported once per run with a console line; the program goes on without a state file.
std::string appStateDirectory();
// The state file, "state.plist" in the state folder; its folder is made on first use only.
platform::Url appStateFileURL();
// Puts the state folder elsewhere (tests); nothing returns to the default folder.
void setAppStateDirectory(std::optional<std::string> folder);

// Far more than one entry's spans and marks take: a larger file is no state file, and is not read into
// memory on the window's thread.
inline constexpr std::uint64_t appStateFileSizeLimit = std::uint64_t(16) << 20;
// Reads the state file; a missing, truncated, malformed or larger file gives an error.
platform::Result<AppState> readAppState(const platform::Url& file = appStateFileURL());
// Without a playlistURL the state file is deleted: that one file or link, nothing else; a folder or
// anything else at its path stays and is reported with a console line. Otherwise the record is
// written atomically. A failed write keeps the old file and prints "can't save " with the URL.
// Each failure is printed once until a write succeeds again.
void writeAppState(const AppState& state, const platform::Url& file = appStateFileURL());

} // namespace vantle
