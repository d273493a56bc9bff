// Pieces of the ALSA wave-input layer (WaveInAlsa.cpp) that its own tests look at directly.
#pragma once

#include "WaveInApi.h"

namespace wavein_alsa {

// Where an ALSA error came from: the same errno means different things at open, at format set-up and later.
enum class Stage { Open, Configure, Capture };

// The wave-input result code closest to a negative ALSA error code.
MMRESULT ResultFromAlsaError(int alsaError, Stage stage);

// Frames read from ALSA per step. A file-backed test device fed through a pipe stays aligned when its writer
// writes whole multiples of this many frames at a time.
constexpr unsigned long kReadChunkFrames = 256;

// Makes the device's next read from ALSA fail with `alsaError` (negative), as when the device is unplugged.
// For tests of the layer's reaction; false when the handle is not an open device.
bool InjectCaptureErrorForTest(HWAVEIN device, int alsaError);

// How long a started device holds captured sound for a buffer that is about to be queued before discarding it.
constexpr int kQueueGraceMs = 200;

} // namespace wavein_alsa
