// Real FFT by the half-length method: the n real samples are packed as n/2 complex points (even samples as
// real parts, odd samples as imaginary parts), transformed by a radix-2 complex FFT of n/2 points, and split
// into the real sequence's spectrum.
//
// The split step. With z[j] = x[2j] + i*x[2j+1] and Z = FFT_m(z), the transforms of the even and the odd
// samples are E[k] = (Z[k] + conj(Z[m-k]))/2 and O[k] = (Z[k] - conj(Z[m-k]))/(2i), and bin k of the
// full length is X[k] = E[k] + w^k*O[k] with w = exp(-i*pi/m). Writing a, b, c, d for the sums and
// differences of Z[k] and Z[m-k], this is ((a + wr*b + wi*c) + i*(d + wi*b - wr*c))/2; the factor
// q = 0.5/sqrt(2) carries that 1/2 and turns the complex stage's 1/sqrt(m) into 1/sqrt(n).
//
// Precision: the twiddle tables are built once per size in long double and stored as double; every
// per-call expression is evaluated in double (no wider intermediates), so repeated calls are bitwise equal.
// Speed without changing a value (the tests compare with the plain steps bit for bit): the butterflies of a
// stage touch disjoint pairs, so their order is free. The forward transform packs the samples straight into
// bit-reversed order and runs stages 1..4 in the same pass, several runs of 16 points side by side in the
// lanes of a vector; later stages go two at a time, the early ones run by run while the points stay in the
// first-level cache, several offsets per instruction over contiguous per-stage copies of the twiddles. The
// split step handles bins k and m-k together, and ComplexFFT's final scale is applied as it reads the points.
// The stages, the packing and the split step are the kernel (U_FFT2_kernel.h): a portable build and, on
// x86-64, an AVX2 build chosen at run time; each lane computes exactly the scalar expression, so the two give
// the same bits. This file is standard C++.

#include "U_FFT2.h"

#include <cmath>
#include <cstddef>
#include <utility>

#include "U_FFT2_internal.h"
#include "U_FFT2_kernel.h"

