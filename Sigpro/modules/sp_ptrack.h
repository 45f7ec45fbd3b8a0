#pragma once
// Pitch and amplitude tracker: every hop it takes a Hann-windowed spectrum of the last two hops, picks
// spectral peaks, lets them vote for fundamentals in a histogram of 48 bins per octave and refines the
// winner from the peaks on its harmonic series. Render thread for compute (init on set-up or reset).

#include "Sigpro/modules/sp_auxdata.h"
#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_fft.h"

#include <cstdint>

namespace sigpro {

struct sp_ptrack {
    float hop_size_f;    // h, as given to init
    sp_auxdata signal;   // h floats: the current hop, scaled by input_scale
    sp_auxdata previous; // 2h + 20 floats: the previous hop's interleaved spectrum
    sp_auxdata twiddle;  // h complex values e^(-i pi t / 2h): a quarter-bin shift
    sp_auxdata spectrum; // 2h analysis points (half bins) of four floats: re, im, power, running power sum
    sp_auxdata work;     // 8h + 20 floats: interleaved spectrum from float 10, later the pitch histogram
    sp_auxdata peaks;    // peak records of four floats: position (half bins), width, power, loudness
    std::int32_t peak_count; // most peaks kept per analysis
    std::int32_t count;      // samples collected in the current hop
    std::int32_t history_index;
    std::int32_t hop_size;
    float sample_rate_f;
    float frequency;         // the pitch output in Hz: the last pitch found, 100 before the first
    float level_history[20]; // level of the last 20 hops, dB relative to full scale
    float min_level;         // lowest level (before the -92.3 dB offset) that is searched for a pitch
    float partial_offset;    // added to the partial number when weighting votes
    float input_scale;
    sp_fft fft;         // h complex points
    float amplitude;    // 10^(level_history[history_index] / 20), the amplitude output
    std::int32_t ready; // 1 after a successful init; compute writes 0 and 0 otherwise
};

int sp_ptrack_create(sp_ptrack** p);
// Frees the six buffers and the FFT tables, then the record.
int sp_ptrack_destroy(sp_ptrack** p);
// Window 2 x hop_size must be a power of two from 128 to 8192; otherwise prints "Woops\n" and returns 0.
// Keeps at most peak_count peaks per analysis (none when it is below 1).
int sp_ptrack_init(sp_data* sp, sp_ptrack* p, int hop_size, int peak_count);
// Stores one sample; outputs the current pitch (Hz) and amplitude. The analysis runs on the call after a
// hop is full, so it never allocates.
int sp_ptrack_compute(sp_data* sp, sp_ptrack* p, float* in, float* frequency, float* amplitude);

} // namespace sigpro
