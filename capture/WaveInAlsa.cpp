// The wave-input calls on Linux, over ALSA.
//
// WAVE_MAPPER (and device 0) is ALSA's "default" capture PCM, opened in the requested PCM format; on a desktop it
// routes to PipeWire or PulseAudio, and ALSA's plug layer converts where needed.
//
// Each open device has one thread, and only that thread calls ALSA on the device's PCM: it opens and configures
// it, starts and drops it when asked, reads one whole period at a time into a scratch area of its own and copies
// the sound into the buffer at the head of the queue; a full buffer goes back through the callback with
// MM_WIM_DATA. With no buffer queued the sound is discarded. The client's calls only change the device's state
// and wait for the thread to follow, each for a bounded time: a thread stuck inside ALSA (a sound server that
// went away in the middle of a read) is left behind, the device counts as lost, and the thread ends on its own
// later. It can never touch the client's memory again: it holds only the shared device state and its scratch.
//
// A buffer is handed back only when it is full, or when the client stops or resets the device. When the device
// goes away while recording (a read error, overrun recoveries that bring no sound, or no sound for a while), the
// buffer being filled stays queued (for a reset to return) and nothing more is delivered; the thread closes the PCM
// and opens "default" again about once a second, on its own and without holding the client's calls. Once one
// opens, the queued buffers fill again, the one that was being filled from its beginning, so that no buffer holds
// sound from both sides of the gap: the client sees only a pause. Each device failure, and a resumption, is written
// to standard error as one line with ALSA's text and the device name.
//
// The thread never spins: every wait is a poll of the PCM (and of an event that the client's calls signal) or a
// timed wait; after a wake-up that brings less than a period it waits for the rest of the period before looking
// again, as some plugins wake their reader for every few frames.
//
// Locking: one registry mutex maps handles to devices (never held while a device's own mutex is awaited); each
// device's mutex guards its queue and flags. The callback is always called without any of the layer's mutexes
// held, so it may call back into the layer; calls from inside the callback never wait for the device thread.
#include "WaveInAlsa.h"
#include "WaveInApi.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iterator>
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


unsigned long PeriodFramesFor(unsigned sampleRateHz)
{
    unsigned long frames = 32;
    while (frames * 2 <= sampleRateHz / 10)
        frames *= 2;
    return frames;
}

} // namespace wavein_alsa

namespace {

using wavein_alsa::Stage;
using wavein_alsa::ResultFromAlsaError;
using namespace std::chrono_literals;

const char* const kDefaultPcm = "default";
constexpr int kPollLimitMs = 250;          // the longest poll of the PCM; the client's calls interrupt it
constexpr auto kIdleWakeup = 1s;           // the device thread's idle waits look at its state at least this often
constexpr unsigned long kBufferPeriods = 4;
constexpr int kMaxEmptyRecoveries = 3;     // overrun or suspend recoveries in a row that bring no sound: lost
constexpr auto kSoundGapLimit = 1s;        // no sound for this long once sound has come: lost
constexpr auto kFirstSoundLimit = 3s;      // no sound at all for this long after a start (a sound server may
                                           // start a stream a second or more late): lost
constexpr auto kReopenInterval = 1s;       // a lost device is opened again this often

// ALSA prints its own errors to stderr; the codes carry them to the caller, and LogLine says it once.
void DiscardAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsa()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&DiscardAlsaError); });
}

// One line on standard error per device failure or resumption, for a user who started the program from a terminal.
void LogLine(const char* what, int alsaError)
{
    if (alsaError < 0)
        std::fprintf(stderr, "ALSA capture device \"%s\": %s: %s\n", kDefaultPcm, what, snd_strerror(alsaError));
    else
        std::fprintf(stderr, "ALSA capture device \"%s\": %s\n", kDefaultPcm, what);
}

