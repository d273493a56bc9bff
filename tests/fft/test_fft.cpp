// RealFFT: hand-checkable values, error codes and the untouched-on-failure contract, round trips for every
// supported size, and agreement with a direct long-double DFT.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "U_FFT2.h"
#include "U_FFT2_internal.h"
#include "U_FFT2_kernel.h"

namespace {

constexpr long double PiL = 3.141592653589793238462643383279502884L;

// Error bounds. The twiddles come from rotating by (c, s) with c = cos(2*pi/m) rounded to double and s taken
// from c, so each step turns by arccos(c), off from 2*pi/m by up to eps/sin(2*pi/m) ~ eps*m/(2*pi); after up to
// m/2 steps the angle is off by ~ eps*m^2/(4*pi) ~ 1e-17*m^2. That drift, not the butterflies' rounding, sets the
// accuracy above m ~ 64 (2e-10 of the input RMS at n = 8192). The bounds below are that drift term with a factor
// of 2..4 of margin over the worst measured case, plus a floor for the rounding of small sizes.
double DriftBound(int32_t m, double perSquare) {
    return perSquare * static_cast<double>(m) * static_cast<double>(m) + 4e-15;
}

TNvector2 RandomVector(std::size_t size, uint32_t seed, double lo = -1.0, double hi = 1.0) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(lo, hi);
    TNvector2 v(size);
    for (double& x : v) x = dist(gen);
    return v;
}

// Forward transform of x (n entries) into arrays of n + 1 entries; entry n holds a sentinel.
struct Spectrum {
    TNvector2 re, im;
    uint8_t code = 255;
};
constexpr double Sentinel = 12345.678;

Spectrum Forward(const TNvector2& x, int32_t n) {
    Spectrum s;
    s.re = x;
    s.re.resize(static_cast<std::size_t>(n) + 1, Sentinel);
    s.re[static_cast<std::size_t>(n)] = Sentinel;
    s.im.assign(static_cast<std::size_t>(n) + 1, 0.0);
    s.im[static_cast<std::size_t>(n)] = Sentinel;
    RealFFT(n, false, s.re, s.im, s.code);
    return s;
}

bool BitwiseEqual(const TNvector2& a, const TNvector2& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::memcmp(&a[i], &b[i], sizeof(double)) != 0) return false;
    }
    return true;
}

struct CacheSnapshot {
    int32_t size;
    TNvector2 re, im;
    static CacheSnapshot Take() {
        return {fft_internal::TwiddleSize, fft_internal::TwiddleRe, fft_internal::TwiddleIm};
    }
    bool operator==(const CacheSnapshot& o) const {
        return size == o.size && BitwiseEqual(re, o.re) && BitwiseEqual(im, o.im);
    }
};

}  // namespace

// n = 4: bin 0 is (1+2+3+4)/2 = 5; bin 1 is (1 - 2i - 3 + 4i)/2 = -1 + i; Nyquist (1-2+3-4)/2 = -1;
// bin 3 is the conjugate of bin 1.
TEST(RealFFT, FourSamplesGiveHandComputedBins) {
    Spectrum s = Forward({1, 2, 3, 4}, 4);
    ASSERT_EQ(s.code, 0);
    const double expRe[] = {5, -1, -1, -1};
    const double expIm[] = {0, 1, 0, -1};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(s.re[k], expRe[k], 1e-15) << "bin " << k;
        EXPECT_NEAR(s.im[k], expIm[k], 1e-15) << "bin " << k;
    }
    EXPECT_EQ(s.im[0], 0.0);  // exactly zero, not just small
}

// A constant v puts v*sqrt(n) in bin 0 and nothing elsewhere.
TEST(RealFFT, ConstantInputFillsOnlyBinZero) {
    for (int32_t n : {4, 64, 8192, 16384}) {
        const double v = 3.25;
        Spectrum s = Forward(TNvector2(static_cast<std::size_t>(n), v), n);
        ASSERT_EQ(s.code, 0);
        const double tol = 1e-13 * v * std::sqrt(n);
        EXPECT_NEAR(s.re[0], v * std::sqrt(n), tol) << "n=" << n;
        for (int32_t k = 1; k < n; ++k) {
            ASSERT_NEAR(s.re[static_cast<std::size_t>(k)], 0.0, tol) << "n=" << n << " k=" << k;
            ASSERT_NEAR(s.im[static_cast<std::size_t>(k)], 0.0, tol) << "n=" << n << " k=" << k;
        }
    }
}

