#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "Sigpro/modules/sp_fft.h"
#include "tests/support/Signals.h"

using namespace sigpro;

namespace {

// Owns the tables of one order. Test thread.
struct FftTables {
    explicit FftTables(int order) { sp_fft_init(&fft, order); }
    ~FftTables() { sp_fft_destroy(&fft); }
    FftTables(const FftTables&) = delete;
    FftTables& operator=(const FftTables&) = delete;
    sp_fft fft{};
};

int fftTestOrder(int n) {
    return static_cast<int>(std::log2(n));
}

std::vector<std::complex<double>> fftNaiveDft(const std::vector<std::complex<double>>& x) {
    std::size_t n = x.size();
    std::vector<std::complex<double>> turn(n);
    for (std::size_t m = 0; m < n; ++m)
        turn[m] = std::polar(1.0, -2.0 * std::numbers::pi * static_cast<double>(m) / static_cast<double>(n));
    std::vector<std::complex<double>> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0.0;
        for (std::size_t j = 0; j < n; ++j)
            sum += x[j] * turn[(k * j) % n];
        out[k] = sum;
    }
    return out;
}

// Packs the spectrum of real data the way sp_fftr does.
std::vector<double> fftPackRealSpectrum(const std::vector<std::complex<double>>& X) {
    std::size_t n = X.size();
    std::vector<double> packed(n);
    packed[0] = X[0].real();
    packed[1] = X[n / 2].real();
    for (std::size_t k = 1; k < n / 2; ++k) {
        packed[2 * k] = X[k].real();
        packed[2 * k + 1] = X[k].imag();
    }
    return packed;
}

// Euclidean distance over the reference's Euclidean norm.
double fftRelativeError(const std::vector<float>& got, const std::vector<double>& want) {
    double diff = 0, norm = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        diff += (got[i] - want[i]) * (got[i] - want[i]);
        norm += want[i] * want[i];
    }
    return std::sqrt(diff / norm);
}

} // namespace

TEST(SpFft, TablesHoldTheQuarterCosineAndShortBitReversals) {
    FftTables t3(3);
    EXPECT_EQ(t3.fft.cos_table[0], 1.0f);
    EXPECT_EQ(t3.fft.cos_table[1], static_cast<float>(std::cos(std::numbers::pi / 4)));
    EXPECT_EQ(t3.fft.cos_table[2], 0.0f);
    EXPECT_EQ(t3.fft.bitrev_real[0], 0);
    EXPECT_EQ(t3.fft.bitrev_complex[0], 0);

    // Order 9: the complex table (order 9) reverses 3 bits, the real one (order 8) too; order 10 gives 4
    // bits.
    FftTables t9(9);
    const std::uint16_t reversed3[] = {0, 4, 2, 6, 1, 5, 3, 7};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(t9.fft.bitrev_complex[i], reversed3[i]);
        EXPECT_EQ(t9.fft.bitrev_real[i], reversed3[i]);
    }
    EXPECT_EQ(t9.fft.cos_table[128], 0.0f);
    EXPECT_EQ(t9.fft.cos_table[64], static_cast<float>(std::cos(std::numbers::pi / 4)));
    FftTables t10(10);
    EXPECT_EQ(t10.fft.bitrev_complex[1], 8);
    EXPECT_EQ(t10.fft.bitrev_complex[14], 7);
    EXPECT_EQ(t10.fft.bitrev_real[3], 6);

    // A second set-up replaces the tables of the first.
    sp_fft_init(&t9.fft, 4);
    EXPECT_EQ(t9.fft.cos_table[4], 0.0f);
    EXPECT_EQ(t9.fft.cos_table[2], static_cast<float>(std::cos(std::numbers::pi / 4)));
}

