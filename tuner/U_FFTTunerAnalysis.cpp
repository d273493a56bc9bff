// Block analysis: the peak level while the block is copied, then the pitch estimate from the strongest
// spectral line and the runner-up.

#include "U_FFTTunerAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "CheckedInt.h"
#include "U_FFT2.h"
#include "U_FFTTunerConfig.h"

namespace {

typedef uint8_t U8x16 __attribute__((vector_size(16), aligned(1), may_alias));
typedef uint8_t U8x4 __attribute__((vector_size(4)));
typedef int32_t I32x4 __attribute__((vector_size(16), aligned(4), may_alias));
U8x16 Splat(uint8_t v) { return U8x16{} + v; }

// The per-sample loops below are built for the baseline and for AVX2 (no FMA: every product is rounded
// before it is added, so both builds give the same bits), the processor choosing at load time. The choice is an
// indirect function resolved while the program is loaded, before ThreadSanitizer's runtime is ready, so a
// ThreadSanitizer build keeps the baseline only.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define ZT_WIDE_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define ZT_WIDE_CLONES
#endif

typedef int32_t I32x4u __attribute__((vector_size(16), aligned(4), may_alias));
typedef int64_t I64x4 __attribute__((vector_size(32)));
typedef double F64x4 __attribute__((vector_size(32)));
typedef double F64x4u __attribute__((vector_size(32), aligned(8), may_alias));

// The exact sum of s[0..n-1] (up to 2^31 values of 32 bits fit in 64 bits, in any order).
ZT_WIDE_CLONES int64_t SumOf(const int32_t* s, std::size_t n) {
    I64x4 partial = {0, 0, 0, 0};
    std::size_t t = 0;
    for (; t + 4 <= n; t += 4) partial += __builtin_convertvector(*reinterpret_cast<const I32x4u*>(s + t), I64x4);
    int64_t sum = partial[0] + partial[1] + partial[2] + partial[3];
    for (; t < n; ++t) sum += s[t];
    return sum;
}

// out[t] = s[t] - mean.
ZT_WIDE_CLONES void RemoveMean(const int32_t* s, std::size_t n, double mean, double* out) {
    const F64x4 means = {mean, mean, mean, mean};
    std::size_t t = 0;
    for (; t + 4 <= n; t += 4) {
        *reinterpret_cast<F64x4u*>(out + t) = __builtin_convertvector(*reinterpret_cast<const I32x4u*>(s + t), F64x4) - means;
    }
    for (; t < n; ++t) out[t] = s[t] - mean;
}

// The first line in [from, to) whose power re^2 + im^2 is not below bound (to if there is none), four
// lines at a time.
ZT_WIDE_CLONES std::size_t NextCandidate(const double* re, const double* im, std::size_t from, std::size_t to,
                                         double bound) {
    const F64x4 bounds = {bound, bound, bound, bound};
    std::size_t line = from;
    for (; line + 4 <= to; line += 4) {
        const F64x4 r = *reinterpret_cast<const F64x4u*>(re + line);
        const F64x4 i = *reinterpret_cast<const F64x4u*>(im + line);
        const I64x4 below = (r * r + i * i) < bounds;
        if (!(below[0] && below[1] && below[2] && below[3])) break;
    }
    for (; line < to; ++line) {
        if (!(re[line] * re[line] + im[line] * im[line] < bound)) break;
    }
    return line;
}

}  // namespace

void TTunerAnalysis::WaveInData(const uint8_t* Block, int32_t ByteCount) {
    ProcessBlock(Block, ByteCount, BitsPerSample);
}

void TTunerAnalysis::ProcessBlock(const uint8_t* Block, int32_t ByteCount, int32_t SampleBits) {
    // Testing and setting in one step: a block that arrives while one is in progress is dropped and leaves
    // Busy set for the block in progress.
    if (Busy.exchange(true)) return;
    try {
        PeakLevel.store(0);
        // A negative count or a missing block with bytes in it cannot be read: no estimate, Samples kept.
        if (ByteCount >= 0 && (Block != nullptr || ByteCount == 0)) {
            int32_t peak = 0;
            if (SampleBits == 16) {
                const int32_t count = ByteCount / 2;
                Samples.resize(static_cast<std::size_t>(count));
                for (int32_t i = 0; i < count; ++i) {
                    const auto lowByte = static_cast<std::size_t>(checked::Mul(i, 2));
                    const auto word = static_cast<uint16_t>(Block[lowByte] | (Block[lowByte + 1] << 8));
                    const int32_t sample = static_cast<int16_t>(word);
                    Samples[static_cast<std::size_t>(i)] = sample;
                    const int32_t d = std::abs(sample) >> 8;
                    if (d > peak) {
                        peak = d;
                        PeakLevel.store(peak);
                    }
                }
            } else {
                Samples.resize(static_cast<std::size_t>(ByteCount));
                if (SampleBits == 8) {
                    // PeakLevel rises as the scan goes, one run of 256 samples at a time (well under a
                    // microsecond each) rather than sample by sample, so that the scan runs vectorised.
                    constexpr int32_t Run = 256;
                    for (int32_t start = 0; start < ByteCount; start += Run) {
                        const int32_t length = std::min(Run, ByteCount - start);
                        const uint8_t* src = Block + start;
                        int32_t* dst = Samples.data() + start;
                        // The largest |byte - 127| of the run is the larger of max - 127 and 127 - min;
                        // 16 bytes at a time.
                        U8x16 lowest = Splat(255), highest = Splat(0);
                        int32_t i = 0;
                        for (; i + 16 <= length; i += 16) {
                            const U8x16 bytes = *reinterpret_cast<const U8x16*>(src + i);
                            lowest = bytes < lowest ? bytes : lowest;
                            highest = bytes > highest ? bytes : highest;
                        }
                        int32_t runLow = 255, runHigh = 0;
                        for (int lane = 0; lane < 16; ++lane) {
                            runLow = std::min<int32_t>(runLow, lowest[lane]);
                            runHigh = std::max<int32_t>(runHigh, highest[lane]);
                        }
                        for (; i < length; ++i) {
                            runLow = std::min<int32_t>(runLow, src[i]);
                            runHigh = std::max<int32_t>(runHigh, src[i]);
                        }
                        for (i = 0; i + 4 <= length; i += 4) {
                            U8x4 four;
                            std::memcpy(&four, src + i, sizeof four);
                            *reinterpret_cast<I32x4*>(dst + i) = __builtin_convertvector(four, I32x4);
                        }
                        for (; i < length; ++i) dst[i] = src[i];
                        const int32_t runPeak = std::max({0, runHigh - 127, 127 - runLow});
                        if (runPeak > peak) {
                            peak = runPeak;
                            PeakLevel.store(peak);
                        }
                    }
                }
            }
            AnalyseBlock();
        }
    } catch (...) {
        // Whatever went wrong, this block simply yields no estimate; nothing reaches the recorder.
    }
    Busy.store(false);
}

