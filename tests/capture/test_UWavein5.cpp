// TWaveIn against the scripted fake of the wave-input calls.
#include "FakeWaveIn.h"
#include "UWavein5.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using fake_wavein::ErrorText;

struct Delivery {
    const uint8_t* buffer;
    int32_t byteCount;
    uint8_t firstByte;
    std::thread::id thread;
};

// A recorder with both handlers installed, as the tuner sets it up.
class Recorder : public ::testing::Test {
protected:
    void SetUp() override { fake_wavein::Reset(); }

    std::unique_ptr<TWaveIn> Make(int32_t bufferSize = 8192, int32_t bufferCount = 8)
    {
        auto recorder = std::make_unique<TWaveIn>(nullptr, bufferSize, bufferCount);
        recorder->OnError = [this](const std::string& message) {
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.push_back(message);
        };
        recorder->OnBufferFull = [this](const uint8_t* buffer, int32_t byteCount) {
            std::lock_guard<std::mutex> lock(mutex_);
            deliveries_.push_back({buffer, byteCount, buffer[0], std::this_thread::get_id()});
        };
        return recorder;
    }

    std::unique_ptr<TWaveIn> MakeRecording(int32_t bufferSize = 8192, int32_t bufferCount = 8)
    {
        auto recorder = Make(bufferSize, bufferCount);
        EXPECT_TRUE(recorder->OpenDevice());
        EXPECT_TRUE(recorder->StartRecording());
        TakeMessages();
        fake_wavein::ClearCalls();
        return recorder;
    }

    std::vector<std::string> TakeMessages()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<std::string> taken;
        taken.swap(messages_);
        return taken;
    }

    std::vector<Delivery> Deliveries()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return deliveries_;
    }

    static std::vector<std::string> DeviceCallNames()
    {
        std::vector<std::string> names;
        for (const std::string& name : fake_wavein::CallNames())
            if (name != "waveInGetErrorTextA")
                names.push_back(name);
        return names;
    }

    static std::vector<std::string> CloseSequence(int headers)
    {
        std::vector<std::string> names{"waveInReset"};
        names.insert(names.end(), static_cast<std::size_t>(headers), "waveInUnprepareHeader");
        names.push_back("waveInClose");
        return names;
    }

    std::mutex mutex_;
    std::vector<std::string> messages_;
    std::vector<Delivery> deliveries_;
};

using Strings = std::vector<std::string>;

TEST_F(Recorder, ConstructionAllocatesEverythingAndSetsTheDefaultFormat)
{
    auto recorder = Make(8192, 8);
    EXPECT_TRUE(recorder->Ready);
    EXPECT_EQ(recorder->LastError, "");
    EXPECT_EQ(recorder->WaveFormat->wFormatTag, 1);
    EXPECT_EQ(recorder->WaveFormat->nChannels, 1);
    EXPECT_EQ(recorder->WaveFormat->nSamplesPerSec, 44100u);
    EXPECT_EQ(recorder->WaveFormat->nAvgBytesPerSec, 44100u);
    EXPECT_EQ(recorder->WaveFormat->nBlockAlign, 1);
    EXPECT_EQ(recorder->WaveFormat->wBitsPerSample, 8);
    EXPECT_EQ(recorder->WaveFormat->cbSize, 0);
    for (int i = 0; i < TWaveIn::MaxBuffers; ++i) {
        ASSERT_NE(recorder->Headers[i], nullptr);
        EXPECT_EQ(recorder->Headers[i]->lpData, reinterpret_cast<LPSTR>(recorder->Buffers[i]));
    }
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_FALSE(recorder->Recording);
    EXPECT_EQ(DeviceCallNames(), Strings{"waveInGetNumDevs"});
}

