// A scripted fake of the wave-input calls (WaveInApi.h), linked in place of the ALSA layer: target wavein_fake.
//
// It behaves like one well-mannered device and records every call. By default:
//  - waveInGetNumDevs returns the device count (1; see SetDeviceCount). waveInOpen fails with
//    MMSYSERR_BADDEVICEID when the count is 0; otherwise it opens the one fake device (a fresh handle each time;
//    older handles become invalid) and calls back MM_WIM_OPEN.
//  - prepare/unprepare set and clear WHDR_PREPARED; unprepare of a queued header fails with WAVERR_STILLPLAYING.
//  - waveInAddBuffer queues a prepared header (WHDR_INQUEUE); an unprepared one fails with WAVERR_UNPREPARED.
//  - waveInStart / waveInStop set and clear "started"; nothing is filled until the test delivers a buffer.
//  - waveInReset clears "started" and returns every queued header with MM_WIM_DATA, on the calling thread.
//  - waveInClose fails with WAVERR_STILLPLAYING while headers are queued; otherwise it closes the device and,
//    unless SetCloseCallback(false), calls back MM_WIM_CLOSE on the calling thread (as Windows does).
//  - Any call on a handle that is not the open device returns MMSYSERR_INVALHANDLE.
//  - waveInGetErrorTextA writes ErrorText(code), a distinct text per code.
// Failures are scripted per call name ("waveInAddBuffer", ...): a scripted non-zero code is returned without
// doing anything else. Callbacks are always called with the fake's lock released, so a callback may call any
// wave-input function, and tests may drive the fake from several threads.
//
// Example: the 3rd waveInAddBuffer fails with 7, and a buffer is delivered from another thread:
//   fake_wavein::Reset();
//   fake_wavein::FailCall("waveInAddBuffer", 3, MMSYSERR_NOMEM);
//   recorder.OpenDevice(); recorder.StartRecording();
//   fake_wavein::DeliverNextOnThread();
#pragma once

#include "WaveInApi.h"

#include <string>
#include <thread>
#include <vector>

namespace fake_wavein {

// One wave-input call as the fake saw it.
struct Call {
    std::string name;          // the function's name, e.g. "waveInAddBuffer"
    HWAVEIN handle = nullptr;  // handle passed in (waveInOpen: the handle it handed out, or nullptr)
    WAVEHDR* header = nullptr; // header passed in, or nullptr
    UINT value = 0;            // header size / error code for waveInGetErrorTextA / device id for waveInOpen
    MMRESULT result = 0;       // what the call returned
    std::thread::id thread;    // the thread that made the call
};

// Forgets calls, scripts and the device: 1 device, nothing open, close callback on.
void Reset();

// What waveInGetNumDevs returns; with 0, waveInOpen fails with MMSYSERR_BADDEVICEID.
void SetDeviceCount(UINT count);

// The nth call (1-based, counted since Reset) of `name` returns `code` and does nothing else.
void FailCall(const std::string& name, int nth, MMRESULT code);
// Every call of `name` from now on returns `code` and does nothing else, until Reset or ClearFailures.
void FailAlways(const std::string& name, MMRESULT code);
// Successive calls of `name` return these codes in turn (0: act normally); then the default behaviour resumes.
void QueueResults(const std::string& name, const std::vector<MMRESULT>& codes);
// Drops every scripted failure (the call log stays).
void ClearFailures();

// Whether a successful waveInClose calls back MM_WIM_CLOSE (default true).
void SetCloseCallback(bool sendsClose);

// The call log, in order; CountCalls counts one name; ClearCalls empties the log (counting for FailCall goes on).
std::vector<Call> Calls();
std::vector<std::string> CallNames();
int CountCalls(const std::string& name);
void ClearCalls();

bool IsOpen();
bool IsStarted();
HWAVEIN OpenHandle();               // the open device's handle, nullptr when closed
std::vector<WAVEHDR*> Queue();      // queued headers, head first

// Fills the head of the queue as the device would and returns it with MM_WIM_DATA on the calling thread: every
// byte set to `fill` (when 0..255), dwBytesRecorded = dwBufferLength, WHDR_DONE set, WHDR_INQUEUE cleared.
// Returns false (and calls nothing) when no device is open, it is not started, or nothing is queued.
bool DeliverNext(int fill = -1);
// The same from a new thread, joined before it returns: the callback runs on a thread that is not the caller's.
bool DeliverNextOnThread(int fill = -1);
// Returns every queued header with MM_WIM_DATA, as a reset does, without stopping; the number returned.
int ReturnAll();

// The text waveInGetErrorTextA writes for a code, e.g. "fake text for code 33".
std::string ErrorText(MMRESULT code);

} // namespace fake_wavein
