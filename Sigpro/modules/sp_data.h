#pragma once

#include <cstdint>

// Conventions shared by every sp_ module (render thread for compute, the owning kernel's init/reset for the
// rest):
//  - A module is a plain record sp_<name> with four free functions, all returning 1 on success:
//      int sp_<name>_create(sp_<name>** p);       // new sp_<name>{}: the record starts zero-filled
//      int sp_<name>_init(sp_data* sp, sp_<name>* p, ...set-up arguments);
//      int sp_<name>_compute(sp_data* sp, sp_<name>* p, float* in, float* out);   // one sample frame
//      int sp_<name>_destroy(sp_<name>** p);      // frees buffers, then the record; sets *p to nullptr
//  - Raw new/delete (or malloc/free) appear only inside create/destroy and the sp_auxdata/sp_ftbl/sp_fft
//    helpers. Init may allocate; compute never allocates, locks, or does I/O.
//  - Init may run again at any time (a kernel's reset). Buffers held in sp_auxdata are sized with
//    sp_auxdata_alloc, which reuses or frees what the previous init allocated, so re-init never leaks.
//  - A failing init prints one line beginning with the module's name to standard error and returns 0.
//    The record then stays safe: compute writes silence (0) instead of reading a half-made record.
//  - State and parameters are floats; transcendental functions run in double and are rounded to float.
//    Public parameters are the record's first fields; kernels write them between compute calls.

namespace sigpro {

// Shared context of one kernel's modules: sample rate, channel count and the one random generator.
struct sp_data {
    float* out;
    std::int32_t sample_rate;
    std::int32_t channels;
    std::uint64_t length;
    std::uint64_t position;
    char file_name[200];
    std::uint32_t rand_state;
};

// Makes a context with the defaults (44100 Hz, 1 channel, "test.wav", seed 0). Returns 0.
int sp_create(sp_data** spp);
// Frees the context and its one-float output buffer; sets *spp to nullptr. Returns 0.
int sp_destroy(sp_data** spp);
// Linear congruential generator: advances rand_state and returns it (31 bits: 12345, 1406932606, ...).
std::uint32_t sp_rand(sp_data* sp);

} // namespace sigpro
