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
            // PeakLevel rises as the scan goes: the window may read it at any moment.
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
                    for (std::size_t i = 0; i < Samples.size(); ++i) {
                        Samples[i] = Block[i];
                        const int32_t d = std::abs(Samples[i] - 127);
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

    // The block mean: the sum is exact in 64 bits (up to 2^31 values of 32 bits).
    int64_t sum = 0;
    for (const int32_t sample : Samples) sum += sample;
    const double mean = static_cast<double>(static_cast<long double>(sum) / n);

    RealPart.resize(size);
    ImagPart.resize(size + 1);
    for (std::size_t i = 0; i < size; ++i) RealPart[i] = Samples[i] - mean;

    uint8_t errorCode = 0;
    RealFFT(n, false, RealPart, ImagPart, errorCode);
    if (errorCode != 0) return;

    const int32_t m = n / 2;
    const auto lines = static_cast<std::size_t>(m);
    // The largest product i * SamplesPerSec is checked once: if it fits in 32 bits, all the others do.
    if (m > 0) checked::Mul(m - 1, SamplesPerSec);
    auto BinFrequency = [n](int32_t i) { return static_cast<double>(i * SamplesPerSec) / n; };

    // The modulus of every line divided by K = 2*sqrt(2); the common factor leaves the ranking and the
    // ratio of two magnitudes alone.
    const double K = std::sqrt(2.0) * 2;
    Magnitude.resize(lines);
    for (std::size_t i = 0; i < lines; ++i) {
        const double re = RealPart[i] / K;
        const double im = ImagPart[i] / K;
        Magnitude[i] = std::sqrt(re * re + im * im);
    }

    // Ranking with strict comparisons: on equal magnitudes the line that holds a place keeps it.
    std::size_t BestBin = 0;
    std::size_t SecondBin = 0;
    for (std::size_t i = 0; i < lines; ++i) {
        if (Magnitude[i] > Magnitude[BestBin]) {
            const std::size_t oldBest = BestBin;
            BestBin = i;
            if (Magnitude[oldBest] > Magnitude[SecondBin]) SecondBin = oldBest;
        } else if (Magnitude[i] > Magnitude[SecondBin]) {
            SecondBin = i;
        }
    }

    const auto lo = static_cast<int32_t>(std::min(BestBin, SecondBin));
    const auto hi = static_cast<int32_t>(std::max(BestBin, SecondBin));
    const double fLo = BinFrequency(lo);
    double estimate = fLo;
    if (checked::Sub(hi, lo) == 1) {
        // Neighbouring lines: the magnitude-weighted mean of their frequencies, at extended precision.
        const long double mLo = Magnitude[static_cast<std::size_t>(lo)];
        const long double mHi = Magnitude[static_cast<std::size_t>(hi)];
        const long double fHi = BinFrequency(hi);
        estimate = static_cast<double>(fLo + mHi / (mLo + mHi) * (fHi - fLo));
    }
    Frequency.store(estimate);
}
