// The AVX2 kernel of RealFFT: the stages (U_FFT2_stages.inc) on four doubles per vector, through the x86
// intrinsics. This file alone is built with AVX2 enabled (and only on x86-64, where the compiler takes the
// flag; see CMakeLists.txt); RealFFT uses it only on a processor that has AVX2. FMA stays off: every product
// is rounded before it is added, as in the portable kernel, so both give the same bits. Everything here
// has internal linkage except the two entry points, so no function built for AVX2 can stand in for a
// portable one at link time.

#include <immintrin.h>

#include <cmath>
#include <cstring>

#include "U_FFT2_kernel.h"

#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif

namespace fft_internal {
namespace {

struct V {
    __m256d v;
};
inline V operator+(V a, V b) { return {_mm256_add_pd(a.v, b.v)}; }
inline V operator-(V a, V b) { return {_mm256_sub_pd(a.v, b.v)}; }
inline V operator*(V a, V b) { return {_mm256_mul_pd(a.v, b.v)}; }
inline V operator*(V a, double b) { return {_mm256_mul_pd(a.v, _mm256_set1_pd(b))}; }
inline V operator-(V a) { return {_mm256_xor_pd(a.v, _mm256_set1_pd(-0.0))}; }

struct V2 {
    __m128d v;
};
inline V2 operator+(V2 a, V2 b) { return {_mm_add_pd(a.v, b.v)}; }
inline V2 operator-(V2 a, V2 b) { return {_mm_sub_pd(a.v, b.v)}; }
inline V2 operator*(V2 a, V2 b) { return {_mm_mul_pd(a.v, b.v)}; }

inline V Splat(double x) { return {_mm256_set1_pd(x)}; }
inline V Reversed(V a) { return {_mm256_permute4x64_pd(a.v, 0x1B)}; }  // lanes 3, 2, 1, 0
// The pairs a = (p0, p1), b = (p2, p3) into re = the even, im = the odd ones.
inline void Deinterleave(V a, V b, V& re, V& im) {
    re = {_mm256_permute4x64_pd(_mm256_unpacklo_pd(a.v, b.v), 0xD8)};  // (a0, b0, a2, b2) -> lanes 0, 2, 1, 3
    im = {_mm256_permute4x64_pd(_mm256_unpackhi_pd(a.v, b.v), 0xD8)};
}
// Lane l of t[k] becomes lane k of t[l].
inline void Transpose(V* t) {
    const __m256d lo01 = _mm256_unpacklo_pd(t[0].v, t[1].v), hi01 = _mm256_unpackhi_pd(t[0].v, t[1].v);
    const __m256d lo23 = _mm256_unpacklo_pd(t[2].v, t[3].v), hi23 = _mm256_unpackhi_pd(t[2].v, t[3].v);
    t[0] = {_mm256_permute2f128_pd(lo01, lo23, 0x20)};
    t[1] = {_mm256_permute2f128_pd(hi01, hi23, 0x20)};
    t[2] = {_mm256_permute2f128_pd(lo01, lo23, 0x31)};
    t[3] = {_mm256_permute2f128_pd(hi01, hi23, 0x31)};
}

#include "U_FFT2_stages.inc"

const Kernel TheAvx2Kernel = {AllStages, PackedStages, Recombine};

// AVX2 in the processor and its registers saved by the operating system.
bool ProcessorHasAvx2() {
#if defined(_MSC_VER) && !defined(__clang__)
    int regs[4];
    __cpuid(regs, 1);
    const bool osSaves = (regs[2] & (1 << 27)) != 0 && (_xgetbv(0) & 6) == 6;
    __cpuidex(regs, 7, 0);
    return osSaves && (regs[1] & (1 << 5)) != 0;
#else
    return __builtin_cpu_supports("avx2");
#endif
}

}  // namespace

const Kernel* Avx2Kernel() {
    static const bool has = ProcessorHasAvx2();
    return has ? &TheAvx2Kernel : nullptr;
}

}  // namespace fft_internal
