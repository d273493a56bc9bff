// The recorder and the ALSA wave-input layer end to end. No sound card: each test points ALSA at a configuration
// of its own (ALSA_CONFIG_PATH) whose "default" capture device serves generated sound from a file or a pipe.
#include "TestAudio.h"
#include "UWavein5.h"
#include "WaveInAlsa.h"

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
using Strings = std::vector<std::string>;

constexpr int32_t kBlock = 8192;
constexpr auto kPatience = 20s;  // bounded waits; ordinary runs take a fraction of a second

class AlsaLayer : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/zt_capture_alsa_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    static void TearDownTestSuite()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    // Chooses ALSA's configuration for what follows; ALSA keeps its parsed configuration until told to drop it.
    static void UseConfig(const std::string& path)
    {
        setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
        snd_config_update_free_global();
    }

    // "default" serves these bytes from a regular file.
    static void ServeFile(const Bytes& bytes)
    {
        ASSERT_TRUE(test_audio::WriteFile(dir_ + "/sound.raw", bytes));
        ASSERT_TRUE(test_audio::WriteFileCaptureConfig(dir_ + "/file.conf", dir_ + "/sound.raw"));
        UseConfig(dir_ + "/file.conf");
    }

    // A recorder set up as the tuner sets up its own.
    std::unique_ptr<TWaveIn> MakeTunerRecorder()
    {
        auto recorder = std::make_unique<TWaveIn>(nullptr, kBlock, 8);
        recorder->WaveFormat->nChannels = 1;
        recorder->WaveFormat->nSamplesPerSec = 11025;
        recorder->WaveFormat->wBitsPerSample = 8;
        recorder->WaveFormat->nAvgBytesPerSec = 11025;
        recorder->OnError = [this](const std::string& message) {
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.push_back(message);
            changed_.notify_all();
        };
        return recorder;
    }

    // OnBufferFull that keeps copies of the first `keep` blocks.
    std::function<void(const uint8_t*, int32_t)> Collect(std::size_t keep)
    {
        return [this, keep](const uint8_t* buffer, int32_t byteCount) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (blocks_.size() < keep)
                blocks_.emplace_back(buffer, buffer + byteCount);
            ++handled_;
            handlerThread_ = std::this_thread::get_id();
            changed_.notify_all();
        };
    }

    template <typename Predicate>
    bool WaitFor(Predicate done)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kPatience, done);
    }

    Strings Messages()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return messages_;
    }

    static std::string dir_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Bytes> blocks_;
    int handled_ = 0;
    std::thread::id handlerThread_;
    Strings messages_;
};

std::string AlsaLayer::dir_;

TEST_F(AlsaLayer, TheRecorderDeliversTheServedToneInOrderAndStopsCleanly)
{
    const Bytes tone = test_audio::MakeTone(110.0, 60.0, 4.0 * kBlock / test_audio::kRateHz);
    ASSERT_EQ(tone.size(), 4u * kBlock);
    ServeFile(tone);
    EXPECT_GE(waveInGetNumDevs(), 1u);

    auto recorder = MakeTunerRecorder();
    ASSERT_TRUE(recorder->Ready) << recorder->LastError;
    recorder->OnBufferFull = Collect(4);
    ASSERT_TRUE(recorder->OpenDevice());
    ASSERT_TRUE(recorder->StartRecording());
    // The file plugin does not pace: the blocks come at once, and those past the file's end are not compared.
    ASSERT_TRUE(WaitFor([&] { return blocks_.size() >= 4; }));
    recorder->StopRecording();

    EXPECT_FALSE(recorder->Recording);
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_NE(handlerThread_, std::this_thread::get_id());
    for (std::size_t k = 0; k < 4; ++k)
        EXPECT_TRUE(blocks_[k] == Bytes(tone.begin() + static_cast<long>(k * kBlock),
                                        tone.begin() + static_cast<long>((k + 1) * kBlock)))
            << "block " << k;
    EXPECT_EQ(Messages(), Strings{"Closing"});

    const int handledAtStop = handled_;
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(handled_, handledAtStop);  // nothing after stop
}