TEST(SpFft, KnownVectors) {
    FftTables t3(3);
    float impulse[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    sp_fftr(&t3.fft, impulse, 8);
    const float flat[8] = {1, 1, 1, 0, 1, 0, 1, 0};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(impulse[i], flat[i]) << i;

    FftTables t6(6);
    std::vector<float> ones(64, 1.0f);
    sp_fftr(&t6.fft, ones.data(), 64);
    EXPECT_FLOAT_EQ(ones[0], 64.0f);
    for (int i = 1; i < 64; ++i)
        EXPECT_NEAR(ones[i], 0.0f, 1e-5f) << i;

    float first[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    sp_fft_cpx(&t3.fft, first, 4);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(first[i], i % 2 == 0 ? 1.0f : 0.0f) << i;
    float second[8] = {0, 0, 1, 0, 0, 0, 0, 0}; // [0, 1, 0, 0] -> [1, -i, -1, i]
    sp_fft_cpx(&t3.fft, second, 4);
    const float rotated[8] = {1, 0, 0, -1, -1, 0, 0, 1};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(second[i], rotated[i]) << i;
}

TEST(SpFft, RealTransformMatchesTheDftInPackedLayout) {
    for (int n = 2; n <= 8192; n *= 2) {
        FftTables tables(std::max(fftTestOrder(n), 3));
        std::vector<float> x = testsupport::noise(n, 17u + n);
        std::vector<std::complex<double>> input(x.begin(), x.end());
        std::vector<double> want = fftPackRealSpectrum(fftNaiveDft(input));
        std::vector<float> got = x;
        sp_fftr(&tables.fft, got.data(), n);
        EXPECT_LT(fftRelativeError(got, want), 1e-6) << "N = " << n;
    }
}

TEST(SpFft, ComplexTransformMatchesTheDftInNaturalOrder) {
    for (int n = 2; n <= 8192; n *= 2) {
        FftTables tables(std::max(fftTestOrder(n), 3));
        std::vector<float> z = testsupport::noise(2 * n, 91u + n);
        std::vector<std::complex<double>> input(n);
        for (int i = 0; i < n; ++i)
            input[i] = {z[2 * i], z[2 * i + 1]};
        std::vector<std::complex<double>> X = fftNaiveDft(input);
        std::vector<double> want(2 * n);
        for (int k = 0; k < n; ++k) {
            want[2 * k] = X[k].real();
            want[2 * k + 1] = X[k].imag();
        }
        sp_fft_cpx(&tables.fft, z.data(), n);
        EXPECT_LT(fftRelativeError(z, want), 1e-6) << "N = " << n;
    }
}

TEST(SpFft, InverseRealTransformUndoesTheForwardOne) {
    for (int n = 2; n <= 8192; n *= 2) {
        FftTables tables(std::max(fftTestOrder(n), 3));
        std::vector<float> x = testsupport::noise(n, 5u + n);
        std::vector<float> y = x;
        sp_fftr(&tables.fft, y.data(), n);
        sp_ifftr(&tables.fft, y.data(), n);
        std::vector<double> want(x.begin(), x.end());
        EXPECT_LT(fftRelativeError(y, want), 1e-6) << "N = " << n;
    }
}

TEST(SpFft, PackedBinsMapToCosinesSinesDcAndNyquist) {
    const int n = 256;
    FftTables tables(8);
    for (int k : {1, 5, 64, 127}) {
        std::vector<float> cosine(n), sine(n);
        for (int i = 0; i < n; ++i) {
            cosine[i] = static_cast<float>(std::cos(2 * std::numbers::pi * k * i / n));
            sine[i] = static_cast<float>(std::sin(2 * std::numbers::pi * k * i / n));
        }
        sp_fftr(&tables.fft, cosine.data(), n);
        sp_fftr(&tables.fft, sine.data(), n);
        for (int i = 0; i < n; ++i) {
            EXPECT_NEAR(cosine[i], i == 2 * k ? n / 2.0f : 0.0f, 2e-4f) << "k " << k << " i " << i;
            EXPECT_NEAR(sine[i], i == 2 * k + 1 ? -n / 2.0f : 0.0f, 2e-4f) << "k " << k << " i " << i;
        }
    }

    // The second float is the Nyquist bin, the first the DC bin; the inverse reads them back the same way.
    std::vector<float> packed(n, 0.0f);
    packed[1] = static_cast<float>(n);
    packed[0] = 3.0f * n;
    sp_ifftr(&tables.fft, packed.data(), n);
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(packed[i], i % 2 == 0 ? 4.0f : 2.0f, 1e-5f) << i;
}
