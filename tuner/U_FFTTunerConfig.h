#pragma once
// Fixed configuration of the tuner: the capture format and the six target pitches.
// Compiled in; nothing changes them at run time.

#include <array>
#include <cstdint>

inline constexpr int32_t NumBuffers = 8;         // capture buffers the recorder cycles through
inline constexpr int32_t NumChannels = 1;        // mono
inline constexpr int32_t BitsPerSample = 8;      // unsigned 8-bit samples, silence at 127..128
inline constexpr int32_t SamplesPerSec = 11025;  // sample rate in hertz
inline constexpr int32_t BufferBytes = 8192;     // bytes per capture buffer = samples per analysed block

// Target pitch in hertz of strings 1 (thinnest, index 0) to 6 (thickest, index 5).
inline constexpr std::array<double, 6> StringFrequencies = {329.63, 246.9, 196.0, 146.8, 110.0, 82.4};
