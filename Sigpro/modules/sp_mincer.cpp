#include "Sigpro/modules/sp_mincer.h"

#include "Sigpro/modules/RecordLifetime.h"

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <numbers>

namespace sigpro {
namespace {

constexpr int mincerMaxSize = 1 << 20;
constexpr int mincerOverlap = 4;

// Table index of an integral-valued position, wrapped into 0 ... size - 1; positions that are not finite
// (a NaN pitch, say) read point 0 rather than anywhere.
inline std::int64_t mincerWrapIndex(float position, std::int64_t size) {
    if (!(std::fabs(position) < 9.0e18f)) return 0;
    auto k = static_cast<std::int64_t>(position);
    if (k >= size) {
        k -= size;
        if (k >= size) k %= size;
    } else if (k < 0) {
        k += size;
        if (k < 0) {
            k %= size;
            if (k < 0) k += size;
        }
    }
    return k;
}

// Start of the grains for the read position: a whole number of hops, brought into 0 < s <= table size.
double mincerStartPosition(float time, float rate, int hop, std::int64_t tableSize) {
    const double s = double(hop) * double(std::trunc(rate * time / float(hop)));
    const double size = double(tableSize);
    if (!std::isfinite(s)) return size;
    double wrapped = std::fmod(s, size);
    if (wrapped <= 0.0) wrapped += size;
    return wrapped;
}

// Spectra of the real transform laid out as N/2 + 1 (re, im) pairs; float 1 keeps the Nyquist value
// until the output frame is put back.
void mincerTransform(sp_fft* fft, float* buffer, int N) {
    sp_fftr(fft, buffer, N);
    buffer[N] = buffer[1];
    buffer[N + 1] = 0.0f;
}

void mincerMakeFrame(sp_data* sp, sp_mincer* p) {
    const int N = p->size;
    const int H = p->hop;
    const std::int64_t T = static_cast<std::int64_t>(p->ft->size);
    const float* table = p->ft->table;
    const auto* window = static_cast<const float*>(p->window.data);
    auto* forward = static_cast<float*>(p->forward.data);
    auto* backward = static_cast<float*>(p->backward.data);
    auto* previous = static_cast<float*>(p->previous.data);
    auto* frames = static_cast<float*>(p->frames.data);
    auto* readIndex = static_cast<std::int32_t*>(p->read_index.data);

    float position = static_cast<float>(mincerStartPosition(p->time, float(sp->sample_rate), H, T));
    const float pitch = p->pitch;
    const float lag = float(H) * pitch;
    for (int i = 0; i < N; ++i) {
        const float whole = std::trunc(position);
        const float fraction = position - whole;
        const std::int64_t j = mincerWrapIndex(whole, T);
        float a = table[j];
        if (j + 1 < T) a += (table[j + 1] - table[j]) * fraction;
        backward[i] = a * window[i];
        const std::int64_t j2 = mincerWrapIndex(std::trunc(position - lag), T);
        float b = table[j2];
        if (j2 + 1 < T) b += (table[j2 + 1] - table[j2]) * fraction;
        forward[i] = b * window[i];
        position += pitch;
    }

    mincerTransform(&p->fft, forward, N);
    mincerTransform(&p->fft, backward, N);

    // Phase advance from the earlier grain to the running output: unit(previous) x conj(forward).
    const int bins = N / 2 + 1;
    for (int k = 0; k < bins; ++k) {
        const float pr = previous[2 * k];
        const float pi = previous[2 * k + 1];
        const float magnitude = std::sqrt(pr * pr + pi * pi) + 1e-20f;
        const float ur = pr / magnitude;
        const float ui = pi / magnitude;
        const float fr = forward[2 * k];
        const float fi = forward[2 * k + 1];
        forward[2 * k] = ur * fr + ui * fi;
        forward[2 * k + 1] = ui * fr - ur * fi;
    }

    // Each bin of the grain at the position takes that advance, summed over its neighbours when locked.
    const bool locked = p->lock != 0.0f;
    for (int k = 0; k < bins; ++k) {
        float dr;
        float di;
        if (!locked) {
            dr = forward[2 * k];
            di = forward[2 * k + 1];
        } else if (k == 0) {
            dr = forward[0] + forward[2];
            di = 0.0f;
        } else {
            dr = forward[2 * k - 2] + forward[2 * k];
            di = forward[2 * k - 1] + forward[2 * k + 1];
            if (k + 1 < bins) {
                dr += forward[2 * k + 2];
                di += forward[2 * k + 3];
            }
        }
        const double x = double(dr) + 1e-15;
        const double y = di;
        const double m = 1.0 / std::sqrt(x * x + y * y);
        const auto cr = static_cast<float>(x * m);
        const auto ci = static_cast<float>(y * m);
        const float br = backward[2 * k];
        const float bi = backward[2 * k + 1];
        backward[2 * k] = previous[2 * k] = br * cr - bi * ci;
        backward[2 * k + 1] = previous[2 * k + 1] = br * ci + bi * cr;
    }

    backward[1] = backward[N];
    sp_ifftr(&p->fft, backward, N);

    const std::size_t base = std::size_t(p->frame) * std::size_t(N);
    readIndex[p->frame] = static_cast<std::int32_t>(base);
    for (int i = 0; i < N; ++i)
        frames[base + i] = window[i] * backward[i];
    p->hop_count = 0;
    p->frame = (p->frame + 1) % p->overlap;
}

} // namespace

int sp_mincer_create(sp_mincer** p) {
    return createModuleRecord(p);
}

int sp_mincer_destroy(sp_mincer** p) {
    if (p == nullptr || *p == nullptr) return 1;
    sp_mincer* m = *p;
    sp_fft_destroy(&m->fft);
    sp_auxdata_free(&m->frames);
    sp_auxdata_free(&m->window);
    sp_auxdata_free(&m->forward);
    sp_auxdata_free(&m->backward);
    sp_auxdata_free(&m->previous);
    sp_auxdata_free(&m->read_index);
    destroyModuleRecord(p);
    return 1;
}

int sp_mincer_init(sp_data* sp, sp_mincer* p, sp_ftbl* ft, int N) {
    p->ft = nullptr;
    if (N < 8 || N > mincerMaxSize || !std::has_single_bit(static_cast<unsigned>(N))) {
        std::fprintf(stderr, "sp_mincer: window size %d is not a power of two in 8 ... %d\n", N,
                     mincerMaxSize);
        return 0;
    }
    if (ft == nullptr || ft->table == nullptr || ft->size < 1) {
        std::fputs("sp_mincer: the table is empty\n", stderr);
        return 0;
    }
    p->time = 0.0f;
    p->amp = 1.0f;
    p->pitch = 1.0f;
    p->lock = 1.0f;
    p->size_f = float(N);
    p->overlap_f = float(mincerOverlap);
    p->hop = N / 4;
    p->hop_count = p->hop;
    p->frame = 0;
    p->size = N;
    p->overlap = mincerOverlap;

    const std::size_t n = std::size_t(N);
    if (!sp_auxdata_alloc(&p->frames, sizeof(float) * mincerOverlap * n) ||
        !sp_auxdata_alloc(&p->window, sizeof(float) * n) ||
        !sp_auxdata_alloc(&p->forward, sizeof(float) * (n + 2)) ||
        !sp_auxdata_alloc(&p->backward, sizeof(float) * (n + 2)) ||
        !sp_auxdata_alloc(&p->previous, sizeof(float) * (n + 2)) ||
        !sp_auxdata_alloc(&p->read_index, sizeof(std::int32_t) * mincerOverlap)) {
        std::fputs("sp_mincer: out of memory\n", stderr);
        return 0;
    }
    auto* window = static_cast<float*>(p->window.data);
    const float angleStep = 2.0f * std::numbers::pi_v<float> / float(N);
    for (int i = 0; i < N; ++i)
        window[i] = static_cast<float>(0.5 - 0.5 * std::cos(double(float(i) * angleStep)));
    auto* readIndex = static_cast<std::int32_t*>(p->read_index.data);
    for (int j = 0; j < mincerOverlap; ++j)
        readIndex[j] = j * N;
    sp_fft_init(&p->fft, std::countr_zero(static_cast<unsigned>(N)));
    p->ft = ft;
    return 1;
}

int sp_mincer_compute(sp_data* sp, sp_mincer* p, float*, float* out) {
    if (p->ft == nullptr) {
        *out = 0.0f;
        return 1;
    }
    if (p->hop_count == p->hop) mincerMakeFrame(sp, p);
    const auto* frames = static_cast<const float*>(p->frames.data);
    auto* readIndex = static_cast<std::int32_t*>(p->read_index.data);
    float sum = 0.0f;
    for (int j = 0; j < p->overlap; ++j)
        sum += frames[readIndex[j]++];
    *out = static_cast<float>(double(sum) * double(p->amp) * (8.0 / double(p->overlap) / 3.0));
    ++p->hop_count;
    return 1;
}

} // namespace sigpro
