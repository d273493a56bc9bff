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
// Speed without changing a value: the butterflies of one stage touch disjoint pairs, so they run group by
// group over contiguous per-stage copies of the twiddles, and the split step handles bins k and m-k together.

#include "U_FFT2.h"

#include <cmath>
#include <cstddef>
#include <utility>

#include "U_FFT2_internal.h"

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

namespace {

constexpr long double PiL = 3.141592653589793238462643383279502884L;
// The fixed twiddle of the offsets h/4 and 3h/4, to 15 significant digits, and its negative.
constexpr double C = 0.707106781186548;
constexpr double NegC = -0.707106781186548;

// a += t, b = a - t, for one butterfly with the product (tr, ti) already formed.
inline void Butterfly(double* ar, double* ai, double* br, double* bi, std::size_t p, double tr, double ti) {
    br[p] = ar[p] - tr;
    bi[p] = ai[p] - ti;
    ar[p] = ar[p] + tr;
    ai[p] = ai[p] + ti;
}

// General offsets j in [from, to) of one group, with the stage's twiddles wr[j], wi[j].
inline void GeneralButterflies(double* __restrict ar, double* __restrict ai, double* __restrict br,
                               double* __restrict bi, const double* __restrict wr, const double* __restrict wi,
                               std::size_t from, std::size_t to) {
    for (std::size_t j = from; j < to; ++j) {
        const double tr = br[j] * wr[j] - bi[j] * wi[j];
        const double ti = br[j] * wi[j] + bi[j] * wr[j];
        br[j] = ar[j] - tr;
        bi[j] = ai[j] - ti;
        ar[j] = ar[j] + tr;
        ai[j] = ai[j] + ti;
    }
}

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

    TwiddleIm = std::move(twIm);
    TwiddleRe = std::move(twRe);
    StageRe = std::move(stRe);
    StageIm = std::move(stIm);
    SpectrumRe = std::move(spRe);
    SpectrumIm = std::move(spIm);
    TwiddleSize = m;
}

void BitReverse(int32_t m, TNvector2& re, TNvector2& im) {
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

void ComplexFFT(uint8_t e, int32_t m, bool inverse, TNvector2& re, TNvector2& im) {
    // The stages read the cached twiddles of this size; a no-op when they are built already.
    BuildTwiddles(m);
    BitReverse(m, re, im);
    const auto size = static_cast<std::size_t>(m);
    double* xr = re.data();
    double* xi = im.data();
    if (inverse) {
        for (std::size_t i = 0; i < size; ++i) xi[i] = -xi[i];
    }
    const double* stRe = StageRe.data();
    const double* stIm = StageIm.data();
    for (unsigned s = 1; s <= e; ++s) {
        const std::size_t h = std::size_t{1} << (s - 1);
        const std::size_t q1 = h / 4, q2 = h / 2, q3 = 3 * h / 4;
        const double* wr = stRe + h;
        const double* wi = stIm + h;
        for (std::size_t g = 0; g < size; g += 2 * h) {
            double* ar = xr + g;
            double* ai = xi + g;
            double* br = ar + h;
            double* bi = ai + h;
            // Offset 0: twiddle 1.
            Butterfly(ar, ai, br, bi, 0, br[0], bi[0]);
            if (h >= 2) {
                // Offset h/2: twiddle -i.
                Butterfly(ar, ai, br, bi, q2, bi[q2], -br[q2]);
            }
            if (h >= 4) {
                // Offsets h/4 and 3h/4: twiddles C - iC and -C - iC.
                Butterfly(ar, ai, br, bi, q1, (br[q1] + bi[q1]) * C, (bi[q1] - br[q1]) * C);
                Butterfly(ar, ai, br, bi, q3, (br[q3] - bi[q3]) * NegC, (br[q3] + bi[q3]) * NegC);
                GeneralButterflies(ar, ai, br, bi, wr, wi, 1, q1);
                GeneralButterflies(ar, ai, br, bi, wr, wi, q1 + 1, q2);
                GeneralButterflies(ar, ai, br, bi, wr, wi, q2 + 1, q3);
                GeneralButterflies(ar, ai, br, bi, wr, wi, q3 + 1, h);
            }
        }
    }
    const double f = static_cast<double>(1.0L / std::sqrt(static_cast<long double>(m)));
    const double fi = inverse ? -f : f;
    for (std::size_t i = 0; i < size; ++i) {
        xr[i] = xr[i] * f;
        xi[i] = xi[i] * fi;
    }
}

void RecombineSpectrum(int32_t m, TNvector2& re, TNvector2& im) {
    const auto size = static_cast<std::size_t>(m);
    double* xr = re.data();
    double* xi = im.data();
    const double* wrs = SpectrumRe.data();
    const double* wis = SpectrumIm.data();
    const double sqrt2 = std::sqrt(2.0);
    const double q = 0.5 / std::sqrt(2.0);

    const double nyquist = (xr[0] - xi[0]) / sqrt2;
    xr[0] = (xr[0] + xi[0]) / sqrt2;
    xi[0] = 0.0;
    // Bins k and m-k share their sums and differences (a, b, c, d for k are a, b, -c, -d for m-k, exactly),
    // so the pair is formed in place; the upper half is the conjugate mirror.
    for (std::size_t k = 1; k <= size / 2; ++k) {
        const std::size_t k2 = size - k;
        const double a = xr[k] + xr[k2];
        const double b = xi[k] + xi[k2];
        const double c = xr[k] - xr[k2];
        const double d = xi[k] - xi[k2];
        const double rk = ((wrs[k] * b + a) + wis[k] * c) * q;
        const double ik = ((wis[k] * b + d) - wrs[k] * c) * q;
        const double rk2 = ((wrs[k2] * b + a) - wis[k2] * c) * q;
        const double ik2 = ((wis[k2] * b - d) + wrs[k2] * c) * q;
        xr[k] = rk;
        xi[k] = ik;
        xr[2 * size - k] = rk;
        xi[2 * size - k] = -ik;
        if (k2 != k) {
            xr[k2] = rk2;
            xi[k2] = ik2;
            xr[size + k] = rk2;
            xi[size + k] = -ik2;
        }
    }
    xr[size] = nyquist;
    xi[size] = 0.0;
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
        SplitEvenOdd(m, re, im);
        BuildTwiddles(m);
        ComplexFFT(exponent, m, false, re, im);
        RecombineSpectrum(m, re, im);
    }
    errorCode = 0;
}
