// Block analysis: the peak level while the block is copied, then the pitch estimate from the strongest
// spectral line and the runner-up.

#include "U_FFTTunerAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "CheckedInt.h"
#include "U_FFT2.h"
#include "U_FFTTunerConfig.h"

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
                    for (int32_t i = 0; i < ByteCount; ++i) {
                        const int32_t sample = Block[i];
                        Samples[static_cast<std::size_t>(i)] = sample;
                        const int32_t d = std::abs(sample - 127);
                        if (d > peak) {
                            peak = d;
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

    // The sum of up to 2^31 samples of 32 bits is exact in 64 bits.
    int64_t sum = 0;
    for (int32_t s : Samples) sum += s;
    const double mean = static_cast<double>(static_cast<long double>(sum) / n);

    TNvector2 RealPart(size, 0.0);
    for (std::size_t i = 0; i < size; ++i) RealPart[i] = Samples[i] - mean;
    TNvector2 ImagPart(size + 1, 0.0);

    uint8_t errorCode = 0;
    RealFFT(n, false, RealPart, ImagPart, errorCode);
    if (errorCode != 0) return;

    const int32_t m = n / 2;
    const auto lines = static_cast<std::size_t>(m);
    TNvector2 Magnitude(lines, 0.0);
    TNvector2 BinFrequency(lines, 0.0);
    int32_t BestBin = 0;
    int32_t SecondBin = 0;
    // Dividing by K = 2*sqrt(2) scales every line alike; the estimate does not depend on it.
    const long double K = std::sqrt(2.0L) * 2;
    for (int32_t i = 0; i < m; ++i) {
        const auto line = static_cast<std::size_t>(i);
        BinFrequency[line] =
            static_cast<double>(static_cast<long double>(checked::Mul(i, SamplesPerSec)) / n);
        const long double re = RealPart[line] / K;
        const long double im = ImagPart[line] / K;
        Magnitude[line] = static_cast<double>(std::sqrt(re * re + im * im));

        // Strict comparisons: on equal magnitudes the line that holds a place keeps it.
        if (Magnitude[line] > Magnitude[checked::Index(BestBin, lines)]) {
            const int32_t oldBest = BestBin;
            BestBin = i;
            if (Magnitude[checked::Index(oldBest, lines)] > Magnitude[checked::Index(SecondBin, lines)]) {
                SecondBin = oldBest;
            }
        } else if (Magnitude[line] > Magnitude[checked::Index(SecondBin, lines)]) {
            SecondBin = i;
        }
    }

    const int32_t lo = std::min(BestBin, SecondBin);
    const int32_t hi = std::max(BestBin, SecondBin);
    const double fLo = BinFrequency[checked::Index(lo, lines)];
    double estimate = fLo;
    if (checked::Sub(hi, lo) == 1) {
        // Neighbouring lines: the magnitude-weighted mean of their frequencies.
        const long double mLo = Magnitude[checked::Index(lo, lines)];
        const long double mHi = Magnitude[checked::Index(hi, lines)];
        const long double fHi = BinFrequency[checked::Index(hi, lines)];
        estimate = static_cast<double>(fLo + mHi / (mLo + mHi) * (fHi - fLo));
    }
    Frequency.store(estimate);
}
