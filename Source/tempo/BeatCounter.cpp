#include "Source/tempo/BeatCounter.h"

#include <algorithm>

namespace vantle {

namespace {

// Counts 1-based within a cycle of `length`, a negative offset counting back from its end.
int cyclePlace(long long offset, int length) {
    const long long place = ((offset % length) + length) % length;
    return static_cast<int>(place) + 1;
}

} // namespace

std::optional<BeatPosition> beatPositionAt(const SongTempo& tempo, double seconds) {
    const std::vector<double>& beats = tempo.beats;
    if (beats.empty() || seconds < beats.front()) return std::nullopt;
    const auto after = std::upper_bound(beats.begin(), beats.end(), seconds);
    const auto index = static_cast<long long>(after - beats.begin()) - 1;
    if (after == beats.end() && beats.size() > 1) {
        const double spacing = beats.back() - beats[beats.size() - 2];
        if (seconds > beats.back() + spacing) return std::nullopt;
    }
    const int meter = std::max(1, tempo.beatsPerBar);
    // The first bar line as a beat index; without one the first beat starts the bars.
    long long first = 0;
    if (!tempo.downbeats.empty())
        first = std::lower_bound(beats.begin(), beats.end(), tempo.downbeats.front() - 1e-6) - beats.begin();
    const long long fromFirst = index - first;
    BeatPosition position;
    // Bars as the grid has them: a bar the analysis found shorter or longer is counted as it is heard.
    const auto& bars = tempo.downbeats;
    const auto barsBegun = std::upper_bound(bars.begin(), bars.end(), beats[index] + 1e-6) - bars.begin();
    if (barsBegun == 0) {
        position.bar = 0;
        position.beat = cyclePlace(fromFirst, meter);
    } else {
        const long long barStart =
            std::lower_bound(beats.begin(), beats.end(), bars[barsBegun - 1] - 1e-6) - beats.begin();
        position.bar = static_cast<int>(barsBegun);
        position.beat = static_cast<int>(index - barStart) + 1;
    }
    position.phraseBeat = cyclePlace(fromFirst, beatsPerPhrase);
    position.sequenceBeat = cyclePlace(fromFirst, beatsPerSequence);
    return position;
}

std::string barBeatText(const std::optional<BeatPosition>& position) {
    if (!position) return "\u2013";
    return std::to_string(position->bar) + "." + std::to_string(position->beat);
}

std::string phraseText(const std::optional<BeatPosition>& position) {
    if (!position) return {};
    return std::to_string(position->phraseBeat) + "/8  " + std::to_string(position->sequenceBeat) + "/64";
}

} // namespace vantle