namespace fft_internal {

const std::array<int32_t, 14> PowersOfTwo = {0,   2,   4,    8,    16,   32,   64,
                                             128, 256, 512, 1024, 2048, 4096, 8192};

int32_t TwiddleSize = 0;
TNvector2 TwiddleRe;
TNvector2 TwiddleIm;
TNvector2 StageRe;
TNvector2 StageIm;
TNvector2 SpectrumRe;
TNvector2 SpectrumIm;
std::vector<uint32_t> BitReversed;
TNvector2 Scratch;
bool UseWideVectors = true;

namespace {

constexpr long double PiL = 3.141592653589793238462643383279502884L;

}  // namespace

void LookupFFTSize(int32_t m, uint8_t& exponent, uint8_t& errorCode) {
    errorCode = 2;
    if (m < 2) errorCode = 1;
    for (int i = 1; i <= 13 && errorCode == 2; ++i) {
        if (m == PowersOfTwo[static_cast<std::size_t>(i)]) {
            exponent = static_cast<uint8_t>(i);
            errorCode = 0;
        }
    }
}

void SplitEvenOdd(int32_t m, TNvector2& re, TNvector2& im) {
    const auto half = static_cast<std::size_t>(m);
    // Odd samples first: re[2i+1] is still intact for every i. Then the even ones move down;
    // re[2i] is read before anything is written at index 2i (only indices <= i are written by then).
    for (std::size_t i = 0; i < half; ++i) im[i] = re[2 * i + 1];
    for (std::size_t i = 0; i < half; ++i) re[i] = re[2 * i];
}

void BuildTwiddles(int32_t m) {
    if (m == TwiddleSize) return;
    const auto size = static_cast<std::size_t>(m);
    // Built aside and moved in at the end, so that a failed allocation leaves the cache as it was.
    TNvector2 twRe(size, 0.0);
    TNvector2 twIm(size, 0.0);
    const double c = static_cast<double>(std::cos(2.0L * PiL / static_cast<long double>(m)));
    const double s = static_cast<double>(-std::sqrt(1.0L - static_cast<long double>(c) * c));
    twRe[0] = 1.0;
    twIm[0] = 0.0;
    twRe[1] = c;
    twIm[1] = s;
    for (std::size_t k = 2; k < size / 2; ++k) {
        const long double pr = twRe[k - 1];
        const long double pi = twIm[k - 1];
        twRe[k] = static_cast<double>(pr * c - pi * s);
        twIm[k] = static_cast<double>(pr * s + pi * c);
    }

    // Per-stage contiguous copies: the stage of half span h reads entry j * m/(2h) for offset j.
    TNvector2 stRe(size, 0.0);
    TNvector2 stIm(size, 0.0);
    for (std::size_t h = 1; h < size; h *= 2) {
        const std::size_t stride = size / (2 * h);
        for (std::size_t j = 0; j < h; ++j) {
            stRe[h + j] = twRe[j * stride];
            stIm[h + j] = twIm[j * stride];
        }
    }

    // Full-length twiddles of the split step: even k from the table at k/2, odd k from cosine and sine
    // of k*(pi/m), the step and the angle each rounded to double.
    TNvector2 spRe(size, 0.0);
    TNvector2 spIm(size, 0.0);
    const double step = static_cast<double>(PiL / static_cast<long double>(m));
    for (std::size_t k = 0; k < size; ++k) {
        if (k % 2 == 0) {
            spRe[k] = twRe[k / 2];
            spIm[k] = twIm[k / 2];
        } else {
            const double angle = static_cast<double>(static_cast<long double>(k) * step);
            spRe[k] = static_cast<double>(std::cos(static_cast<long double>(angle)));
            spIm[k] = static_cast<double>(-std::sin(static_cast<long double>(angle)));
        }
    }

    std::vector<uint32_t> rev(size, 0);
    for (std::size_t i = 1; i < size; ++i) {
        rev[i] = static_cast<uint32_t>((rev[i / 2] >> 1) | ((i & 1) ? size / 2 : 0));
    }

    TwiddleIm = std::move(twIm);
    TwiddleRe = std::move(twRe);
    StageRe = std::move(stRe);
    StageIm = std::move(stIm);
    SpectrumRe = std::move(spRe);
    SpectrumIm = std::move(spIm);
    BitReversed = std::move(rev);
    TwiddleSize = m;
}

void BitReverse(int32_t m, TNvector2& re, TNvector2& im) {
    if (m == TwiddleSize) {
        // The same permutation, read from the cached table.
        const auto size = static_cast<std::size_t>(m);
        for (std::size_t i = 0; i < size; ++i) {
            const std::size_t j = BitReversed[i];
            if (j > i) {
                std::swap(re[i], re[j]);
                std::swap(im[i], im[j]);
            }
        }
        return;
    }
    int32_t j = 0;
    for (int32_t i = 0; i <= m - 2; ++i) {
        if (j > i) {
            std::swap(re[static_cast<std::size_t>(i)], re[static_cast<std::size_t>(j)]);
            std::swap(im[static_cast<std::size_t>(i)], im[static_cast<std::size_t>(j)]);
        }
        int32_t k = m / 2;
        while (j >= k) {
            j -= k;
            k /= 2;
        }
        j += k;
    }
}

namespace {

double ScaleOf(std::size_t size) { return static_cast<double>(1.0L / std::sqrt(static_cast<long double>(size))); }

// The AVX2 kernel where it can run and is wanted, else the portable one.
const Kernel& ActiveKernel() {
    const Kernel* wide = UseWideVectors ? Avx2Kernel() : nullptr;
    return wide != nullptr ? *wide : PortableKernel;
}

KernelTables CachedTables() {
    return {StageRe.data(), StageIm.data(), SpectrumRe.data(), SpectrumIm.data(), BitReversed.data()};
}

}  // namespace

#ifndef ZT_FFT_AVX2
const Kernel* Avx2Kernel() { return nullptr; }
#endif

void ComplexFFT(uint8_t e, int32_t m, bool inverse, TNvector2& re, TNvector2& im) {
    // The stages read the cached twiddles of this size; a no-op when they are built already.
    BuildTwiddles(m);
    BitReverse(m, re, im);
    const auto size = static_cast<std::size_t>(m);
    ActiveKernel().AllStages(CachedTables(), e, size, inverse, re.data(), im.data(), ScaleOf(size));
}

void RecombineSpectrum(int32_t m, TNvector2& re, TNvector2& im) {
    ActiveKernel().Recombine(CachedTables(), static_cast<std::size_t>(m), re.data(), im.data(), re.data(), im.data(),
                             1.0);
}

void ForwardRealFFT(uint8_t e, int32_t m, TNvector2& re, TNvector2& im) {
    const auto size = static_cast<std::size_t>(m);
    if (Scratch.size() < 2 * size) Scratch.resize(2 * size);
    double* zr = Scratch.data();
    double* zi = zr + size;
    const Kernel& kernel = ActiveKernel();
    const KernelTables tables = CachedTables();
    kernel.PackedStages(tables, e, size, re.data(), zr, zi);
    kernel.Recombine(tables, size, zr, zi, re.data(), im.data(), ScaleOf(size));
}

}  // namespace fft_internal

