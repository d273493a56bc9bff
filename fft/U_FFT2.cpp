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
// stage touch disjoint pairs, so their order is free. Stages 1..3 run in registers, later stages two at a
// time, the early ones run by run while the points stay in the first-level cache, two offsets per
// instruction over contiguous per-stage copies of the twiddles. The packing gathers the samples straight into
// bit-reversed order, the split step handles bins k and m-k together, and ComplexFFT's final scale is applied
// as the split step reads the points.

#include "U_FFT2.h"

#include <algorithm>
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
std::vector<uint32_t> BitReversed;
TNvector2 Scratch;

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

// Two doubles handled by one instruction; each lane computes exactly what the scalar code computes.
typedef double V2 __attribute__((vector_size(16), aligned(8), may_alias));
inline V2 Load2(const double* p) { return *reinterpret_cast<const V2*>(p); }
inline void Store2(double* p, V2 v) { *reinterpret_cast<V2*>(p) = v; }

// General offsets j in [from, to) of one group, with the stage's twiddles wr[j], wi[j].
inline void GeneralButterflies(double* __restrict ar, double* __restrict ai, double* __restrict br,
                               double* __restrict bi, const double* __restrict wr, const double* __restrict wi,
                               std::size_t from, std::size_t to) {
    std::size_t j = from;
    for (; j + 2 <= to; j += 2) {
        const V2 xr = Load2(br + j), xi = Load2(bi + j), cr = Load2(wr + j), ci = Load2(wi + j);
        const V2 tr = xr * cr - xi * ci;
        const V2 ti = xr * ci + xi * cr;
        const V2 yr = Load2(ar + j), yi = Load2(ai + j);
        Store2(br + j, yr - tr);
        Store2(bi + j, yi - ti);
        Store2(ar + j, yr + tr);
        Store2(ai + j, yi + ti);
    }
    for (; j < to; ++j) {
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

// One stage of half span h over the points [0, len), len a multiple of 2h.
void RunStage(double* xr, double* xi, std::size_t len, std::size_t h) {
    const std::size_t q1 = h / 4, q2 = h / 2, q3 = 3 * h / 4;
    const double* wr = StageRe.data() + h;
    const double* wi = StageIm.data() + h;
    for (std::size_t g = 0; g < len; g += 2 * h) {
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

// Stages 1..3 (h = 1, 2, 4) on each run of 8 points, kept in registers; the same butterflies as RunStage.
void RunFirstThreeStages(double* xr, double* xi, std::size_t len) {
    for (std::size_t g = 0; g < len; g += 8) {
        double* pr = xr + g;
        double* pi = xi + g;
        // h = 1, offset 0 (twiddle 1).
        double r0 = pr[0] + pr[1], r1 = pr[0] - pr[1], i0 = pi[0] + pi[1], i1 = pi[0] - pi[1];
        double r2 = pr[2] + pr[3], r3 = pr[2] - pr[3], i2 = pi[2] + pi[3], i3 = pi[2] - pi[3];
        double r4 = pr[4] + pr[5], r5 = pr[4] - pr[5], i4 = pi[4] + pi[5], i5 = pi[4] - pi[5];
        double r6 = pr[6] + pr[7], r7 = pr[6] - pr[7], i6 = pi[6] + pi[7], i7 = pi[6] - pi[7];
        // h = 2: offset 0 (twiddle 1) on (0,2), (4,6); offset 1 (-i: tr = im, ti = -re) on (1,3), (5,7).
        double t;
        t = r0; r0 = t + r2; r2 = t - r2;
        t = i0; i0 = t + i2; i2 = t - i2;
        t = r4; r4 = t + r6; r6 = t - r6;
        t = i4; i4 = t + i6; i6 = t - i6;
        double tr = i3, ti = -r3;
        r3 = r1 - tr; i3 = i1 - ti; r1 = r1 + tr; i1 = i1 + ti;
        tr = i7; ti = -r7;
        r7 = r5 - tr; i7 = i5 - ti; r5 = r5 + tr; i5 = i5 + ti;
        // h = 4: offsets 0 (1), 1 (C - iC), 2 (-i), 3 (-C - iC).
        pr[4] = r0 - r4; pi[4] = i0 - i4; pr[0] = r0 + r4; pi[0] = i0 + i4;
        tr = (r5 + i5) * C; ti = (i5 - r5) * C;
        pr[5] = r1 - tr; pi[5] = i1 - ti; pr[1] = r1 + tr; pi[1] = i1 + ti;
        tr = i6; ti = -r6;
        pr[6] = r2 - tr; pi[6] = i2 - ti; pr[2] = r2 + tr; pi[2] = i2 + ti;
        tr = (r7 - i7) * NegC; ti = (r7 + i7) * NegC;
        pr[7] = r3 - tr; pi[7] = i3 - ti; pr[3] = r3 + tr; pi[3] = i3 + ti;
    }
}

// Stages 1..4 on each run of 16 points: stages 1..3 on both halves, then stage 4 (h = 8) while the 16
// points are still at hand; the same butterflies as RunStage.
void RunFirstFourStages(double* xr, double* xi, std::size_t len) {
    const double* wr = StageRe.data() + 8;
    const double* wi = StageIm.data() + 8;
    for (std::size_t g = 0; g < len; g += 16) {
        double* ar = xr + g;
        double* ai = xi + g;
        double* br = ar + 8;
        double* bi = ai + 8;
        RunFirstThreeStages(ar, ai, 16);
        Butterfly(ar, ai, br, bi, 0, br[0], bi[0]);
        Butterfly(ar, ai, br, bi, 2, (br[2] + bi[2]) * C, (bi[2] - br[2]) * C);
        Butterfly(ar, ai, br, bi, 4, bi[4], -br[4]);
        Butterfly(ar, ai, br, bi, 6, (br[6] - bi[6]) * NegC, (br[6] + bi[6]) * NegC);
        for (std::size_t j = 1; j < 8; j += 2) {
            Butterfly(ar, ai, br, bi, j, br[j] * wr[j] - bi[j] * wi[j], br[j] * wi[j] + bi[j] * wr[j]);
        }
    }
}

// Which twiddle a butterfly uses: the fixed ones at offsets 0, h/4, h/2, 3h/4 of a stage, or the table.
enum class Tw { One, DiagC, MinusI, DiagNegC, Table };

// The twiddle product (tr, ti) with the point (x, y), exactly as RunStage forms it; w is the stage's table
// entry for the offset (read only for Tw::Table).
template <Tw K>
inline void Twiddled(double x, double y, const double* wr, const double* wi, double& tr, double& ti) {
    if constexpr (K == Tw::One) {
        tr = x;
        ti = y;
    } else if constexpr (K == Tw::MinusI) {
        tr = y;
        ti = -x;
    } else if constexpr (K == Tw::DiagC) {
        tr = (x + y) * C;
        ti = (y - x) * C;
    } else if constexpr (K == Tw::DiagNegC) {
        tr = (x - y) * NegC;
        ti = (x + y) * NegC;
    } else {
        tr = x * *wr - y * *wi;
        ti = x * *wi + y * *wr;
    }
}

// Stages of half span h and 2h together on the points a, b, c, d at offsets j, j+h, j+2h, j+3h of a run
// of 4h: stage h pairs (a,b) and (c,d) at offset j (twiddle K1), stage 2h pairs (a,c) at offset j (K2)
// and (b,d) at offset j+h (K3). Each value is formed by the same operations as two RunStage passes.
template <Tw K1, Tw K2, Tw K3>
inline void FusedPoint(double* r, double* i, std::size_t h, std::size_t j) {
    const double* w1r = StageRe.data() + h + j;
    const double* w1i = StageIm.data() + h + j;
    const double* w2r = StageRe.data() + 2 * h + j;
    const double* w2i = StageIm.data() + 2 * h + j;
    double ar = r[j], ai = i[j], br = r[j + h], bi = i[j + h];
    double cr = r[j + 2 * h], ci = i[j + 2 * h], dr = r[j + 3 * h], di = i[j + 3 * h];
    double tr, ti;
    Twiddled<K1>(br, bi, w1r, w1i, tr, ti);
    br = ar - tr; bi = ai - ti; ar = ar + tr; ai = ai + ti;
    Twiddled<K1>(dr, di, w1r, w1i, tr, ti);
    dr = cr - tr; di = ci - ti; cr = cr + tr; ci = ci + ti;
    Twiddled<K2>(cr, ci, w2r, w2i, tr, ti);
    r[j + 2 * h] = ar - tr; i[j + 2 * h] = ai - ti; r[j] = ar + tr; i[j] = ai + ti;
    Twiddled<K3>(dr, di, w2r + h, w2i + h, tr, ti);
    r[j + 3 * h] = br - tr; i[j + 3 * h] = bi - ti; r[j + h] = br + tr; i[j + h] = bi + ti;
}

// FusedPoint for offsets [from, to) where every twiddle comes from the table, two offsets at a time.
inline void FusedGeneral(double* r, double* i, std::size_t h, std::size_t from, std::size_t to) {
    const double* w1r = StageRe.data() + h;
    const double* w1i = StageIm.data() + h;
    const double* w2r = StageRe.data() + 2 * h;
    const double* w2i = StageIm.data() + 2 * h;
    std::size_t j = from;
    for (; j + 2 <= to; j += 2) {
        V2 ar = Load2(r + j), ai = Load2(i + j), br = Load2(r + j + h), bi = Load2(i + j + h);
        V2 cr = Load2(r + j + 2 * h), ci = Load2(i + j + 2 * h), dr = Load2(r + j + 3 * h), di = Load2(i + j + 3 * h);
        const V2 ur = Load2(w1r + j), ui = Load2(w1i + j);
        V2 tr = br * ur - bi * ui, ti = br * ui + bi * ur;
        br = ar - tr; bi = ai - ti; ar = ar + tr; ai = ai + ti;
        tr = dr * ur - di * ui;
        ti = dr * ui + di * ur;
        dr = cr - tr; di = ci - ti; cr = cr + tr; ci = ci + ti;
        const V2 vr = Load2(w2r + j), vi = Load2(w2i + j);
        tr = cr * vr - ci * vi;
        ti = cr * vi + ci * vr;
        Store2(r + j + 2 * h, ar - tr); Store2(i + j + 2 * h, ai - ti);
        Store2(r + j, ar + tr); Store2(i + j, ai + ti);
        const V2 xr = Load2(w2r + j + h), xi = Load2(w2i + j + h);
        tr = dr * xr - di * xi;
        ti = dr * xi + di * xr;
        Store2(r + j + 3 * h, br - tr); Store2(i + j + 3 * h, bi - ti);
        Store2(r + j + h, br + tr); Store2(i + j + h, bi + ti);
    }
    for (; j < to; ++j) FusedPoint<Tw::Table, Tw::Table, Tw::Table>(r, i, h, j);
}

// The stages of half span h and 2h (h >= 4) over the points [0, len), len a multiple of 4h.
void RunStagePair(double* xr, double* xi, std::size_t len, std::size_t h) {
    const std::size_t q1 = h / 4, q2 = h / 2, q3 = 3 * h / 4;
    for (std::size_t g = 0; g < len; g += 4 * h) {
        double* r = xr + g;
        double* i = xi + g;
        // Offset 2h/4 = h/2 and 3(2h)/4 = 3h/2 of the second stage are its fixed diagonal twiddles.
        FusedPoint<Tw::One, Tw::One, Tw::MinusI>(r, i, h, 0);
        FusedPoint<Tw::DiagC, Tw::Table, Tw::Table>(r, i, h, q1);
        FusedPoint<Tw::MinusI, Tw::DiagC, Tw::DiagNegC>(r, i, h, q2);
        FusedPoint<Tw::DiagNegC, Tw::Table, Tw::Table>(r, i, h, q3);
        FusedGeneral(r, i, h, 1, q1);
        FusedGeneral(r, i, h, q1 + 1, q2);
        FusedGeneral(r, i, h, q2 + 1, q3);
        FusedGeneral(r, i, h, q3 + 1, h);
    }
}

// Runs stages first..last (half span 2^(s-1)) over [0, len): stages 1..4 (or 1..3) together, then two at a time.
void RunStages(double* xr, double* xi, std::size_t len, unsigned first, unsigned last) {
    unsigned s = first;
    if (s == 1 && last >= 4) {
        RunFirstFourStages(xr, xi, len);
        s = 5;
    } else if (s == 1 && last >= 3) {
        RunFirstThreeStages(xr, xi, len);
        s = 4;
    }
    for (; s <= last; ++s) {
        const std::size_t h = std::size_t{1} << (s - 1);
        if (s >= 3 && s + 1 <= last) {
            RunStagePair(xr, xi, len, h);
            ++s;
        } else {
            RunStage(xr, xi, len, h);
        }
    }
}

// Everything of ComplexFFT after the bit reversal. A stage of span 2h only combines points within aligned
// runs of 2h, so the stages up to a span of 1024 run run by run while the points stay in the first-level
// cache; every butterfly is still the one the stage order prescribes, with the same operands.
double ScaleOf(std::size_t size) { return static_cast<double>(1.0L / std::sqrt(static_cast<long double>(size))); }

void ComplexStages(uint8_t e, std::size_t size, bool inverse, double* xr, double* xi, bool scale = true) {
    if (inverse) {
        for (std::size_t i = 0; i < size; ++i) xi[i] = -xi[i];
    }
    constexpr std::size_t CacheRun = 1024;
    const std::size_t run = std::min(size, CacheRun);
    unsigned inRun = 0;  // the stages whose span 2^s fits in a run
    while (inRun < e && (std::size_t{1} << (inRun + 1)) <= run) ++inRun;
    if (inRun > 0) {
        for (std::size_t base = 0; base < size; base += run) RunStages(xr + base, xi + base, run, 1, inRun);
    }
    if (inRun < e) RunStages(xr, xi, size, inRun + 1, e);

    if (!scale) return;
    const double f = ScaleOf(size);
    const double fi = inverse ? -f : f;
    for (std::size_t i = 0; i < size; ++i) {
        xr[i] = xr[i] * f;
        xi[i] = xi[i] * fi;
    }
}

}  // namespace

void ComplexFFT(uint8_t e, int32_t m, bool inverse, TNvector2& re, TNvector2& im) {
    // The stages read the cached twiddles of this size; a no-op when they are built already.
    BuildTwiddles(m);
    BitReverse(m, re, im);
    ComplexStages(e, static_cast<std::size_t>(m), inverse, re.data(), im.data());
}

// SplitEvenOdd followed by BitReverse, in one pass through a copy of the samples.
void SplitEvenOddBitReversed(int32_t m, TNvector2& re, TNvector2& im) {
    const auto size = static_cast<std::size_t>(m);
    if (Scratch.size() < 2 * size) Scratch.resize(2 * size);
    std::copy(re.begin(), re.begin() + static_cast<std::ptrdiff_t>(2 * size), Scratch.begin());
    const double* x = Scratch.data();
    // The permutation is its own inverse: point j receives sample pair BitReversed[j]. Gathering reads and
    // writing in order is far cheaper than scattering writes over the arrays.
    for (std::size_t j = 0; j < size; ++j) {
        const std::size_t i = BitReversed[j];
        re[j] = x[2 * i];
        im[j] = x[2 * i + 1];
    }
}


namespace {

inline V2 Reversed(V2 v) { return V2{v[1], v[0]}; }

// RecombineSpectrum on points that still lack ComplexFFT's final scale f: each point is scaled as it is
// read, giving the very values the scaled points would hold (f = 1 leaves them as they are).
void Recombine(std::size_t size, double* xr, double* xi, double f) {
    const double* wrs = SpectrumRe.data();
    const double* wis = SpectrumIm.data();
    const double sqrt2 = std::sqrt(2.0);
    const double q = 0.5 / std::sqrt(2.0);

    const double r0 = xr[0] * f, i0 = xi[0] * f;
    const double nyquist = (r0 - i0) / sqrt2;
    xr[0] = (r0 + i0) / sqrt2;
    xi[0] = 0.0;
    // Bins k and m-k share their sums and differences (a, b, c, d for k are a, b, -c, -d for m-k, exactly),
    // so the pair is formed in place; the upper half is the conjugate mirror. Two k at a time: k, k+1 with
    // m-k, m-k-1 (read as a pair and swapped).
    const std::size_t half = size / 2;
    std::size_t k = 1;
    const V2 fv = {f, f}, qv = {q, q};
    for (; k + 1 < half; k += 2) {
        const std::size_t k2 = size - k - 1;  // the pair m-k-1, m-k
        const V2 pr = Load2(xr + k) * fv, pi = Load2(xi + k) * fv;
        const V2 sr = Reversed(Load2(xr + k2) * fv), si = Reversed(Load2(xi + k2) * fv);
        const V2 a = pr + sr, b = pi + si, c = pr - sr, d = pi - si;
        const V2 wr = Load2(wrs + k), wi = Load2(wis + k);
        const V2 wr2 = Reversed(Load2(wrs + k2)), wi2 = Reversed(Load2(wis + k2));
        const V2 rk = ((wr * b + a) + wi * c) * qv;
        const V2 ik = ((wi * b + d) - wr * c) * qv;
        const V2 rk2 = ((wr2 * b + a) - wi2 * c) * qv;
        const V2 ik2 = ((wi2 * b - d) + wr2 * c) * qv;
        Store2(xr + k, rk);
        Store2(xi + k, ik);
        Store2(xr + 2 * size - k - 1, Reversed(rk));
        Store2(xi + 2 * size - k - 1, -Reversed(ik));
        Store2(xr + k2, Reversed(rk2));
        Store2(xi + k2, Reversed(ik2));
        Store2(xr + size + k, rk2);
        Store2(xi + size + k, -ik2);
    }
    for (; k <= half; ++k) {
        const std::size_t k2 = size - k;
        const double pr = xr[k] * f, pi = xi[k] * f, sr = xr[k2] * f, si = xi[k2] * f;
        const double a = pr + sr;
        const double b = pi + si;
        const double c = pr - sr;
        const double d = pi - si;
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

}  // namespace

void RecombineSpectrum(int32_t m, TNvector2& re, TNvector2& im) {
    Recombine(static_cast<std::size_t>(m), re.data(), im.data(), 1.0);
}

void ComplexFFTRecombineSpectrum(uint8_t e, int32_t m, TNvector2& re, TNvector2& im) {
    const auto size = static_cast<std::size_t>(m);
    ComplexStages(e, size, false, re.data(), im.data(), false);
    Recombine(size, re.data(), im.data(), ScaleOf(size));
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
        // SplitEvenOdd, BuildTwiddles, ComplexFFT and RecombineSpectrum, with the packing and the bit reversal
        // done in one pass, and ComplexFFT's final scale applied as the recombination reads the points.
        BuildTwiddles(m);
        SplitEvenOddBitReversed(m, re, im);
        ComplexFFTRecombineSpectrum(exponent, m, re, im);
    }
    errorCode = 0;
}
