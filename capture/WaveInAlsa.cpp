// The wave-input calls on Linux, over ALSA.
//
// WAVE_MAPPER (and device 0) is ALSA's "default" capture PCM, opened in the requested PCM format; on a desktop it
// routes to PipeWire or PulseAudio, and ALSA's plug layer converts where needed. Each open device has one thread
// that reads from ALSA into the buffer at the head of the queue and, once it is full, hands it back through the
// callback with MM_WIM_DATA; with no buffer queued the sound is discarded. Calls may come from any thread,
// including from inside the callback (the device thread itself): those never wait for the device thread.
//
// Locking: one registry mutex maps handles to devices (never held while a device's own mutex is awaited); each
// device's mutex guards its queue, flags and the ALSA handle. The device thread reads from ALSA without the mutex,
// with `reading` set; other threads touch the ALSA handle only with the mutex held and `reading` clear. The
// callback is always called without any of the layer's mutexes held.
#include "WaveInAlsa.h"
#include "WaveInApi.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

namespace wavein_alsa {

MMRESULT ResultFromAlsaError(int alsaError, Stage stage)
{
    switch (-alsaError) {
    case 0:
        return MMSYSERR_NOERROR;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return stage == Stage::Capture ? MMSYSERR_NODRIVER : MMSYSERR_BADDEVICEID;
    case EBUSY:
    case EAGAIN:
        return MMSYSERR_ALLOCATED;
    case EINVAL:
        return stage == Stage::Configure ? WAVERR_BADFORMAT : MMSYSERR_ERROR;
    case ENOMEM:
        return MMSYSERR_NOMEM;
    case EACCES:
    case EPERM:
        return MMSYSERR_NOTENABLED;
    case EBADFD:
    case EIO:
    case ESHUTDOWN:
        return stage == Stage::Capture ? MMSYSERR_NODRIVER : MMSYSERR_ERROR;
    default:
        return MMSYSERR_ERROR;
    }
}

} // namespace wavein_alsa

namespace {

using wavein_alsa::Stage;
using wavein_alsa::ResultFromAlsaError;

const char* const kDefaultPcm = "default";

// ALSA prints its own errors to stderr; the codes carry them to the caller instead.
void DiscardAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&DiscardAlsaError); });
}

struct Device {
    std::mutex mutex;
    std::condition_variable changed;
    snd_pcm_t* pcm = nullptr;
    HWAVEIN handle = nullptr;
    LPDRVCALLBACK callback = nullptr;
    DWORD_PTR instance = 0;
    unsigned frameBytes = 1;
    std::deque<WAVEHDR*> queue;
    std::vector<char> scratch;
    bool started = false;
    bool closed = false;
    bool reading = false;     // the device thread is in ALSA without the mutex
    int delivering = 0;       // depth of the device thread's calls into the callback
    MMRESULT lost = MMSYSERR_NOERROR;  // set once the device has gone away
    int injectedError = 0;             // InjectCaptureErrorForTest
    std::thread thread;
    std::thread::id threadId;
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::shared_ptr<Device>> devices;
    std::uintptr_t nextId = 1;
};

// Never destroyed: a device thread may outlive static destruction at process exit.
Registry& Devices()
{
    static Registry* registry = new Registry;
    return *registry;
}

std::shared_ptr<Device> Find(HWAVEIN handle)
{
    Registry& registry = Devices();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto found = registry.devices.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == registry.devices.end() ? nullptr : found->second;
}

void Forget(HWAVEIN handle)
{
    Registry& registry = Devices();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.devices.erase(reinterpret_cast<std::uintptr_t>(handle));
}

bool OnDeviceThread(const Device& device) { return std::this_thread::get_id() == device.threadId; }

// Calls the client's callback with the mutex released, so that the callback may call back into the layer.
void Notify(Device& device, std::unique_lock<std::mutex>& lock, UINT message, WAVEHDR* header)
{
    if (device.callback == nullptr)
        return;
    const LPDRVCALLBACK callback = device.callback;
    const HWAVEIN handle = device.handle;
    const DWORD_PTR instance = device.instance;
    const bool fromDeviceThread = OnDeviceThread(device);
    if (fromDeviceThread)
        ++device.delivering;
    lock.unlock();
    callback(reinterpret_cast<HDRVR>(handle), message, instance, reinterpret_cast<DWORD_PTR>(header), 0);
    lock.lock();
    if (fromDeviceThread) {
        --device.delivering;
        device.changed.notify_all();
    }
}

void MarkDone(WAVEHDR* header)
{
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
}

