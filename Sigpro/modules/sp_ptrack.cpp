#include "Sigpro/modules/sp_ptrack.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <numbers>

namespace sigpro {
namespace {

constexpr int ptrackHistoryLength = 20;
constexpr int ptrackPartialCount = 16;
// Histogram bins (48 per octave) between the fundamental and harmonic k = 1 ... 16: 48 log2(k).
constexpr float ptrackPartialBins[ptrackPartialCount] = {
    0.0f,        48.0f,       76.078201f,  96.0f,       111.452545f, 124.078201f, 134.753036f, 144.0f,
    152.156403f, 159.452545f, 166.052719f, 172.078201f, 177.621109f, 182.753036f, 187.530746f, 192.0f};
// One side of the symmetric kernel that interpolates a hop's spectrum halfway between its points, nearest
// point first. Over the hop's span it is flat to 2e-4.
constexpr float ptrackInterpolation[5] = {0.613527f, -0.1511925f, 0.047663f, -0.011374f, 0.0012665f};
constexpr float ptrackHalfSqrt2 = 0.7071067811865476f;
// Guard positions below the first and above the last point of an interleaved spectrum.
constexpr int ptrackGuardPositions = 5;
constexpr float ptrackLevelOffset = 92.3f;
constexpr float ptrackSilentLevel = -144.0f;

inline float ptrackAmplitudeOf(float level) {
    return static_cast<float>(std::pow(10.0, double(level) / 20.0));
}

inline float* ptrackFloats(sp_auxdata& aux) {
    return static_cast<float*>(aux.data);
}

// Complex positions 0 ... h + 9 of an interleaved spectrum; position q holds analysis point 2q - 9.
inline int ptrackPositions(int hop) {
    return hop + 2 * ptrackGuardPositions;
}

// The hop's spectrum at the odd analysis points, interleaved into work (positions 0 ... h + 9,
// from float 10 on for the first bin), then every analysis point of the window of the last two hops
// written to spectrum as a rectangular-window value. Leaves the hop's interleaved spectrum in previous.
void ptrackWindowSpectrum(sp_ptrack* p) {
    const int h = p->hop_size;
    const int n = 2 * h;
    const int positions = ptrackPositions(h);
    const float* signal = ptrackFloats(p->signal);
    const float* twiddle = ptrackFloats(p->twiddle);
    float* spectrum = ptrackFloats(p->spectrum);
    float* current = ptrackFloats(p->work);
    float* previous = ptrackFloats(p->previous);

    // Shifted by a quarter of an h-point bin, the hop's transform falls on the odd half bins of a 2h window.
    float* bins = spectrum;
    for (int t = 0; t < h; ++t) {
        bins[2 * t] = signal[t] * twiddle[2 * t];
        bins[2 * t + 1] = signal[t] * twiddle[2 * t + 1];
    }
    sp_fft_cpx(&p->fft, bins, h);

    // Bin j lies at analysis point 4j + 1; the conjugate of bin h - 1 - m (a negative frequency) at 4m + 3.
    for (int j = 0; j < h / 2; ++j) {
        float* odd = current + 2 * (5 + 2 * j);
        odd[0] = bins[2 * j];
        odd[1] = bins[2 * j + 1];
        float* even = current + 2 * (6 + 2 * j);
        even[0] = bins[2 * (h - 1 - j)];
        even[1] = -bins[2 * (h - 1 - j) + 1];
    }
    // A real signal's spectrum mirrors (conjugated) at 0 and at the Nyquist frequency.
    for (int q = 0; q < ptrackGuardPositions; ++q) {
        current[2 * q] = current[2 * (9 - q)];
        current[2 * q + 1] = -current[2 * (9 - q) + 1];
    }
    for (int i = 1; i <= ptrackGuardPositions; ++i) {
        const int q = h + 4 + i, mirror = h + 5 - i;
        current[2 * q] = current[2 * mirror];
        current[2 * q + 1] = -current[2 * mirror + 1];
    }

    // Even analysis points lie between the hop's points. The kernel interpolates a spectrum whose time
    // reference is the hop's centre, so both hops are turned there first (by e^(i pi k / 4) at point k),
    // as their sum and difference: those are all the even points need.
    float* sums = current + 2 * positions;
    float* differences = sums + 2 * positions;
    for (int q = 0; q < positions; ++q) {
        const int octant = (2 * q - 9 + 16) & 7;
        const float cr = (octant == 1 || octant == 7) ? ptrackHalfSqrt2 : -ptrackHalfSqrt2;
        const float ci = octant < 4 ? ptrackHalfSqrt2 : -ptrackHalfSqrt2;
        const float pr = previous[2 * q], pi = previous[2 * q + 1];
        const float xr = current[2 * q], xi = current[2 * q + 1];
        const float sr = pr + xr, si = pi + xi, dr = pr - xr, di = pi - xi;
        sums[2 * q] = sr * cr - si * ci;
        sums[2 * q + 1] = sr * ci + si * cr;
        differences[2 * q] = dr * cr - di * ci;
        differences[2 * q + 1] = dr * ci + di * cr;
    }

    // The window's value at point k, referenced to its start: previous + (-i)^k current.
    for (int k = 0; k < n; ++k) {
        float re, im;
        if (k & 1) {
            const int q = (k + 9) / 2;
            const float pr = previous[2 * q], pi = previous[2 * q + 1];
            const float xr = current[2 * q], xi = current[2 * q + 1];
            if ((k & 3) == 1) {
                re = pr + xi;
                im = pi - xr;
            } else {
                re = pr - xi;
                im = pi + xr;
            }
        } else {
            const int m = k / 2;
            const float* source = (m & 1) ? differences : sums;
            float vr = 0.0f, vi = 0.0f;
            for (int i = 0; i < 5; ++i) {
                const float* below = source + 2 * (m + 4 - i);
                const float* above = source + 2 * (m + 5 + i);
                vr += ptrackInterpolation[i] * (below[0] + above[0]);
                vi += ptrackInterpolation[i] * (below[1] + above[1]);
            }
            switch (m & 3) {
            case 0:
                re = vr, im = vi;
                break;
            case 1:
                re = vi, im = -vr;
                break;
            case 2:
                re = -vr, im = -vi;
                break;
            default:
                re = -vi, im = vr;
                break;
            }
        }
        spectrum[4 * k] = re;
        spectrum[4 * k + 1] = im;
    }
    std::memcpy(previous, current, sizeof(float) * static_cast<std::size_t>(2 * positions));
}

// Hann weighting (neighbours one bin away) and powers; returns the total power.
float ptrackPowers(sp_ptrack* p) {
    const int n = 2 * p->hop_size;
    float* spectrum = ptrackFloats(p->spectrum);
    for (int k = 0; k < 3; ++k)
        spectrum[4 * k] = spectrum[4 * k + 1] = spectrum[4 * k + 2] = spectrum[4 * k + 3] = 0.0f;
    float sum = 0.0f;
    for (int k = 3; k <= n - 3; ++k) {
        const float* below = spectrum + 4 * (k - 2);
        const float* at = spectrum + 4 * k;
        const float* above = spectrum + 4 * (k + 2);
        const float re = at[0] - 0.5f * (below[0] + above[0]);
        const float im = at[1] - 0.5f * (below[1] + above[1]);
        const auto power = static_cast<float>(double(re) * re + double(im) * im);
        sum += power;
        spectrum[4 * k + 2] = power;
        spectrum[4 * k + 3] = sum;
    }
    // The two top points have no upper neighbour.
    for (int k = n - 2; k < n; ++k) {
        spectrum[4 * k + 2] = 0.0f;
        spectrum[4 * k + 3] = sum;
    }
    return sum;
}

// Keeps the lowest peaks whose three position estimates agree; returns how many.
int ptrackPickPeaks(sp_ptrack* p, float total, int histogramBins) {
    if (histogramBins < 3 || p->peak_count < 1) return 0;
    const int n = 2 * p->hop_size;
    const float* spectrum = ptrackFloats(p->spectrum);
    float* peaks = ptrackFloats(p->peaks);
    const float floor = 1e-5f * total;
    int kept = 0;
    // The estimate at k + 1 reads two points further up, so the last candidate is n - 4.
    for (int k = 3; k <= n - 4 && kept < p->peak_count; ++k) {
        const float power = spectrum[4 * k + 2];
        const float below = spectrum[4 * (k - 1) + 2];
        const float above = spectrum[4 * (k + 1) + 2];
        if (!(below <= power && above <= power && below >= floor && above >= floor)) continue;
        float estimates[3];
        for (int d = -1; d <= 1; ++d) {
            const float* lo = spectrum + 4 * (k + d - 2);
            const float* at = spectrum + 4 * (k + d);
            const float* hi = spectrum + 4 * (k + d + 2);
            estimates[d + 1] = ((2.0f * at[1] - hi[1] - lo[1]) * (lo[1] - hi[1]) +
                                (2.0f * at[0] - hi[0] - lo[0]) * (lo[0] - hi[0])) /
                                   (2.0f * at[2]) +
                               static_cast<float>(d);
        }
        const auto mean = static_cast<float>((estimates[0] + estimates[1] + estimates[2]) * 0.333333333333);
        const float d0 = estimates[0] - mean, d1 = estimates[1] - mean, d2 = estimates[2] - mean;
        const float variance = (d0 * d0 + d1 * d1 + d2 * d2) * 0.5f;
        if (!(variance >= 1e-30f && total * variance <= 10.0f * power)) continue;
        float* peak = peaks + 4 * kept++;
        peak[0] = std::max(4.0f, static_cast<float>(k) + mean);
        peak[1] = std::sqrt(variance);
        peak[2] = power;
        peak[3] = static_cast<float>(std::sqrt(std::sqrt(double(power))));
    }
    return kept;
}

// Every peak votes for the fundamentals it could be a partial of; returns the winning
// histogram bin, or -1 when nothing voted.
int ptrackVote(sp_ptrack* p, int kept, int histogramBins, float loudnessReference) {
    float* work = ptrackFloats(p->work);
    // Bins from -10 on are valid, so votes that spill below the lowest bin need no test.
    float* histogram = work + 10;
    std::fill(work, histogram + histogramBins, 0.0f);
    const float* peaks = ptrackFloats(p->peaks);
    for (int i = 0; i < kept; ++i) {
        const float* peak = peaks + 4 * i;
        const float position = peak[0], width = peak[1], loudness = peak[3];
        const float bin = static_cast<float>(std::log(double(position)) * 69.24936196) - 96.0f;
        const float s = width * 275.00292190604523f / position;
        const float spread = std::max(2.0f, s);
        const float base = loudness * 4.0f / loudnessReference * 30.0f;
        if (!std::isfinite(bin) || !std::isfinite(spread) || !std::isfinite(base)) continue;
        const float sharpness = std::max(1.0f, s);
        for (int j = 0; j < ptrackPartialCount; ++j) {
            const float b = bin - ptrackPartialBins[j];
            if (b >= static_cast<float>(histogramBins)) continue;
            const auto lo = static_cast<int>(b + 0.5f - 0.5f * spread);
            const auto hi = static_cast<int>(b + 0.5f + 0.5f * spread);
            if (lo < -10) break;
            const float weight = base / ((static_cast<float>(j) + p->partial_offset) * sharpness);
            for (int k = lo; k <= std::min(hi, histogramBins - 1); ++k) {
                const float d = static_cast<float>(k) - b;
                histogram[k] += (1.0f - d * d / (spread * spread)) * weight;
            }
        }
    }
    int winner = -1;
    float best = 0.0f;
    for (int i = 0; i < histogramBins; ++i)
        if (histogram[i] > best) {
            best = histogram[i];
            winner = i;
        }
    return winner;
}

// The weighted mean of the peaks that sit on the candidate's harmonics.
void ptrackRefine(sp_ptrack* p, int kept, int winner, float total) {
    const auto candidate = static_cast<float>(std::exp((winner + 96) * 0.014440566262222353));
    const float* peaks = ptrackFloats(p->peaks);
    int counted = 0, lowCounted = 0;
    float powerSum = 0.0f, weightSum = 0.0f, weightedPositions = 0.0f;
    for (int i = 0; i < kept; ++i) {
        const float* peak = peaks + 4 * i;
        const float position = peak[0];
        const float rounded = position / candidate + 0.5f;
        if (!(rounded >= 1.0f && rounded < 17.0f)) continue;
        const auto harmonic = static_cast<int>(rounded);
        const auto harmonicF = static_cast<float>(harmonic);
        if (!(std::fabs(1.0f - position / (candidate * harmonicF)) < 0.023f)) continue;
        ++counted;
        if (harmonic < 8) ++lowCounted;
        powerSum += peak[2];
        const float w = std::max(peak[1], 0.03f) * harmonicF;
        const float weight = 1.0f / (w * w);
        weightSum += weight;
        weightedPositions += position * weight / harmonicF;
    }
    const bool accepted = (lowCounted >= 4 && counted >= 7) || powerSum >= 0.01f * total;
    if (!accepted || !(weightSum > 0.0f)) return;
    const float f = weightedPositions / weightSum;
    if (f >= 5.0f) p->frequency = f * p->sample_rate_f / (4.0f * p->hop_size_f);
}

void ptrackAnalyse(sp_ptrack* p) {
    if (++p->history_index >= ptrackHistoryLength) p->history_index = 0;
    ptrackWindowSpectrum(p);
    const float total = ptrackPowers(p);

    const int n = 2 * p->hop_size;
    float level = 0.0f, loudnessReference = 0.0f;
    if (total > 1e-9f) {
        level = std::max(0.0f, static_cast<float>(std::log(double(total) / n) * 3.333));
        loudnessReference = static_cast<float>(std::sqrt(std::sqrt(double(total))));
    }
    p->level_history[p->history_index] = level - ptrackLevelOffset;
    p->amplitude = ptrackAmplitudeOf(p->level_history[p->history_index]);
    if (level < p->min_level) return;

    const int histogramBins = 48 * (std::countr_zero(static_cast<unsigned>(n)) - 2);
    const int kept = ptrackPickPeaks(p, total, histogramBins);
    const int winner = ptrackVote(p, kept, histogramBins, loudnessReference);
    ptrackRefine(p, kept, winner, total);
}

} // namespace

int sp_ptrack_create(sp_ptrack** p) {
    return createModuleRecord(p);
}

int sp_ptrack_destroy(sp_ptrack** p) {
    if (p == nullptr || *p == nullptr) return 1;
    sp_ptrack* t = *p;
    for (sp_auxdata* aux : {&t->signal, &t->previous, &t->twiddle, &t->spectrum, &t->work, &t->peaks})
        sp_auxdata_free(aux);
    sp_fft_destroy(&t->fft);
    destroyModuleRecord(p);
    return 1;
}

int sp_ptrack_init(sp_data* sp, sp_ptrack* p, int hop_size, int peak_count) {
    p->ready = 0;
    p->hop_size_f = static_cast<float>(hop_size);
    const long long window = 2LL * hop_size;
    if (window < 128 || window > 8192 || (window & (window - 1)) != 0) {
        std::fputs("Woops\n", stderr);
        return 0;
    }
    const int h = hop_size;
    const auto n = static_cast<std::size_t>(window);
    p->hop_size = h;
    p->peak_count = peak_count;
    sp_fft_init(&p->fft, std::countr_zero(static_cast<unsigned>(h)));

    // No analysis finds more peaks than it has points, so a larger count needs no more room.
    const std::size_t peakRecords =
        static_cast<std::size_t>(std::clamp(peak_count, 0, static_cast<int>(n))) + 1;
    const bool allocated = sp_auxdata_alloc(&p->signal, sizeof(float) * h) &&
                           sp_auxdata_alloc(&p->previous, sizeof(float) * (n + 20)) &&
                           sp_auxdata_alloc(&p->twiddle, sizeof(float) * 2 * h) &&
                           sp_auxdata_alloc(&p->spectrum, sizeof(float) * 4 * n) &&
                           sp_auxdata_alloc(&p->work, sizeof(float) * (4 * n + 20)) &&
                           sp_auxdata_alloc(&p->peaks, sizeof(float) * 4 * peakRecords);
    if (!allocated) {
        std::fputs("sp_ptrack: out of memory\n", stderr);
        return 0;
    }
    float* twiddle = ptrackFloats(p->twiddle);
    for (int t = 0; t < h; ++t) {
        const double angle = std::numbers::pi * t / (2.0 * h);
        twiddle[2 * t] = static_cast<float>(std::cos(angle));
        twiddle[2 * t + 1] = static_cast<float>(-std::sin(angle));
    }
    p->count = 0;
    p->history_index = 0;
    std::fill(std::begin(p->level_history), std::end(p->level_history), ptrackSilentLevel);
    p->amplitude = ptrackAmplitudeOf(ptrackSilentLevel);
    p->min_level = 40.0f;
    p->partial_offset = 7.0f;
    p->input_scale = 32768.0f;
    p->frequency = 100.0f;
    p->sample_rate_f = static_cast<float>(sp->sample_rate);
    p->ready = 1;
    return 1;
}

int sp_ptrack_compute(sp_data*, sp_ptrack* p, float* in, float* frequency, float* amplitude) {
    if (!p->ready) {
        *frequency = 0.0f;
        *amplitude = 0.0f;
        return 1;
    }
    if (p->count == p->hop_size) {
        ptrackAnalyse(p);
        p->count = 0;
    }
    ptrackFloats(p->signal)[p->count++] = *in * p->input_scale;
    *frequency = p->frequency;
    *amplitude = p->amplitude;
    return 1;
}

} // namespace sigpro
