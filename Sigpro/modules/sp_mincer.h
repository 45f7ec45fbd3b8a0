#pragma once
// Phase-locked phase vocoder over an audio table: plays the table at the read position `time` (seconds)
// with an independent pitch ratio, making one frame of N points every N/4 samples and overlap-adding
// four. Kernels write `time`, `amp`, `pitch` and `lock` (phase locking on when non-zero) before each
// sample and move `time` themselves. Render thread (init on set-up or reset).

#include "Sigpro/modules/sp_auxdata.h"
#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_fft.h"
#include "Sigpro/modules/sp_ftbl.h"

#include <cstdint>

namespace sigpro {

struct sp_mincer {
    float time;
    float amp;
    float pitch;
    float lock;
    float size_f;
    float overlap_f;
    std::int32_t hop_count; // samples since the last frame
    std::int32_t hop;       // N / 4
    std::int32_t frame;     // ring slot of the next frame
    std::int32_t size;      // N
    std::int32_t overlap;   // 4
    sp_auxdata frames;      // 4 x N floats: the overlapping output frames
    sp_auxdata window;      // N floats: Hann window
    sp_auxdata forward;     // N + 2 floats: spectrum of the earlier grain, then its phase advance
    sp_auxdata backward;    // N + 2 floats: spectrum of the grain at the position, then the output frame
    sp_auxdata previous;    // N + 2 floats: the last output spectrum
    sp_auxdata read_index;  // 4 int32 read positions into frames
    sp_ftbl* ft;
    sp_fft fft;
};

int sp_mincer_create(sp_mincer** p);
// Frees the FFT tables and the buffers, then the record.
int sp_mincer_destroy(sp_mincer** p);
// Plays `ft` with frames of N points. Buffers of an earlier init are reused when N is unchanged. Prints
// "sp_mincer: ..." and returns 0 unless N is a power of two in 8 ... 2^20 and the table holds at least
// one point; compute then writes silence.
int sp_mincer_init(sp_data* sp, sp_mincer* p, sp_ftbl* ft, int N);
// The input is ignored.
int sp_mincer_compute(sp_data* sp, sp_mincer* p, float* in, float* out);

} // namespace sigpro
