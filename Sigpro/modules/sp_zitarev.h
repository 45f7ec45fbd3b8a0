#pragma once
// Stereo feedback-delay-network reverb: pre-delay, eight delay lines each closed by a two-band decay
// filter and an all-pass diffuser, an 8 x 8 Hadamard mix, two peaking equaliser sections on the wet
// output and a smoothed dry/wet mix and level. Kernels write the parameters through the record's
// pointers before each frame. Render thread (init on set-up or reset).

#include <cstdint>

#include "Sigpro/modules/ZitarevEqualizer.h"
#include "Sigpro/modules/sp_auxdata.h"
#include "Sigpro/modules/sp_data.h"

namespace sigpro {

// Longest pre-delay in ms (the top of the reverb node's range); the pre-delay lines hold it at any rate.
inline constexpr float sp_zitarev_max_predelay = 100.0f;

// Working state; read-only outside the module. Lines are numbered 0 ... 7 here (1 ... 8 in the design's
// table): 0 ... 3 take the right input, 4 ... 7 the left.
struct sp_zitarev_state {
    // Parameter values, in the order of the record's `parameters`.
    float predelay;            // ms
    float crossover_frequency; // Hz
    float low_release_time;    // s
    float mid_release_time;    // s
    float damping_frequency;   // Hz
    float equalizer_frequency1;
    float equalizer_level1; // dB
    float equalizer_frequency2;
    float equalizer_level2;
    float dry_wet_mix; // 0 dry ... 1 wet
    float level;       // dB

    float sample_rate; // the context's, clamped to 1 ... 192000
    std::int32_t ready;
    std::int32_t total_delay[8];   // D, samples around the whole line
    std::int32_t allpass_delay[8]; // A, samples of its all-pass diffuser
    float decay_constant[8];       // -ln(1000) D / sample_rate
    // Lengths of the lines are powers of two holding their delays at the current rate; masks are length - 1.
    std::uint32_t main_mask[8];
    std::uint32_t allpass_mask[8];
    std::uint32_t predelay_mask;
    float* main_line[8];
    float* allpass_line[8];
    float* predelay_line[2];
    sp_auxdata memory; // every line above, in one block

    std::uint32_t counter; // write position shared by all lines
    float lowpass[8];
    float decay[8];
    float allpass_out[8];
    float mix_previous[8];                 // the Hadamard output each line takes, one frame ago
    float mix_before[8];                   // and two frames ago
    ZitarevEqualizerState equalizer[2][2]; // [channel][section]
    float gain;                            // smoothed level gain
    float mix;                             // smoothed dry/wet mix

    // Coefficients, recomputed only when the parameters they come from change.
    float seen_level;
    float level_gain;
    float seen_equalizer[2][2]; // [section][frequency, level]
    ZitarevEqualizerCoefficients equalizer_coefficients[2];
    float seen_crossover;
    float crossover_a, crossover_b;
    float seen_decay[3]; // low and mid release times, damping frequency
    float low_ratio[8];  // gL / gM - 1
    float mid_gain[8];   // gM (1 - p)
    float pole[8];       // p
};

struct sp_zitarev {
    sp_zitarev_state* state;
    std::int32_t parameter_count;
    float* parameters[11];
    float* predelay;
    float* crossover_frequency;
    float* low_release_time;
    float* mid_release_time;
    float* damping_frequency;
    float* equalizer_frequency1;
    float* equalizer_level1;
    float* equalizer_frequency2;
    float* equalizer_level2;
    float* dry_wet_mix;
    float* level;
};

int sp_zitarev_create(sp_zitarev** p);
// Frees the working state and its lines, then the record.
int sp_zitarev_destroy(sp_zitarev** p);
// Writes the defaults (60 ms, 200 Hz, 3 s, 2 s, 6000 Hz, 315 Hz, 0 dB, 1500 Hz, 0 dB, 1, 0 dB), clears
// the state and sizes the lines for the context's sample rate; a re-init reuses the state and the lines
// when the rate is unchanged. When memory runs out it prints "sp_zitarev: out of memory" and returns 0;
// the module then computes silence (and its pointers are null if not even the state could be made).
int sp_zitarev_init(sp_data* sp, sp_zitarev* p);
// A pre-delay outside 0 ... the line's length (at least sp_zitarev_max_predelay) is held at the nearer end.
int sp_zitarev_compute(sp_data* sp, sp_zitarev* p, float* in_left, float* in_right, float* out_left,
                       float* out_right);

} // namespace sigpro
