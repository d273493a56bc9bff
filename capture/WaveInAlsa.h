// Pieces of the ALSA wave-input layer (WaveInAlsa.cpp) that its own tests look at directly.
#pragma once

#include "WaveInApi.h"

namespace wavein_alsa {

// Where an ALSA error came from: the same errno means different things at open, at format set-up and later.
enum class Stage { Open, Configure, Capture };

// The wave-input result code closest to a negative ALSA error code.
MMRESULT ResultFromAlsaError(int alsaError, Stage stage);

// The ALSA period asked for at a sample rate: the largest power of two not above a tenth of a second of frames
// (1024 at 11025 Hz, 93 ms). The device thread reads one whole period at a time, so a file-backed test device fed
// through a pipe in chunks of a multiple of this many frames stays aligned.
unsigned long PeriodFramesFor(unsigned sampleRateHz);

// Makes the device's next read from ALSA fail with `alsaError` (negative), as when the device is unplugged.
// For tests of the layer's reaction; false when the handle is not an open device.
bool InjectCaptureErrorForTest(HWAVEIN device, int alsaError);

// How long a started device holds captured sound for a buffer that is about to be queued before discarding it.
constexpr int kQueueGraceMs = 200;

// The longest that waveInStop, waveInReset and waveInClose wait for the device thread. A thread still inside ALSA
// then (a sound server that went away mid-read) is left to end on its own and the device counts as lost.
constexpr int kStopLimitMs = 200;

// The name of each open device's thread (in /proc/<pid>/task/<tid>/comm), for measurements. Threads that ALSA's
// plugins start from it may inherit the name; the device thread is the first.
constexpr const char* kThreadName = "zt-alsa-capture";

// The longest that waveInGetNumDevs, waveInOpen and waveInStart wait for ALSA to open or start the device
// (an open can block: a sound server that does not answer, a pipe with no writer).
constexpr int kOpenLimitMs = 500;

} // namespace wavein_alsa
