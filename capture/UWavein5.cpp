#include "UWavein5.h"

#include <chrono>
#include <new>
#include <thread>
#include <utility>

namespace {

constexpr UINT kHeaderSize = sizeof(WAVEHDR);

// The fixed text appended to "Error in waveInUnprepareHeader " for a failed unprepare.
const char* UnprepareErrorText(MMRESULT code)
{
    switch (code) {
    case MMSYSERR_INVALHANDLE:
        return " Specified device handle is invalid ";
    case MMSYSERR_NODRIVER:
        return "\tNo device driver is present";
    case MMSYSERR_NOMEM:
        return " Unable to allocate or lock memory";
    case WAVERR_STILLPLAYING:
        return "Buffer still being propcessed";
    default:
        return "Uknown Error";
    }
}

// Puts a handler back when the scope ends, also when a client handler throws on the way.
class HandlerRestore {
public:
    HandlerRestore(std::recursive_mutex& mutex, std::function<void(const uint8_t*, int32_t)>& slot,
                   std::function<void(const uint8_t*, int32_t)>&& saved)
        : mutex_(mutex), slot_(slot), saved_(std::move(saved))
    {
    }
    ~HandlerRestore()
    {
        std::lock_guard<std::recursive_mutex> lock(mutex_);
        slot_ = std::move(saved_);
    }
    HandlerRestore(const HandlerRestore&) = delete;
    HandlerRestore& operator=(const HandlerRestore&) = delete;

private:
    std::recursive_mutex& mutex_;
    std::function<void(const uint8_t*, int32_t)>& slot_;
    std::function<void(const uint8_t*, int32_t)> saved_;
};

// Marks this thread as inside StopRecording or CloseDevice of one recorder. A handler called from in there (the
// "Closing" report, say) that stops or closes the same recorder again would otherwise recurse: the device is
// still counted open until the outer call ends, so each nested call fails and reports, and reports again.
class ShutdownScope {
public:
    explicit ShutdownScope(const TWaveIn* recorder) : recorder_(recorder), outer_(innermost_) { innermost_ = this; }
    ~ShutdownScope() { innermost_ = outer_; }
    ShutdownScope(const ShutdownScope&) = delete;
    ShutdownScope& operator=(const ShutdownScope&) = delete;

    static bool Active(const TWaveIn* recorder)
    {
        for (const ShutdownScope* scope = innermost_; scope != nullptr; scope = scope->outer_)
            if (scope->recorder_ == recorder)
                return true;
        return false;
    }

private:
    const TWaveIn* recorder_;
    const ShutdownScope* outer_;
    static thread_local const ShutdownScope* innermost_;
};

thread_local const ShutdownScope* ShutdownScope::innermost_ = nullptr;

} // namespace

std::string DeviceErrorText(MMRESULT code)
{
    char text[MAXERRORLENGTH] = {};
    waveInGetErrorTextA(code, text, MAXERRORLENGTH - 1);
    text[MAXERRORLENGTH - 1] = '\0';
    if (text[0] == '\0')
        return "Unknown wave-input error " + std::to_string(code);
    return std::string(text);
}

TWaveIn::TWaveIn(HWND owner, int32_t bufferSize, int32_t bufferCount)
    : BufferSize(bufferSize), NextBuffer(0), Headers{}, DeviceOpen(false), OwnerHandle(owner), Recording(false),
      WaveFormat(nullptr), BufferLength(0), Ready(false), BuffersReceived(0), Buffers{}, DeviceHandle(nullptr),
      BufferCount(bufferCount)
{
    if (!AllocateFormat()) {
        ReportError("Error locking WaveFormatEx memory");
        return;
    }
    // The arrays have MaxBuffers slots, and with a single buffer none would ever reach the device.
    if (BufferCount < 2 || BufferCount > MaxBuffers) {
        ReportError("Invalid buffer count " + std::to_string(BufferCount) + ": a recorder needs 2 to " +
                    std::to_string(MaxBuffers) + " buffers");
        return;
    }
    if (waveInGetNumDevs() == 0) {
        noDevice_ = true;
        ReportError("No wave audio recording devices found");
        return;
    }
    if (!AllocateHeaders()) {
        ReportError("Could not lock header memory for recording");
        return;
    }
    if (!AllocateBuffers()) {
        ReportError("Error Locking wave buffer memory");
        return;
    }
    Ready = true;
}

