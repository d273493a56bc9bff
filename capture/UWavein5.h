// TWaveIn: records from the default wave-input device into a fixed ring of buffers and hands each filled buffer
// to one client handler. Every failure becomes an English message in LastError and goes to OnError.
//
// Threads: the client calls the operations from one thread (the window thread). The device calls WaveInCallback
// on its own thread; OnBufferFull always runs there, and so do the reports of failures found inside the callback
// (a failed re-queue, or an exception escaping OnBufferFull, after which the callback itself stops, resets and
// closes the device). OnError therefore runs on either thread and must be safe to call from both.
#pragma once

#include "WaveInApi.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

class TWaveIn {
public:
    static constexpr int MaxBuffers = 8;

    // Called for each filled buffer while recording, on the device's thread: the recorder's own block (valid
    // during the call) and BufferLength. May be empty.
    std::function<void(const uint8_t* buffer, int32_t byteCount)> OnBufferFull;
    int32_t BufferSize;                     // bytes per data buffer, as constructed
    std::atomic<int32_t> NextBuffer;        // header that AddNextBuffer queues next; 0 after OpenDevice
    WAVEHDR* Headers[MaxBuffers];           // slots 0 .. BufferCount - 1 owned
    std::atomic<bool> DeviceOpen;           // from a successful open until the device's close notice or CloseDevice
    HWND OwnerHandle;                       // kept, not used
    std::atomic<bool> Recording;            // set by StartRecording once started, cleared by StopRecording/CloseDevice
    WAVEFORMATEX* WaveFormat;               // owned; the client may write its fields, never replace it
    int32_t BufferLength;                   // BufferSize rounded down to nBlockAlign; set by OpenDevice
    bool Ready;                             // construction found a device and allocated everything
    std::string LastError;                  // last message reported; read it while no recording is running
    std::atomic<int32_t> BuffersReceived;   // buffers handled while recording since OpenDevice
    uint8_t* Buffers[MaxBuffers];           // slots 0 .. BufferCount - 1 owned, BufferSize bytes each
    HWAVEIN DeviceHandle;                   // meaningful only while DeviceOpen
    std::function<void(const std::string& message)> OnError;  // called for each message; may be empty
    int32_t BufferCount;                    // number of buffers, 2 .. MaxBuffers

    // bufferSize > 0 bytes, bufferCount 2 .. MaxBuffers; otherwise Ready stays false and LastError says why.
    TWaveIn(HWND owner, int32_t bufferSize, int32_t bufferCount);
    // Stops and closes a device that is still open (reporting as StopRecording does: empty OnError first if its
    // target is already gone), waits for a callback still on its way out, then frees format, buffers, headers.
    virtual ~TWaveIn();

    TWaveIn(const TWaveIn&) = delete;
    TWaveIn& operator=(const TWaveIn&) = delete;

    bool OpenDevice();       // ends an earlier recording, opens the default device with WaveFormat, prepares headers
    bool StartRecording();   // starts the device and queues BufferCount - 1 buffers
    void StopRecording();    // clears Recording, stops, resets and closes the device; nothing unless DeviceOpen
    void CloseDevice();      // clears Recording, resets, unprepares every header, closes; nothing unless DeviceOpen
    bool AddNextBuffer();    // queues Headers[NextBuffer] while Recording
    void ReportError(const std::string& message);  // LastError = message, then OnError(message)

    static void CALLBACK WaveInCallback(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                                        DWORD_PTR param2);

private:
    bool AllocateFormat();
    bool AllocateHeaders();
    bool AllocateBuffers();
    void FreeFormat();
    void FreeBuffers();
    void FreeHeaders();
    void InitHeaders();
    void HandleDeviceMessage(HWAVEIN device, UINT message);
    void StopRecordingSteps();
    void CloseDeviceSteps();

    // Why Ready is false: a recorder without a device refuses to open with the platform's "no device" text.
    bool noDevice_ = false;
    // Serialises the read-queue-advance of NextBuffer between the start loop and the callback, so the two can
    // never queue the same header twice.
    std::mutex queueMutex_;
    // Held while OnBufferFull is read and called on the device thread, and while OpenDevice takes it aside.
    std::recursive_mutex handlerMutex_;
    // Guards the write of LastError: messages can come from the client's thread and the device thread at once.
    std::mutex errorMutex_;
    // Callbacks running right now; the destructor waits for the last one to leave before freeing anything.
    std::atomic<int> callbacksRunning_{0};
};

// The platform's text for a wave-input result code.
std::string DeviceErrorText(MMRESULT code);
