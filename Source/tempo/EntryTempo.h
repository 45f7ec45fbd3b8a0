#pragma once
// What a playlist entry keeps of its tempo: the dance chosen for it, its own target, and its beat grid
// with the file stamp it was found at. Stored with the entry under keys older readers pass over. Main
// thread, as the entry.

#include "Source/tempo/SongTempo.h"
#include "platform/foundation/KeyedCoding.h"

#include <cstdint>
#include <optional>

namespace vantle {

class DanceTable;

struct EntryTempo {
    // The most beats a stored grid holds (ten hours at 300 beats per minute); a longer one is not read.
    static constexpr std::size_t maximumBeats = 180000;

    // Chosen in the entry menu (none included); nullopt: the dance the song's tags name.
    std::optional<Dance> chosenDance;
    // The song's own target in beats per minute; it goes before its dance's.
    std::optional<double> targetBeatsPerMinute;
    // Analysed or corrected; nullopt while unknown.
    std::optional<SongTempo> tempo;
    // The file's size and modification time the grid was found at: another file is analysed again.
    std::uint64_t fileSize = 0;
    std::int64_t fileModified = 0;
    // The dance the analysis was told of: another dance is analysed again.
    Dance analysedFor = Dance::none;

    EntryTempo() = default;
    // Lenient: a value that does not read is left out; a grid that is not ascending is dropped whole.
    explicit EntryTempo(const platform::KeyedDecoder& decoder);
    void encode(platform::KeyedEncoder& encoder) const;
    bool empty() const { return !chosenDance && !targetBeatsPerMinute && !tempo; }

    // The song's dance: the chosen one, else the one its tags name in the table.
    Dance dance(const DanceTable& table, std::string_view tags) const;
    // The grid is of this file as it is now.
    bool analysedAt(std::uint64_t size, std::int64_t modified) const {
        return tempo && fileSize == size && fileModified == modified;
    }
};

} // namespace vantle