// p whole periods of cos give sqrt(n)/2 in re[p] (and its mirror re[n-p]); of sin, -sqrt(n)/2 in im[p].
struct PeriodCase {
    int32_t n, p;
};
class WholePeriods : public testing::TestWithParam<PeriodCase> {};

TEST_P(WholePeriods, CosineAndSineLandInOneBin) {
    const auto [n, p] = GetParam();
    const auto size = static_cast<std::size_t>(n);
    TNvector2 c(size), s(size);
    for (std::size_t t = 0; t < size; ++t) {
        const long double angle = 2 * PiL * p * static_cast<long double>(t) / n;
        c[t] = static_cast<double>(std::cos(angle));
        s[t] = static_cast<double>(std::sin(angle));
    }
    Spectrum fc = Forward(c, n), fs = Forward(s, n);
    ASSERT_EQ(fc.code, 0);
    ASSERT_EQ(fs.code, 0);
    const double peak = std::sqrt(static_cast<double>(n)) / 2;
    const double tol = DriftBound(n / 2, 4e-17) * std::sqrt(static_cast<double>(n));
    for (std::size_t k = 0; k < size; ++k) {
        const bool atP = k == static_cast<std::size_t>(p);
        const bool atMirror = k == size - static_cast<std::size_t>(p);
        ASSERT_NEAR(fc.re[k], (atP || atMirror) ? peak : 0.0, tol) << "cos bin " << k;
        ASSERT_NEAR(fc.im[k], 0.0, tol) << "cos bin " << k;
        ASSERT_NEAR(fs.re[k], 0.0, tol) << "sin bin " << k;
        ASSERT_NEAR(fs.im[k], atP ? -peak : (atMirror ? peak : 0.0), tol) << "sin bin " << k;
    }
}
INSTANTIATE_TEST_SUITE_P(RealFFT, WholePeriods,
                         testing::Values(PeriodCase{4, 1}, PeriodCase{8, 3}, PeriodCase{64, 1}, PeriodCase{64, 31},
                                         PeriodCase{8192, 1}, PeriodCase{8192, 37}, PeriodCase{8192, 245},
                                         PeriodCase{8192, 4095}),
                         [](const testing::TestParamInfo<PeriodCase>& c) {
                             return std::to_string(c.param.n) + "Samples" + std::to_string(c.param.p) + "Periods";
                         });

// Error codes; a refused call writes the code and touches neither the arrays nor the twiddle cache.
struct CodeCase {
    int32_t n;
    uint8_t code;
};
class ErrorCodes : public testing::TestWithParam<CodeCase> {};

TEST_P(ErrorCodes, RefusedSizesChangeNothing) {
    const auto [n, expected] = GetParam();
    Forward(RandomVector(64, 1), 64);  // a known cache state to compare against
    const CacheSnapshot before = CacheSnapshot::Take();
    TNvector2 re = RandomVector(40000, 2), im = RandomVector(40000, 3);
    const TNvector2 re0 = re, im0 = im;
    uint8_t code = 255;
    RealFFT(n, false, re, im, code);
    EXPECT_EQ(code, expected);
    EXPECT_TRUE(BitwiseEqual(re, re0));
    EXPECT_TRUE(BitwiseEqual(im, im0));
    EXPECT_TRUE(CacheSnapshot::Take() == before);
    code = 255;
    RealFFT(n, true, re, im, code);
    EXPECT_EQ(code, expected);
    EXPECT_TRUE(BitwiseEqual(re, re0));
}
INSTANTIATE_TEST_SUITE_P(RealFFT, ErrorCodes,
                         testing::Values(CodeCase{-8, 1}, CodeCase{0, 1}, CodeCase{1, 1}, CodeCase{2, 1},
                                         CodeCase{3, 1}, CodeCase{6, 2}, CodeCase{10, 2}, CodeCase{12, 2},
                                         CodeCase{100, 2}, CodeCase{32768, 2}, CodeCase{32769, 2}),
                         [](const testing::TestParamInfo<CodeCase>& c) {
                             const std::string count = c.param.n < 0 ? "Minus" + std::to_string(-c.param.n)
                                                                     : std::to_string(c.param.n);
                             return "Count" + count + "GivesCode" + std::to_string(c.param.code);
                         });

