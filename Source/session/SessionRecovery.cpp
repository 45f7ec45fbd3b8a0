#include "Source/session/SessionRecovery.h"

#include "Source/session/AppState.h"
#include "Source/session/Playlist.h"
#include "Source/session/PlaylistEntry.h"
#include "Source/session/UrlCoding.h"
#include "platform/foundation/Files.h"
#include "platform/foundation/PropertyList.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace vantle {

void SessionRecovery::KeyChange::encode(platform::KeyedEncoder& encoder) const {
    encoder.encode("file", file);
    encoder.encode("keyShift", keyShift);
}

SessionRecovery::KeyChange SessionRecovery::KeyChange::decode(const platform::KeyedDecoder& decoder) {
    return KeyChange{decoder.decode<platform::Url>("file"), decoder.decode<std::int64_t>("keyShift")};
}

void SessionRecovery::encode(platform::KeyedEncoder& encoder) const {
    encoder.encodeIfPresent("playlistURL", playlistURL);
    encoder.encodeIfPresent("order", order);
    encoder.encode("keys", keys);
}

SessionRecovery SessionRecovery::decode(const platform::KeyedDecoder& decoder) {
    SessionRecovery recovery;
    recovery.playlistURL = decoder.decodeIfPresent<platform::Url>("playlistURL");
    recovery.order = decoder.decodeIfPresent<std::vector<platform::Url>>("order");
    recovery.keys = decoder.decode<std::vector<KeyChange>>("keys");
    return recovery;
}

std::optional<SessionRecovery> SessionRecovery::capture(const Playlist& playlist,
                                                        const std::optional<platform::Url>& sessionURL) {
    if (!playlist.dirty) return std::nullopt;
    const Playlist::SavedLayout& saved = playlist.savedLayout;
    SessionRecovery recovery;
    recovery.playlistURL = sessionURL;
    const Playlist::EntryList& entries = playlist.allEntries;
    const auto keyOf = [](const std::shared_ptr<PlaylistEntry>& entry) {
        return entry ? entry->keyShift : 0;
    };
    if (entries == saved.entries) {
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i] && keyOf(entries[i]) != saved.keyShifts[i])
                recovery.keys.push_back({entries[i]->_url, entries[i]->keyShift});
    } else {
        std::unordered_map<const PlaylistEntry*, int> savedKeys;
        savedKeys.reserve(saved.entries.size());
        for (std::size_t i = 0; i < saved.entries.size(); ++i)
            savedKeys.emplace(saved.entries[i].get(), saved.keyShifts[i]);
        auto& order = recovery.order.emplace();
        order.reserve(entries.size());
        for (const std::shared_ptr<PlaylistEntry>& entry : entries) {
            if (!entry) continue;
            order.push_back(entry->_url);
            const auto found = savedKeys.find(entry.get());
            if (entry->keyShift != (found == savedKeys.end() ? 0 : found->second))
                recovery.keys.push_back({entry->_url, entry->keyShift});
        }
    }
    if (!recovery.order && recovery.keys.empty()) return std::nullopt;
    return recovery;
}

std::size_t SessionRecovery::apply(Playlist& playlist) const {
    std::size_t missing = 0;
    if (order) {
        const std::unordered_set<platform::Url> kept(order->begin(), order->end());
        std::erase_if(playlist.allEntries,
                      [&](const auto& entry) { return !entry || !kept.count(entry->_url); });
        // Each file in turn goes to the end: the list ends in the recovered order.
        playlist.insertEntries(*order);
        const std::unordered_set<platform::Url> listed = [&] {
            std::unordered_set<platform::Url> files;
            for (const auto& entry : playlist.allEntries)
                if (entry) files.insert(entry->_url);
            return files;
        }();
        for (const platform::Url& file : kept)
            missing += listed.count(file) == 0;
        if (playlist.assignedEntry && std::find(playlist.allEntries.begin(), playlist.allEntries.end(),
                                                playlist.assignedEntry) == playlist.allEntries.end())
            playlist.assignedEntry.reset();
    }
    if (!keys.empty()) {
        std::unordered_map<platform::Url, PlaylistEntry*> byFile;
        for (const auto& entry : playlist.allEntries)
            if (entry) byFile.emplace(entry->_url, entry.get());
        for (const KeyChange& change : keys) {
            const auto found = byFile.find(change.file);
            if (found == byFile.end()) continue;
            found->second->keyShift = static_cast<int>(std::clamp<std::int64_t>(
                change.keyShift, -PlaylistEntry::keyShiftLimit, PlaylistEntry::keyShiftLimit));
        }
    }
    playlist.dirty = true;
    return missing;
}

platform::Url sessionRecoveryFileURL() {
    return platform::Url::fileURLWithPath(appStateDirectory() + "/recovery.plist", false);
}

platform::Url waitingRecoveryFileURL(const platform::Url& session) {
    // FNV-1a: the same digest in every run and build.
    std::uint64_t digest = 0xcbf29ce484222325u;
    for (const char c : session.path())
        digest = (digest ^ static_cast<unsigned char>(c)) * 0x100000001b3u;
    static constexpr char hex[] = "0123456789abcdef";
    std::string name = "/recovery-";
    for (int shift = 60; shift >= 0; shift -= 4)
        name += hex[(digest >> shift) & 0xf];
    return platform::Url::fileURLWithPath(appStateDirectory() + name + ".plist", false);
}

platform::Result<SessionRecovery> readSessionRecovery(const platform::Url& file) {
    platform::Result<platform::Bytes> bytes = platform::readFile(file.path(), sessionRecoveryFileSizeLimit);
    if (!bytes) return bytes.error();
    return platform::decodePlist<SessionRecovery>(*bytes);
}

} // namespace vantle