struct Device {
    std::mutex mutex;
    std::condition_variable changed;
    HWAVEIN handle = nullptr;
    LPDRVCALLBACK callback = nullptr;
    DWORD_PTR instance = 0;
    WAVEFORMATEX format{};
    snd_pcm_format_t pcmFormat = SND_PCM_FORMAT_U8;
    unsigned frameBytes = 1;
    std::deque<WAVEHDR*> queue;
    std::thread::id threadId;
    // Asked for by the client's calls.
    bool started = false;      // from waveInStart to waveInStop or waveInReset
    bool closed = false;       // waveInClose, or an open given up
    // The device thread's own state.
    bool opened = false;       // the open has finished; openResult says how
    MMRESULT openResult = MMSYSERR_NOERROR;
    bool running = false;      // ALSA is capturing
    bool inAlsa = false;       // the thread is inside an ALSA call, without the mutex
    int delivering = 0;        // depth of the thread's calls into the callback
    bool ended = false;        // the thread has closed the PCM and is leaving
    MMRESULT lost = MMSYSERR_NOERROR;  // set once the device has gone away
    bool resuming = false;     // lost while recording: the thread opens "default" again until it records
    bool unresponsive = false; // a bounded wait for the thread ran out while it was inside ALSA
    int injectedError = 0;     // InjectCaptureErrorForTest
    int wakeFd = -1;           // an eventfd in the thread's poll of the PCM, signalled by Wake

    ~Device()
    {
        if (wakeFd >= 0)
            ::close(wakeFd);
    }
};

// Tells the device thread that its state changed, also while it polls the PCM.
void Wake(Device& d)
{
    d.changed.notify_all();
    const std::uint64_t one = 1;
    if (d.wakeFd >= 0 && ::write(d.wakeFd, &one, sizeof one) < 0) {
        // The counter is full: the thread has a wake-up pending anyway.
    }
}

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

// Runs one ALSA call on the device thread with the mutex released and `inAlsa` set meanwhile.
template <typename Call>
auto InAlsa(Device& d, std::unique_lock<std::mutex>& lock, Call call)
{
    d.inAlsa = true;
    lock.unlock();
    const auto result = call();
    lock.lock();
    d.inAlsa = false;
    d.changed.notify_all();
    return result;
}

// A bounded wait for the device thread ran out. While the thread is inside ALSA nothing more can be asked of the
// device: it counts as lost, and later calls do not wait for it again.
void GiveUpOn(Device& d, const char* what)
{
    if (!d.inAlsa || d.unresponsive)
        return;
    d.unresponsive = true;
    if (d.lost == MMSYSERR_NOERROR)
        d.lost = MMSYSERR_NODRIVER;
    LogLine(what, 0);
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
    // Short periods, so that a block is complete soon after its last sound, and a few of them in ALSA's buffer.
    snd_pcm_uframes_t periodFrames = wavein_alsa::PeriodFramesFor(format.nSamplesPerSec);
    int dir = 0;
    snd_pcm_hw_params_set_period_size_near(pcm, hw, &periodFrames, &dir);
    snd_pcm_uframes_t bufferFrames = kBufferPeriods * periodFrames;
    snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &bufferFrames);
    err = snd_pcm_hw_params(pcm, hw);
    if (err < 0)
        return ResultFromAlsaError(err, Stage::Configure);
    err = snd_pcm_prepare(pcm);
    if (err < 0)
        return ResultFromAlsaError(err, Stage::Open);
    return MMSYSERR_NOERROR;
}