namespace {

// The real inverse: the full spectrum X[0..2m-1] becomes Z'[k] = ((X[k] + X[k+m]) + i*conj(w^k)*(X[k] - X[k+m]))/sqrt(2),
// which is the forward packing of the even and odd samples scaled to suit ComplexFFT's 1/sqrt(m); the inverse
// complex transform then yields x[2j] + i*x[2j+1], which is unpacked into re.
void InverseRealFFT(uint8_t e, int32_t m, TNvector2& re, TNvector2& im) {
    using namespace fft_internal;
    BuildTwiddles(m);
    const auto size = static_cast<std::size_t>(m);
    double* xr = re.data();
    double* xi = im.data();
    const double r = 1.0 / std::sqrt(2.0);
    for (std::size_t k = 0; k < size; ++k) {
        const double sr = xr[k] + xr[k + size];
        const double si = xi[k] + xi[k + size];
        const double dr = xr[k] - xr[k + size];
        const double di = xi[k] - xi[k + size];
        const double wr = SpectrumRe[k];
        const double wi = SpectrumIm[k];
        xr[k] = (sr - (wr * di - wi * dr)) * r;
        xi[k] = (si + (wr * dr + wi * di)) * r;
    }
    ComplexFFT(e, m, true, re, im);
    // Descending j: the writes at 2j and 2j+1 never reach an index that is still to be read.
    for (std::size_t j = size; j-- > 0;) {
        xr[2 * j + 1] = xi[j];
        xr[2 * j] = xr[j];
    }
    for (std::size_t i = 0; i < 2 * size; ++i) xi[i] = 0.0;
}

}  // namespace

void RealFFT(int32_t n, bool inverse, TNvector2& re, TNvector2& im, uint8_t& errorCode) {
    using namespace fft_internal;
    const int32_t m = n >> 1;
    uint8_t exponent = 0;
    uint8_t code = 0;
    LookupFFTSize(m, exponent, code);
    if (code != 0) {
        errorCode = code;
        return;
    }
    // The transform writes entries 0..2m-1 of both arrays; shorter arrays are refused untouched.
    if (re.size() < static_cast<std::size_t>(n) || im.size() < static_cast<std::size_t>(n)) {
        errorCode = 3;
        return;
    }
    if (inverse) {
        InverseRealFFT(exponent, m, re, im);
    } else {
        BuildTwiddles(m);
        ForwardRealFFT(exponent, m, re, im);
    }
    errorCode = 0;
}