TEST_F(Recorder, WithoutADeviceItIsNotReadyAndOpenAndStartFailWithTheDeviceTexts)
{
    fake_wavein::SetDeviceCount(0);
    auto recorder = Make();
    EXPECT_FALSE(recorder->Ready);
    EXPECT_EQ(recorder->LastError, "No wave audio recording devices found");
    for (int i = 0; i < TWaveIn::MaxBuffers; ++i) {
        EXPECT_EQ(recorder->Headers[i], nullptr);
        EXPECT_EQ(recorder->Buffers[i], nullptr);
    }
    EXPECT_TRUE(TakeMessages().empty());  // no handler was installed during construction

    EXPECT_FALSE(recorder->OpenDevice());
    EXPECT_FALSE(recorder->StartRecording());
    EXPECT_EQ(TakeMessages(), (Strings{"Could not open the input device for recording: \r " + ErrorText(2),
                                       "Error starting wavein: " + ErrorText(MMSYSERR_INVALHANDLE)}));
    EXPECT_EQ(fake_wavein::CountCalls("waveInOpen"), 0);
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_FALSE(recorder->Recording);
    EXPECT_TRUE(Deliveries().empty());
}

TEST_F(Recorder, ABufferSizeOfZeroOrLessLeavesItNotReadyWithHeadersButNoBuffers)
{
    for (int32_t size : {0, -1}) {
        auto recorder = Make(size, 4);
        EXPECT_FALSE(recorder->Ready);
        EXPECT_EQ(recorder->LastError, "Error Locking wave buffer memory");
        EXPECT_NE(recorder->Headers[3], nullptr);
        EXPECT_EQ(recorder->Buffers[0], nullptr);
    }
}

TEST_F(Recorder, ABufferCountOutsideTwoToEightLeavesItNotReadyAndOpenTouchesNoDevice)
{
    for (int32_t count : {-1, 0, 1, 9}) {
        fake_wavein::Reset();
        auto recorder = Make(8192, count);
        EXPECT_FALSE(recorder->Ready);
        EXPECT_EQ(recorder->LastError,
                  "Invalid buffer count " + std::to_string(count) + ": a recorder needs 2 to 8 buffers");
        EXPECT_EQ(recorder->Headers[0], nullptr);
        ASSERT_NE(recorder->WaveFormat, nullptr);  // the client still writes the format after construction

        EXPECT_FALSE(recorder->OpenDevice());
        EXPECT_EQ(TakeMessages(), Strings{"The recorder could not be set up, so the input device was not opened"});
        EXPECT_TRUE(DeviceCallNames().empty());
    }
}

TEST_F(Recorder, OpenDeviceWithBlockAlignZeroFailsWithoutTouchingTheDevice)
{
    auto recorder = Make();
    fake_wavein::ClearCalls();
    recorder->WaveFormat->nBlockAlign = 0;
    EXPECT_FALSE(recorder->OpenDevice());
    EXPECT_EQ(TakeMessages(), Strings{"Invalid wave format: nBlockAlign is 0, so the input device was not opened"});
    EXPECT_TRUE(DeviceCallNames().empty());
    EXPECT_FALSE(recorder->DeviceOpen);
}

TEST_F(Recorder, OpenDevicePreparesEveryHeaderAndQueuesNothing)
{
    auto recorder = Make(8192, 8);
    fake_wavein::ClearCalls();
    EXPECT_TRUE(recorder->OpenDevice());
    Strings expected{"waveInOpen"};
    expected.insert(expected.end(), 8, "waveInPrepareHeader");
    EXPECT_EQ(DeviceCallNames(), expected);
    const auto calls = fake_wavein::Calls();
    EXPECT_EQ(calls[0].value, WAVE_MAPPER);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(calls[1 + i].header, recorder->Headers[i]);
        EXPECT_EQ(calls[1 + i].value, sizeof(WAVEHDR));
        EXPECT_EQ(calls[1 + i].handle, recorder->DeviceHandle);
        EXPECT_EQ(recorder->Headers[i]->dwBufferLength, 8192u);
        EXPECT_EQ(recorder->Headers[i]->dwFlags, WHDR_PREPARED);
    }
    EXPECT_TRUE(fake_wavein::Queue().empty());
    EXPECT_TRUE(recorder->DeviceOpen);
    EXPECT_FALSE(recorder->Recording);
    EXPECT_EQ(recorder->BufferLength, 8192);
    EXPECT_TRUE(TakeMessages().empty());  // MM_WIM_OPEN is ignored
    EXPECT_FALSE(fake_wavein::DeliverNext());
    EXPECT_TRUE(Deliveries().empty());
}

