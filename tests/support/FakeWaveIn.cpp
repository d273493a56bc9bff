#include "FakeWaveIn.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>

namespace {

struct Script {
    std::map<int, MMRESULT> nth;      // call number -> code
    bool always = false;
    MMRESULT alwaysCode = 0;
    std::deque<MMRESULT> queued;
};

struct State {
    std::mutex mutex;
    UINT deviceCount = 1;
    bool sendsClose = true;
    std::map<std::string, int> counts;
    std::map<std::string, Script> scripts;
    std::vector<fake_wavein::Call> calls;

    bool open = false;
    bool started = false;
    HWAVEIN handle = nullptr;
    std::uintptr_t nextHandle = 0x1000;
    LPDRVCALLBACK callback = nullptr;
    DWORD_PTR instance = 0;
    std::deque<WAVEHDR*> queue;
};

State& S()
{
    static State state;
    return state;
}

// Counts the call and returns its scripted code (0 when the call should act normally).
MMRESULT Scripted(State& s, const std::string& name)
{
    const int number = ++s.counts[name];
    auto found = s.scripts.find(name);
    if (found == s.scripts.end())
        return 0;
    Script& script = found->second;
    if (!script.queued.empty()) {
        const MMRESULT code = script.queued.front();
        script.queued.pop_front();
        if (code != 0)
            return code;
    }
    auto nth = script.nth.find(number);
    if (nth != script.nth.end())
        return nth->second;
    return script.always ? script.alwaysCode : 0;
}

MMRESULT Log(State& s, const std::string& name, HWAVEIN handle, WAVEHDR* header, UINT value, MMRESULT result)
{
    s.calls.push_back({name, handle, header, value, result, std::this_thread::get_id()});
    return result;
}

// Calls the callback with the lock released.
void Notify(std::unique_lock<std::mutex>& lock, UINT message, WAVEHDR* header)
{
    State& s = S();
    const LPDRVCALLBACK callback = s.callback;
    const HWAVEIN handle = s.handle;
    const DWORD_PTR instance = s.instance;
    if (callback == nullptr)
        return;
    lock.unlock();
    callback(reinterpret_cast<HDRVR>(handle), message, instance, reinterpret_cast<DWORD_PTR>(header), 0);
    lock.lock();
}

void MarkDone(WAVEHDR* header)
{
    header->dwFlags = (header->dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
}

bool IsCurrent(const State& s, HWAVEIN handle) { return s.open && handle == s.handle && handle != nullptr; }

// Shared body of the calls that take a handle and a header.
template <typename Action>
MMRESULT HeaderCall(const char* name, HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh, Action action)
{
    State& s = S();
    std::unique_lock<std::mutex> lock(s.mutex);
    MMRESULT result = Scripted(s, name);
    if (result == 0) {
        if (!IsCurrent(s, hwi))
            result = MMSYSERR_INVALHANDLE;
        else if (pwh == nullptr || cbwh < sizeof(WAVEHDR))
            result = MMSYSERR_INVALPARAM;
        else
            result = action(s, pwh);
    }
    return Log(s, name, hwi, pwh, cbwh, result);
}

MMRESULT ReturnQueued(std::unique_lock<std::mutex>& lock)
{
    State& s = S();
    std::deque<WAVEHDR*> returned;
    returned.swap(s.queue);
    for (WAVEHDR* header : returned) {
        MarkDone(header);
        Notify(lock, MM_WIM_DATA, header);
    }
    return static_cast<MMRESULT>(returned.size());
}

} // namespace

namespace fake_wavein {

void Reset()
{
    State& s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.deviceCount = 1;
    s.sendsClose = true;
    s.counts.clear();
    s.scripts.clear();
    s.calls.clear();
    s.open = false;
    s.started = false;
    s.handle = nullptr;
    s.callback = nullptr;
    s.instance = 0;
    s.queue.clear();
}

void SetDeviceCount(UINT count)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().deviceCount = count;
}

void FailCall(const std::string& name, int nth, MMRESULT code)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().scripts[name].nth[nth] = code;
}

void FailAlways(const std::string& name, MMRESULT code)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    Script& script = S().scripts[name];
    script.always = true;
    script.alwaysCode = code;
}

void QueueResults(const std::string& name, const std::vector<MMRESULT>& codes)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    Script& script = S().scripts[name];
    script.queued.insert(script.queued.end(), codes.begin(), codes.end());
}

void ClearFailures()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().scripts.clear();
}

void SetCloseCallback(bool sendsClose)
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().sendsClose = sendsClose;
}

std::vector<Call> Calls()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().calls;
}

std::vector<std::string> CallNames()
{
    std::vector<std::string> names;
    for (const Call& call : Calls())
        names.push_back(call.name);
    return names;
}

int CountCalls(const std::string& name)
{
    const std::vector<Call> calls = Calls();
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.name == name; }));
}

void ClearCalls()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    S().calls.clear();
}

bool IsOpen()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().open;
}

bool IsStarted()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().open && S().started;
}

HWAVEIN OpenHandle()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return S().open ? S().handle : nullptr;
}

std::vector<WAVEHDR*> Queue()
{
    std::lock_guard<std::mutex> lock(S().mutex);
    return {S().queue.begin(), S().queue.end()};
}

bool DeliverNext(int fill)
{
    State& s = S();
    std::unique_lock<std::mutex> lock(s.mutex);
    if (!s.open || !s.started || s.queue.empty())
        return false;
    WAVEHDR* header = s.queue.front();
    s.queue.pop_front();
    if (fill >= 0 && fill <= 255)
        std::memset(header->lpData, fill, header->dwBufferLength);
    header->dwBytesRecorded = header->dwBufferLength;
    MarkDone(header);
    Notify(lock, MM_WIM_DATA, header);
    return true;
}