TEST(RealFFT, ArraysShorterThanNAreRefusedUntouched) {
    Forward(RandomVector(64, 1), 64);
    const CacheSnapshot before = CacheSnapshot::Take();
    for (const auto& [reLen, imLen] : {std::pair{127, 128}, std::pair{128, 127}, std::pair{0, 0}}) {
        TNvector2 re = RandomVector(static_cast<std::size_t>(reLen), 4);
        TNvector2 im = RandomVector(static_cast<std::size_t>(imLen), 5);
        const TNvector2 re0 = re, im0 = im;
        uint8_t code = 0;
        RealFFT(128, false, re, im, code);
        EXPECT_EQ(code, 3);
        EXPECT_TRUE(BitwiseEqual(re, re0));
        EXPECT_TRUE(BitwiseEqual(im, im0));
        EXPECT_TRUE(CacheSnapshot::Take() == before);
    }
}

// An odd count drops its last sample: 5 acts as 4 and 8193 as 8192, and the last entry is left alone.
TEST(RealFFT, OddCountIgnoresTheLastSample) {
    for (int32_t n : {5, 8193}) {
        const auto even = static_cast<std::size_t>(n - 1);
        TNvector2 x = RandomVector(even, 7);
        Spectrum ref = Forward(x, n - 1);
        x.push_back(99.0);
        Spectrum odd = Forward(x, n);
        ASSERT_EQ(odd.code, 0);
        for (std::size_t k = 0; k < even; ++k) {
            ASSERT_EQ(odd.re[k], ref.re[k]) << "n=" << n << " k=" << k;
            ASSERT_EQ(odd.im[k], ref.im[k]) << "n=" << n << " k=" << k;
        }
        EXPECT_EQ(odd.re[even], 99.0);
        EXPECT_EQ(odd.im[even], 0.0);
    }
}

TEST(RealFFT, ImaginaryInputIsIgnored) {
    const TNvector2 x = RandomVector(8192, 8);
    Spectrum clean = Forward(x, 8192);
    TNvector2 re = x, im = RandomVector(8192, 9, -1e6, 1e6);
    uint8_t code = 255;
    RealFFT(8192, false, re, im, code);
    ASSERT_EQ(code, 0);
    clean.re.pop_back();
    clean.im.pop_back();
    EXPECT_TRUE(BitwiseEqual(re, clean.re));
    EXPECT_TRUE(BitwiseEqual(im, clean.im));
}

// Same size twice, and a detour through other sizes (which rebuilds the cache), give the same bits.
TEST(RealFFT, RepeatedAndAlternatingSizesAreBitwiseIdentical) {
    const TNvector2 x = RandomVector(8192, 10);
    const Spectrum first = Forward(x, 8192);
    const double* table = fft_internal::TwiddleRe.data();
    const Spectrum again = Forward(x, 8192);
    EXPECT_EQ(fft_internal::TwiddleRe.data(), table) << "same size must reuse the cached tables";
    Forward(RandomVector(1024, 11), 1024);
    EXPECT_EQ(fft_internal::TwiddleSize, 512);
    Forward(RandomVector(16, 12), 16);
    const Spectrum back = Forward(x, 8192);
    EXPECT_TRUE(BitwiseEqual(first.re, again.re) && BitwiseEqual(first.im, again.im));
    EXPECT_TRUE(BitwiseEqual(first.re, back.re) && BitwiseEqual(first.im, back.im));
}

// The cache holds exp(-2*pi*i*k/m) in entries 0..m/2-1; the rest exists and stays zero.
TEST(TwiddleCache, HoldsForwardTwiddlesInTheLowerHalf) {
    fft_internal::BuildTwiddles(4096);
    ASSERT_EQ(fft_internal::TwiddleSize, 4096);
    ASSERT_EQ(fft_internal::TwiddleRe.size(), 4096u);
    for (std::size_t k = 0; k < 4096; ++k) {
        if (k < 2048) {
            const long double angle = 2 * PiL * static_cast<long double>(k) / 4096;
            // The rotation recurrence drifts (see DriftBound), but stays on the unit circle.
            ASSERT_NEAR(fft_internal::TwiddleRe[k], static_cast<double>(std::cos(angle)), DriftBound(4096, 1e-17));
            ASSERT_NEAR(fft_internal::TwiddleIm[k], static_cast<double>(-std::sin(angle)), DriftBound(4096, 1e-17));
            const double re = fft_internal::TwiddleRe[k], im = fft_internal::TwiddleIm[k];
            ASSERT_NEAR(re * re + im * im, 1.0, 1e-14) << k;
        } else {
            ASSERT_EQ(fft_internal::TwiddleRe[k], 0.0);
            ASSERT_EQ(fft_internal::TwiddleIm[k], 0.0);
        }
    }
}

