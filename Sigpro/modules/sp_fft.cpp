#include "Sigpro/modules/sp_fft.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <utility>

namespace sigpro {
namespace {

// Largest block (in complex points) transformed stage by stage; bigger transforms recurse on quarters first
// so that each sub-transform runs inside the first-level cache.
constexpr int fftBlockPoints = 2048;

int fftShortTableBits(int order) {
    return order < 4 ? 0 : order / 2 - 1;
}

std::uint16_t* fftMakeBitReverseTable(int order) {
    int h = fftShortTableBits(order);
    auto* table = new std::uint16_t[std::size_t{1} << h];
    for (std::uint32_t i = 0; i < (1u << h); ++i) {
        std::uint32_t r = 0;
        for (int b = 0; b < h; ++b)
            if (i & (1u << b)) r |= 1u << (h - 1 - b);
        table[i] = static_cast<std::uint16_t>(r);
    }
    return table;
}

// Reverses the low `bits` bits of x, h bits at a time through the short table.
inline std::uint32_t fftReverseBits(const std::uint16_t* table, int h, std::uint32_t x, int bits) {
    std::uint32_t r = 0;
    if (h == 0) {
        for (; bits > 0; --bits, x >>= 1)
            r = (r << 1) | (x & 1u);
        return r;
    }
    while (bits > 0) {
        int w = bits < h ? bits : h;
        r = (r << w) | (table[x & ((1u << w) - 1u)] >> (h - w));
        x >>= w;
        bits -= w;
    }
    return r;
}

inline void fftSwapPoints(float* z, std::uint32_t i, std::uint32_t j) {
    std::swap(z[2 * i], z[2 * j]);
    std::swap(z[2 * i + 1], z[2 * j + 1]);
}

// Puts the n = 2^order interleaved complex points into bit-reversed order. An index is split into its high
// bits, one middle bit and h low bits (h = the table's width), so the inner loop costs one table read.
void fftPermute(float* z, int order, const std::uint16_t* table) {
    int h = fftShortTableBits(order);
    if (h == 0) {
        for (std::uint32_t i = 0; i < (1u << order); ++i) {
            std::uint32_t j = fftReverseBits(table, 0, i, order);
            if (i < j) fftSwapPoints(z, i, j);
        }
        return;
    }
    int highBits = order - h - 1;
    for (std::uint32_t hi = 0; hi < (1u << highBits); ++hi) {
        std::uint32_t revHi = fftReverseBits(table, h, hi, highBits);
        for (std::uint32_t mid = 0; mid < 2; ++mid) {
            std::uint32_t iBase = (hi << (h + 1)) | (mid << h);
            std::uint32_t jBase = (mid << highBits) | revHi;
            for (std::uint32_t lo = 0; lo < (1u << h); ++lo) {
                std::uint32_t i = iBase | lo;
                std::uint32_t j = (std::uint32_t{table[lo]} << (highBits + 1)) | jBase;
                if (i < j) fftSwapPoints(z, i, j);
            }
        }
    }
}

// The first decimation-in-time stage, done before the permutation: points n/2 apart become neighbours there.
void fftFirstStage(float* z, int n, float scale) {
    float* upper = z + n;
    for (int r = 0; r < n; r += 2) {
        float ar = z[r], ai = z[r + 1], br = upper[r], bi = upper[r + 1];
        z[r] = (ar + br) * scale;
        z[r + 1] = (ai + bi) * scale;
        upper[r] = (ar - br) * scale;
        upper[r + 1] = (ai - bi) * scale;
    }
}

// cos and sin of 2 pi t / N for 0 <= t <= N/2, from the quarter-wave table (quarter = N/4).
inline void fftTwiddle(const float* cosTable, int quarter, int t, float& c, float& s) {
    if (t <= quarter) {
        c = cosTable[t];
        s = cosTable[quarter - t];
    } else {
        c = -cosTable[2 * quarter - t];
        s = cosTable[t - quarter];
    }
}

// Multiplies (re, im) by e^(-i theta) (forward) or e^(+i theta) (inverse), given cos and sin of theta.
template <bool Inverse>
inline void fftRotate(float re, float im, float c, float s, float& outRe, float& outIm) {
    if constexpr (Inverse) {
        outRe = re * c - im * s;
        outIm = im * c + re * s;
    } else {
        outRe = re * c + im * s;
        outIm = im * c - re * s;
    }
}

// Combines pairs of m/2-point transforms into m-point transforms over all n points.
template <bool Inverse> void fftRadix2Pass(float* z, int n, int m, const float* cosTable, int tableN) {
    int half = m / 2, stride = tableN / m, quarter = tableN / 4;
    for (int j = 0; j < half; ++j) {
        float c, s;
        fftTwiddle(cosTable, quarter, j * stride, c, s);
        for (int b = j; b < n; b += m) {
            float* p = z + 2 * b;
            float* q = p + 2 * half;
            float tr, ti;
            fftRotate<Inverse>(q[0], q[1], c, s, tr, ti);
            q[0] = p[0] - tr;
            q[1] = p[1] - ti;
            p[0] += tr;
            p[1] += ti;
        }
    }
}

// Two radix-2 stages at once: four m/4-point transforms become one m-point transform.
template <bool Inverse> void fftRadix4Pass(float* z, int n, int m, const float* cosTable, int tableN) {
    int m4 = m / 4, stride = tableN / m, quarter = tableN / 4;
    for (int j = 0; j < m4; ++j) {
        int t = j * stride;
        float c1 = cosTable[t], s1 = cosTable[quarter - t];
        float c2, s2;
        fftTwiddle(cosTable, quarter, 2 * t, c2, s2);
        for (int b = j; b < n; b += m) {
            float* p0 = z + 2 * b;
            float* p1 = p0 + 2 * m4;
            float* p2 = p1 + 2 * m4;
            float* p3 = p2 + 2 * m4;
            float r1, i1, r3, i3;
            fftRotate<Inverse>(p1[0], p1[1], c2, s2, r1, i1);
            fftRotate<Inverse>(p3[0], p3[1], c2, s2, r3, i3);
            float u0r = p0[0] + r1, u0i = p0[1] + i1;
            float u1r = p0[0] - r1, u1i = p0[1] - i1;
            float u2r = p2[0] + r3, u2i = p2[1] + i3;
            float u3r = p2[0] - r3, u3i = p2[1] - i3;
            float v2r, v2i, v3r, v3i;
            fftRotate<Inverse>(u2r, u2i, c1, s1, v2r, v2i);
            fftRotate<Inverse>(u3r, u3i, c1, s1, v3r, v3i);
            // The second half of the block takes the twiddle a quarter turn further: times -i (or +i).
            if constexpr (Inverse) {
                std::swap(v3r, v3i);
                v3r = -v3r;
            } else {
                std::swap(v3r, v3i);
                v3i = -v3i;
            }
            p0[0] = u0r + v2r;
            p0[1] = u0i + v2i;
            p2[0] = u0r - v2r;
            p2[1] = u0i - v2i;
            p1[0] = u1r + v3r;
            p1[1] = u1i + v3i;
            p3[0] = u1r - v3r;
            p3[1] = u1i - v3i;
        }
    }
}

// All stages after the first on n bit-reversed points.
template <bool Inverse> void fftStages(float* z, int n, const float* cosTable, int tableN) {
    if (n > fftBlockPoints) {
        int quarterPoints = n / 4;
        for (int k = 0; k < 4; ++k)
            fftStages<Inverse>(z + 2 * k * quarterPoints, quarterPoints, cosTable, tableN);
        fftRadix4Pass<Inverse>(z, n, n, cosTable, tableN);
        return;
    }
    int order = std::countr_zero(static_cast<unsigned>(n));
    if (order < 2) return;
    int m = 2;
    if ((order - 1) % 2 == 1) {
        fftRadix2Pass<Inverse>(z, n, 4, cosTable, tableN);
        m = 4;
    }
    while (m < n) {
        m *= 4;
        fftRadix4Pass<Inverse>(z, n, m, cosTable, tableN);
    }
}

// Complex transform of n = 2^order points with twiddles of a table made for tableN.
template <bool Inverse>
void fftComplex(float* z, int order, float scale, const std::uint16_t* bitrev, const float* cosTable,
                int tableN) {
    int n = 1 << order;
    fftFirstStage(z, n, scale);
    fftPermute(z, order, bitrev);
    fftStages<Inverse>(z, n, cosTable, tableN);
}

int fftOrderOf(int n) {
    return n <= 0 ? -1 : std::bit_width(static_cast<unsigned>(n)) - 1;
}

} // namespace

int sp_fft_init(sp_fft* fft, int M) {
    sp_fft_destroy(fft);
    if (M < 0 || M > 30) {
        std::fprintf(stderr, "sp_fft_init: order %d is out of range\n", M);
        return 0;
    }
    int n = 1 << M;
    int quarter = n / 4;
    fft->cos_table = new float[quarter + 1];
    fft->cos_table[0] = 1.0f;
    for (int i = 1; i < quarter; ++i)
        fft->cos_table[i] = static_cast<float>(std::cos(2.0 * std::numbers::pi * i / n));
    if (quarter > 0) fft->cos_table[quarter] = 0.0f;
    fft->bitrev_real = fftMakeBitReverseTable(M - 1);
    fft->bitrev_complex = fftMakeBitReverseTable(M);
    return 1;
}

void sp_fft_destroy(sp_fft* fft) {
    delete[] fft->cos_table;
    delete[] fft->bitrev_real;
    delete[] fft->bitrev_complex;
    fft->cos_table = nullptr;
    fft->bitrev_real = nullptr;
    fft->bitrev_complex = nullptr;
}

void sp_fftr(sp_fft* fft, float* buf, int N) {
    int M = fftOrderOf(N);
    if (M <= 0) return;
    if (M == 1) {
        float x0 = buf[0], x1 = buf[1];
        buf[0] = x0 + x1;
        buf[1] = x0 - x1;
        return;
    }
    if (M == 2) {
        float x0 = buf[0], x1 = buf[1], x2 = buf[2], x3 = buf[3];
        buf[0] = (x0 + x2) + (x1 + x3);
        buf[1] = (x0 + x2) - (x1 + x3);
        buf[2] = x0 - x2;
        buf[3] = x3 - x1;
        return;
    }
    // N reals are N/2 complex points; their half-scaled transform Z' is split into the real spectrum.
    int n = N / 2;
    const float* ct = fft->cos_table;
    int quarter = N / 4;
    fftComplex<false>(buf, M - 1, 0.5f, fft->bitrev_real, ct, N);
    float z0r = buf[0], z0i = buf[1];
    buf[0] = 2.0f * (z0r + z0i);
    buf[1] = 2.0f * (z0r - z0i);
    buf[n] = 2.0f * buf[n];
    buf[n + 1] = -2.0f * buf[n + 1];
    for (int k = 1; k < n / 2; ++k) {
        float* a = buf + 2 * k;
        float* b = buf + 2 * (n - k);
        float er = a[0] + b[0], ei = a[1] - b[1];
        float dr = a[0] - b[0], di = a[1] + b[1];
        float wr, wi;
        fftRotate<false>(dr, di, ct[k], ct[quarter - k], wr, wi);
        a[0] = er + wi;
        a[1] = ei - wr;
        b[0] = er - wi;
        b[1] = -(ei + wr);
    }
}

void sp_ifftr(sp_fft* fft, float* buf, int N) {
    int M = fftOrderOf(N);
    if (M <= 0) return;
    float scale = 1.0f / static_cast<float>(N);
    if (M == 1) {
        float x0 = buf[0], x1 = buf[1];
        buf[0] = (x0 + x1) * scale;
        buf[1] = (x0 - x1) * scale;
        return;
    }
    if (M == 2) {
        float dc = buf[0], nyq = buf[1], re = buf[2], im = buf[3];
        buf[0] = ((dc + nyq) + 2.0f * re) * scale;
        buf[1] = ((dc - nyq) - 2.0f * im) * scale;
        buf[2] = ((dc + nyq) - 2.0f * re) * scale;
        buf[3] = ((dc - nyq) + 2.0f * im) * scale;
        return;
    }
    // Rebuild twice the half-size complex spectrum, then one inverse complex transform scaled by 1/N.
    int n = N / 2;
    const float* ct = fft->cos_table;
    int quarter = N / 4;
    float dc = buf[0], nyq = buf[1];
    buf[0] = dc + nyq;
    buf[1] = dc - nyq;
    buf[n] = 2.0f * buf[n];
    buf[n + 1] = -2.0f * buf[n + 1];
    for (int k = 1; k < n / 2; ++k) {
        float* a = buf + 2 * k;
        float* b = buf + 2 * (n - k);
        float er = a[0] + b[0], ei = a[1] - b[1];
        float fr = a[0] - b[0], fi = a[1] + b[1];
        float wr, wi;
        fftRotate<true>(fr, fi, ct[k], ct[quarter - k], wr, wi);
        // D = i conj(W) F
        float dr = -wi, di = wr;
        a[0] = er + dr;
        a[1] = ei + di;
        b[0] = er - dr;
        b[1] = -(ei - di);
    }
    fftComplex<true>(buf, M - 1, scale, fft->bitrev_real, ct, N);
}

void sp_fft_cpx(sp_fft* fft, float* buf, int N) {
    int M = fftOrderOf(N);
    if (M <= 0) return;
    if (M == 1) {
        float ar = buf[0], ai = buf[1], br = buf[2], bi = buf[3];
        buf[0] = ar + br;
        buf[1] = ai + bi;
        buf[2] = ar - br;
        buf[3] = ai - bi;
        return;
    }
    if (M == 2) {
        float z0r = buf[0], z0i = buf[1], z1r = buf[2], z1i = buf[3];
        float z2r = buf[4], z2i = buf[5], z3r = buf[6], z3i = buf[7];
        float sr = z0r + z2r, si = z0i + z2i, dr = z0r - z2r, di = z0i - z2i;
        float tr = z1r + z3r, ti = z1i + z3i, er = z1r - z3r, ei = z1i - z3i;
        buf[0] = sr + tr;
        buf[1] = si + ti;
        buf[2] = dr + ei; // (z0 - z2) - i (z1 - z3)
        buf[3] = di - er;
        buf[4] = sr - tr;
        buf[5] = si - ti;
        buf[6] = dr - ei; // (z0 - z2) + i (z1 - z3)
        buf[7] = di + er;
        return;
    }
    fftComplex<false>(buf, M, 1.0f, fft->bitrev_complex, fft->cos_table, N);
}

} // namespace sigpro
