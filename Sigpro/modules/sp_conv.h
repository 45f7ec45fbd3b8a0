#pragma once

#include <cstdint>

#include "Sigpro/modules/sp_auxdata.h"
#include "Sigpro/modules/sp_data.h"
#include "Sigpro/modules/sp_fft.h"
#include "Sigpro/modules/sp_ftbl.h"

namespace sigpro {

// Uniformly partitioned FFT convolution (overlap-add) of a signal with the impulse response in a table;
// the output lags the input by one partition. Render thread for compute; init and destroy elsewhere.
struct sp_conv {
    float partition_length; // as given to init, unrounded
    float skip;
    float total_length;
    std::int32_t ready; // 1 after a successful init; compute writes silence otherwise
    std::int32_t channels;
    std::int32_t count;
    std::int32_t partitions;     // P
    std::int32_t partition_size; // L, a power of two >= 4
    std::int32_t ring_index;
    float* work;       // 2L floats
    float* ring;       // P x 2L floats: spectra of the last P input blocks
    float* ir_spectra; // P x 2L floats: partition spectra, last partition first
    float* out_buffer; // 2L floats: current output block and the overlap tail
    sp_auxdata buffer; // the one allocation behind the four pointers above
    sp_fft fft;        // size 2L
};

int sp_conv_create(sp_conv** p);
// Takes the table's impulse response with partitions of round(partition_length) samples. Prints
// "conv: invalid partition size." unless that is a power of two of at least 4, and "uh oh." for an empty
// impulse response; both return 0.
int sp_conv_init(sp_data* sp, sp_conv* p, sp_ftbl* ft, float partition_length);
int sp_conv_compute(sp_data* sp, sp_conv* p, float* in, float* out);
int sp_conv_destroy(sp_conv** p);

} // namespace sigpro
