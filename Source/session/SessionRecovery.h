#pragma once
// What a crash would lose of the open session's document: the list's order and the songs' keys changed
// since it was last read or written. Kept in the recovery file beside the state file while the
// changes are unsaved, offered back at the next start. Main thread, but for the file functions (any
// thread).

#include "platform/foundation/KeyedCoding.h"
#include "platform/foundation/Result.h"
#include "platform/foundation/Url.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantle {

class Playlist;

class SessionRecovery {
public:
    // A song whose key is not the one its document holds.
    struct KeyChange {
        platform::Url file;
        std::int64_t keyShift = 0;
        void encode(platform::KeyedEncoder& encoder) const;
        static KeyChange decode(const platform::KeyedDecoder& decoder);
        bool operator==(const KeyChange&) const = default;
    };

    // The document the changes were made to; none for a session never saved.
    std::optional<platform::Url> playlistURL;
    // Every entry's file in list order, when entries were added, removed or moved.
    std::optional<std::vector<platform::Url>> order;
    std::vector<KeyChange> keys;

    bool operator==(const SessionRecovery&) const = default;

    // The playlist's unsaved order and keys, against what it last read or wrote; none when neither
    // changed (other unsaved changes are not kept here).
    static std::optional<SessionRecovery> capture(const Playlist& playlist,
                                                  const std::optional<platform::Url>& sessionURL);
    // Lays the changes over the document: the order (a file no longer listed is added as a new entry
    // where it stood, one that cannot be opened is left out) and the keys. The document is then
    // marked as changed. Returns how many files of the order could not be listed again.
    std::size_t apply(Playlist& playlist) const;

    void encode(platform::KeyedEncoder& encoder) const;
    static SessionRecovery decode(const platform::KeyedDecoder& decoder);
};

// "recovery.plist" in the state folder.
platform::Url sessionRecoveryFileURL();
// Where a killed run's changes to the session at `session` wait until it is opened again, so that the
// changes of whatever session is open meanwhile never write over them: "recovery-" and a digest of its
// path, in the state folder.
platform::Url waitingRecoveryFileURL(const platform::Url& session);
// Far more than the order of a list of 100,000 songs takes: a larger file is no recovery file, and is
// not read into memory at the start.
inline constexpr std::uint64_t sessionRecoveryFileSizeLimit = std::uint64_t(64) << 20;
// A missing, truncated, malformed or larger file gives an error.
platform::Result<SessionRecovery> readSessionRecovery(const platform::Url& file = sessionRecoveryFileURL());

} // namespace vantle