TEST_F(Recorder, StartRecordingQueuesAllButTheLastBuffer)
{
    auto recorder = Make(8192, 8);
    ASSERT_TRUE(recorder->OpenDevice());
    EXPECT_TRUE(recorder->StartRecording());
    EXPECT_TRUE(recorder->Recording);
    const auto queue = fake_wavein::Queue();
    ASSERT_EQ(queue.size(), 7u);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(queue[static_cast<std::size_t>(i)], recorder->Headers[i]);
    EXPECT_EQ(recorder->NextBuffer, 7);
    EXPECT_TRUE(fake_wavein::IsStarted());
}

TEST_F(Recorder, NineDeliveriesRotateThroughEightBuffersAndRequeueThePreviousOne)
{
    auto recorder = MakeRecording(8192, 8);
    for (int k = 0; k < 9; ++k) {
        ASSERT_TRUE(fake_wavein::DeliverNext(k));
        const auto deliveries = Deliveries();
        ASSERT_EQ(deliveries.size(), static_cast<std::size_t>(k + 1));
        EXPECT_EQ(deliveries[k].buffer, recorder->Buffers[k % 8]) << "delivery " << k;
        EXPECT_EQ(deliveries[k].byteCount, 8192);
        EXPECT_EQ(deliveries[k].firstByte, k);  // the buffer the device has just filled
        const auto queue = fake_wavein::Queue();
        ASSERT_EQ(queue.size(), 7u);
        // The buffer handed out at the previous delivery (at the first, the idle last one) goes back.
        EXPECT_EQ(queue.back(), recorder->Headers[(k + 7) % 8]) << "delivery " << k;
    }
    EXPECT_EQ(Deliveries()[8].buffer, recorder->Buffers[0]);
    EXPECT_EQ(recorder->BuffersReceived, 9);
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Recorder, BufferLengthIsRoundedDownToTheBlockAlignment)
{
    auto recorder = Make(8191, 8);
    recorder->WaveFormat->nBlockAlign = 2;
    ASSERT_TRUE(recorder->OpenDevice());
    ASSERT_TRUE(recorder->StartRecording());
    EXPECT_EQ(recorder->BufferLength, 8190);
    EXPECT_EQ(recorder->Headers[0]->dwBufferLength, 8190u);
    for (int k = 0; k < 3; ++k)
        ASSERT_TRUE(fake_wavein::DeliverNext());
    for (const Delivery& delivery : Deliveries())
        EXPECT_EQ(delivery.byteCount, 8190);
}

TEST_F(Recorder, StopRecordingStopsResetsClosesOnceAndTheSecondCallDoesNothing)
{
    auto recorder = MakeRecording();
    recorder->StopRecording();
    Strings expected{"waveInStop", "waveInReset"};
    const Strings close = CloseSequence(8);
    expected.insert(expected.end(), close.begin(), close.end());
    EXPECT_EQ(DeviceCallNames(), expected);
    EXPECT_EQ(TakeMessages(), Strings{"Closing"});
    EXPECT_FALSE(recorder->Recording);
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_FALSE(fake_wavein::IsOpen());

    fake_wavein::ClearCalls();
    recorder->StopRecording();
    EXPECT_TRUE(DeviceCallNames().empty());
    EXPECT_TRUE(TakeMessages().empty());
}

TEST_F(Recorder, StopRecordingAndCloseDeviceOnAClosedRecorderDoNothing)
{
    auto recorder = Make();
    fake_wavein::ClearCalls();
    recorder->StopRecording();
    recorder->CloseDevice();
    EXPECT_TRUE(DeviceCallNames().empty());
    EXPECT_TRUE(TakeMessages().empty());
    EXPECT_EQ(recorder->LastError, "");
}

