#pragma once
// The steps of RealFFT and its twiddle cache, for the unit itself and its tests. Nothing else calls them.

#include <array>
#include <cstdint>
#include <vector>

#include "U_FFT2.h"

namespace fft_internal {

// PowersOfTwo[i] = 2^i for i = 1..13 (entry 0 is unused): the supported half sizes 2..8192.
extern const std::array<int32_t, 14> PowersOfTwo;

// The twiddle cache, built for half size TwiddleSize (0: none built). Entries k = 0..m/2-1 hold
// w_k = TwiddleRe[k] + i*TwiddleIm[k] = exp(-2*pi*i*k/m); entries m/2..m-1 exist and stay 0.
extern int32_t TwiddleSize;
extern TNvector2 TwiddleRe;
extern TNvector2 TwiddleIm;
// Derived from the tables above, for speed only, and rebuilt with them:
// StageRe/StageIm[h + j] = TwiddleRe/TwiddleIm[j * m/(2h)] for the stage of half span h (contiguous per stage);
// SpectrumRe/SpectrumIm[k] = the full-length twiddle exp(-i*pi*k/m) that RecombineSpectrum uses for bin k.
extern TNvector2 StageRe;
extern TNvector2 StageIm;
extern TNvector2 SpectrumRe;
extern TNvector2 SpectrumIm;
// BitReversed[i] = i with its e bits reversed (m = 2^e); Scratch: room for the packed points (2m entries),
// grown as needed.
extern std::vector<uint32_t> BitReversed;
extern TNvector2 Scratch;
// true (the default): the kernel (U_FFT2_kernel.h) is the AVX2 one where it is built and the processor has
// AVX2; false: always the portable one. Both give the same bits; the tests compare each with the plain steps.
extern bool UseWideVectors;

// errorCode 1 when m < 2, 2 when m is not in PowersOfTwo, else 0 with m = 2^exponent.
void LookupFFTSize(int32_t m, uint8_t& exponent, uint8_t& errorCode);
// z[j] = re[j] + i*im[j] := x[2j] + i*x[2j+1] for j = 0..m-1, x being re[0..2m-1] on entry.
void SplitEvenOdd(int32_t m, TNvector2& re, TNvector2& im);
// Makes the cache valid for half size m (m a supported half size); does nothing when m = TwiddleSize.
void BuildTwiddles(int32_t m);
// Permutes entries 0..m-1 of both arrays into bit-reversed order.
void BitReverse(int32_t m, TNvector2& re, TNvector2& im);
// In-place complex FFT of the m = 2^e points re[j] + i*im[j], scaled by 1/sqrt(m); the inverse uses exp(+...).
void ComplexFFT(uint8_t e, int32_t m, bool inverse, TNvector2& re, TNvector2& im);
// SplitEvenOdd, ComplexFFT and RecombineSpectrum of the 2m samples in re into re and im (needs the cache
// built for m): the points are packed straight into bit-reversed order in Scratch, transformed there, and
// ComplexFFT's final scale is applied as the split step reads them back into re and im.
void ForwardRealFFT(uint8_t e, int32_t m, TNvector2& re, TNvector2& im);
// Turns ComplexFFT's forward result into bins 0..2m-1 of the real sequence's spectrum (scale 1/sqrt(2m)).
void RecombineSpectrum(int32_t m, TNvector2& re, TNvector2& im);

}  // namespace fft_internal
