#include "Source/tempo/TempoText.h"

#include "Source/tempo/DanceTable.h"
#include "Source/tempo/EntryTempo.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vantle {

std::optional<double> shownTempo(const std::optional<SongTempo>& tempo, Dance dance) {
    if (!tempo || !tempo->sure || !(tempo->bpm > 0)) return std::nullopt;
    return dance == Dance::none ? tempo->bpm : tempo->barsPerMinute();
}

std::string tempoText(std::optional<double> shown, Dance dance) {
    if (!shown) return "?";
    char text[32];
    if (dance == Dance::none)
        std::snprintf(text, sizeof text, "%.0f BPM", *shown);
    else
        std::snprintf(text, sizeof text, "%.1f MPM", *shown);
    return text;
}

bool tempoColumnOrder(std::optional<double> a, std::optional<double> b) {
    if (!a || !b) return a && !b;
    return *a < *b;
}

int beatsPerShownUnit(const EntryTempo& entry, Dance dance, const DanceTable& table) {
    if (dance == Dance::none) return 1;
    return std::max(1, entry.tempo ? entry.tempo->beatsPerBar : table.settings(dance).band.beatsPerBar);
}

std::optional<double> targetTempo(const EntryTempo& entry, Dance dance, const DanceTable& table) {
    if (entry.targetBeatsPerMinute)
        return *entry.targetBeatsPerMinute / beatsPerShownUnit(entry, dance, table);
    return table.settings(dance).target;
}

std::optional<double> targetRate(const EntryTempo& entry, Dance dance, const DanceTable& table,
                                 double minimumRate, double maximumRate) {
    const std::optional<double> target = targetTempo(entry, dance, table);
    const std::optional<double> shown = shownTempo(entry.tempo, dance);
    if (!target || !shown) return std::nullopt;
    return std::clamp(*target / *shown, minimumRate, maximumRate);
}

} // namespace vantle
