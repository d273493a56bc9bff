// The recorder against the platform's own wave-input service (winmm), set up as the tuner sets it up. Run by
// winmm_capture.sh under Wine, whose wave-input service records from a private PulseAudio server; the server's
// default source is a pipe fed in real time with a 196 Hz tone of amplitude 60, MakeTone(196, 60, ...) of
// TestAudio.h: unsigned 8-bit mono at 11025 Hz, 225 samples (four periods) repeating exactly.
#include "U_FFTTunerAnalysis.h"
#include "U_FFTTunerConfig.h"
#include "UWavein5.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

constexpr double kToneHz = 196.0;
constexpr auto kPatience = 20s;  // bounded waits; a block takes 0.74 s

// What the handler saw of one delivery.
struct Delivery {
    int bufferIndex = -1;       // which of the recorder's buffers was handed out
    int32_t byteCount = 0;
    bool returnedFull = false;  // its header says the device is done with it and filled it whole
    std::vector<uint8_t> bytes;
    int32_t peakLevel = 0;      // the analysis' results after the block
    double frequency = 0.0;
};

enum class Ending { Stop, Close };
enum class From { ClientThread, Callback };

struct EndingRow {
    const char* name;
    Ending ending;
    From from;
    int blocks;   // the recording ends once this many blocks have been handled ...
    int seconds;  // ... or, when not 0, after this many seconds (from the client thread)
};

class WinmmRecorder : public ::testing::TestWithParam<EndingRow> {
protected:
    // A recorder set up as the tuner sets up its own, with the analysis as OnBufferFull.
    void SetUp() override
    {
        recorder_ = std::make_unique<TWaveIn>(nullptr, BufferBytes, NumBuffers);
        ASSERT_TRUE(recorder_->Ready) << recorder_->LastError;
        WAVEFORMATEX& format = *recorder_->WaveFormat;
        format.wFormatTag = WAVE_FORMAT_PCM;
        format.nChannels = NumChannels;
        format.nSamplesPerSec = SamplesPerSec;
        format.wBitsPerSample = BitsPerSample;
        format.nAvgBytesPerSec = BitsPerSample / 8 * SamplesPerSec * NumChannels;
        recorder_->OnError = [this](const std::string& message) {
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.push_back(message);
            changed_.notify_all();
        };
        recorder_->OnBufferFull = [this](const uint8_t* buffer, int32_t byteCount) { Handle(buffer, byteCount); };
    }

    void Handle(const uint8_t* buffer, int32_t byteCount)
    {
        Delivery delivery;
        for (int i = 0; i < recorder_->BufferCount; ++i)
            if (recorder_->Buffers[i] == buffer)
                delivery.bufferIndex = i;
        if (delivery.bufferIndex >= 0) {
            const WAVEHDR& header = *recorder_->Headers[delivery.bufferIndex];
            delivery.returnedFull = (header.dwFlags & (WHDR_DONE | WHDR_INQUEUE)) == WHDR_DONE &&
                                    header.dwBytesRecorded == static_cast<DWORD>(byteCount);
        }
        delivery.byteCount = byteCount;
        delivery.bytes.assign(buffer, buffer + byteCount);
        analysis_.WaveInData(buffer, byteCount);
        delivery.peakLevel = analysis_.PeakLevel;
        delivery.frequency = analysis_.Frequency;

        std::unique_lock<std::mutex> lock(mutex_);
        deliveries_.push_back(std::move(delivery));
        const bool endHere = endInCallbackAt_ == static_cast<int>(deliveries_.size());
        lock.unlock();
        if (endHere) {
            End(GetParam().ending);
            lock.lock();
            endedInCallback_ = true;
        } else {
            lock.lock();
        }
        changed_.notify_all();
    }

    void End(Ending ending)
    {
        if (ending == Ending::Stop)
            recorder_->StopRecording();
        else
            recorder_->CloseDevice();
    }

    template <typename Predicate>
    bool WaitFor(Predicate done)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kPatience, done);
    }

    std::unique_ptr<TWaveIn> recorder_;
    TTunerAnalysis analysis_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Delivery> deliveries_;
    Strings messages_;
    int endInCallbackAt_ = 0;
    bool endedInCallback_ = false;
};

TEST_P(WinmmRecorder, RecordsThePacedToneInQueueOrderAndEndsWithOneClosingReport)
{
    const EndingRow& row = GetParam();
    ASSERT_GE(waveInGetNumDevs(), 1u);
    if (row.from == From::Callback)
        endInCallbackAt_ = row.blocks;
    ASSERT_TRUE(recorder_->OpenDevice()) << recorder_->LastError;
    ASSERT_TRUE(recorder_->StartRecording()) << recorder_->LastError;
    std::size_t handledAtEnd = 0;
    if (row.from == From::ClientThread) {
        if (row.seconds > 0)
            std::this_thread::sleep_for(std::chrono::seconds(row.seconds));
        else
            ASSERT_TRUE(WaitFor([&] { return static_cast<int>(deliveries_.size()) >= row.blocks; }));
        End(row.ending);
        std::lock_guard<std::mutex> lock(mutex_);
        handledAtEnd = deliveries_.size();
    } else {
        ASSERT_TRUE(WaitFor([&] { return endedInCallback_; }));
        std::lock_guard<std::mutex> lock(mutex_);
        handledAtEnd = deliveries_.size();
    }
    EXPECT_FALSE(recorder_->DeviceOpen);
    EXPECT_FALSE(recorder_->Recording);

    // Longer than a block: a buffer handed out after the end, or a late report, would show.
    std::this_thread::sleep_for(1s);
    std::lock_guard<std::mutex> lock(mutex_);
    EXPECT_EQ(deliveries_.size(), handledAtEnd) << "handler called after the recording ended";
    EXPECT_EQ(messages_, Strings{"Closing"});
    EXPECT_EQ(recorder_->LastError, "Closing");

    ASSERT_GE(static_cast<int>(deliveries_.size()), row.blocks);
    for (std::size_t k = 0; k < deliveries_.size(); ++k) {
        const Delivery& d = deliveries_[k];
        SCOPED_TRACE("delivery " + std::to_string(k));
        // The device returns buffers in the order they were queued, so delivery k is buffer k mod 8, just filled.
        EXPECT_EQ(d.bufferIndex, static_cast<int>(k % NumBuffers));
        EXPECT_TRUE(d.returnedFull);
        EXPECT_EQ(d.byteCount, BufferBytes);
        if (k == 0)
            continue;  // may begin with the server's silence before the first sound arrived
        // Fresh sound every time: 8192 samples on, the tone's 225-sample pattern is 92 samples further on.
        EXPECT_NE(d.bytes, deliveries_[k - 1].bytes);
        EXPECT_EQ(d.peakLevel, 61);  // round(128 + 60) - 127
        EXPECT_NEAR(d.frequency, kToneHz, 0.5);
    }
}

INSTANTIATE_TEST_SUITE_P(Endings, WinmmRecorder,
                         ::testing::Values(
                             // 5 s of sound hold six blocks and part of a seventh.
                             EndingRow{"StopFromTheClientAfter5s", Ending::Stop, From::ClientThread, 5, 5},
                             EndingRow{"StopFromInsideTheCallback", Ending::Stop, From::Callback, 3, 0},
                             EndingRow{"CloseWhileRecording", Ending::Close, From::ClientThread, 3, 0},
                             EndingRow{"CloseFromInsideTheCallback", Ending::Close, From::Callback, 3, 0}),
                         [](const ::testing::TestParamInfo<EndingRow>& row) { return row.param.name; });

} // namespace