TEST(LookupFFTSize, GivesTheExponentOfEachHalfSize) {
    for (uint8_t e = 1; e <= 13; ++e) {
        uint8_t exponent = 0, code = 255;
        fft_internal::LookupFFTSize(int32_t{1} << e, exponent, code);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(exponent, e);
    }
}

// ComplexFFT forward then inverse gives the points back, for every supported half size.
TEST(ComplexFFT, ForwardThenInverseRestoresThePoints) {
    for (uint8_t e = 1; e <= 13; ++e) {
        const int32_t m = int32_t{1} << e;
        const auto size = static_cast<std::size_t>(m);
        const TNvector2 re0 = RandomVector(size, 20 + e), im0 = RandomVector(size, 40 + e);
        TNvector2 re = re0, im = im0;
        fft_internal::BuildTwiddles(m);
        fft_internal::ComplexFFT(e, m, false, re, im);
        fft_internal::ComplexFFT(e, m, true, re, im);
        double maxErr = 0;
        for (std::size_t i = 0; i < size; ++i) {
            maxErr = std::max({maxErr, std::abs(re[i] - re0[i]), std::abs(im[i] - im0[i])});
        }
        EXPECT_LT(maxErr, DriftBound(m, 1e-17)) << "m=" << m;
    }
}

// RealFFT forward then inverse restores the samples for every supported size, 4 to 16384 (relative RMS
// error), builds the twiddles for half that size, leaves the imaginary array zero and the sentinels past the
// end alone.
TEST(RealFFT, ForwardThenInverseRestoresEverySize) {
    for (int32_t n = 4; n <= 16384; n *= 2) {
        const auto size = static_cast<std::size_t>(n);
        const TNvector2 x = RandomVector(size, static_cast<uint32_t>(n));
        Spectrum s = Forward(x, n);
        ASSERT_EQ(s.code, 0);
        EXPECT_EQ(fft_internal::TwiddleSize, n / 2);
        uint8_t code = 255;
        RealFFT(n, true, s.re, s.im, code);
        ASSERT_EQ(code, 0);
        long double errSq = 0, refSq = 0;
        for (std::size_t i = 0; i < size; ++i) {
            errSq += static_cast<long double>(s.re[i] - x[i]) * (s.re[i] - x[i]);
            refSq += static_cast<long double>(x[i]) * x[i];
            ASSERT_EQ(s.im[i], 0.0);
        }
        EXPECT_LT(std::sqrt(errSq / refSq), DriftBound(n / 2, 1e-17)) << "n=" << n;
        EXPECT_EQ(s.re[size], Sentinel);
        EXPECT_EQ(s.im[size], Sentinel);
    }
}

// Against a direct DFT in long double, bins 0..n-1, on random input in [-1, 1]. The bound is on the largest
// error relative to the RMS of the spectrum (equal to the input's RMS).
TEST(RealFFT, AgreesWithDirectLongDoubleDFT) {
    for (int32_t n : {4, 8, 32, 256, 2048, 8192, 16384}) {
        const auto size = static_cast<std::size_t>(n);
        const TNvector2 x = RandomVector(size, 100 + static_cast<uint32_t>(n));
        const Spectrum s = Forward(x, n);
        ASSERT_EQ(s.code, 0);
        std::vector<long double> cosT(size), sinT(size);
        for (std::size_t t = 0; t < size; ++t) {
            cosT[t] = std::cos(2 * PiL * static_cast<long double>(t) / n);
            sinT[t] = std::sin(2 * PiL * static_cast<long double>(t) / n);
        }
        // At n = 8192 a spread of 64 bins keeps the O(n^2) reference fast; smaller sizes check every bin.
        const std::size_t step = n > 2048 ? size / 64 + 1 : 1;
        long double rmsSq = 0;
        for (double v : x) rmsSq += static_cast<long double>(v) * v;  // Parseval: spectrum RMS = input RMS
        const double rms = static_cast<double>(std::sqrt(rmsSq / n));
        double maxErr = 0;
        for (std::size_t k = 0; k < size; k += step) {
            long double sr = 0, si = 0;
            for (std::size_t t = 0; t < size; ++t) {
                const std::size_t idx = (k * t) % size;
                sr += x[t] * cosT[idx];
                si -= x[t] * sinT[idx];
            }
            const long double scale = 1 / std::sqrt(static_cast<long double>(n));
            maxErr = std::max({maxErr, static_cast<double>(std::abs(sr * scale - s.re[k])),
                               static_cast<double>(std::abs(si * scale - s.im[k]))});
        }
        EXPECT_LT(maxErr / rms, DriftBound(n / 2, 4e-17)) << "n=" << n;
    }
}