bool DeliverNextOnThread(int fill)
{
    bool delivered = false;
    std::thread device([&] { delivered = DeliverNext(fill); });
    device.join();
    return delivered;
}

int ReturnAll()
{
    std::unique_lock<std::mutex> lock(S().mutex);
    return static_cast<int>(ReturnQueued(lock));
}

std::string ErrorText(MMRESULT code) { return "fake text for code " + std::to_string(code); }

} // namespace fake_wavein

namespace {
MMRESULT DeviceCall(const char* name, HWAVEIN hwi, bool start, bool reset)
{
    State& s = S();
    std::unique_lock<std::mutex> lock(s.mutex);
    MMRESULT result = Scripted(s, name);
    if (result == 0 && !IsCurrent(s, hwi))
        result = MMSYSERR_INVALHANDLE;
    Log(s, name, hwi, nullptr, 0, result);
    if (result != 0)
        return result;
    s.started = start;
    if (reset)
        ReturnQueued(lock);
    return 0;
}
} // namespace

extern "C" {

UINT waveInGetNumDevs(void)
{
    State& s = S();
    std::lock_guard<std::mutex> lock(s.mutex);
    const UINT count = s.deviceCount;
    Log(s, "waveInGetNumDevs", nullptr, nullptr, 0, count);
    return count;
}

MMRESULT waveInOpen(LPHWAVEIN phwi, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                    DWORD fdwOpen)
{
    State& s = S();
    std::unique_lock<std::mutex> lock(s.mutex);
    MMRESULT result = Scripted(s, "waveInOpen");
    if (result == 0) {
        if (phwi == nullptr || pwfx == nullptr)
            result = MMSYSERR_INVALPARAM;
        else if (s.deviceCount == 0 || (uDeviceID != WAVE_MAPPER && uDeviceID >= s.deviceCount))
            result = MMSYSERR_BADDEVICEID;
        else if ((fdwOpen & 0x00070000) != CALLBACK_FUNCTION)
            result = MMSYSERR_NOTSUPPORTED;
    }
    if (result != 0)
        return Log(s, "waveInOpen", nullptr, nullptr, uDeviceID, result);
    s.open = true;
    s.started = false;
    s.queue.clear();
    s.handle = reinterpret_cast<HWAVEIN>(s.nextHandle++);
    s.callback = reinterpret_cast<LPDRVCALLBACK>(dwCallback);
    s.instance = dwInstance;
    *phwi = s.handle;
    Log(s, "waveInOpen", s.handle, nullptr, uDeviceID, 0);
    Notify(lock, MM_WIM_OPEN, nullptr);
    return 0;
}

MMRESULT waveInClose(HWAVEIN hwi)
{
    State& s = S();
    std::unique_lock<std::mutex> lock(s.mutex);
    MMRESULT result = Scripted(s, "waveInClose");
    if (result == 0) {
        if (!IsCurrent(s, hwi))
            result = MMSYSERR_INVALHANDLE;
        else if (!s.queue.empty())
            result = WAVERR_STILLPLAYING;
    }
    Log(s, "waveInClose", hwi, nullptr, 0, result);
    if (result != 0)
        return result;
    s.open = false;
    s.started = false;
    if (s.sendsClose)
        Notify(lock, MM_WIM_CLOSE, nullptr);
    return 0;
}

MMRESULT waveInPrepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh)
{
    return HeaderCall("waveInPrepareHeader", hwi, pwh, cbwh, [](State&, WAVEHDR* header) -> MMRESULT {
        header->dwFlags |= WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveInUnprepareHeader(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh)
{
    return HeaderCall("waveInUnprepareHeader", hwi, pwh, cbwh, [](State&, WAVEHDR* header) -> MMRESULT {
        if (header->dwFlags & WHDR_INQUEUE)
            return WAVERR_STILLPLAYING;
        header->dwFlags &= ~WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveInAddBuffer(HWAVEIN hwi, LPWAVEHDR pwh, UINT cbwh)
{
    return HeaderCall("waveInAddBuffer", hwi, pwh, cbwh, [](State& s, WAVEHDR* header) -> MMRESULT {
        if (!(header->dwFlags & WHDR_PREPARED))
            return WAVERR_UNPREPARED;
        if (header->dwFlags & WHDR_INQUEUE)
            return WAVERR_STILLPLAYING;
        header->dwBytesRecorded = 0;
        header->dwFlags = (header->dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
        s.queue.push_back(header);
        return MMSYSERR_NOERROR;
    });
}


MMRESULT waveInStart(HWAVEIN hwi) { return DeviceCall("waveInStart", hwi, true, false); }
MMRESULT waveInStop(HWAVEIN hwi) { return DeviceCall("waveInStop", hwi, false, false); }
MMRESULT waveInReset(HWAVEIN hwi) { return DeviceCall("waveInReset", hwi, false, true); }

MMRESULT waveInGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText)
{
    State& s = S();
    {
        std::lock_guard<std::mutex> lock(s.mutex);
        Log(s, "waveInGetErrorTextA", nullptr, nullptr, mmrError, 0);
    }
    if (pszText == nullptr || cchText == 0)
        return MMSYSERR_INVALPARAM;
    const std::string text = fake_wavein::ErrorText(mmrError);
    const std::size_t length = std::min<std::size_t>(text.size(), cchText - 1);
    std::memcpy(pszText, text.data(), length);
    pszText[length] = '\0';
    return 0;
}

} // extern "C"
