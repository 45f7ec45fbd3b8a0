#pragma once
// The teacher's dance table: each dance's meter, tempo band, target tempo and the tag that marks its
// songs. A plain value; the window keeps one in the user defaults. Main thread.

#include "Source/tempo/SongTempo.h"
#include "platform/foundation/PlistValue.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vantle {

struct DanceSettings {
    DanceBand band;
    // Bars per minute every song of the dance is played at; none: the speed is the teacher's.
    std::optional<double> target;
    // The tag character that marks a song as of this dance; empty: none.
    std::string tag;
    bool operator==(const DanceSettings&) const = default;
};

class DanceTable {
public:
    // The key under which the table is kept in the user defaults.
    static constexpr std::string_view defaultsKey = "DanceTable";
    // Tempos a table holds, bars per minute; anything else read is left at its default.
    static constexpr double slowestBarsPerMinute = 5, fastestBarsPerMinute = 200;

    // The usual competition bands, no targets, no tags.
    DanceTable() = default;

    // Dance::none has no band, target or tag.
    DanceSettings settings(Dance dance) const;
    // Values out of range are left as they were: a meter other than 2, 3 or 4, a band not within the
    // limits above, a target outside them, a tag of more than one character. A tag given to one dance is
    // taken from any other that had it, so a song's tag names one dance.
    void set(Dance dance, const DanceSettings& settings);

    // The dance a song's tags name: the first in menu order whose tag the song carries; none without.
    Dance danceForTags(std::string_view tags) const;

    // A dictionary by dance key of the rows that differ from the defaults.
    platform::PlistValue encoded() const;
    // Lenient, row by row and value by value: whatever does not read keeps its default.
    static DanceTable decoded(const platform::PlistValue& value);

    bool operator==(const DanceTable&) const = default;

private:
    // Only the rows changed from the defaults.
    std::map<Dance, DanceSettings> changed_;
};

} // namespace vantle
