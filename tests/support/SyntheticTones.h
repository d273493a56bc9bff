#pragma once
// Blocks of 8-bit samples holding known tones, as the tuner's sound card would deliver them: for the block
// analysis tests and the benchmark's error per string. Header only, no dependencies beyond the tuner's
// configuration.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <utility>
#include <vector>

#include "U_FFTTunerConfig.h"

namespace synthetic {

// n samples around 127.5 holding the tones (frequency in Hz, amplitude in sample units; tone i starts at
// phase 0.3 (i + 1) radians), rounded and clipped to 0..255.
inline std::vector<uint8_t> Quantised(const std::vector<std::pair<double, double>>& tones, int32_t n = BufferBytes) {
    std::vector<uint8_t> block(static_cast<std::size_t>(n));
    for (int32_t t = 0; t < n; ++t) {
        double v = 127.5;
        for (std::size_t i = 0; i < tones.size(); ++i) {
            v += tones[i].second *
                 std::sin(2 * std::numbers::pi * tones[i].first * t / SamplesPerSec + 0.3 * double(i + 1));
        }
        block[static_cast<std::size_t>(t)] = static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    }
    return block;
}

}  // namespace synthetic