TEST_F(AlsaLayer, TheLayerFillsQueuedBuffersInOrderAndAcceptsBuffersFromInsideTheCallback)
{
    const Bytes tone = test_audio::MakeTone(110.0, 60.0, 1.0);
    ServeFile(tone);

    struct Seen {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<Bytes> data;
        std::vector<DWORD> flags;
        int opens = 0;
        int closes = 0;
        int requeue = 5;  // re-queue from inside the callback until this many buffers have come back
    } seen;
    auto callback = [](HWAVEIN device, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
        auto& s = *reinterpret_cast<Seen*>(instance);
        auto* header = reinterpret_cast<WAVEHDR*>(param1);
        std::lock_guard<std::mutex> lock(s.mutex);
        if (message == MM_WIM_OPEN)
            ++s.opens;
        if (message == MM_WIM_CLOSE)
            ++s.closes;
        if (message == MM_WIM_DATA) {
            s.data.emplace_back(header->lpData, header->lpData + header->dwBytesRecorded);
            s.flags.push_back(header->dwFlags);
            if (static_cast<int>(s.data.size()) + 1 < s.requeue) {
                EXPECT_EQ(waveInAddBuffer(device, header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
            }
        }
        s.changed.notify_all();
    };

    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0};
    HWAVEIN device = nullptr;
    ASSERT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(+callback),
                         reinterpret_cast<DWORD_PTR>(&seen), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    EXPECT_EQ(seen.opens, 1);

    std::vector<char> memory(3 * 1024);
    WAVEHDR headers[3] = {};
    for (int i = 0; i < 3; ++i) {
        headers[i].lpData = memory.data() + i * 1024;
        headers[i].dwBufferLength = 1024;
        ASSERT_EQ(waveInPrepareHeader(device, &headers[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveInAddBuffer(device, &headers[0], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(device, &headers[1], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(device, &headers[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInUnprepareHeader(device, &headers[0], sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveInClose(device), WAVERR_STILLPLAYING);

    ASSERT_EQ(waveInStart(device), MMSYSERR_NOERROR);
    {
        std::unique_lock<std::mutex> lock(seen.mutex);
        ASSERT_TRUE(seen.changed.wait_for(lock, kPatience, [&] { return seen.data.size() >= 5; }));
    }
    for (std::size_t k = 0; k < 5; ++k) {
        EXPECT_TRUE(seen.data[k] == Bytes(tone.begin() + static_cast<long>(k * 1024),
                                          tone.begin() + static_cast<long>((k + 1) * 1024)))
            << "buffer " << k;
        EXPECT_EQ(seen.flags[k] & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    }

    // Stopped, a queued buffer stays queued until the reset hands it back.
    EXPECT_EQ(waveInStop(device), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInAddBuffer(device, &headers[2], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    std::this_thread::sleep_for(50ms);
    {
        std::lock_guard<std::mutex> lock(seen.mutex);
        EXPECT_EQ(seen.data.size(), 5u);
    }
    EXPECT_EQ(waveInReset(device), MMSYSERR_NOERROR);
    {
        std::lock_guard<std::mutex> lock(seen.mutex);
        ASSERT_EQ(seen.data.size(), 6u);
        EXPECT_EQ(seen.flags.back() & (WHDR_DONE | WHDR_INQUEUE), WHDR_DONE);
    }
    for (auto& header : headers)
        EXPECT_EQ(waveInUnprepareHeader(device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(device), MMSYSERR_NOERROR);
    EXPECT_EQ(seen.closes, 1);

    // The handle is gone.
    EXPECT_EQ(waveInStart(device), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInStop(device), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInReset(device), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInAddBuffer(device, &headers[0], sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInPrepareHeader(device, &headers[0], sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInUnprepareHeader(device, &headers[0], sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveInClose(device), MMSYSERR_INVALHANDLE);
}

TEST_F(AlsaLayer, SoundArrivingWhileNoBufferIsQueuedIsDiscarded)
{
    const Bytes tone = test_audio::MakeTone(110.0, 60.0, 10.0);
    ServeFile(tone);
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0};
    HWAVEIN device = nullptr;
    static std::atomic<bool> filled;
    filled = false;
    auto callback = [](HWAVEIN, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
        if (message == MM_WIM_DATA)
            filled = true;
    };
    ASSERT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(+callback), 0, CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<char> memory(1024, 0);
    WAVEHDR header{};
    header.lpData = memory.data();
    header.dwBufferLength = 1024;
    ASSERT_EQ(waveInPrepareHeader(device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInStart(device), MMSYSERR_NOERROR);
    // Well past the moment the device stops holding sound for a buffer about to be queued.
    std::this_thread::sleep_for(std::chrono::milliseconds(3 * wavein_alsa::kQueueGraceMs));
    ASSERT_EQ(waveInAddBuffer(device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!filled && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(filled);
    EXPECT_FALSE(std::equal(memory.begin(), memory.end(), tone.begin()));  // not the start of the sound
    EXPECT_EQ(waveInUnprepareHeader(device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(device), MMSYSERR_NOERROR);
}

TEST_F(AlsaLayer, AnExceptionInTheHandlerShutsTheDeviceDownFromInsideTheCallbackWithoutDeadlock)
{
    ServeFile(test_audio::MakeTone(110.0, 60.0, 4.0 * kBlock / test_audio::kRateHz));
    auto recorder = MakeTunerRecorder();
    recorder->OnBufferFull = [this](const uint8_t*, int32_t) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (++handled_ == 2)
            throw std::runtime_error("analysis failed");
    };
    ASSERT_TRUE(recorder->OpenDevice());
    ASSERT_TRUE(recorder->StartRecording());
    ASSERT_TRUE(WaitFor([&] { return !messages_.empty(); }));
    // "Closing" comes from inside the close, just before the recorder counts the device closed.
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (recorder->DeviceOpen && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_FALSE(recorder->Recording);
    EXPECT_EQ(Messages(), Strings{"Closing"});
    EXPECT_EQ(handled_, 2);
    recorder.reset();  // waits for the callback that closed the device to return
}

TEST_F(AlsaLayer, DestroyingARecordingRecorderStopsAndClosesTheDevice)
{
    ServeFile(test_audio::MakeTone(110.0, 60.0, 4.0 * kBlock / test_audio::kRateHz));
    auto recorder = MakeTunerRecorder();
    recorder->OnBufferFull = Collect(0);
    ASSERT_TRUE(recorder->OpenDevice());
    ASSERT_TRUE(recorder->StartRecording());
    ASSERT_TRUE(WaitFor([&] { return handled_ >= 2; }));
    recorder.reset();
    EXPECT_EQ(Messages(), Strings{"Closing"});
}

TEST_F(AlsaLayer, RecordingAgainAndReopeningWhileRecordingStayClean)
{
    ServeFile(test_audio::MakeTone(110.0, 60.0, 4.0 * kBlock / test_audio::kRateHz));
    auto recorder = MakeTunerRecorder();
    recorder->OnBufferFull = Collect(0);
    for (int cycle = 0; cycle < 10; ++cycle) {
        // Every other cycle OpenDevice itself ends the recording still running, while buffers arrive.
        ASSERT_TRUE(recorder->OpenDevice()) << cycle;
        ASSERT_TRUE(recorder->StartRecording()) << cycle;
        int before = 0;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            before = handled_;
        }
        ASSERT_TRUE(WaitFor([&] { return handled_ >= before + 2; })) << cycle;
        if (cycle % 2 == 1)
            recorder->StopRecording();
    }
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_EQ(Messages(), Strings(10, "Closing"));
}

// Waits until the layer counts the device lost: a call that asks nothing of a lost device but its state.
bool BecomesLost(HWAVEIN device)
{
    WAVEHDR unprepared{};
    const auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (waveInAddBuffer(device, &unprepared, sizeof(WAVEHDR)) != MMSYSERR_NODRIVER)
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        else
            std::this_thread::sleep_for(1ms);
    return true;
}

TEST_F(AlsaLayer, ADeviceThatDisappearsHandsBackNothingUntilTheResetAndFailsTheNextCalls)
{
    // Sound in real time, so that the device goes away in the middle of the first buffer.
    const test_audio::PipedTone sound(dir_, "lost", test_audio::MakeTone(110.0, 60.0, 2.0));
    ASSERT_TRUE(sound.Ready());
    UseConfig(sound.ConfigPath());
    struct Seen {
        std::mutex mutex;
        std::vector<WAVEHDR*> returned;
        int closes = 0;
    } seen;
    auto callback = [](HWAVEIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
        auto& s = *reinterpret_cast<Seen*>(instance);
        std::lock_guard<std::mutex> lock(s.mutex);
        if (message == MM_WIM_DATA)
            s.returned.push_back(reinterpret_cast<WAVEHDR*>(param1));
        if (message == MM_WIM_CLOSE)
            ++s.closes;
    };
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0};
    HWAVEIN device = nullptr;
    ASSERT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(+callback),
                         reinterpret_cast<DWORD_PTR>(&seen), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<char> memory(2 * kBlock);
    WAVEHDR headers[2] = {};
    for (int i = 0; i < 2; ++i) {
        headers[i].lpData = memory.data() + i * kBlock;
        headers[i].dwBufferLength = kBlock;
        ASSERT_EQ(waveInPrepareHeader(device, &headers[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(device, &headers[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    ASSERT_EQ(waveInStart(device), MMSYSERR_NOERROR);
    // The pipe holds 4096 bytes ahead; the rest of the first buffer takes another 0.37 s to come.
    std::this_thread::sleep_for(150ms);
    ASSERT_TRUE(wavein_alsa::InjectCaptureErrorForTest(device, -ENODEV));
    ASSERT_TRUE(BecomesLost(device));
    std::this_thread::sleep_for(100ms);
    {
        std::lock_guard<std::mutex> lock(seen.mutex);
        EXPECT_TRUE(seen.returned.empty());  // a part-filled buffer never comes back as if it were full
    }
    EXPECT_EQ(waveInStart(device), MMSYSERR_NODRIVER);
    EXPECT_EQ(waveInReset(device), MMSYSERR_NOERROR);  // the queued buffers still come back, so close can follow
    {
        std::lock_guard<std::mutex> lock(seen.mutex);
        EXPECT_EQ(seen.returned, (std::vector<WAVEHDR*>{&headers[0], &headers[1]}));
    }
    EXPECT_LT(headers[0].dwBytesRecorded, headers[0].dwBufferLength);
    for (auto& header : headers)
        EXPECT_EQ(waveInUnprepareHeader(device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(device), MMSYSERR_NOERROR);
    EXPECT_EQ(seen.closes, 1);
}

TEST_F(AlsaLayer, ARecorderWhoseDeviceDisappearsHandsOutNoMoreBlocksAndClosesCleanly)
{
    ServeFile(test_audio::MakeTone(110.0, 60.0, 4.0 * kBlock / test_audio::kRateHz));
    auto recorder = MakeTunerRecorder();
    recorder->OnBufferFull = Collect(0);
    ASSERT_TRUE(recorder->OpenDevice());
    ASSERT_TRUE(recorder->StartRecording());
    ASSERT_TRUE(WaitFor([&] { return handled_ >= 1; }));
    ASSERT_TRUE(wavein_alsa::InjectCaptureErrorForTest(recorder->DeviceHandle, -ENODEV));
    ASSERT_TRUE(BecomesLost(recorder->DeviceHandle));
    int handled = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        handled = handled_;
    }
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(recorder->Recording);  // nothing tells the recorder until it is stopped; the display keeps its values
    recorder->StopRecording();
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_EQ(handled_, handled);
    EXPECT_EQ(Messages(), Strings{"Closing"});
}

TEST_F(AlsaLayer, WithNoDeviceAtAllOpenAndStartFailWithTheLayersTexts)
{
    ASSERT_TRUE(test_audio::WriteMissingDeviceConfig(dir_ + "/missing.conf"));
    UseConfig(dir_ + "/missing.conf");
    EXPECT_EQ(waveInGetNumDevs(), 0u);

    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 11025, 11025, 1, 8, 0};
    HWAVEIN device = nullptr;
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL), MMSYSERR_BADDEVICEID);

    auto recorder = MakeTunerRecorder();
    EXPECT_FALSE(recorder->Ready);
    EXPECT_EQ(recorder->LastError, "No wave audio recording devices found");
    EXPECT_FALSE(recorder->OpenDevice());
    EXPECT_FALSE(recorder->StartRecording());
    EXPECT_EQ(Messages(),
              (Strings{"Could not open the input device for recording: \r No recording device: the default capture "
                       "device could not be found.",
                       "Error starting wavein: The recording device handle is invalid: the device is not open."}));
}

TEST_F(AlsaLayer, AFormatTheLayerCannotRecordIsRefusedAsABadFormat)
{
    ServeFile(test_audio::MakeTone(110.0, 60.0, 1.0));
    HWAVEIN device = nullptr;
    WAVEFORMATEX twelveBits{WAVE_FORMAT_PCM, 1, 11025, 16537, 2, 12, 0};
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &twelveBits, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
    WAVEFORMATEX float32{3, 1, 11025, 44100, 4, 32, 0};
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &float32, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
    WAVEFORMATEX wrongAlign{WAVE_FORMAT_PCM, 2, 11025, 22050, 1, 8, 0};
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &wrongAlign, 0, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
}

TEST_F(AlsaLayer, EveryCodeHasAText)
{
    for (MMRESULT code = 0; code <= WAVERR_LASTERROR + 1; ++code) {
        char text[MAXERRORLENGTH] = {};
        const MMRESULT result = waveInGetErrorTextA(code, text, MAXERRORLENGTH - 1);
        EXPECT_NE(text[0], '\0') << code;
        EXPECT_TRUE(result == MMSYSERR_NOERROR || result == MMSYSERR_BADERRNUM) << code;
    }
    char tiny[8];
    EXPECT_EQ(waveInGetErrorTextA(WAVERR_BADFORMAT, tiny, sizeof tiny), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(tiny), "The rec");
}

TEST_F(AlsaLayer, AlsaErrorsMapToTheClosestCodes)
{
    using wavein_alsa::ResultFromAlsaError;
    using wavein_alsa::Stage;
    EXPECT_EQ(ResultFromAlsaError(-ENOENT, Stage::Open), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(ResultFromAlsaError(-ENODEV, Stage::Open), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(ResultFromAlsaError(-EBUSY, Stage::Open), MMSYSERR_ALLOCATED);
    EXPECT_EQ(ResultFromAlsaError(-EINVAL, Stage::Configure), WAVERR_BADFORMAT);
    EXPECT_EQ(ResultFromAlsaError(-ENODEV, Stage::Capture), MMSYSERR_NODRIVER);
    EXPECT_EQ(ResultFromAlsaError(-EBADFD, Stage::Capture), MMSYSERR_NODRIVER);
    EXPECT_EQ(ResultFromAlsaError(-ENOMEM, Stage::Open), MMSYSERR_NOMEM);
}

TEST_F(AlsaLayer, APipeFedInRealTimeReachesTheRecorderPacedAndInOrder)
{
    const Bytes tone = test_audio::MakeTone(110.0, 60.0, 2.0);
    const test_audio::PipedTone sound(dir_, "sound", tone);
    ASSERT_TRUE(sound.Ready());
    UseConfig(sound.ConfigPath());

    auto recorder = MakeTunerRecorder();
    ASSERT_TRUE(recorder->Ready) << recorder->LastError;
    recorder->OnBufferFull = Collect(2);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(recorder->OpenDevice());
    ASSERT_TRUE(recorder->StartRecording());
    ASSERT_TRUE(WaitFor([&] { return blocks_.size() >= 2; }));
    const auto elapsed = std::chrono::steady_clock::now() - started;
    recorder->StopRecording();

    // 16384 bytes at 11025 per second, less the few kilobytes a pipe holds ahead.
    EXPECT_GE(elapsed, 900ms);
    // What arrives is a stretch of the looped tone (the start may have gone to the device probe), unbroken.
    Bytes twice(tone);
    twice.insert(twice.end(), tone.begin(), tone.end());
    twice.insert(twice.end(), tone.begin(), tone.end());
    Bytes received(blocks_[0]);
    received.insert(received.end(), blocks_[1].begin(), blocks_[1].end());
    bool found = false;
    for (std::size_t offset = 0; offset < tone.size() && !found; offset += 1024)
        found = std::equal(received.begin(), received.end(), twice.begin() + static_cast<long>(offset));
    EXPECT_TRUE(found);
    EXPECT_EQ(Messages(), Strings{"Closing"});
}

TEST_F(AlsaLayer, ARecorderWhoseDeviceHangsInsideAlsaStillStopsAndTheThreadEndsOnItsOwnLater)
{
    // The pipe's writer stays but stops writing: ALSA's file plugin then waits in read() for ever, as a sound
    // server's plugin can when the server vanishes in the middle of a read.
    const std::string fifo = dir_ + "/stalled.fifo";
    ASSERT_TRUE(test_audio::MakeFifo(fifo));
    ASSERT_TRUE(test_audio::WriteFileCaptureConfig(dir_ + "/stalled.conf", fifo));
    UseConfig(dir_ + "/stalled.conf");
    const int writer = ::open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    const Bytes tone = test_audio::MakeTone(110.0, 60.0, (2.0 * kBlock + 1024) / test_audio::kRateHz);
    ASSERT_EQ(::write(writer, tone.data(), tone.size()), static_cast<ssize_t>(tone.size()));

    auto recorder = MakeTunerRecorder();
    recorder->OnBufferFull = Collect(0);
    ASSERT_TRUE(recorder->OpenDevice());
    ASSERT_TRUE(recorder->StartRecording());
    ASSERT_TRUE(WaitFor([&] { return handled_ >= 2; }));
    std::this_thread::sleep_for(100ms);  // the device thread is now inside read()

    recorder->StopRecording();  // returns after the layer's time limit
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_FALSE(recorder->Recording);
    EXPECT_EQ(Messages(), (Strings{"Error in waveInReset", "Closing"}));
    recorder.reset();  // its buffers are freed while the device thread is still inside ALSA

    // Sound again: the thread leaves read(), finds its device closed and ends without touching the recorder.
    ASSERT_EQ(::write(writer, tone.data(), 1024), 1024);
    std::this_thread::sleep_for(200ms);
    ::close(writer);
    std::lock_guard<std::mutex> lock(mutex_);
    EXPECT_EQ(handled_, 2);
}

// The recorder over a real sound server, private to the test, playing a tone into a null sink whose monitor ALSA's
// "default" records: PulseAudio, and PipeWire by both ways an ALSA program reaches it. The server goes away (a
// crash, or a restart) in the middle of recording and comes back playing another tone.
class OverASoundServer : public AlsaLayer, public ::testing::WithParamInterface<std::tuple<test_audio::Server, int>> {};
const char* const kServerNames[] = {"PulseAudio", "PipeWirePlugin", "PipeWirePulse"};  // by test_audio::Server

TEST_P(OverASoundServer, TheServerGoingAwayOnlyPausesTheBlocksWithoutSpinningAndTheReturnedServerIsRecorded)
{
    const auto [kind, signal] = GetParam();
    const std::string dir = dir_ + "/" + kServerNames[static_cast<int>(kind)] + std::to_string(signal);
    test_audio::PulseServer server(dir, "", kind);
    ASSERT_TRUE(server.Running()) << "see the logs in " << dir;
    // Before the loss peaks reach 228, after the return 188 (a block of silence peaks at 128).
    ASSERT_TRUE(test_audio::WriteToneFile(dir + "/before.raw", 340.0, 100.0, 20.0));
    ASSERT_TRUE(test_audio::WriteToneFile(dir + "/after.raw", 196.0, 60.0, 20.0));
    ASSERT_TRUE(server.Play(dir + "/before.raw", 50));
    UseConfig(server.Value("ALSA_CONFIG_PATH"));

    // Blocks are zeroed before they are queued again. Both tones lie in 28 .. 228, but PipeWire may start a
    // playback stream with a few dozen bytes near 0 (a burst of full negative samples), so only a run of zeros
    // that neither tone nor that burst holds (23 ms) is a part of a block handed out that the device never wrote.
    auto recorder = MakeTunerRecorder();
    ASSERT_TRUE(recorder->Ready) << recorder->LastError;
    for (int i = 0; i < recorder->BufferCount; ++i)
        std::fill_n(recorder->Buffers[i], kBlock, 0);
    int unfilled = 0, before = 0, after = 0, mixed = 0;
    recorder->OnBufferFull = [&](const uint8_t* buffer, int32_t byteCount) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto* block = const_cast<uint8_t*>(buffer);
        bool loud = false, quiet = false;
        for (int32_t chunk = 0; chunk < byteCount; chunk += 1024) {
            const uint8_t peak = *std::max_element(block + chunk, block + chunk + 1024);
            loud = loud || peak > 205;
            quiet = quiet || (peak > 170 && peak <= 205);
        }
        unfilled += std::search_n(block, block + byteCount, 256, 0) != block + byteCount;
        before += loud;
        after += quiet;
        mixed += loud && quiet;
        std::fill_n(block, byteCount, 0);
        ++handled_;
        changed_.notify_all();
    };
    ASSERT_TRUE(recorder->OpenDevice());
    ASSERT_TRUE(recorder->StartRecording());
    ASSERT_TRUE(WaitFor([&] { return before >= 2; }));

    ASSERT_TRUE(server.Kill(signal));
    const std::clock_t cpuAtLoss = std::clock();
    std::this_thread::sleep_for(1500ms);
    // A device thread that spins takes the whole 1.5 s of CPU; one that waits, a few ms for its attempts to reopen.
    EXPECT_LT(static_cast<double>(std::clock() - cpuAtLoss) / CLOCKS_PER_SEC, 0.15);
    EXPECT_TRUE(Messages().empty());  // the recorder is told nothing: the blocks only pause
    EXPECT_TRUE(recorder->Recording);

    server.Restart();
    ASSERT_TRUE(server.Running()) << "see the logs in " << dir;
    ASSERT_TRUE(server.Play(dir + "/after.raw", 50));
    EXPECT_TRUE(WaitFor([&] { return after >= 2; }));
    recorder->StopRecording();
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_FALSE(recorder->Recording);
    std::lock_guard<std::mutex> lock(mutex_);
    EXPECT_EQ(unfilled, 0);
    EXPECT_EQ(mixed, 0);  // no block holds sound from both sides of the gap
    EXPECT_EQ(messages_, Strings{"Closing"});
}

INSTANTIATE_TEST_SUITE_P(AlsaLayer, OverASoundServer,
                         ::testing::Combine(::testing::Values(test_audio::Server::PulseAudio,
                                                              test_audio::Server::PipeWirePlugin,
                                                              test_audio::Server::PipeWirePulse),
                                            ::testing::Values(SIGKILL, SIGTERM)),
                         [](const auto& row) {
                             return kServerNames[static_cast<int>(std::get<0>(row.param))] +
                                    std::string(std::get<1>(row.param) == SIGKILL ? "Killed" : "Terminated");
                         });

} // namespace