// --- The steps done plainly, one stage and one offset at a time, as a bitwise reference ---

namespace {

void PlainComplexFFT(uint8_t e, int32_t m, bool inverse, TNvector2& re, TNvector2& im) {
    using fft_internal::TwiddleIm;
    using fft_internal::TwiddleRe;
    const auto size = static_cast<std::size_t>(m);
    for (std::size_t i = 0, j = 0; i + 1 < size; ++i) {
        if (j > i) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
        std::size_t k = size / 2;
        for (; j >= k; k /= 2) j -= k;
        j += k;
    }
    if (inverse) {
        for (std::size_t i = 0; i < size; ++i) im[i] = -im[i];
    }
    const double c = 0.707106781186548;
    for (unsigned s = 1; s <= e; ++s) {
        const std::size_t h = std::size_t{1} << (s - 1), r = size >> s;
        for (std::size_t j = 0; j < h; ++j) {
            for (std::size_t g = 0; g < size; g += 2 * h) {
                const std::size_t a = g + j, b = a + h;
                double tr, ti;
                if (j == 0) {
                    tr = re[b], ti = im[b];
                } else if (h >= 4 && j == h / 4) {
                    tr = (re[b] + im[b]) * c, ti = (im[b] - re[b]) * c;
                } else if (h >= 2 && j == h / 2) {
                    tr = im[b], ti = -re[b];
                } else if (h >= 4 && j == 3 * h / 4) {
                    tr = (re[b] - im[b]) * -c, ti = (re[b] + im[b]) * -c;
                } else {
                    const double wr = TwiddleRe[j * r], wi = TwiddleIm[j * r];
                    tr = re[b] * wr - im[b] * wi, ti = re[b] * wi + im[b] * wr;
                }
                re[b] = re[a] - tr, im[b] = im[a] - ti;
                re[a] = re[a] + tr, im[a] = im[a] + ti;
            }
        }
    }
    const double f = static_cast<double>(1.0L / std::sqrt(static_cast<long double>(m)));
    for (std::size_t i = 0; i < size; ++i) re[i] = re[i] * f, im[i] = im[i] * (inverse ? -f : f);
}

// Forward RealFFT bins 0..m-1 through scratch arrays, the twiddles of the split step read from the cache.
void PlainRealFFT(int32_t n, TNvector2& re, TNvector2& im) {
    const int32_t m = n / 2;
    const auto size = static_cast<std::size_t>(m);
    TNvector2 even(re.size()), odd(im.size());
    for (std::size_t i = 0; i < size; ++i) even[i] = re[2 * i], odd[i] = re[2 * i + 1];
    for (std::size_t i = 0; i < size; ++i) re[i] = even[i], im[i] = odd[i];
    fft_internal::BuildTwiddles(m);
    PlainComplexFFT(static_cast<uint8_t>(std::log2(m)), m, false, re, im);
    TNvector2 R(re.size()), I(im.size());
    R[0] = (re[0] + im[0]) / std::sqrt(2.0);
    const double q = 0.5 / std::sqrt(2.0);
    for (std::size_t k = 1; k < size; ++k) {
        const double wr = fft_internal::SpectrumRe[k], wi = fft_internal::SpectrumIm[k];
        const double a = re[k] + re[size - k], b = im[k] + im[size - k];
        const double c = re[k] - re[size - k], d = im[k] - im[size - k];
        R[k] = ((wr * b + a) + wi * c) * q;
        I[k] = ((wi * b + d) - wr * c) * q;
    }
    for (std::size_t k = 0; k < size; ++k) re[k] = R[k], im[k] = I[k];
}

// RealFFT against the plain steps, bit for bit, for every supported size (random input seeded from SeedBase).
void ExpectPlainStepsBitwise(uint32_t SeedBase) {
    for (int32_t n = 4; n <= 16384; n *= 2) {
        const auto size = static_cast<std::size_t>(n);
        const TNvector2 x = RandomVector(size, SeedBase + static_cast<uint32_t>(n));
        const Spectrum fast = Forward(x, n);
        TNvector2 re = x, im(size, 0.0);
        PlainRealFFT(n, re, im);
        for (std::size_t k = 0; k < size / 2; ++k) {
            ASSERT_EQ(std::memcmp(&fast.re[k], &re[k], sizeof(double)), 0) << "n=" << n << " k=" << k;
            ASSERT_EQ(std::memcmp(&fast.im[k], &im[k], sizeof(double)), 0) << "n=" << n << " k=" << k;
        }
    }
}

}  // namespace

