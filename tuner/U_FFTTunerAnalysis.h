#pragma once
// The tuner's measuring core: per-block peak level and pitch estimate.
// Plain C++ (no widgets), so it is tested without a display; the window class TTunerForm derives from it.

#include <atomic>
#include <cstdint>
#include <vector>

#include "U_FFT2.h"

class TTunerAnalysis {
public:
    TTunerAnalysis() = default;
    virtual ~TTunerAnalysis() = default;
    TTunerAnalysis(const TTunerAnalysis&) = delete;
    TTunerAnalysis& operator=(const TTunerAnalysis&) = delete;

    // Largest |sample - 127| of the latest block, 0..128. Written by the audio thread while it scans a block,
    // read by the window thread at any moment.
    std::atomic<int32_t> PeakLevel{0};
    // Latest pitch estimate in hertz, 0 until the first estimate. Written by the analysis (audio thread)
    // and by the display's octave fold (window thread); the last writer wins.
    std::atomic<double> Frequency{0.0};
    // The latest block, one value per sample. Touched only by the audio thread while capture runs.
    std::vector<int32_t> Samples;
    // Set while WaveInData processes a block; a block arriving meanwhile is dropped.
    std::atomic<bool> Busy{false};

    // The recorder's OnBufferFull handler. Runs on the audio thread; no error escapes it.
    void WaveInData(const uint8_t* Block, int32_t ByteCount);
    // Turns Samples into a new Frequency. Called only by WaveInData; may throw on a checked arithmetic fault.
    void AnalyseBlock();

protected:
    // WaveInData for a given sample width: 8 (unsigned bytes, the tuner's format) or 16 (ByteCount div 2
    // little-endian signed words, PeakLevel = |sample| >> 8 so that it stays 0..128). Same guarantees as WaveInData.
    void ProcessBlock(const uint8_t* Block, int32_t ByteCount, int32_t SampleBits);

private:
    // The working arrays, kept from block to block so that a block allocates nothing. Only the block in
    // progress (Busy set) touches them; RealFFT overwrites the imaginary part and ignores what it held.
    TNvector2 RealPart;
    TNvector2 ImagPart;
    TNvector2 Magnitude;  // of lines 0 .. n/2 - 1, in the units of the ranking (modulus / 2*sqrt(2))
};