TWaveIn::~TWaveIn()
{
    // The device would otherwise go on writing into the buffers freed below.
    if (DeviceOpen) {
        try {
            StopRecording();
        } catch (...) {
            // A throwing OnError must not escape a destructor.
        }
    }
    // A callback that closed the device from inside itself may still be on its way out.
    while (callbacksRunning_.load() != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    FreeFormat();
    FreeBuffers();
    FreeHeaders();
}

bool TWaveIn::AllocateFormat()
{
    WaveFormat = new (std::nothrow) WAVEFORMATEX;
    if (WaveFormat == nullptr)
        return false;
    WaveFormat->wFormatTag = WAVE_FORMAT_PCM;
    WaveFormat->nChannels = 1;
    WaveFormat->nSamplesPerSec = 44100;
    WaveFormat->nBlockAlign = 1;
    WaveFormat->wBitsPerSample = 8;
    WaveFormat->nAvgBytesPerSec = (WaveFormat->wBitsPerSample / 8) * WaveFormat->nSamplesPerSec * WaveFormat->nChannels;
    WaveFormat->cbSize = 0;
    return true;
}

bool TWaveIn::AllocateHeaders()
{
    for (int32_t i = 0; i < BufferCount; ++i) {
        Headers[i] = new (std::nothrow) WAVEHDR{};
        if (Headers[i] == nullptr)
            return false;
    }
    return true;
}

bool TWaveIn::AllocateBuffers()
{
    for (int32_t i = 0; i < BufferCount; ++i) {
        if (BufferSize <= 0)
            return false;
        Buffers[i] = new (std::nothrow) uint8_t[static_cast<size_t>(BufferSize)];
        if (Buffers[i] == nullptr)
            return false;
        Headers[i]->lpData = reinterpret_cast<LPSTR>(Buffers[i]);
    }
    return true;
}

void TWaveIn::FreeFormat()
{
    delete WaveFormat;
    WaveFormat = nullptr;
}

void TWaveIn::FreeBuffers()
{
    for (auto& buffer : Buffers) {
        delete[] buffer;
        buffer = nullptr;
    }
}

void TWaveIn::FreeHeaders()
{
    for (auto& header : Headers) {
        delete header;
        header = nullptr;
    }
}

void TWaveIn::InitHeaders()
{
    BufferLength = BufferSize - (BufferSize % WaveFormat->nBlockAlign);
    for (int32_t i = 0; i < BufferCount; ++i) {
        WAVEHDR* header = Headers[i];
        header->lpData = reinterpret_cast<LPSTR>(Buffers[i]);
        header->dwBufferLength = static_cast<DWORD>(BufferLength);
        header->dwBytesRecorded = 0;
        header->dwUser = 0;
        header->dwFlags = 0;
        header->dwLoops = 0;
        header->lpNext = nullptr;
        header->reserved = 0;
    }
}

bool TWaveIn::OpenDevice()
{
    // Headers and buffers are missing or incomplete; opening would hand the device null memory.
    if (!Ready) {
        if (noDevice_)
            ReportError("Could not open the input device for recording: \r " + DeviceErrorText(MMSYSERR_BADDEVICEID));
        else
            ReportError("The recorder could not be set up, so the input device was not opened");
        return false;
    }
    if (WaveFormat->nBlockAlign == 0) {
        ReportError("Invalid wave format: nBlockAlign is 0, so the input device was not opened");
        return false;
    }

    {
        std::function<void(const uint8_t*, int32_t)> saved;
        {
            std::lock_guard<std::recursive_mutex> lock(handlerMutex_);
            saved = std::move(OnBufferFull);
            OnBufferFull = nullptr;
        }
        HandlerRestore restore(handlerMutex_, OnBufferFull, std::move(saved));
        if (Recording)
            StopRecording();
        if (DeviceOpen)
            CloseDevice();
    }

    NextBuffer = 0;
    BuffersReceived = 0;

    const MMRESULT openCode =
        waveInOpen(&DeviceHandle, WAVE_MAPPER, WaveFormat, reinterpret_cast<DWORD_PTR>(&TWaveIn::WaveInCallback),
                   reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    if (openCode != MMSYSERR_NOERROR) {
        ReportError("Could not open the input device for recording: \r " + DeviceErrorText(openCode));
        return false;
    }
    DeviceOpen = true;
    InitHeaders();

    for (int32_t i = 0; i < BufferCount; ++i) {
        const MMRESULT code = waveInPrepareHeader(DeviceHandle, Headers[i], kHeaderSize);
        if (code != MMSYSERR_NOERROR) {
            CloseDevice();
            ReportError("Error preparing header for recording: \r" + DeviceErrorText(code));
            return false;
        }
    }
    return AddNextBuffer();
}

bool TWaveIn::StartRecording()
{
    const MMRESULT code = waveInStart(DeviceHandle);
    if (code != MMSYSERR_NOERROR) {
        CloseDevice();
        ReportError("Error starting wavein: " + DeviceErrorText(code));
        return false;
    }
    Recording = true;
    for (int32_t i = 0; i < BufferCount - 1; ++i) {
        if (!AddNextBuffer()) {
            ReportError("AddNextBuffer failed from open");
            return false;
        }
    }
    return true;
}

bool TWaveIn::AddNextBuffer()
{
    if (!Recording)
        return true;
    MMRESULT code;
    {
        std::lock_guard<std::mutex> lock(queueMutex_);
        const int32_t index = NextBuffer;
        code = waveInAddBuffer(DeviceHandle, Headers[index], kHeaderSize);
        if (code == MMSYSERR_NOERROR) {
            NextBuffer = (index + 1) % BufferCount;
            return true;
        }
    }
    StopRecording();
    ReportError("Error adding buffer, recording stopped: " + DeviceErrorText(code));
    return false;
}

void TWaveIn::StopRecording()
{
    // Called again from a handler while this thread stops or closes the recorder: the outer call finishes it.
    if (ShutdownScope::Active(this))
        return;
    ShutdownScope scope(this);
    StopRecordingSteps();
}

void TWaveIn::StopRecordingSteps()
{
    if (!DeviceOpen)
        return;
    Recording = false;
    waveInStop(DeviceHandle);
    // The device thread may have shut the device down itself (a failed re-queue) while this thread waited.
    if (!DeviceOpen)
        return;
    if (waveInReset(DeviceHandle) != MMSYSERR_NOERROR)
        ReportError("Error in waveInReset");
    CloseDeviceSteps();
}

void TWaveIn::CloseDevice()
{
    if (ShutdownScope::Active(this))
        return;
    ShutdownScope scope(this);
    CloseDeviceSteps();
}

void TWaveIn::CloseDeviceSteps()
{
    if (!DeviceOpen)
        return;
    // Cleared before the reset, as StopRecording does: buffers the reset returns must not be handed out or
    // queued again, or no header could be unprepared and the device would stay open behind a closed recorder.
    Recording = false;
    waveInReset(DeviceHandle);
    if (!DeviceOpen)
        return;
    for (int32_t i = 0; i < BufferCount; ++i) {
        const MMRESULT code = waveInUnprepareHeader(DeviceHandle, Headers[i], kHeaderSize);
        if (code != MMSYSERR_NOERROR)
            ReportError(std::string("Error in waveInUnprepareHeader ") + UnprepareErrorText(code));
    }
    if (waveInClose(DeviceHandle) != MMSYSERR_NOERROR)
        ReportError("Error closing input device");
    DeviceOpen = false;
}

void TWaveIn::ReportError(const std::string& message)
{
    {
        std::lock_guard<std::mutex> lock(errorMutex_);
        LastError = message;
    }
    if (OnError)
        OnError(message);
}

void CALLBACK TWaveIn::WaveInCallback(HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR)
{
    auto* self = reinterpret_cast<TWaveIn*>(instance);
    if (self == nullptr)
        return;
    self->callbacksRunning_.fetch_add(1);
    try {
        self->HandleDeviceMessage(device, message);
    } catch (...) {
        // The exception ends recording and goes no further; StopRecording reports its own failures.
        try {
            self->StopRecording();
        } catch (...) {
            // Only a throwing OnError gets here; nothing may reach the device's thread.
        }
    }
    self->callbacksRunning_.fetch_sub(1);
}

void TWaveIn::HandleDeviceMessage(HWAVEIN device, UINT message)
{
    if (message == MM_WIM_DATA) {
        if (!Recording)
            return;
        {
            std::lock_guard<std::recursive_mutex> lock(handlerMutex_);
            if (OnBufferFull) {
                // The device returns buffers in queue order, so delivery k is the buffer queued k-th.
                const auto index = static_cast<uint32_t>(BuffersReceived.load()) % static_cast<uint32_t>(BufferCount);
                OnBufferFull(Buffers[index], BufferLength);
            }
        }
        AddNextBuffer();
        ++BuffersReceived;
    } else if (message == MM_WIM_CLOSE) {
        // Counted closed before the notice goes out: a stop on another thread that meets this close (the device
        // thread shutting down after a failed re-queue) must not repeat the close on a handle that is gone.
        if (device == DeviceHandle)
            DeviceOpen = false;
        ReportError("Closing");
    }
}