TEST_F(Recorder, NoHandlerCallAfterStopEvenForTheBuffersTheResetReturns)
{
    auto recorder = MakeRecording();
    ASSERT_TRUE(fake_wavein::DeliverNext());
    recorder->StopRecording();
    // The reset gave back the seven queued buffers through the callback...
    for (int i = 1; i < 8; ++i)
        EXPECT_TRUE(recorder->Headers[i]->dwFlags & WHDR_DONE) << i;
    // ...and none reached the handler, nor does anything later.
    EXPECT_EQ(Deliveries().size(), 1u);
    EXPECT_FALSE(fake_wavein::DeliverNext());
    TWaveIn::WaveInCallback(nullptr, MM_WIM_DATA, reinterpret_cast<DWORD_PTR>(recorder.get()), 0, 0);
    EXPECT_EQ(Deliveries().size(), 1u);
    EXPECT_EQ(recorder->BuffersReceived, 1);
}

TEST_F(Recorder, AnExceptionFromOnBufferFullStopsRecordingAndReachesNobody)
{
    auto recorder = MakeRecording();
    recorder->OnBufferFull = [](const uint8_t*, int32_t) { throw std::runtime_error("analysis failed"); };
    bool delivered = false;
    EXPECT_NO_THROW(delivered = fake_wavein::DeliverNextOnThread());
    EXPECT_TRUE(delivered);
    EXPECT_FALSE(recorder->Recording);
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_FALSE(fake_wavein::IsOpen());
    EXPECT_EQ(TakeMessages(), Strings{"Closing"});  // nothing about the exception itself
    EXPECT_EQ(recorder->BuffersReceived, 0);
}

TEST_F(Recorder, AFailedRequeueInsideTheCallbackShutsDownOnTheDeviceThreadAndReports)
{
    auto recorder = MakeRecording();
    std::thread::id reportThread;
    recorder->OnError = [&](const std::string& message) {
        std::lock_guard<std::mutex> lock(mutex_);
        messages_.push_back(message);
        reportThread = std::this_thread::get_id();
    };
    fake_wavein::FailAlways("waveInAddBuffer", MMSYSERR_NOMEM);
    ASSERT_TRUE(fake_wavein::DeliverNextOnThread());
    EXPECT_EQ(TakeMessages(), (Strings{"Closing", "Error adding buffer, recording stopped: " + ErrorText(7)}));
    EXPECT_NE(reportThread, std::this_thread::get_id());
    EXPECT_FALSE(recorder->Recording);
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_FALSE(fake_wavein::IsOpen());
    Strings expected{"waveInAddBuffer", "waveInStop", "waveInReset"};
    const Strings close = CloseSequence(8);
    expected.insert(expected.end(), close.begin(), close.end());
    EXPECT_EQ(DeviceCallNames(), expected);
    EXPECT_EQ(Deliveries().size(), 1u);
}

TEST_F(Recorder, AFailedRequeueInsideStartRecordingReportsTwoMessages)
{
    auto recorder = Make();
    ASSERT_TRUE(recorder->OpenDevice());
    fake_wavein::FailCall("waveInAddBuffer", 3, MMSYSERR_INVALPARAM);
    EXPECT_FALSE(recorder->StartRecording());
    EXPECT_EQ(TakeMessages(), (Strings{"Closing", "Error adding buffer, recording stopped: " + ErrorText(11),
                                       "AddNextBuffer failed from open"}));
    EXPECT_FALSE(recorder->Recording);
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_EQ(recorder->NextBuffer, 2);
}

// One row of the message table: a scripted failure, the operation that meets it, the messages in order.
struct MessageRow {
    const char* name;
    std::vector<std::pair<const char*, std::pair<int, MMRESULT>>> failures;  // call, (nth, code)
    enum class Run { Open, Start, Stop, Close } run;
    Strings messages;
    bool result;
    bool deviceOpen;
};

class MessageTable : public Recorder, public ::testing::WithParamInterface<MessageRow> {};

