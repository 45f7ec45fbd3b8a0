#include "Sigpro/modules/sp_conv.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace sigpro {
namespace {

// Largest partition accepted; keeps 2L and the transform order well inside int.
constexpr float convMaxPartition = 1 << 24;

// Adds the product of two packed real spectra of n floats to acc.
void convMultiplyAdd(float* acc, const float* a, const float* b, int n) {
    acc[0] += a[0] * b[0];
    acc[1] += a[1] * b[1];
    for (int i = 2; i < n; i += 2) {
        acc[i] += a[i] * b[i] - a[i + 1] * b[i + 1];
        acc[i + 1] += a[i] * b[i + 1] + a[i + 1] * b[i];
    }
}

} // namespace

int sp_conv_create(sp_conv** p) {
    *p = new sp_conv{};
    return 1;
}

int sp_conv_init(sp_data* sp, sp_conv* p, sp_ftbl* ft, float partition_length) {
    p->ready = 0;
    p->partition_length = partition_length;
    p->skip = 0.0f;
    p->total_length = ft != nullptr ? static_cast<float>(ft->size) : 0.0f;
    p->channels = 1;
    long rounded = 0;
    if (std::isfinite(partition_length) && partition_length > 0.0f && partition_length < convMaxPartition)
        rounded = std::lround(partition_length);
    if (rounded < 4 || (rounded & (rounded - 1)) != 0) {
        std::fputs("conv: invalid partition size.\n", stderr);
        return 0;
    }
    int L = static_cast<int>(rounded);
    p->partition_size = L;
    sp_fft_init(&p->fft, std::countr_zero(static_cast<unsigned>(2 * L)));

    // The record keeps no start offset and one channel, so the whole table is the impulse response.
    std::size_t n = ft != nullptr && ft->table != nullptr ? ft->size : 0;
    if (n < 1) {
        std::fputs("uh oh.\n", stderr);
        return 0;
    }
    std::size_t P = (n + L - 1) / L;
    std::size_t block = 2 * static_cast<std::size_t>(L);
    if (P > INT32_MAX || !sp_auxdata_alloc(&p->buffer, sizeof(float) * block * (2 * P + 2))) {
        std::fputs("conv: impulse response too long.\n", stderr);
        return 0;
    }
    p->partitions = static_cast<std::int32_t>(P);
    auto* base = static_cast<float*>(p->buffer.data);
    p->work = base;
    p->ring = p->work + block;
    p->ir_spectra = p->ring + P * block;
    p->out_buffer = p->ir_spectra + P * block;
    p->count = 0;
    p->ring_index = 0;

    // Partition 0 goes to the last slot so that the walk over the ring, oldest block first, meets it last.
    for (std::size_t part = 0; part < P; ++part) {
        float* slot = p->ir_spectra + (P - 1 - part) * block;
        std::size_t first = part * L;
        std::size_t take = n - first < static_cast<std::size_t>(L) ? n - first : L;
        std::memcpy(slot, ft->table + first, take * sizeof(float));
        sp_fftr(&p->fft, slot, static_cast<int>(block));
    }
    p->ready = 1;
    return 1;
}

int sp_conv_compute(sp_data* sp, sp_conv* p, float* in, float* out) {
    if (!p->ready) {
        *out = 0.0f;
        return 1;
    }
    int L = p->partition_size;
    int block = 2 * L;
    float* current = p->ring + static_cast<std::size_t>(p->ring_index) * block;
    current[p->count] = *in;
    *out = p->out_buffer[p->count];
    if (++p->count < L) return 1;

    p->count = 0;
    std::memset(current + L, 0, sizeof(float) * L);
    sp_fftr(&p->fft, current, block);
    if (++p->ring_index >= p->partitions) p->ring_index = 0;

    std::memset(p->work, 0, sizeof(float) * block);
    int slot = p->ring_index;
    for (int k = 0; k < p->partitions; ++k) {
        convMultiplyAdd(p->work, p->ring + static_cast<std::size_t>(slot) * block,
                        p->ir_spectra + static_cast<std::size_t>(k) * block, block);
        if (++slot >= p->partitions) slot = 0;
    }
    sp_ifftr(&p->fft, p->work, block);
    for (int i = 0; i < L; ++i) {
        p->out_buffer[i] = p->work[i] + p->out_buffer[L + i];
        p->out_buffer[L + i] = p->work[L + i];
    }
    return 1;
}

int sp_conv_destroy(sp_conv** p) {
    if (*p == nullptr) return 1;
    sp_auxdata_free(&(*p)->buffer);
    sp_fft_destroy(&(*p)->fft);
    delete *p;
    *p = nullptr;
    return 1;
}

} // namespace sigpro