// Other threads wait here until the device thread has left ALSA and the callback; with `started` clear it then
// stays away from ALSA until started again or closed.
void WaitUntilIdle(Device& device, std::unique_lock<std::mutex>& lock)
{
    if (OnDeviceThread(device))
        return;
    device.changed.wait(lock, [&] { return device.closed || (!device.reading && device.delivering == 0); });
}

// Reads up to `frames` frames, waiting at most a short while so that stop and close are seen promptly.
// Returns the frames read (0: nothing yet), or a negative ALSA error that recovery could not mend.
snd_pcm_sframes_t ReadSome(snd_pcm_t* pcm, void* into, snd_pcm_uframes_t frames)
{
    int ready = snd_pcm_wait(pcm, 50);
    snd_pcm_sframes_t got = 0;
    if (ready > 0)
        got = snd_pcm_readi(pcm, into, frames);
    else if (ready < 0)
        got = ready;
    if (got == -EAGAIN)
        return 0;
    if (got == -EPIPE) {
        // Overrun: the sound lost meanwhile is gone; carry on silently.
        if (snd_pcm_prepare(pcm) < 0)
            return -EIO;
        return snd_pcm_start(pcm) < 0 ? -EIO : 0;
    }
    if (got == -ESTRPIPE) {
        int resumed;
        while ((resumed = snd_pcm_resume(pcm)) == -EAGAIN)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (resumed < 0 && (snd_pcm_prepare(pcm) < 0 || snd_pcm_start(pcm) < 0))
            return -EIO;
        return 0;
    }
    return got;
}

void DeviceLoop(std::shared_ptr<Device> device)
{
    Device& d = *device;
    std::unique_lock<std::mutex> lock(d.mutex);
    bool graceOver = false;
    for (;;) {
        if (!d.started)
            graceOver = false;
        d.changed.wait(lock, [&] { return d.closed || (d.started && d.lost == MMSYSERR_NOERROR); });
        if (d.closed)
            break;

        WAVEHDR* header = nullptr;
        char* into = nullptr;
        snd_pcm_uframes_t frames = wavein_alsa::kReadChunkFrames;
        if (d.queue.empty()) {
            // Hold the captured sound for a moment: the client usually queues its buffers right after starting.
            if (!graceOver) {
                const bool woken = d.changed.wait_for(lock, std::chrono::milliseconds(wavein_alsa::kQueueGraceMs),
                                                      [&] { return d.closed || !d.started || !d.queue.empty(); });
                if (woken)
                    continue;
                graceOver = true;
            }
            into = d.scratch.data();
            const snd_pcm_sframes_t available = snd_pcm_avail_update(d.pcm);
            frames = std::min<snd_pcm_uframes_t>(frames, available > 0 ? static_cast<snd_pcm_uframes_t>(available)
                                                                        : frames);
        } else {
            graceOver = false;
            header = d.queue.front();
            const DWORD room = header->dwBufferLength - header->dwBytesRecorded;
            frames = std::min<snd_pcm_uframes_t>(frames, room / d.frameBytes);
            into = header->lpData + header->dwBytesRecorded;
        }

        snd_pcm_sframes_t got = 0;
        if (d.injectedError != 0) {
            got = d.injectedError;
            d.injectedError = 0;
        } else if (frames > 0) {
            d.reading = true;
            snd_pcm_t* pcm = d.pcm;
            lock.unlock();
            got = ReadSome(pcm, into, frames);
            lock.lock();
            d.reading = false;
            d.changed.notify_all();
        }
        if (got < 0) {
            // The device has gone. Delivery ends with the buffer being filled, returned with what it holds, so
            // that the client's next call (its re-queue) fails with the reason; the rest stay queued for reset.
            d.lost = ResultFromAlsaError(static_cast<int>(got), Stage::Capture);
            if (d.lost == MMSYSERR_NOERROR)
                d.lost = MMSYSERR_NODRIVER;
            if (header != nullptr) {
                d.queue.pop_front();
                MarkDone(header);
                Notify(d, lock, MM_WIM_DATA, header);
            }
            continue;
        }
        if (header == nullptr)
            continue;
        header->dwBytesRecorded += static_cast<DWORD>(got) * d.frameBytes;
        if (header->dwBufferLength - header->dwBytesRecorded < d.frameBytes) {
            d.queue.pop_front();
            MarkDone(header);
            Notify(d, lock, MM_WIM_DATA, header);
        }
    }
}