TEST_P(MessageTable, ReportsExactlyTheseMessages)
{
    const MessageRow& row = GetParam();
    auto recorder = Make(8192, 8);
    if (row.run != MessageRow::Run::Open) {
        ASSERT_TRUE(recorder->OpenDevice());
    }
    if (row.run == MessageRow::Run::Stop) {
        ASSERT_TRUE(recorder->StartRecording());
    }
    TakeMessages();
    for (const auto& failure : row.failures)
        fake_wavein::FailCall(failure.first, fake_wavein::CountCalls(failure.first) + failure.second.first,
                              failure.second.second);
    bool result = true;
    switch (row.run) {
    case MessageRow::Run::Open:
        result = recorder->OpenDevice();
        break;
    case MessageRow::Run::Start:
        result = recorder->StartRecording();
        break;
    case MessageRow::Run::Stop:
        recorder->StopRecording();
        break;
    case MessageRow::Run::Close:
        recorder->CloseDevice();
        break;
    }
    EXPECT_EQ(TakeMessages(), row.messages);
    EXPECT_EQ(recorder->LastError, row.messages.back());
    EXPECT_EQ(result, row.result);
    EXPECT_EQ(recorder->DeviceOpen, row.deviceOpen);
}

using Run = MessageRow::Run;
const std::string kUnprepare = "Error in waveInUnprepareHeader ";

INSTANTIATE_TEST_SUITE_P(
    Recorder, MessageTable,
    ::testing::Values(
        MessageRow{"OpenFails", {{"waveInOpen", {1, 4}}}, Run::Open,
                   {"Could not open the input device for recording: \r " + ErrorText(4)}, false, false},
        MessageRow{"PrepareFails", {{"waveInPrepareHeader", {3, 7}}}, Run::Open,
                   {"Closing", "Error preparing header for recording: \r" + ErrorText(7)}, false, false},
        MessageRow{"StartFails", {{"waveInStart", {1, 1}}}, Run::Start,
                   {"Closing", "Error starting wavein: " + ErrorText(1)}, false, false},
        MessageRow{"AddBufferFails", {{"waveInAddBuffer", {1, 34}}}, Run::Start,
                   {"Closing", "Error adding buffer, recording stopped: " + ErrorText(34),
                    "AddNextBuffer failed from open"},
                   false, false},
        MessageRow{"ResetFailsInStop", {{"waveInReset", {1, 6}}}, Run::Stop,
                   {"Error in waveInReset", "Closing"}, true, false},
        MessageRow{"UnprepareFailsWith5", {{"waveInUnprepareHeader", {2, 5}}}, Run::Close,
                   {kUnprepare + " Specified device handle is invalid ", "Closing"}, true, false},
        MessageRow{"UnprepareFailsWith6", {{"waveInUnprepareHeader", {1, 6}}}, Run::Close,
                   {kUnprepare + "\tNo device driver is present", "Closing"}, true, false},
        MessageRow{"UnprepareFailsWith7", {{"waveInUnprepareHeader", {1, 7}}}, Run::Close,
                   {kUnprepare + " Unable to allocate or lock memory", "Closing"}, true, false},
        MessageRow{"UnprepareFailsWith33", {{"waveInUnprepareHeader", {1, 33}}}, Run::Close,
                   {kUnprepare + "Buffer still being propcessed", "Closing"}, true, false},
        MessageRow{"UnprepareFailsWithAnotherCode", {{"waveInUnprepareHeader", {1, 1}}}, Run::Close,
                   {kUnprepare + "Uknown Error", "Closing"}, true, false},
        MessageRow{"TwoUnpreparesFail", {{"waveInUnprepareHeader", {1, 5}}, {"waveInUnprepareHeader", {8, 5}}},
                   Run::Close,
                   {kUnprepare + " Specified device handle is invalid ",
                    kUnprepare + " Specified device handle is invalid ", "Closing"},
                   true, false},
        MessageRow{"CloseFails", {{"waveInClose", {1, 5}}}, Run::Close, {"Error closing input device"}, true, false},
        MessageRow{"CloseSucceeds", {}, Run::Close, {"Closing"}, true, false}),
    [](const ::testing::TestParamInfo<MessageRow>& row) { return std::string(row.param.name); });

