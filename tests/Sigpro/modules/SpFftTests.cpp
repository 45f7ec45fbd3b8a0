#include "Sigpro/modules/sp_fft.h"
#include "tests/Sigpro/modules/ModuleHandle.h"

#include <complex>

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

std::vector<std::complex<double>> fftNaiveDft(const std::vector<std::complex<double>>& x) {
    const std::size_t n = x.size();
    std::vector<std::complex<double>> turn(n), out(n);
    for (std::size_t m = 0; m < n; ++m)
        turn[m] = std::polar(1.0, -2.0 * std::numbers::pi * double(m) / double(n));
    for (std::size_t k = 0; k < n; ++k)
        for (std::size_t j = 0; j < n; ++j)
            out[k] += x[j] * turn[(k * j) % n];
    return out;
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

TEST(SpFft, KnownTablesAndVectors) {
    FftTables t3(3);
    EXPECT_EQ(std::vector(t3.fft.cos_table, t3.fft.cos_table + 3),
              (std::vector{1.0f, static_cast<float>(std::cos(std::numbers::pi / 4)), 0.0f}));
    std::vector<float> impulse = {1, 0, 0, 0, 0, 0, 0, 0};
    sp_fftr(&t3.fft, impulse.data(), 8);
    EXPECT_EQ(impulse, (std::vector<float>{1, 1, 1, 0, 1, 0, 1, 0}));
    // Complex [1, 0, 0, 0] gives all ones; [0, 1, 0, 0] gives [1, -i, -1, i].
    std::vector<float> first = {1, 0, 0, 0, 0, 0, 0, 0}, second = {0, 0, 1, 0, 0, 0, 0, 0};
    sp_fft_cpx(&t3.fft, first.data(), 4);
    sp_fft_cpx(&t3.fft, second.data(), 4);
    EXPECT_EQ(first, (std::vector<float>{1, 0, 1, 0, 1, 0, 1, 0}));
    EXPECT_EQ(second, (std::vector<float>{1, 0, 0, -1, -1, 0, 0, 1}));

    // A second set-up replaces the tables of the first.
    sp_fft_init(&t3.fft, 6);
    std::vector<float> ones(64, 1.0f);
    sp_fftr(&t3.fft, ones.data(), 64);
    EXPECT_FLOAT_EQ(ones[0], 64.0f);
    for (int i = 1; i < 64; ++i)
        EXPECT_NEAR(ones[i], 0.0f, 1e-5f) << i;
}

TEST(SpFft, TransformsMatchTheDftAndTheInverseUndoesTheRealOne) {
    for (int n = 2; n <= 8192; n *= 2) {
        FftTables tables(std::max(static_cast<int>(std::log2(n)), 3));
        // Real: the spectrum packed as [Re X0, Re X(n/2), Re X1, Im X1, ...].
        const std::vector<float> x = testsupport::noise(n, 17u + n);
        const auto X = fftNaiveDft(std::vector<std::complex<double>>(x.begin(), x.end()));
        std::vector<double> packed = {X[0].real(), X[n / 2].real()};
        for (int k = 1; k < n / 2; ++k)
            packed.insert(packed.end(), {X[k].real(), X[k].imag()});
        std::vector<float> y = x;
        sp_fftr(&tables.fft, y.data(), n);
        EXPECT_LT(fftRelativeError(y, packed), 1e-6) << "real, N = " << n;
        sp_ifftr(&tables.fft, y.data(), n);
        EXPECT_LT(fftRelativeError(y, std::vector<double>(x.begin(), x.end())), 1e-6) << "inverse, N = " << n;

        // Complex: interleaved points in natural order.
        std::vector<float> z = testsupport::noise(2 * n, 91u + n);
        std::vector<std::complex<double>> points(n);
        for (int i = 0; i < n; ++i)
            points[i] = {z[2 * i], z[2 * i + 1]};
        std::vector<double> want;
        for (const auto& bin : fftNaiveDft(points))
            want.insert(want.end(), {bin.real(), bin.imag()});
        sp_fft_cpx(&tables.fft, z.data(), n);
        EXPECT_LT(fftRelativeError(z, want), 1e-6) << "complex, N = " << n;
    }
}