MMRESULT FormatOf(const WAVEFORMATEX& format, snd_pcm_format_t& pcmFormat)
{
    if (format.wFormatTag != WAVE_FORMAT_PCM || format.nChannels == 0 || format.nSamplesPerSec == 0)
        return WAVERR_BADFORMAT;
    switch (format.wBitsPerSample) {
    case 8:
        pcmFormat = SND_PCM_FORMAT_U8;
        break;
    case 16:
        pcmFormat = SND_PCM_FORMAT_S16_LE;
        break;
    case 24:
        pcmFormat = SND_PCM_FORMAT_S24_3LE;
        break;
    case 32:
        pcmFormat = SND_PCM_FORMAT_S32_LE;
        break;
    default:
        return WAVERR_BADFORMAT;
    }
    if (format.nBlockAlign != format.nChannels * (format.wBitsPerSample / 8))
        return WAVERR_BADFORMAT;
    return MMSYSERR_NOERROR;
}

MMRESULT Configure(snd_pcm_t* pcm, const WAVEFORMATEX& format, snd_pcm_format_t pcmFormat)
{
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    int err = snd_pcm_hw_params_any(pcm, hw);
    if (err < 0)
        return ResultFromAlsaError(err, Stage::Open);
    if (snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, hw, pcmFormat) < 0 ||
        snd_pcm_hw_params_set_channels(pcm, hw, format.nChannels) < 0 ||
        snd_pcm_hw_params_set_rate(pcm, hw, format.nSamplesPerSec, 0) < 0)
        return WAVERR_BADFORMAT;
    // At least a second of sound in ALSA's own buffer; reads take much smaller steps.
    snd_pcm_uframes_t bufferFrames = std::max<snd_pcm_uframes_t>(format.nSamplesPerSec, 4 * wavein_alsa::kReadChunkFrames);
    snd_pcm_uframes_t periodFrames = std::max<snd_pcm_uframes_t>(format.nSamplesPerSec / 20, 32);
    snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &bufferFrames);
    int dir = 0;
    snd_pcm_hw_params_set_period_size_near(pcm, hw, &periodFrames, &dir);
    err = snd_pcm_hw_params(pcm, hw);
    if (err < 0)
        return ResultFromAlsaError(err, Stage::Configure);
    err = snd_pcm_prepare(pcm);
    if (err < 0)
        return ResultFromAlsaError(err, Stage::Open);
    return MMSYSERR_NOERROR;
}

struct ErrorText {
    MMRESULT code;
    const char* text;
};

const ErrorText kErrorTexts[] = {
    {MMSYSERR_NOERROR, "The operation completed successfully."},
    {MMSYSERR_ERROR, "The recording device reported an unspecified error."},
    {MMSYSERR_BADDEVICEID, "No recording device: the default capture device could not be found."},
    {MMSYSERR_NOTENABLED, "The recording device is not accessible (permission denied or disabled)."},
    {MMSYSERR_ALLOCATED, "The recording device is busy: another program is using it."},
    {MMSYSERR_INVALHANDLE, "The recording device handle is invalid: the device is not open."},
    {MMSYSERR_NODRIVER, "The recording device is no longer present."},
    {MMSYSERR_NOMEM, "Not enough memory for the recording device."},
    {MMSYSERR_NOTSUPPORTED, "The recording device does not support this function."},
    {MMSYSERR_BADERRNUM, "The error code is not known to the recording layer."},
    {MMSYSERR_INVALFLAG, "An invalid flag was passed to the recording device."},
    {MMSYSERR_INVALPARAM, "An invalid parameter was passed to the recording device."},
    {WAVERR_BADFORMAT, "The recording device does not support the requested wave format."},
    {WAVERR_STILLPLAYING, "The buffer is still queued in the recording device."},
    {WAVERR_UNPREPARED, "The buffer header has not been prepared."},
};

// Ends recording for stop and reset: the device thread leaves ALSA and stays away, and what ALSA holds is
// dropped. The queued buffers are the caller's to return. `lock` holds the device's mutex throughout.
MMRESULT Halt(Device& d, std::unique_lock<std::mutex>& lock)
{
    if (d.closed)
        return MMSYSERR_INVALHANDLE;
    d.started = false;
    d.changed.notify_all();
    WaitUntilIdle(d, lock);
    if (d.closed)
        return MMSYSERR_INVALHANDLE;
    snd_pcm_drop(d.pcm);
    return MMSYSERR_NOERROR;
}

} // namespace

