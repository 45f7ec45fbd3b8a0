#include "BarFinding.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <numeric>

namespace vantle {

namespace {

// What leaving the count costs in the bar path, against one deviation of evidence a beat.
constexpr double countBreak = 20.0;
// How much more clearly one meter must show than the other to be sure of it.
constexpr double meterMargin = 1.5;
// In four, the bass and kick mark 1 and 3 alike: the whole band striking 1 harder (a new chord, a
// crash) breaks the tie. In two and three the loud beat is as often the after-beat's chord ("oom-pah").
constexpr double loudWeightInFour = 1.0;

void standardise(std::vector<double>& values) {
    if (values.empty()) return;
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
    double spread = 0;
    for (const double value : values)
        spread += (value - mean) * (value - mean);
    spread = std::sqrt(spread / double(values.size()));
    for (double& value : values)
        value = spread > 0 ? (value - mean) / spread : 0;
}

std::array<double, 12> meanChroma(const OnsetFrames& frames, double from, double to) {
    std::array<double, 12> sum{};
    const auto first = std::size_t(std::max(0.0, std::round(from)));
    const auto last = std::min(frames.size(), std::size_t(std::max(0.0, std::round(to))));
    for (std::size_t n = first; n < last; ++n) {
        for (std::size_t pitch = 0; pitch < 12; ++pitch)
            sum[pitch] += frames.chroma[n][pitch];
    }
    return sum;
}

double chromaDistance(const std::array<double, 12>& a, const std::array<double, 12>& b) {
    double dot = 0, aa = 0, bb = 0;
    for (std::size_t pitch = 0; pitch < 12; ++pitch) {
        dot += a[pitch] * b[pitch];
        aa += a[pitch] * a[pitch];
        bb += b[pitch] * b[pitch];
    }
    return aa > 0 && bb > 0 ? 1 - dot / std::sqrt(aa * bb) : 0;
}

struct CountedBars {
    std::vector<std::size_t> downbeats;
    // Mean evidence on the downbeats less that on the other beats.
    double contrast = 0;
};

// The most likely count through the beats (position in the bar of each), by Viterbi: the count goes on
// a beat at a time unless the evidence pays for a break.
CountedBars countBars(const std::vector<double>& evidence, int beatsPerBar) {
    CountedBars bars;
    const auto positions = std::size_t(beatsPerBar);
    const std::size_t count = evidence.size();
    if (count == 0 || positions < 2) return bars;
    std::vector<double> score(positions, 0.0), next(positions);
    std::vector<std::vector<std::uint8_t>> from(count, std::vector<std::uint8_t>(positions, 0));
    const auto emission = [&](std::size_t beat, std::size_t position) {
        return position == 0 ? evidence[beat] : -evidence[beat] / double(positions - 1);
    };
    for (std::size_t position = 0; position < positions; ++position)
        score[position] = emission(0, position);
    for (std::size_t beat = 1; beat < count; ++beat) {
        const auto best = std::size_t(std::max_element(score.begin(), score.end()) - score.begin());
        for (std::size_t position = 0; position < positions; ++position) {
            const std::size_t counted = (position + positions - 1) % positions;
            const bool breakPays = score[best] - countBreak > score[counted];
            from[beat][position] = std::uint8_t(breakPays ? best : counted);
            next[position] =
                (breakPays ? score[best] - countBreak : score[counted]) + emission(beat, position);
        }
        score.swap(next);
    }
    std::vector<std::size_t> path(count);
    path[count - 1] = std::size_t(std::max_element(score.begin(), score.end()) - score.begin());
    for (std::size_t beat = count - 1; beat > 0; --beat)
        path[beat - 1] = from[beat][path[beat]];
    double on = 0, off = 0;
    for (std::size_t beat = 0; beat < count; ++beat) {
        if (path[beat] == 0) {
            bars.downbeats.push_back(beat);
            on += evidence[beat];
        } else {
            off += evidence[beat];
        }
    }
    const std::size_t offCount = count - bars.downbeats.size();
    bars.contrast = (bars.downbeats.empty() ? 0 : on / double(bars.downbeats.size())) -
                    (offCount == 0 ? 0 : off / double(offCount));
    return bars;
}

// How strongly each beat sounds like the start of a bar of `beatsPerBar`, in deviations from the song's
// usual beat: a bass note or low drum on it, and the harmony of the bar after it unlike that of the bar
// before (a whole bar each, so that an after-beat's chord entering over the bass tells no bar line).
std::vector<double> barStartEvidence(const std::vector<double>& beats, const OnsetFrames& frames,
                                     const std::vector<float>& bassOnsets, const std::vector<float>& onsets,
                                     int beatsPerBar) {
    const std::size_t count = beats.size();
    const auto span = std::size_t(beatsPerBar);
    std::vector<double> bass(count, 0.0), loud(count, 0.0), change(count, 0.0);
    // A bass note or drum may sound a little off the beat the whole band makes.
    const auto reach = std::ptrdiff_t(std::lround(0.035 * frames.frameRate));
    for (std::size_t i = 0; i < count; ++i) {
        const auto frame = std::ptrdiff_t(std::lround(beats[i]));
        for (std::ptrdiff_t n = std::max<std::ptrdiff_t>(0, frame - reach);
             n <= frame + reach && n < std::ptrdiff_t(bassOnsets.size()); ++n) {
            bass[i] = std::max(bass[i], double(bassOnsets[std::size_t(n)]));
            loud[i] = std::max(loud[i], double(onsets[std::size_t(n)]));
        }
        if (i < span || i + span >= count) continue;
        change[i] = chromaDistance(meanChroma(frames, beats[i - span], beats[i]),
                                   meanChroma(frames, beats[i], beats[i + span]));
    }
    standardise(bass);
    standardise(change);
    standardise(loud);
    std::vector<double> evidence(count);
    for (std::size_t i = 0; i < count; ++i)
        evidence[i] = bass[i] + change[i] + (beatsPerBar == 4 ? loudWeightInFour : 0.0) * loud[i];
    return evidence;
}

} // namespace

BarGrid findBars(const std::vector<double>& beats, const OnsetFrames& frames,
                 const std::vector<float>& bassOnsets, const std::vector<float>& onsets,
                 std::optional<int> beatsPerBar) {
    const auto counted = [&](int meter) {
        return countBars(barStartEvidence(beats, frames, bassOnsets, onsets, meter), meter);
    };
    BarGrid grid;
    if (beatsPerBar) {
        grid.beatsPerBar = *beatsPerBar;
        grid.downbeats = counted(*beatsPerBar).downbeats;
        grid.sure = true;
        return grid;
    }
    // A duple bar shows as 2 or 4 alike; without a dance, 4 is the usual count of such music.
    CountedBars triple = counted(3);
    CountedBars duple = counted(4);
    const double dupleContrast = std::max(duple.contrast, counted(2).contrast);
    if (triple.contrast > dupleContrast) {
        grid.beatsPerBar = 3;
        grid.downbeats = std::move(triple.downbeats);
        grid.sure = triple.contrast > meterMargin * std::max(0.0, dupleContrast);
    } else {
        grid.beatsPerBar = 4;
        grid.downbeats = std::move(duple.downbeats);
        grid.sure = dupleContrast > meterMargin * std::max(0.0, triple.contrast);
    }
    return grid;
}

} // namespace vantle