TEST_F(Recorder, TheUnprepareMessageHasTwoBlanksAfterTheCallNameAndEndsInOne)
{
    auto recorder = Make();
    ASSERT_TRUE(recorder->OpenDevice());
    fake_wavein::FailCall("waveInUnprepareHeader", 1, MMSYSERR_INVALHANDLE);
    recorder->CloseDevice();
    EXPECT_EQ(TakeMessages().front(), "Error in waveInUnprepareHeader  Specified device handle is invalid ");
}

TEST_F(Recorder, StartRecordingOnAClosedRecorderFailsAtTheStartCall)
{
    auto recorder = Make();
    EXPECT_FALSE(recorder->StartRecording());
    EXPECT_EQ(TakeMessages(), Strings{"Error starting wavein: " + ErrorText(MMSYSERR_INVALHANDLE)});
    EXPECT_FALSE(recorder->Recording);
    EXPECT_FALSE(recorder->DeviceOpen);
}

TEST_F(Recorder, CloseDeviceWhileRecordingHandsOutNothingFromTheResetAndClosesTheDevice)
{
    auto recorder = MakeRecording();
    ASSERT_TRUE(fake_wavein::DeliverNext());
    ASSERT_EQ(Deliveries().size(), 1u);
    fake_wavein::ClearCalls();
    recorder->CloseDevice();
    EXPECT_EQ(TakeMessages(), Strings{"Closing"});
    EXPECT_EQ(Deliveries().size(), 1u);  // the seven buffers the reset returned stayed with the recorder
    EXPECT_EQ(DeviceCallNames(), CloseSequence(8));
    EXPECT_FALSE(recorder->Recording);
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_FALSE(fake_wavein::IsOpen());
    EXPECT_TRUE(fake_wavein::Queue().empty());

    // The next recording starts from the first header, as after any close.
    ASSERT_TRUE(recorder->OpenDevice());
    EXPECT_TRUE(fake_wavein::Queue().empty());
    ASSERT_TRUE(recorder->StartRecording());
    ASSERT_EQ(fake_wavein::Queue().size(), 7u);
    EXPECT_EQ(fake_wavein::Queue()[0], recorder->Headers[0]);
}

TEST_F(Recorder, OpenDeviceWhileRecordingEndsTheRecordingWithoutHandingOutBuffers)
{
    auto recorder = MakeRecording();
    ASSERT_TRUE(fake_wavein::DeliverNext());
    ASSERT_TRUE(fake_wavein::DeliverNext());
    EXPECT_TRUE(recorder->OpenDevice());
    EXPECT_EQ(TakeMessages(), Strings{"Closing"});
    EXPECT_EQ(Deliveries().size(), 2u);
    EXPECT_EQ(recorder->NextBuffer, 0);
    EXPECT_EQ(recorder->BuffersReceived, 0);
    EXPECT_TRUE(recorder->DeviceOpen);
    EXPECT_FALSE(recorder->Recording);
    EXPECT_TRUE(fake_wavein::Queue().empty());
    // The handler is back in place for the new recording.
    ASSERT_TRUE(recorder->StartRecording());
    ASSERT_TRUE(fake_wavein::DeliverNext());
    EXPECT_EQ(Deliveries().size(), 3u);
    EXPECT_EQ(Deliveries()[2].buffer, recorder->Buffers[0]);
}

TEST_F(Recorder, AnErrorHandlerThatStopsRecordingOnEveryMessageDoesNotRecurse)
{
    // As a window that stops recording from its hundredth message on: the stop's own "Closing" comes back to it.
    auto recorder = MakeRecording();
    TWaveIn* raw = recorder.get();
    recorder->OnError = [this, raw](const std::string& message) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.push_back(message);
        }
        raw->StopRecording();
        raw->CloseDevice();
    };
    fake_wavein::FailCall("waveInUnprepareHeader", fake_wavein::CountCalls("waveInUnprepareHeader") + 2,
                          MMSYSERR_NOMEM);
    recorder->StopRecording();
    EXPECT_EQ(TakeMessages(), (Strings{"Error in waveInUnprepareHeader  Unable to allocate or lock memory", "Closing"}));
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_EQ(fake_wavein::CountCalls("waveInClose"), 1);
}