// Opens "default" without blocking and sets it up for the format; on failure nothing stays open. Says why on
// standard error unless `quiet` (the attempts to reopen a lost device).
MMRESULT OpenPcm(const WAVEFORMATEX& format, snd_pcm_format_t pcmFormat, snd_pcm_t*& pcm,
                 snd_pcm_uframes_t& periodFrames, bool quiet)
{
    int err = snd_pcm_open(&pcm, kDefaultPcm, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
    if (err < 0) {
        if (!quiet)
            LogLine("cannot open", err);
        pcm = nullptr;
        return ResultFromAlsaError(err, Stage::Open);
    }
    const MMRESULT result = Configure(pcm, format, pcmFormat);
    snd_pcm_uframes_t bufferFrames = 0;
    if (result == MMSYSERR_NOERROR && snd_pcm_get_params(pcm, &bufferFrames, &periodFrames) == 0 && periodFrames > 0)
        return MMSYSERR_NOERROR;
    if (!quiet) {
        char what[96];
        std::snprintf(what, sizeof what, "cannot record %u Hz, %u bits, %u channel(s)", format.nSamplesPerSec,
                      format.wBitsPerSample, format.nChannels);
        LogLine(what, 0);
    }
    snd_pcm_close(pcm);
    pcm = nullptr;
    return result == MMSYSERR_NOERROR ? MMSYSERR_ERROR : result;
}

// (Re)starts capture after an open, a stop or an overrun.
int StartPcm(snd_pcm_t* pcm)
{
    if (snd_pcm_state(pcm) != SND_PCM_STATE_PREPARED) {
        const int err = snd_pcm_prepare(pcm);
        if (err < 0)
            return err;
    }
    return snd_pcm_start(pcm);
}

// What one turn of reading brought.
struct Turn {
    snd_pcm_sframes_t frames = 0;  // frames read, or a negative ALSA error that recovery could not mend
    bool recovered = false;        // an overrun or suspend was mended (the sound meanwhile is lost)
    bool early = false;            // the PCM woke its reader with less than a period ready
};

// Waits at most kPollLimitMs for a period to be ready, or for a Wake: 1 ready, 0 not (yet), 2 woken early, or a
// negative ALSA error. One poll only: snd_pcm_wait polls again, each time with the whole timeout, for as long as
// the PCM's descriptors wake without a full period (PulseAudio's plugin does that for a second or more after a
// start).
int WaitForPeriod(snd_pcm_t* pcm, int wakeFd)
{
    pollfd fds[9];
    const int count = snd_pcm_poll_descriptors(pcm, fds, std::size(fds) - 1);
    if (count <= 0)
        return count < 0 ? count : -EIO;
    fds[count] = {wakeFd, POLLIN, 0};
    const int polled = ::poll(fds, static_cast<nfds_t>(count + 1), kPollLimitMs);
    if (polled <= 0)
        return polled < 0 && errno != EINTR ? -errno : 0;
    if (fds[count].revents & POLLIN) {
        std::uint64_t wakes = 0;
        if (::read(wakeFd, &wakes, sizeof wakes) < 0) {
            // Nothing pending after all.
        }
        if (polled == 1)
            return 0;
    }
    unsigned short revents = 0;
    const int err = snd_pcm_poll_descriptors_revents(pcm, fds, static_cast<unsigned>(count), &revents);
    if (err < 0)
        return err;
    if (revents & (POLLERR | POLLNVAL)) {
        switch (snd_pcm_state(pcm)) {
        case SND_PCM_STATE_XRUN:
            return -EPIPE;
        case SND_PCM_STATE_SUSPENDED:
            return -ESTRPIPE;
        case SND_PCM_STATE_DISCONNECTED:
            return -ENODEV;
        default:
            return -EIO;
        }
    }
    return (revents & POLLIN) ? 1 : 2;
}

// Reads one period when one is ready, waiting at most kPollLimitMs for it.
Turn ReadPeriod(snd_pcm_t* pcm, int wakeFd, void* into, snd_pcm_uframes_t frames)
{
    const int ready = WaitForPeriod(pcm, wakeFd);
    Turn turn;
    turn.early = ready == 2;
    if (ready == 1)
        turn.frames = snd_pcm_readi(pcm, into, frames);
    else if (ready < 0)
        turn.frames = ready;
    if (turn.frames == -EAGAIN || turn.frames == -EINTR) {
        turn.frames = 0;
        turn.early = true;
    }
    if (turn.frames == -EPIPE) {
        // Overrun: the sound lost meanwhile is gone; carry on silently.
        turn.frames = StartPcm(pcm) < 0 ? -EIO : 0;
        turn.recovered = true;
    } else if (turn.frames == -ESTRPIPE) {
        // Suspended: try to resume for a tenth of a second, then start afresh.
        int resumed = -EAGAIN;
        for (int attempt = 0; attempt < 10 && resumed == -EAGAIN; ++attempt) {
            resumed = snd_pcm_resume(pcm);
            if (resumed == -EAGAIN)
                std::this_thread::sleep_for(10ms);
        }
        turn.frames = resumed < 0 && StartPcm(pcm) < 0 ? -EIO : 0;
        turn.recovered = true;
    }
    return turn;
}

// After a wake-up that brought less than a period: how long until the rest of the period is there, at least a
// quarter and at most a whole period.
std::chrono::microseconds RestOfPeriod(snd_pcm_t* pcm, snd_pcm_uframes_t periodFrames, unsigned rateHz)
{
    const snd_pcm_sframes_t avail = snd_pcm_avail_update(pcm);
    const auto ready = static_cast<snd_pcm_uframes_t>(std::max<snd_pcm_sframes_t>(avail, 0));
    const snd_pcm_uframes_t missing =
        std::clamp(periodFrames - std::min(ready, periodFrames), periodFrames / 4, periodFrames);
    return std::chrono::microseconds(1'000'000ULL * missing / rateHz);
}

// Copies what was read into the queued buffers in order and hands back each one that fills up. What finds no
// buffer is discarded.
void Distribute(Device& d, std::unique_lock<std::mutex>& lock, const char* data, std::size_t bytes)
{
    std::size_t offset = 0;
    while (offset < bytes && !d.queue.empty() && d.started && !d.closed) {
        WAVEHDR* header = d.queue.front();
        const std::size_t room = header->dwBufferLength - header->dwBytesRecorded;
        const std::size_t count = std::min(room - room % d.frameBytes, bytes - offset);
        std::memcpy(header->lpData + header->dwBytesRecorded, data + offset, count);
        header->dwBytesRecorded += static_cast<DWORD>(count);
        offset += count;
        if (header->dwBufferLength - header->dwBytesRecorded < d.frameBytes) {
            d.queue.pop_front();
            MarkDone(header);
            Notify(d, lock, MM_WIM_DATA, header);
        }
    }
}

// The device went away while recording: nothing more is delivered, the buffer being filled stays queued, and the
// thread will open the device again. Said on standard error when `tell`, with `why` or ALSA's text for `alsaError`.
void LoseWhileRecording(Device& d, bool tell, const char* why, int alsaError)
{
    if (tell) {
        char what[96];
        std::snprintf(what, sizeof what, "recording failed%s%s", why != nullptr ? ": " : "", why != nullptr ? why : "");
        LogLine(what, alsaError);
    }
    d.lost = alsaError < 0 ? ResultFromAlsaError(alsaError, Stage::Capture) : MMSYSERR_NODRIVER;
    if (d.lost == MMSYSERR_NOERROR)
        d.lost = MMSYSERR_NODRIVER;
    d.resuming = true;
    d.changed.notify_all();
}

// The steps that mend a lost device: closing the broken PCM, and each attempt to open and start "default" again
// (true when `pcm` records again). They run without the mutex and hold none of the client's calls: those do not
// wait for them (a close waits for the thread only within its time limit), and they touch nothing of the client's.
void CloseBroken(Device& d, std::unique_lock<std::mutex>& lock, snd_pcm_t*& pcm)
{
    snd_pcm_t* broken = pcm;
    pcm = nullptr;
    d.running = false;
    d.changed.notify_all();
    lock.unlock();
    snd_pcm_close(broken);
    lock.lock();
}

bool Reopen(std::unique_lock<std::mutex>& lock, const Device& d, snd_pcm_t*& pcm, snd_pcm_uframes_t& periodFrames)
{
    lock.unlock();
    snd_pcm_t* fresh = nullptr;
    const bool recording = OpenPcm(d.format, d.pcmFormat, fresh, periodFrames, /*quiet=*/true) == MMSYSERR_NOERROR &&
                           StartPcm(fresh) >= 0;
    if (fresh != nullptr && !recording) {
        snd_pcm_close(fresh);
        fresh = nullptr;
    }
    lock.lock();
    pcm = fresh;
    return recording;
}

// The device thread's life once the PCM is open: start, read and stop as asked, until the device is closed.
// `pcm` is the PCM open at the end (none after a loss that no reopening has mended).
void Capture(Device& d, std::unique_lock<std::mutex>& lock, snd_pcm_t*& pcm, snd_pcm_uframes_t periodFrames)
{
    using Clock = std::chrono::steady_clock;
    std::vector<char> scratch(periodFrames * d.frameBytes);
    bool graceOver = false;
    int emptyRecoveries = 0;
    Clock::time_point lastSound;     // of the last frame read, or of the (re)start
    bool soundSinceStart = false;
    bool toldLost = false;           // a loss was said on standard error, and no resumption since
    Clock::time_point nextReopen;
    const auto restart = [&] {
        lastSound = Clock::now();
        soundSinceStart = false;
        emptyRecoveries = 0;
    };
    const auto lose = [&](const char* why, int alsaError) {
        LoseWhileRecording(d, !toldLost, why, alsaError);
        toldLost = true;
        nextReopen = Clock::now() + kReopenInterval;
    };
    while (!d.closed) {
        if (!d.started) {
            graceOver = false;
            if (d.running) {
                InAlsa(d, lock, [&] { return snd_pcm_drop(pcm); });
                d.running = false;
                d.changed.notify_all();
                continue;
            }
            d.changed.wait_for(lock, kIdleWakeup, [&] { return d.closed || d.started; });
            continue;
        }
        if (d.lost != MMSYSERR_NOERROR) {
            if (d.resuming && pcm != nullptr) {
                CloseBroken(d, lock, pcm);
                continue;
            }
            if (!d.resuming || Clock::now() < nextReopen) {
                d.changed.wait_until(lock, d.resuming ? nextReopen : Clock::now() + kIdleWakeup,
                                     [&] { return d.closed || !d.started; });
                continue;
            }
            nextReopen = Clock::now() + kReopenInterval;
            if (!Reopen(lock, d, pcm, periodFrames))
                continue;
            // Recording again (a stop meanwhile drops it, a close meanwhile closes it).
            scratch.resize(periodFrames * d.frameBytes);
            d.lost = MMSYSERR_NOERROR;
            d.resuming = false;
            d.running = true;
            // The buffer being filled when the device went away starts again, with sound from after the gap only.
            if (!d.queue.empty())
                d.queue.front()->dwBytesRecorded = 0;
            restart();
            d.changed.notify_all();
            continue;
        }
        if (!d.running) {
            const int err = InAlsa(d, lock, [&] { return StartPcm(pcm); });
            if (err < 0) {
                LogLine("cannot start recording", err);
                d.lost = ResultFromAlsaError(err, Stage::Capture);
                if (d.lost == MMSYSERR_NOERROR)
                    d.lost = MMSYSERR_ERROR;
            }
            d.running = err >= 0;
            restart();
            d.changed.notify_all();
            continue;
        }
        if (d.queue.empty() && !graceOver) {
            // Hold the captured sound for a moment: the client usually queues its buffers right after starting.
            if (d.changed.wait_for(lock, std::chrono::milliseconds(wavein_alsa::kQueueGraceMs),
                                   [&] { return d.closed || !d.started || !d.queue.empty(); }))
                continue;
            graceOver = true;
        }
        if (!d.queue.empty())
            graceOver = false;

        Turn turn;
        if (d.injectedError != 0) {
            turn.frames = d.injectedError;
            d.injectedError = 0;
        } else {
            turn = InAlsa(d, lock, [&] { return ReadPeriod(pcm, d.wakeFd, scratch.data(), periodFrames); });
        }
        if (d.closed || !d.started)
            continue;
        if (turn.frames < 0) {
            lose(nullptr, static_cast<int>(turn.frames));
        } else if (turn.frames > 0) {
            if (toldLost)
                LogLine("recording resumed", 0);
            toldLost = false;
            lastSound = Clock::now();
            soundSinceStart = true;
            emptyRecoveries = 0;
            Distribute(d, lock, scratch.data(), static_cast<std::size_t>(turn.frames) * d.frameBytes);
        } else if (turn.recovered && ++emptyRecoveries >= kMaxEmptyRecoveries) {
            lose(nullptr, -EPIPE);
        } else if (Clock::now() - lastSound > (soundSinceStart ? kSoundGapLimit : kFirstSoundLimit)) {
            lose("no sound from the device", 0);
        } else if (turn.early) {
            const auto rest = InAlsa(d, lock, [&] { return RestOfPeriod(pcm, periodFrames, d.format.nSamplesPerSec); });
            d.changed.wait_for(lock, rest, [&] { return d.closed || !d.started || d.injectedError != 0; });
        }
    }
}

void DeviceThread(std::shared_ptr<Device> device)
{
    pthread_setname_np(pthread_self(), wavein_alsa::kThreadName);
    Device& d = *device;
    snd_pcm_t* pcm = nullptr;
    snd_pcm_uframes_t periodFrames = 0;
    const MMRESULT opened = OpenPcm(d.format, d.pcmFormat, pcm, periodFrames, /*quiet=*/false);
    std::unique_lock<std::mutex> lock(d.mutex);
    d.opened = true;
    d.openResult = opened;
    d.changed.notify_all();
    if (pcm != nullptr) {
        Capture(d, lock, pcm, periodFrames);
        d.running = false;
        if (pcm != nullptr)
            InAlsa(d, lock, [&] { return snd_pcm_close(pcm); });
    }
    d.ended = true;
    d.changed.notify_all();
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


// Ends recording for stop and reset: the device thread drops what ALSA holds and stays away from it until started
// again. The queued buffers are the caller's to return.
MMRESULT Halt(Device& d, std::unique_lock<std::mutex>& lock)
{
    if (d.closed)
        return MMSYSERR_INVALHANDLE;
    d.started = false;
    Wake(d);
    // From inside the callback the thread drops the sound itself once the callback returns to it.
    if (OnDeviceThread(d) || d.unresponsive)
        return d.lost;
    if (!d.changed.wait_for(lock, std::chrono::milliseconds(wavein_alsa::kStopLimitMs),
                            [&] { return d.closed || (!d.running && !d.inAlsa && d.delivering == 0); }))
        GiveUpOn(d, "no answer from the device within the time limit; it is left behind as lost");
    if (d.closed)
        return MMSYSERR_INVALHANDLE;
    return d.unresponsive ? d.lost : MMSYSERR_NOERROR;
}

// Runs `work` on a thread of its own and waits for it at most `limit`; false when it did not finish in time
// (it then finishes on its own, and `work` must need nothing of the caller's by then).
template <typename Work>
bool RunWithin(std::chrono::milliseconds limit, Work work)
{
    struct State {
        std::mutex mutex;
        std::condition_variable finished;
        bool done = false;
    };
    auto state = std::make_shared<State>();
    try {
        std::thread([state, work]() mutable {
            work();
            std::lock_guard<std::mutex> lock(state->mutex);
            state->done = true;
            state->finished.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        work();
        return true;
    }
    std::unique_lock<std::mutex> lock(state->mutex);
    return state->finished.wait_for(lock, limit, [&] { return state->done; });
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
        // Its open may block, so it is tried on a thread of its own.
        auto err = std::make_shared<std::atomic<int>>(0);
        const bool answered = RunWithin(std::chrono::milliseconds(wavein_alsa::kOpenLimitMs), [err] {
            snd_pcm_t* pcm = nullptr;
            const int result = snd_pcm_open(&pcm, kDefaultPcm, SND_PCM_STREAM_CAPTURE, SND_PCM_NONBLOCK);
            if (result == 0)
                snd_pcm_close(pcm);
            err->store(result);
        });
        if (!answered) {
            // There is a device, but it does not answer; the open will say so.
            LogLine("no answer when opened within the time limit", 0);
            count = 1;
        } else if (err->load() == 0 || err->load() == -EBUSY) {
            count = 1;
        } else {
            LogLine("cannot open", err->load());
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
    const MMRESULT result = FormatOf(*pwfx, pcmFormat);
    if (result != MMSYSERR_NOERROR)
        return result;

    auto device = std::make_shared<Device>();
    Device& d = *device;
    d.callback = callbackKind == CALLBACK_FUNCTION ? reinterpret_cast<LPDRVCALLBACK>(dwCallback) : nullptr;
    d.instance = dwInstance;
    d.format = *pwfx;
    d.pcmFormat = pcmFormat;
    d.frameBytes = pwfx->nBlockAlign;
    d.wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d.wakeFd < 0)
        return MMSYSERR_NOMEM;
    std::unique_lock<std::mutex> lock(d.mutex);
    try {
        std::thread thread(DeviceThread, device);
        d.threadId = thread.get_id();
        thread.detach();
    } catch (const std::system_error&) {
        return MMSYSERR_NOMEM;
    }
    // The open runs on the device thread, so that an open that blocks cannot hold the caller.
    if (!d.changed.wait_for(lock, std::chrono::milliseconds(wavein_alsa::kOpenLimitMs), [&] { return d.opened; })) {
        d.closed = true;
        d.unresponsive = true;
        d.changed.notify_all();
        LogLine("no answer when opened within the time limit", 0);
        return MMSYSERR_ERROR;
    }
    if (d.openResult != MMSYSERR_NOERROR)
        return d.openResult;
    {
        Registry& registry = Devices();
        std::lock_guard<std::mutex> registryLock(registry.mutex);
        const std::uintptr_t id = registry.nextId++;
        d.handle = reinterpret_cast<HWAVEIN>(id);
        registry.devices.emplace(id, device);
    }
    *phwi = d.handle;
    Notify(d, lock, MM_WIM_OPEN, nullptr);
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
    Wake(d);
    Forget(hwi);
    // The thread closes the PCM and ends; from inside the callback it does so once the callback returns to it.
    if (!OnDeviceThread(d) && !d.unresponsive &&
        !d.changed.wait_for(lock, std::chrono::milliseconds(wavein_alsa::kStopLimitMs), [&] { return d.ended; }))
        GiveUpOn(d, "no answer from the device within the time limit when closed; it is left behind");
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
    d.started = true;
    d.changed.notify_all();
    if (OnDeviceThread(d))
        return MMSYSERR_NOERROR;
    if (!d.changed.wait_for(lock, std::chrono::milliseconds(wavein_alsa::kOpenLimitMs),
                            [&] { return d.closed || d.running || d.lost != MMSYSERR_NOERROR || !d.started; }))
        GiveUpOn(d, "no answer when started within the time limit; it is left behind as lost");
    if (d.closed)
        return MMSYSERR_INVALHANDLE;
    return d.lost;
}

MMRESULT waveInStop(HWAVEIN hwi)
{
    const std::shared_ptr<Device> device = Find(hwi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    Device& d = *device;
    std::unique_lock<std::mutex> lock(d.mutex);
    const MMRESULT halted = Halt(d, lock);
    if (halted == MMSYSERR_INVALHANDLE)
        return halted;
    // As on Windows, a partly filled buffer comes back; the empty ones stay queued.
    if (!d.queue.empty() && d.queue.front()->dwBytesRecorded > 0) {
        WAVEHDR* header = d.queue.front();
        d.queue.pop_front();
        MarkDone(header);
        Notify(d, lock, MM_WIM_DATA, header);
    }
    return halted;
}

MMRESULT waveInReset(HWAVEIN hwi)
{
    const std::shared_ptr<Device> device = Find(hwi);
    if (!device)
        return MMSYSERR_INVALHANDLE;
    Device& d = *device;
    std::unique_lock<std::mutex> lock(d.mutex);
    const MMRESULT halted = Halt(d, lock);
    if (halted == MMSYSERR_INVALHANDLE)
        return halted;
    // Every queued buffer comes back, also from a device that no longer answers: none of them is in its reach.
    std::deque<WAVEHDR*> returned;
    returned.swap(d.queue);
    for (WAVEHDR* header : returned) {
        MarkDone(header);
        Notify(d, lock, MM_WIM_DATA, header);
    }
    return halted;
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
    Wake(*found);
    return true;
}
