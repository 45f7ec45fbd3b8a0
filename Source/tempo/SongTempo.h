#pragma once
// A song's tempo, meter and beat grid, and the dances a teacher tags songs with. Plain values: any
// thread may hold them; the analysis fills them on a worker, the window reads and corrects them.

#include <optional>
#include <string_view>
#include <vector>

namespace vantle {

// Times are in the song file's own seconds, never in heard (stretched) time.
struct SongTempo {
    double bpm = 0;                // the median spacing of the beats, as beats per minute
    int beatsPerBar = 4;           // 2, 3 or 4
    std::vector<double> beats;     // every beat as heard in the recording, drift kept
    std::vector<double> downbeats; // the beats that start bars, a subset of beats
    bool sure = false;             // false where the evidence did not decide: shown as "?"
    bool corrected = false;        // set by the user's hand: analysis never replaces it

    double barsPerMinute() const { return beatsPerBar > 0 ? bpm / beatsPerBar : 0; }
    bool operator==(const SongTempo&) const = default;
};

enum class Dance {
    none,
    waltz,
    vienneseWaltz,
    tango,
    foxtrot,
    quickstep,
    samba,
    chaCha,
    rumba,
    pasoDoble,
    jive,
    polka,
    westCoastSwing,
    squareDance,
};

// A dance's meter and its tempo band in bars per minute (the usual competition bands by default).
struct DanceBand {
    int beatsPerBar = 4;
    double lowBarsPerMinute = 0;
    double highBarsPerMinute = 0;
    bool operator==(const DanceBand&) const = default;
};

// The dances in menu order, none first.
const std::vector<Dance>& allDances();
// "waltz", "viennese-waltz", … "square-dance"; "none" for Dance::none. Stored in sessions and tags.
std::string_view danceKey(Dance dance);
// Reads a key as stored or typed in a tag: case, spaces, '-' and '_' do not matter ("Cha Cha" is
// cha-cha); nullopt for anything that names no dance.
std::optional<Dance> danceFromKey(std::string_view key);
// The default band of a dance; none has no band (beatsPerBar 0).
DanceBand defaultBand(Dance dance);

} // namespace vantle