extern "C" {

UINT waveInGetNumDevs(void)
{
    SilenceAlsa();
    UINT count = 0;
    int card = -1;
    while (snd_card_next(&card) == 0 && card >= 0) {
        char name[32];
        std::snprintf(name, sizeof name, "hw:%d", card);
        snd_ctl_t* ctl = nullptr;
        if (snd_ctl_open(&ctl, name, 0) < 0)
            continue;
        int pcmDevice = -1;
        while (snd_ctl_pcm_next_device(ctl, &pcmDevice) == 0 && pcmDevice >= 0) {
            snd_pcm_info_t* info = nullptr;
            snd_pcm_info_alloca(&info);
            snd_pcm_info_set_device(info, static_cast<unsigned>(pcmDevice));
            snd_pcm_info_set_subdevice(info, 0);
            snd_pcm_info_set_stream(info, SND_PCM_STREAM_CAPTURE);
            if (snd_ctl_pcm_info(ctl, info) == 0)
                ++count;
        }
        snd_ctl_close(ctl);
    }
    if (count == 0) {
        // No card records, yet "default" may (a sound server only, or a device defined in the configuration).
        snd_pcm_t* pcm = nullptr;
        const int err = snd_pcm_open(&pcm, kDefaultPcm, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
        if (err == 0) {
            snd_pcm_close(pcm);
            count = 1;
        } else if (err == -EBUSY) {
            count = 1;
        }
    }
    return count;
}

MMRESULT waveInOpen(LPHWAVEIN phwi, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                    DWORD fdwOpen)
{
    SilenceAlsa();
    if (phwi == nullptr || pwfx == nullptr)
        return MMSYSERR_INVALPARAM;
    if (uDeviceID != WAVE_MAPPER && uDeviceID != 0)
        return MMSYSERR_BADDEVICEID;
    const DWORD callbackKind = fdwOpen & 0x00070000;
    if (callbackKind != CALLBACK_FUNCTION && callbackKind != CALLBACK_NULL)
        return MMSYSERR_NOTSUPPORTED;
    if (callbackKind == CALLBACK_FUNCTION && dwCallback == 0)
        return MMSYSERR_INVALPARAM;
    snd_pcm_format_t pcmFormat = SND_PCM_FORMAT_U8;
    MMRESULT result = FormatOf(*pwfx, pcmFormat);
    if (result != MMSYSERR_NOERROR)
        return result;

    snd_pcm_t* pcm = nullptr;
    int err = snd_pcm_open(&pcm, kDefaultPcm, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err < 0)
        return ResultFromAlsaError(err, Stage::Open);
    result = Configure(pcm, *pwfx, pcmFormat);
    if (result != MMSYSERR_NOERROR) {
        snd_pcm_close(pcm);
        return result;
    }

    auto device = std::make_shared<Device>();
    device->pcm = pcm;
    device->callback = callbackKind == CALLBACK_FUNCTION ? reinterpret_cast<LPDRVCALLBACK>(dwCallback) : nullptr;
    device->instance = dwInstance;
    device->frameBytes = pwfx->nBlockAlign;
    device->scratch.resize(wavein_alsa::kReadChunkFrames * device->frameBytes);
    {
        Registry& registry = Devices();
        std::lock_guard<std::mutex> lock(registry.mutex);
        const std::uintptr_t id = registry.nextId++;
        device->handle = reinterpret_cast<HWAVEIN>(id);
        registry.devices.emplace(id, device);
    }
    {
        // The thread first takes the mutex, so it sees threadId set.
        std::unique_lock<std::mutex> lock(device->mutex);
        try {
            device->thread = std::thread(DeviceLoop, device);
        } catch (const std::system_error&) {
            lock.unlock();
            Forget(device->handle);
            snd_pcm_close(pcm);
            return MMSYSERR_NOMEM;
        }
        device->threadId = device->thread.get_id();
    }
    *phwi = device->handle;
    std::unique_lock<std::mutex> lock(device->mutex);
    Notify(*device, lock, MM_WIM_OPEN, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInClose(HWAVEIN hwi)
{
    const std::shared_ptr<Device> device = Find(hwi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    Device& d = *device;
    std::unique_lock<std::mutex> lock(d.mutex);
    if (d.closed)
        return MMSYSERR_INVALHANDLE;
    if (!d.queue.empty())
        return WAVERR_STILLPLAYING;
    d.started = false;
    d.closed = true;
    d.changed.notify_all();
    Forget(hwi);
    if (OnDeviceThread(d)) {
        // Closed from inside the callback: the thread ends when the callback returns to it.
        d.thread.detach();
    } else {
        lock.unlock();
        d.thread.join();
        lock.lock();
    }
    snd_pcm_close(d.pcm);
    d.pcm = nullptr;
    Notify(d, lock, MM_WIM_CLOSE, nullptr);
    return MMSYSERR_NOERROR;
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh)
{
    if (pwh == nullptr || cbwh < sizeof(WAVEHDR) || pwh->lpData == nullptr)
        return MMSYSERR_INVALPARAM;
    const std::shared_ptr<Device> device = Find(hwi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> lock(device->mutex);
    pwh->dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh)
{
    if (pwh == nullptr || cbwh < sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    const std::shared_ptr<Device> device = Find(hwi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    std::lock_guard<std::mutex> lock(device->mutex);
    if (pwh->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    pwh->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh)
{
    if (pwh == nullptr || cbwh < sizeof(WAVEHDR))
        return MMSYSERR_INVALPARAM;
    const std::shared_ptr<Device> device = Find(hwi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    Device& d = *device;
    std::lock_guard<std::mutex> lock(d.mutex);
    if (d.lost != MMSYSERR_NOERROR)
        return d.lost;
    if (!(pwh->dwFlags & WHDR_PREPARED))
        return WAVERR_UNPREPARED;
    if (pwh->dwFlags & WHDR_INQUEUE)
        return WAVERR_STILLPLAYING;
    if (pwh->dwBufferLength < d.frameBytes)
        return MMSYSERR_INVALPARAM;
    pwh->dwBytesRecorded = 0;
    pwh->dwFlags = (pwh->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    d.queue.push_back(pwh);
    d.changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStart(HWAVEIN hwi)
{
    const std::shared_ptr<Device> device = Find(hwi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    Device& d = *device;
    std::unique_lock<std::mutex> lock(d.mutex);
    if (d.closed)
        return MMSYSERR_INVALHANDLE;
    if (d.lost != MMSYSERR_NOERROR)
        return d.lost;
    if (d.started)
        return MMSYSERR_NOERROR;
    WaitUntilIdle(d, lock);
    if (d.closed)
        return MMSYSERR_INVALHANDLE;
    if (snd_pcm_state(d.pcm) != SND_PCM_STATE_PREPARED) {
        const int err = snd_pcm_prepare(d.pcm);
        if (err < 0)
            return ResultFromAlsaError(err, Stage::Capture);
    }
    const int err = snd_pcm_start(d.pcm);
    if (err < 0)
        return ResultFromAlsaError(err, Stage::Capture);
    d.started = true;
    d.changed.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveInStop(HWAVEIN hwi)
{
    const std::shared_ptr<Device> device = Find(hwi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    Device& d = *device;
    std::unique_lock<std::mutex> lock(d.mutex);
    if (const MMRESULT halted = Halt(d, lock); halted != MMSYSERR_NOERROR)
        return halted;
    // As on Windows, a partly filled buffer comes back; the empty ones stay queued.
    if (!d.queue.empty() && d.queue.front()->dwBytesRecorded > 0) {
        WAVEHDR* header = d.queue.front();
        d.queue.pop_front();
        MarkDone(header);
        Notify(d, lock, MM_WIM_DATA, header);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveInReset(HWAVEIN hwi)
{
    const std::shared_ptr<Device> device = Find(hwi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    Device& d = *device;
    std::unique_lock<std::mutex> lock(d.mutex);
    if (const MMRESULT halted = Halt(d, lock); halted != MMSYSERR_NOERROR)
        return halted;
    std::deque<WAVEHDR*> returned;
    returned.swap(d.queue);
    for (WAVEHDR* header : returned) {
        MarkDone(header);
        Notify(d, lock, MM_WIM_DATA, header);
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveInGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText)
{
    if (pszText == nullptr || cchText == 0)
        return MMSYSERR_INVALPARAM;
    const char* text = nullptr;
    for (const ErrorText& entry : kErrorTexts)
        if (entry.code == mmrError)
            text = entry.text;
    MMRESULT result = MMSYSERR_NOERROR;
    char unknown[64];
    if (text == nullptr) {
        std::snprintf(unknown, sizeof unknown, "Unknown wave-input error %u.", mmrError);
        text = unknown;
        result = MMSYSERR_BADERRNUM;
    }
    const std::size_t length = std::min<std::size_t>(std::strlen(text), cchText - 1);
    std::memcpy(pszText, text, length);
    pszText[length] = '\0';
    return result;
}

} // extern "C"

bool wavein_alsa::InjectCaptureErrorForTest(HWAVEIN device, int alsaError)
{
    const std::shared_ptr<Device> found = Find(device);
    if (!found)
        return false;
    std::lock_guard<std::mutex> lock(found->mutex);
    found->injectedError = alsaError;
    found->changed.notify_all();
    return true;
}