// Each kernel (the portable one, and the AVX2 one where this build and processor have it) against the plain
// steps, bit for bit: the fused, cache-blocked stages and the paired split step must not change a single bit.
struct KernelCase {
    const char* name;
    bool wide;  // fft_internal::UseWideVectors
};
class EveryKernel : public testing::TestWithParam<KernelCase> {
protected:
    void SetUp() override { fft_internal::UseWideVectors = GetParam().wide; }
    void TearDown() override { fft_internal::UseWideVectors = true; }
};

TEST_P(EveryKernel, RealFFTMatchesThePlainStepsBitwise) {
    ExpectPlainStepsBitwise(300);
}

TEST_P(EveryKernel, ComplexFFTMatchesThePlainStagesBitwiseBothWays) {
    for (uint8_t e = 1; e <= 13; ++e) {
        const int32_t m = int32_t{1} << e;
        for (bool inverse : {false, true}) {
            TNvector2 re = RandomVector(static_cast<std::size_t>(m), 500 + e);
            TNvector2 im = RandomVector(static_cast<std::size_t>(m), 600 + e);
            TNvector2 pr = re, pi = im;
            fft_internal::ComplexFFT(e, m, inverse, re, im);
            PlainComplexFFT(e, m, inverse, pr, pi);
            EXPECT_TRUE(BitwiseEqual(re, pr) && BitwiseEqual(im, pi)) << "m=" << m << " inverse=" << inverse;
        }
    }
}

std::vector<KernelCase> AvailableKernels() {
    std::vector<KernelCase> kernels = {{"Portable", false}};
    if (fft_internal::Avx2Kernel() != nullptr) kernels.push_back({"Avx2", true});
    return kernels;
}
INSTANTIATE_TEST_SUITE_P(RealFFT, EveryKernel, testing::ValuesIn(AvailableKernels()),
                         [](const testing::TestParamInfo<KernelCase>& kernel) { return std::string(kernel.param.name); });

// The split step's twiddles: exp(-i*pi*k/m), from the table for even k, from cosine and sine for odd k.
TEST(TwiddleCache, SplitStepTwiddlesAreTheFullLengthOnes) {
    fft_internal::BuildTwiddles(4096);
    for (std::size_t k = 0; k < 4096; ++k) {
        if (k % 2 == 0) {
            ASSERT_EQ(fft_internal::SpectrumRe[k], fft_internal::TwiddleRe[k / 2]);
            ASSERT_EQ(fft_internal::SpectrumIm[k], fft_internal::TwiddleIm[k / 2]);
        } else {
            const long double angle = PiL * static_cast<long double>(k) / 4096;
            ASSERT_NEAR(fft_internal::SpectrumRe[k], static_cast<double>(std::cos(angle)), 4e-16) << k;
            ASSERT_NEAR(fft_internal::SpectrumIm[k], static_cast<double>(-std::sin(angle)), 4e-16) << k;
        }
    }
}

// Even samples to the real parts, odd ones to the imaginary parts; entries from m upward stay.
TEST(SplitEvenOdd, PacksEvenAndOddSamples) {
    TNvector2 re = {0, 1, 2, 3, 4, 5, 6, 7}, im(8, -1.0);
    fft_internal::SplitEvenOdd(4, re, im);
    EXPECT_EQ(re, (TNvector2{0, 2, 4, 6, 4, 5, 6, 7}));
    EXPECT_EQ(im, (TNvector2{1, 3, 5, 7, -1, -1, -1, -1}));
}

// 8 points: index i goes to the index with its 3 bits reversed, whether the cached table serves that
// size or the permutation is worked out step by step.
TEST(BitReverse, PermutesIntoBitReversedOrderWithAndWithoutTheTable) {
    for (int32_t cachedSize : {8, 16}) {
        fft_internal::BuildTwiddles(cachedSize);  // 8: the table serves m = 8; 16: it does not
        TNvector2 re = {0, 1, 2, 3, 4, 5, 6, 7}, im = re;
        fft_internal::BitReverse(8, re, im);
        EXPECT_EQ(re, (TNvector2{0, 4, 2, 6, 1, 5, 3, 7}));
        EXPECT_EQ(im, re);
    }
}
