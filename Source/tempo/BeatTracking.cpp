#include "BeatTracking.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numeric>

namespace vantle {

namespace {

constexpr double slowestBpm = 30;
constexpr double fastestBpm = 320;
// How many multiples of a period its strength sums: the beat repeats at every one of them.
constexpr int pulseMultiples = 4;
// How far the beat may stray from its period between two beats, and how dearly (a log-ratio cost).
constexpr double shortestStep = 0.67;
constexpr double longestStep = 1.5;
constexpr double tightness = 100;
// How much more strongly a fast pulse must repeat than its half to be the beat.
constexpr double fasterClearly = 1.1;
// How much more strongly a pulse at 3/4 of the tempo a listener taps must repeat to be the beat's level.
constexpr double crossedBy = 1.05;

double bpmOf(double period, double frameRate) {
    return 60.0 * frameRate / period;
}

// The value between whole frames, by straight lines; 0 outside.
double at(const std::vector<double>& values, double index) {
    if (index < 0 || index > double(values.size() - 1)) return 0;
    const auto whole = std::size_t(index);
    const double part = index - double(whole);
    if (whole + 1 >= values.size()) return values[whole];
    return values[whole] * (1 - part) + values[whole + 1] * part;
}

// Where the peak around a local maximum lies, between its neighbours (a parabola through the three).
template <typename Values> double peakOffset(const Values& values, std::size_t index) {
    if (index == 0 || index + 1 >= values.size()) return 0;
    const double left = values[index - 1], middle = values[index], right = values[index + 1];
    const double curve = left - 2 * middle + right;
    if (curve >= 0) return 0;
    return std::clamp(0.5 * (left - right) / curve, -0.5, 0.5);
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// How far a tempo lies outside a band, as a ratio's logarithm: 0 inside.
double distanceFromBand(double bpm, double low, double high) {
    if (bpm < low) return std::log(low / bpm);
    if (bpm > high) return std::log(bpm / high);
    return 0;
}

// The strongest onset within two frames of a time: what a listener hears as landing on it.
double loudestNear(const std::vector<float>& onsets, double frame) {
    const auto centre = std::ptrdiff_t(std::lround(frame));
    float loudest = 0;
    for (std::ptrdiff_t n = std::max<std::ptrdiff_t>(0, centre - 2);
         n <= centre + 2 && n < std::ptrdiff_t(onsets.size()); ++n)
        loudest = std::max(loudest, onsets[std::size_t(n)]);
    return loudest;
}

} // namespace

std::vector<float> normalisedOnsets(const std::vector<float>& flux, double frameRate) {
    const std::size_t count = flux.size();
    std::vector<double> sums(count + 1, 0.0);
    for (std::size_t n = 0; n < count; ++n)
        sums[n + 1] = sums[n] + flux[n];
    const auto reach = std::size_t(std::lround(0.4 * frameRate));
    std::vector<float> onsets(count, 0.0f);
    double energy = 0;
    for (std::size_t n = 0; n < count; ++n) {
        const std::size_t from = n > reach ? n - reach : 0, to = std::min(count, n + reach + 1);
        const double mean = (sums[to] - sums[from]) / double(to - from);
        onsets[n] = float(std::max(0.0, flux[n] - mean));
        energy += double(onsets[n]) * onsets[n];
    }
    const double deviation = count > 0 ? std::sqrt(energy / double(count)) : 0;
    if (deviation <= 0) return onsets;
    for (float& value : onsets)
        value = float(value / deviation);
    return onsets;
}

std::vector<Pulse> pulsesOf(const std::vector<float>& onsets, double frameRate) {
    const double shortest = 60.0 * frameRate / fastestBpm, longest = 60.0 * frameRate / slowestBpm;
    const auto lags = std::size_t(std::ceil(longest * pulseMultiples)) + 2;
    const std::size_t count = onsets.size();
    if (count < 2 * lags / pulseMultiples) return {};
    // Each lag's correlation is scaled by the energy of the very frames it compares, so that the
    // silence before and after a song does not favour one lag over another.
    std::vector<double> energy(count + 1, 0.0);
    for (std::size_t n = 0; n < count; ++n)
        energy[n + 1] = energy[n] + double(onsets[n]) * onsets[n];
    std::vector<double> correlation(std::min(lags, count), 0.0);
    for (std::size_t lag = 0; lag < correlation.size(); ++lag) {
        double sum = 0;
        for (std::size_t n = 0; n + lag < count; ++n)
            sum += double(onsets[n]) * onsets[n + lag];
        const double scale = std::sqrt((energy[count - lag] - energy[0]) * (energy[count] - energy[lag]));
        correlation[lag] = scale > 0 ? sum / scale : 0;
    }
    if (correlation.empty() || correlation[0] <= 0) return {};

    constexpr double step = 0.1;
    std::vector<double> strengths;
    for (double period = shortest; period <= longest; period += step) {
        double sum = 0;
        for (int multiple = 1; multiple <= pulseMultiples; ++multiple)
            sum += at(correlation, period * multiple);
        strengths.push_back(sum / pulseMultiples);
    }
    std::vector<Pulse> pulses;
    for (std::size_t i = 1; i + 1 < strengths.size(); ++i) {
        if (strengths[i] > 0 && strengths[i] >= strengths[i - 1] && strengths[i] > strengths[i + 1])
            pulses.push_back({shortest + step * (double(i) + peakOffset(strengths, i)), strengths[i]});
    }
    std::sort(pulses.begin(), pulses.end(),
              [](const Pulse& a, const Pulse& b) { return a.strength > b.strength; });
    if (pulses.size() > 16) pulses.resize(16);
    return pulses;
}

BeatPeriod chooseBeatPeriod(const std::vector<Pulse>& pulses, double frameRate,
                            std::optional<DanceBand> band) {
    if (pulses.empty()) return {};
    const double strongest = pulses.front().strength;
    const auto chosen = [&](double period, bool sure) { return BeatPeriod{period, sure, strongest}; };
    // Pulses much weaker than the strongest are echoes of it, not levels of the music.
    const auto considered = [&](const Pulse& pulse) { return pulse.strength >= 0.2 * strongest; };

    if (band && band->beatsPerBar > 0 && band->highBarsPerMinute > 0) {
        const double low = band->lowBarsPerMinute * band->beatsPerBar;
        const double high = band->highBarsPerMinute * band->beatsPerBar;
        // A record a little off its band is still that dance's beat.
        const double slack = std::log(1.12);
        const Pulse* inBand = nullptr;
        const Pulse* nearest = nullptr;
        double nearestDistance = 0;
        for (const Pulse& pulse : pulses) {
            if (!considered(pulse)) continue;
            const double distance = distanceFromBand(bpmOf(pulse.period, frameRate), low, high);
            if (distance <= slack && (inBand == nullptr || pulse.strength > inBand->strength))
                inBand = &pulse;
            if (nearest == nullptr || distance < nearestDistance) {
                nearest = &pulse;
                nearestDistance = distance;
            }
        }
        if (inBand != nullptr) {
            // A pulse in the band that is only a cross-rhythm of a stronger beat (a 4/4 piece's pulse
            // every three half beats, told to be a waltz) is no evidence for the band.
            bool sure = true;
            for (const Pulse& pulse : pulses) {
                const double ratio = pulse.period / inBand->period;
                for (const double related : {1.5, 2.0 / 3, 4.0 / 3, 0.75}) {
                    if (std::abs(std::log(ratio / related)) < 0.05 && pulse.strength > inBand->strength)
                        sure = false;
                }
            }
            return chosen(inBand->period, sure);
        }
        return chosen(nearest->period, false);
    }

    // What a listener taps when nothing says otherwise: near 120 beats per minute.
    const auto score = [&](const Pulse& pulse) {
        const double octaves = std::log2(bpmOf(pulse.period, frameRate) / 120.0);
        return pulse.strength * std::exp(-0.5 * octaves * octaves / (0.6 * 0.6));
    };
    const Pulse& top = pulses.front();
    const Pulse* best = nullptr;
    for (const Pulse& pulse : pulses) {
        if (considered(pulse) && (best == nullptr || score(pulse) > score(*best))) best = &pulse;
    }
    // A fast pulse that repeats more strongly than its half is the beat, though a listener would rather
    // tap the half: the level stays open.
    if (&top != best && std::abs(std::log(best->period / (2 * top.period))) < 0.04 &&
        top.strength > fasterClearly * best->strength)
        return chosen(top.period, false);
    // A pulse a listener taps that a stronger one at 3/4 of its tempo crosses is that one's dotted figure
    // (or a waltz's two bars counted in fours): the beat is a level of the stronger one.
    const Pulse* crossing = nullptr;
    for (const Pulse& pulse : pulses) {
        if (std::abs(std::log(pulse.period / (best->period * 4 / 3))) < 0.03 &&
            pulse.strength > crossedBy * best->strength)
            crossing = &pulse;
    }
    if (crossing != nullptr) {
        const Pulse* level = crossing;
        for (const Pulse& pulse : pulses) {
            const double ratio = pulse.period / crossing->period;
            const bool related = std::abs(std::log(ratio / 2)) < 0.03 || std::abs(std::log(ratio * 2)) < 0.03;
            if (related && considered(pulse) && score(pulse) > score(*level)) level = &pulse;
        }
        return chosen(level->period, false);
    }
    bool sure = true;
    for (const Pulse& pulse : pulses) {
        if (&pulse == best || !considered(pulse)) continue;
        const double ratio = pulse.period / best->period;
        for (const double related : {2.0, 0.5, 3.0, 1.0 / 3, 1.5, 2.0 / 3}) {
            if (std::abs(std::log(ratio / related)) < 0.05 && score(pulse) >= 0.5 * score(*best))
                sure = false;
        }
    }
    return chosen(best->period, sure);
}

std::vector<double> localPeriods(const std::vector<float>& onsets, double period, double frameRate) {
    const std::size_t count = onsets.size();
    const auto window = std::size_t(std::max(8.0 * frameRate, 12 * period));
    const auto hop = std::size_t(std::max(1.0, 2.0 * frameRate));
    const auto shortest = std::size_t(std::floor(period * 0.92)),
               longest = std::size_t(std::ceil(period * 1.09));
    std::vector<double> centres, found;
    for (std::size_t from = 0; from + window <= count || (from == 0 && count > longest); from += hop) {
        const std::size_t to = std::min(count, from + window);
        std::vector<double> correlation(longest + 2, 0.0);
        for (std::size_t lag = shortest - 1; lag <= longest + 1 && lag < to - from; ++lag) {
            for (std::size_t n = from; n + lag < to; ++n)
                correlation[lag] += double(onsets[n]) * onsets[n + lag];
        }
        const auto top = std::max_element(correlation.begin() + std::ptrdiff_t(shortest),
                                          correlation.begin() + std::ptrdiff_t(longest + 1));
        const auto lag = std::size_t(top - correlation.begin());
        centres.push_back(double(from + to) / 2);
        found.push_back(*top > 0 && lag > shortest && lag < longest
                            ? double(lag) + peakOffset(correlation, lag)
                            : period);
        if (to == count) break;
    }
    // A window's peak can be thrown by one odd bar: the drift is what its neighbours agree on.
    std::vector<double> smoothed(found.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        const std::size_t from = i >= 2 ? i - 2 : 0, to = std::min(found.size(), i + 3);
        smoothed[i] = median({found.begin() + std::ptrdiff_t(from), found.begin() + std::ptrdiff_t(to)});
    }
    std::vector<double> periods(count, period);
    if (smoothed.empty()) return periods;
    std::size_t next = 0;
    for (std::size_t n = 0; n < count; ++n) {
        while (next < centres.size() && centres[next] < double(n))
            ++next;
        if (next == 0)
            periods[n] = smoothed.front();
        else if (next == centres.size())
            periods[n] = smoothed.back();
        else {
            const double part = (double(n) - centres[next - 1]) / (centres[next] - centres[next - 1]);
            periods[n] = smoothed[next - 1] * (1 - part) + smoothed[next] * part;
        }
    }
    return periods;
}

std::vector<double> trackBeats(const std::vector<float>& onsets, const std::vector<double>& periods) {
    const std::size_t count = onsets.size();
    if (count == 0) return {};
    std::vector<double> score(count);
    std::vector<std::ptrdiff_t> previous(count, -1);
    for (std::size_t n = 0; n < count; ++n) {
        const double period = periods[n];
        const auto nearest = std::ptrdiff_t(n) - std::ptrdiff_t(std::floor(period * shortestStep));
        const auto farthest = std::ptrdiff_t(n) - std::ptrdiff_t(std::ceil(period * longestStep));
        double best = 0;
        for (std::ptrdiff_t m = std::max<std::ptrdiff_t>(0, farthest); m <= nearest; ++m) {
            const double stretch = std::log(double(std::ptrdiff_t(n) - m) / period);
            const double candidate = score[std::size_t(m)] - tightness * stretch * stretch;
            if (candidate > best) {
                best = candidate;
                previous[n] = m;
            }
        }
        score[n] = onsets[n] + best;
    }
    // The path ends at its best beat within the last period.
    const auto lastStart = std::size_t(std::max(0.0, double(count) - periods.back()));
    auto end = std::ptrdiff_t(std::max_element(score.begin() + std::ptrdiff_t(lastStart), score.end()) -
                              score.begin());
    std::vector<double> beats;
    for (std::ptrdiff_t n = end; n >= 0; n = previous[std::size_t(n)]) {
        const auto frame = std::size_t(n);
        const bool peak = frame > 0 && frame + 1 < count && onsets[frame] >= onsets[frame - 1] &&
                          onsets[frame] >= onsets[frame + 1];
        beats.push_back(double(frame) + (peak ? peakOffset(onsets, frame) : 0.0));
    }
    std::reverse(beats.begin(), beats.end());
    return beats;
}

bool isADanceBeat(double bpm) {
    for (const Dance dance : allDances()) {
        const DanceBand band = defaultBand(dance);
        const double low = band.lowBarsPerMinute * band.beatsPerBar,
                     high = band.highBarsPerMinute * band.beatsPerBar;
        if (band.beatsPerBar > 0 && bpm > low / 1.04 && bpm < high * 1.04) return true;
    }
    return false;
}

bool doubleOrHalfIsADanceBeat(double bpm) {
    return isADanceBeat(2 * bpm) || isADanceBeat(bpm / 2);
}

double strengthAt(const std::vector<Pulse>& pulses, double period) {
    double strongest = 0;
    for (const Pulse& pulse : pulses) {
        if (std::abs(std::log(pulse.period / period)) < 0.03) strongest = std::max(strongest, pulse.strength);
    }
    return strongest;
}

double halfwayRatio(const std::vector<double>& beats, const std::vector<float>& onsets) {
    double on = 0, halfway = 0;
    for (std::size_t i = 0; i + 1 < beats.size(); ++i) {
        on += loudestNear(onsets, beats[i]);
        halfway += loudestNear(onsets, (beats[i] + beats[i + 1]) / 2);
    }
    return on > 0 ? halfway / on : 0;
}

double beatProminence(const std::vector<double>& beats, const std::vector<float>& onsets) {
    if (beats.empty() || onsets.empty()) return 0;
    std::vector<double> heard;
    for (const double beat : beats)
        heard.push_back(loudestNear(onsets, beat));
    const double mean = std::accumulate(onsets.begin(), onsets.end(), 0.0) / double(onsets.size());
    return mean > 0 ? median(std::move(heard)) / mean : 0;
}

double alternateRatio(const std::vector<double>& beats, const std::vector<float>& onsets) {
    std::array<double, 2> sums{};
    for (std::size_t i = 0; i < beats.size(); ++i)
        sums[i % 2] += loudestNear(onsets, beats[i]);
    const double stronger = std::max(sums[0], sums[1]);
    return stronger > 0 ? std::min(sums[0], sums[1]) / stronger : 0;
}

std::vector<double> steadyBeats(const std::vector<double>& beats, const std::vector<float>& onsets) {
    if (beats.empty()) return {};
    std::vector<double> heard(beats.size());
    for (std::size_t i = 0; i < beats.size(); ++i)
        heard[i] = loudestNear(onsets, beats[i]);
    // Beats must meet real onsets: a pulseless tone's onsets are its noise, scaled up.
    const double threshold = std::max(0.35 * median(heard), 0.2);
    const auto meets = [&](std::size_t i) { return heard[i] > 0 && heard[i] >= threshold; };
    constexpr std::size_t run = 8, hitsInRun = 6;
    std::size_t first = beats.size();
    for (std::size_t i = 0; i < beats.size() && first == beats.size(); ++i) {
        if (!meets(i)) continue;
        std::size_t hits = 0;
        for (std::size_t j = i; j < std::min(beats.size(), i + run); ++j)
            hits += meets(j) ? 1 : 0;
        if (hits >= std::min(hitsInRun, beats.size() - i)) first = i;
    }
    if (first == beats.size()) return {};
    std::size_t last = beats.size() - 1;
    while (last > first && !meets(last))
        --last;
    return {beats.begin() + std::ptrdiff_t(first), beats.begin() + std::ptrdiff_t(last + 1)};
}

} // namespace vantle