TEST_F(Recorder, AStopThatMeetsTheDeviceThreadsOwnShutdownAddsNoReports)
{
    // The device thread fails to re-queue and shuts the device down; it is held inside its "Closing" report
    // while the window thread stops recording.
    auto recorder = MakeRecording();
    const std::thread::id main = std::this_thread::get_id();
    std::mutex hold;
    std::condition_variable changed;
    bool inside = false, release = false;
    recorder->OnError = [&, main](const std::string& message) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            messages_.push_back(message);
        }
        std::unique_lock<std::mutex> lock(hold);
        if (message == "Closing" && std::this_thread::get_id() != main) {
            inside = true;
            changed.notify_all();
            changed.wait_for(lock, std::chrono::seconds(20), [&] { return release; });
        }
    };
    fake_wavein::FailAlways("waveInAddBuffer", MMSYSERR_NODRIVER);
    std::thread device([] { fake_wavein::DeliverNext(); });
    bool held = false;
    {
        std::unique_lock<std::mutex> lock(hold);
        held = changed.wait_for(lock, std::chrono::seconds(20), [&] { return inside; });
    }
    EXPECT_TRUE(held);
    recorder->StopRecording();
    {
        std::lock_guard<std::mutex> lock(hold);
        release = true;
        changed.notify_all();
    }
    device.join();
    EXPECT_EQ(TakeMessages(), (Strings{"Closing", "Error adding buffer, recording stopped: " + ErrorText(6)}));
    EXPECT_FALSE(recorder->DeviceOpen);
    EXPECT_FALSE(recorder->Recording);
    EXPECT_EQ(fake_wavein::CountCalls("waveInClose"), 1);
}

TEST_F(Recorder, WithOnErrorEmptyEveryMessageStillLandsInLastError)
{
    auto recorder = std::make_unique<TWaveIn>(nullptr, 8192, 8);
    fake_wavein::FailCall("waveInOpen", 1, MMSYSERR_ALLOCATED);
    EXPECT_FALSE(recorder->OpenDevice());
    EXPECT_EQ(recorder->LastError, "Could not open the input device for recording: \r " + ErrorText(4));
    ASSERT_TRUE(recorder->OpenDevice());
    recorder->StopRecording();
    EXPECT_EQ(recorder->LastError, "Closing");
}

TEST_F(Recorder, BuffersDeliveredFromAnotherThreadReachTheHandlerOnThatThread)
{
    auto recorder = MakeRecording();
    ASSERT_TRUE(fake_wavein::DeliverNextOnThread());
    ASSERT_EQ(Deliveries().size(), 1u);
    EXPECT_NE(Deliveries()[0].thread, std::this_thread::get_id());
    EXPECT_EQ(fake_wavein::Queue().size(), 7u);
}

TEST_F(Recorder, TheDestructorStopsAndClosesADeviceStillOpen)
{
    auto recorder = MakeRecording();
    ASSERT_TRUE(fake_wavein::DeliverNext());
    recorder.reset();
    EXPECT_FALSE(fake_wavein::IsOpen());
    EXPECT_TRUE(fake_wavein::Queue().empty());  // the device holds no pointer into freed memory
    Strings expected{"waveInStop", "waveInReset"};
    const Strings close = CloseSequence(8);
    expected.insert(expected.end(), close.begin(), close.end());
    expected.insert(expected.begin(), "waveInAddBuffer");
    EXPECT_EQ(DeviceCallNames(), expected);
}

TEST_F(Recorder, DeviceErrorTextIsThePlatformsTextForTheCode)
{
    EXPECT_EQ(DeviceErrorText(33), "fake text for code 33");
    const auto calls = fake_wavein::Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().name, "waveInGetErrorTextA");
    EXPECT_EQ(calls.back().value, 33u);
}

} // namespace