void TTunerAnalysis::AnalyseBlock() {
    const int32_t n = checked::Narrow(static_cast<int64_t>(Samples.size()));
    // An empty block has neither a mean nor a spectrum.
    if (n == 0) return;
    const auto size = static_cast<std::size_t>(n);

    const int64_t sum = SumOf(Samples.data(), size);
    const double mean = static_cast<double>(static_cast<long double>(sum) / n);

    RealPart.resize(size);
    ImagPart.resize(size + 1);
    RemoveMean(Samples.data(), size, mean, RealPart.data());

    uint8_t errorCode = 0;
    RealFFT(n, false, RealPart, ImagPart, errorCode);
    if (errorCode != 0) return;

    const int32_t m = n / 2;
    const auto lines = static_cast<std::size_t>(m);
    // The largest product i * SamplesPerSec is checked once: if it fits in 32 bits, all the others do.
    if (m > 0) checked::Mul(m - 1, SamplesPerSec);
    auto BinFrequency = [n](int32_t i) { return static_cast<double>(i * SamplesPerSec) / n; };
    // Dividing by K = 2*sqrt(2) scales every line alike; the estimate does not depend on it.
    const double K = std::sqrt(2.0) * 2;
    auto Magnitude = [&](std::size_t i) {
        const double re = RealPart[i] / K;
        const double im = ImagPart[i] / K;
        return std::sqrt(re * re + im * im);
    };
    auto Power = [&](std::size_t i) { return RealPart[i] * RealPart[i] + ImagPart[i] * ImagPart[i]; };

    // Ranking, strict comparisons: on equal magnitudes the line that holds a place keeps it. A line whose
    // power re^2 + im^2 is below the runner-up's by more than 1e-12 (rounding moves either side by a few
    // 1e-16) has a smaller Magnitude than the runner-up, and so than the best line: neither comparison can
    // succeed, and its Magnitude is not needed. Every comparison that can succeed uses Magnitude as defined,
    // so BestBin and SecondBin come out exactly as if every line's Magnitude were formed and compared.
    constexpr double Margin = 1.0 - 1e-12;
    int32_t BestBin = 0;
    int32_t SecondBin = 0;
    double bestMagnitude = lines > 0 ? Magnitude(0) : 0.0;
    double secondMagnitude = bestMagnitude;
    double secondPowerBound = lines > 0 ? Power(0) * Margin : 0.0;
    for (std::size_t line = 1; line < lines; ++line) {
        line = NextCandidate(RealPart.data(), ImagPart.data(), line, lines, secondPowerBound);
        if (line == lines) break;
        const double magnitude = Magnitude(line);
        const auto i = static_cast<int32_t>(line);
        if (magnitude > bestMagnitude) {
            if (bestMagnitude > secondMagnitude) {
                SecondBin = BestBin;
                secondMagnitude = bestMagnitude;
            }
            BestBin = i;
            bestMagnitude = magnitude;
        } else if (magnitude > secondMagnitude) {
            SecondBin = i;
            secondMagnitude = magnitude;
        } else {
            continue;
        }
        secondPowerBound = Power(static_cast<std::size_t>(SecondBin)) * Margin;
    }

    const int32_t lo = std::min(BestBin, SecondBin);
    const int32_t hi = std::max(BestBin, SecondBin);
    const double fLo = BinFrequency(lo);
    double estimate = fLo;
    if (checked::Sub(hi, lo) == 1) {
        // Neighbouring lines: the magnitude-weighted mean of their frequencies.
        const long double mLo = lo == BestBin ? bestMagnitude : secondMagnitude;
        const long double mHi = hi == BestBin ? bestMagnitude : secondMagnitude;
        const long double fHi = BinFrequency(hi);
        estimate = static_cast<double>(fLo + mHi / (mLo + mHi) * (fHi - fLo));
    }
    Frequency.store(estimate);
}
