#include "Source/session/AppState.h"

#include "Source/session/PlayerServices.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/UrlCoding.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <pwd.h>
#include <unistd.h>

namespace vantle {

namespace {

constexpr const char* appStateIdentifier = "com.fennorastudio.Vantle";

struct AppStateLocation {
    std::mutex mutex;
    std::optional<std::string> overrideFolder;
    std::optional<platform::Url> fileURL;
    // One report while the folder or the file stays unwritable, not one per save.
    std::atomic<bool> failureReported{false};
};

AppStateLocation& appStateLocation() {
    static AppStateLocation location;
    return location;
}

std::string appStateDefaultFolder() {
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        return std::string(state) + "/" + appStateIdentifier;
    std::string home;
    if (const char* value = std::getenv("HOME"); value && *value)
        home = value;
    else if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir)
        home = user->pw_dir;
    return home + "/.local/state/" + appStateIdentifier;
}

void reportAppStateFailure(const std::string& line) {
    if (!appStateLocation().failureReported.exchange(true)) platform::consolePrint(line);
}

} // namespace

AppState::AppState(std::optional<platform::Url> playlistURL, double currentTime,
                   std::optional<std::int64_t> currentEntryIndex,
                   std::shared_ptr<TimeRangeSet> currentTimeRangeSet,
                   std::optional<std::vector<double>> zeros)
    : playlistURL(std::move(playlistURL)), currentTime(currentTime), currentEntryIndex(currentEntryIndex),
      currentTimeRangeSet(std::move(currentTimeRangeSet)), zeros(std::move(zeros)) {}

void AppState::encode(platform::KeyedEncoder& encoder) const {
    encoder.encodeIfPresent("playlistURL", playlistURL);
    encoder.encode("currentTime", currentTime);
    encoder.encodeIfPresent("currentEntryIndex", currentEntryIndex);
    encoder.encodeIfPresent("currentTimeRangeSet", currentTimeRangeSet);
    encoder.encodeIfPresent("zeros", zeros);
    encoder.encodeIfPresent("currentListeningLogged", currentListeningLogged);
}

AppState AppState::decode(const platform::KeyedDecoder& decoder) {
    AppState state;
    state.playlistURL = decoder.decodeIfPresent<platform::Url>("playlistURL");
    state.currentTime = decoder.decode<double>("currentTime");
    state.currentEntryIndex = decoder.decodeIfPresent<std::int64_t>("currentEntryIndex");
    if (auto set = decoder.decodeIfPresent<TimeRangeSet>("currentTimeRangeSet"))
        state.currentTimeRangeSet = std::make_shared<TimeRangeSet>(std::move(*set));
    state.zeros = decoder.decodeIfPresent<std::vector<double>>("zeros");
    state.currentListeningLogged = decoder.decodeIfPresent<bool>("currentListeningLogged");
    return state;
}

AppState AppState::capture(const std::optional<platform::Url>& sessionURL, const Playlist& playlist,
                           const PlayerServices& player) {
    AppState state;
    state.playlistURL = sessionURL;
    state.currentTime = player.playbackTime();
    if (const auto& current = playlist.assignedEntry) {
        auto found = std::find_if(playlist.allEntries.begin(), playlist.allEntries.end(),
                                  [&](const auto& entry) { return entry && entry->_url == current->_url; });
        if (found != playlist.allEntries.end()) state.currentEntryIndex = found - playlist.allEntries.begin();
    }
    if (std::shared_ptr<PlaylistEntry> entry = player.entry()) {
        state.currentTimeRangeSet = entry->currentTimeRangeSet;
        state.zeros = entry->zeros;
        state.currentListeningLogged = entry->listeningLogged;
    }
    return state;
}

std::optional<std::size_t> AppState::entryIndex(const Playlist& playlist) const {
    if (!currentEntryIndex || *currentEntryIndex < 0 ||
        *currentEntryIndex >= static_cast<std::int64_t>(playlist.allEntries.size()))
        return std::nullopt;
    return static_cast<std::size_t>(*currentEntryIndex);
}

void AppState::restore(PlaylistEntry& entry) const {
    if (currentTimeRangeSet) {
        entry.currentTimeRangeSet = currentTimeRangeSet;
        // A run killed while the song played never logged it; one that quit did, and said so.
        entry.listeningLogged = currentListeningLogged.value_or(true);
    }
    if (zeros) entry.zeros = *zeros;
}

std::string appStateDirectory() {
    std::string folder;
    {
        AppStateLocation& location = appStateLocation();
        std::lock_guard lock(location.mutex);
        folder = location.overrideFolder.value_or(appStateDefaultFolder());
    }
    if (!platform::createDirectory(folder)) reportAppStateFailure("can't create folder " + folder);
    return folder;
}

platform::Url appStateFileURL() {
    AppStateLocation& location = appStateLocation();
    {
        std::lock_guard lock(location.mutex);
        if (location.fileURL) return *location.fileURL;
    }
    platform::Url file = platform::Url::fileURLWithPath(appStateDirectory() + "/state.plist", false);
    std::lock_guard lock(location.mutex);
    if (!location.fileURL) location.fileURL = file;
    return *location.fileURL;
}

void setAppStateDirectory(std::optional<std::string> folder) {
    AppStateLocation& location = appStateLocation();
    std::lock_guard lock(location.mutex);
    location.overrideFolder = std::move(folder);
    location.fileURL.reset();
    location.failureReported = false;
}

platform::Result<AppState> readAppState(const platform::Url& file) {
    platform::Result<platform::Bytes> bytes = platform::readFile(file.path(), appStateFileSizeLimit);
    if (!bytes) return bytes.error();
    return platform::decodePlist<AppState>(*bytes);
}

void writeAppState(const AppState& state, const platform::Url& file) {
    if (!state.playlistURL) {
        // Only the file the program wrote goes: whatever else has taken its name is left as it is.
        const platform::Result<void> removed = platform::removeItem(file.path());
        if (!removed && removed.error().code != ENOENT && removed.error().code != ENOTDIR)
            reportAppStateFailure(removed.error().message);
        return;
    }
    platform::Result<platform::Bytes> bytes = platform::encodePlist(state);
    if (!bytes || !platform::writeFileAtomically(file.path(), *bytes)) {
        reportAppStateFailure("can't save " + file.absoluteString());
        return;
    }
    appStateLocation().failureReported = false;
}

} // namespace vantle
