#pragma once
// Struck stiff metal bar: an explicit finite-difference scheme over N + 1 grid points with a boundary
// condition at each end, frequency-independent and -dependent loss, a raised-cosine strike and a read-out
// point sweeping along the bar. The input sample is a trigger: every non-zero (or NaN) sample strikes
// again. Render thread (init on set-up, reset or a note).

#include "Sigpro/modules/sp_auxdata.h"
#include "Sigpro/modules/sp_data.h"

#include <cstdint>

namespace sigpro {

struct sp_bar {
    float left_boundary;   // rounded: 1 clamped, 2 pivoting, 3 free, 0 unconstrained
    float right_boundary;  // the same for the right end
    float stiffness;       // K, dimensionless
    float high_freq_loss;  // b
    float scan_speed;      // read-out sweeps per second
    float decay_time;      // seconds for a 60 dB decay
    float strike_position; // 0 ... 1 along the bar
    float strike_velocity;
    float strike_width; // half-width, as a fraction of the bar
    // Three rows of N + 5 floats in `grid`: two guard points at each end; bar point i is index i + 2.
    float* row_new;
    float* row_current;
    float* row_previous;
    std::int32_t step;   // sample counter driving the sweep
    std::int32_t struck; // 0: a strike is pending
    float s0, s1, s2, t0, t1;
    std::int32_t points; // N, fixed at init; 0 after a failed init
    sp_auxdata grid;
    std::int32_t boundary_reported; // the boundary message was printed for the current bad setting
};

int sp_bar_create(sp_bar** p);
// Frees the grid, then the record.
int sp_bar_destroy(sp_bar** p);
// Writes the defaults, sizes the grid for the stiffness and loss given (reusing the previous grid when N
// is unchanged, so a re-init allocates nothing) and arms the first strike. Prints "sp_bar: ..." and
// returns 0 when they give no usable grid (N not in 1 ... 2^20); compute then writes silence.
int sp_bar_init(sp_data* sp, sp_bar* p, float stiffness, float high_freq_loss);
// Returns 0 without writing the output when a boundary is not 0 ... 3. The message
// "sp_bar: Ends must be clamped(1), pivoting(2), or free(3)" is printed once per bad setting, not on
// every sample, so a misconfigured bar does not flood standard error from the render thread.
int sp_bar_compute(sp_data* sp, sp_bar* p, float* in, float* out);

} // namespace sigpro
