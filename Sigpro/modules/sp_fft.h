#pragma once

#include <cstdint>

namespace sigpro {

// Tables of an in-place radix-2 FFT of one power-of-two order; set up by a module's init, then read-only
// (any thread may transform with it, one buffer per call). A zero-filled record is empty.
//
// Real transforms pack the spectrum of N reals into the same N floats:
//   [Re X0, Re X(N/2), Re X1, Im X1, ..., Re X(N/2-1), Im X(N/2-1)].
// Complex transforms work on N interleaved points [Re z0, Im z0, ...] and leave them in natural order.
// Forward transforms are unscaled; sp_ifftr scales by 1/N, so it inverts sp_fftr.
struct sp_fft {
    float* cos_table;              // N/4 + 1 entries: cos(2 pi i / N)
    std::uint16_t* bitrev_real;    // short bit-reverse table of order M - 1
    std::uint16_t* bitrev_complex; // short bit-reverse table of order M
};

// Sets up the tables for N = 2^M (M >= 3), freeing those of an earlier set-up. Returns 1.
int sp_fft_init(sp_fft* fft, int M);
// Frees the tables and leaves the record empty.
void sp_fft_destroy(sp_fft* fft);

// The transforms trust N: it must be the size the record was set up for (or at most 4, which uses no
// tables). They never allocate.
void sp_fftr(sp_fft* fft, float* buf, int N);
void sp_ifftr(sp_fft* fft, float* buf, int N);
void sp_fft_cpx(sp_fft* fft, float* buf, int N);

} // namespace sigpro
