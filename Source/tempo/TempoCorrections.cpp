#include "Source/tempo/TempoCorrections.h"

#include <algorithm>
#include <cmath>

namespace vantle {

namespace {

// The time at a fractional beat index, straight between the two heard beats around it.
double timeAtBeatIndex(const std::vector<double>& beats, double index) {
    const auto lower = static_cast<std::size_t>(std::floor(index));
    if (lower + 1 >= beats.size()) return beats.back();
    const double fraction = index - static_cast<double>(lower);
    return beats[lower] + fraction * (beats[lower + 1] - beats[lower]);
}

// The index of the beat nearest to a time.
std::size_t nearestBeat(const std::vector<double>& beats, double time) {
    const auto after = std::lower_bound(beats.begin(), beats.end(), time);
    if (after == beats.begin()) return 0;
    if (after == beats.end()) return beats.size() - 1;
    const auto before = after - 1;
    return static_cast<std::size_t>((time - *before <= *after - time ? before : after) - beats.begin());
}

// Bar lines every beatsPerBar beats, counted both ways from the beat at `first`.
std::vector<double> barLinesFrom(const std::vector<double>& beats, std::size_t first, int beatsPerBar) {
    std::vector<double> downbeats;
    const std::size_t meter = static_cast<std::size_t>(std::max(1, beatsPerBar));
    for (std::size_t i = first % meter; i < beats.size(); i += meter)
        downbeats.push_back(beats[i]);
    return downbeats;
}

double medianBeatsPerMinute(const std::vector<double>& beats) {
    std::vector<double> spacings;
    for (std::size_t i = 1; i < beats.size(); ++i)
        spacings.push_back(beats[i] - beats[i - 1]);
    if (spacings.empty()) return 0;
    std::nth_element(spacings.begin(), spacings.begin() + spacings.size() / 2, spacings.end());
    const double spacing = spacings[spacings.size() / 2];
    return spacing > 0 ? 60.0 / spacing : 0;
}

SongTempo correctedGrid(std::vector<double> beats, std::size_t firstBar, int beatsPerBar) {
    SongTempo grid;
    grid.beatsPerBar = beatsPerBar;
    grid.downbeats = barLinesFrom(beats, firstBar, beatsPerBar);
    grid.bpm = medianBeatsPerMinute(beats);
    grid.beats = std::move(beats);
    grid.sure = true;
    grid.corrected = true;
    return grid;
}

} // namespace

double tempoFactorValue(TempoFactor factor) {
    switch (factor) {
    case TempoFactor::half:
        return 0.5;
    case TempoFactor::twice:
        return 2.0;
    case TempoFactor::twoThirds:
        return 2.0 / 3.0;
    case TempoFactor::threeHalves:
        return 1.5;
    }
    return 1.0;
}

std::optional<SongTempo> scaledTempo(const SongTempo& tempo, TempoFactor factor) {
    const std::vector<double>& beats = tempo.beats;
    if (beats.size() < 2) return std::nullopt;
    // The new beats sit at every (1 / factor)-th heard beat, counted from the first bar line.
    const double step = 1.0 / tempoFactorValue(factor);
    const double anchor =
        static_cast<double>(tempo.downbeats.empty() ? 0 : nearestBeat(beats, tempo.downbeats.front()));
    const double last = static_cast<double>(beats.size() - 1);
    const auto before = static_cast<long long>(std::floor(anchor / step + 1e-9));
    std::vector<double> scaled;
    for (long long k = -before; anchor + static_cast<double>(k) * step <= last + 1e-9; ++k)
        scaled.push_back(timeAtBeatIndex(beats, anchor + static_cast<double>(k) * step));
    const auto firstBar = static_cast<std::size_t>(before);
    if (scaled.size() < 2) return std::nullopt;
    return correctedGrid(std::move(scaled), firstBar, tempo.beatsPerBar);
}

std::optional<SongTempo> shiftedBarLines(const SongTempo& tempo, int beats) {
    if (tempo.beats.empty()) return std::nullopt;
    const std::size_t meter = static_cast<std::size_t>(std::max(1, tempo.beatsPerBar));
    const std::size_t first = tempo.downbeats.empty() ? 0 : nearestBeat(tempo.beats, tempo.downbeats.front());
    const auto shift = static_cast<long long>(beats % static_cast<int>(meter) + static_cast<int>(meter));
    const std::size_t moved = (first + static_cast<std::size_t>(shift)) % meter;
    SongTempo corrected = correctedGrid(tempo.beats, moved, tempo.beatsPerBar);
    corrected.bpm = tempo.bpm;
    return corrected;
}

std::optional<SongTempo> tappedTempo(const std::vector<double>& taps, int beatsPerBar, double duration) {
    if (taps.size() < static_cast<std::size_t>(minimumTaps)) return std::nullopt;
    // Least squares of tap time against tap number: the spacing is the slope, the phase the intercept.
    const double n = static_cast<double>(taps.size());
    double sumI = 0, sumT = 0, sumII = 0, sumIT = 0;
    for (std::size_t i = 0; i < taps.size(); ++i) {
        const double x = static_cast<double>(i);
        sumI += x;
        sumT += taps[i];
        sumII += x * x;
        sumIT += x * taps[i];
    }
    const double spacing = (n * sumIT - sumI * sumT) / (n * sumII - sumI * sumI);
    if (!std::isfinite(spacing) || spacing < 60.0 / 300 || spacing > 60.0 / 30) return std::nullopt;
    const double firstTap = (sumT - spacing * sumI) / n;
    const double start = firstTap - std::floor(firstTap / spacing) * spacing;
    std::vector<double> beats;
    for (double time = start; time <= std::max(duration, taps.back()); time += spacing)
        beats.push_back(time);
    const auto firstBar = static_cast<std::size_t>(std::lround((firstTap - start) / spacing));
    SongTempo grid = correctedGrid(std::move(beats), firstBar, beatsPerBar);
    grid.bpm = 60.0 / spacing;
    return grid;
}

} // namespace vantle
