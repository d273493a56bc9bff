// The tuner window's capture lifecycle and error counting, driven by the scripted fake device.
#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

#include "FakeWaveIn.h"
#include "QtTestMain.h"
#include "U_FFTTuner.h"
#include "UWavein5.h"

namespace {

class TunerCapture : public ::testing::Test {
protected:
    void SetUp() override {
        saved = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(QStringLiteral(ZT_SOURCE_DIR)));
        fake_wavein::Reset();
    }
    void TearDown() override {
        QDir::setCurrent(saved);
        fake_wavein::Reset();
    }
    QString saved;
};

TEST_F(TunerCapture, ShowingStartsRecordingInTheTunerFormat) {
    TTunerForm form;
    form.show();
    ASSERT_NE(form.WaveIn, nullptr);
    EXPECT_TRUE(form.WaveIn->Recording.load());
    EXPECT_TRUE(fake_wavein::IsStarted());
    EXPECT_EQ(fake_wavein::Queue().size(), 7u);  // 8 buffers, one kept back
    const WAVEFORMATEX& f = *form.WaveIn->WaveFormat;
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nChannels, 1);
    EXPECT_EQ(f.nSamplesPerSec, 11025u);
    EXPECT_EQ(f.wBitsPerSample, 8);
    EXPECT_EQ(f.nAvgBytesPerSec, 11025u);
    EXPECT_EQ(f.nBlockAlign, 1);
    EXPECT_EQ(f.cbSize, 0);
    EXPECT_EQ(form.WaveIn->BufferSize, 8192);
    EXPECT_EQ(form.WaveIn->BufferCount, 8);
    EXPECT_EQ(form.Samples.size(), 8192u);
    EXPECT_EQ(form.ErrorCount.load(), 0);
    form.close();
    EXPECT_FALSE(fake_wavein::IsOpen());
    EXPECT_EQ(form.ErrorCount.load(), 1);  // the close notice
}

TEST_F(TunerCapture, DeliveredBlocksReachTheDisplay) {
    TTunerForm form;
    form.show();
    ASSERT_TRUE(fake_wavein::DeliverNextOnThread(200));  // a constant block: level 73, 0 Hz
    EXPECT_EQ(form.PeakLevel.load(), 73);
    EXPECT_EQ(form.Frequency.load(), 0.0);
    form.timerTimer();
    const QImage& canvas = form.soundLevelPaintBox->Canvas();
    const int last = 393 * 73 / 128;
    EXPECT_EQ(canvas.pixel(last, 10), qRgb(0, 255, 0));
    EXPECT_NE(canvas.pixel(last + 1, 10), qRgb(0, 255, 0));
    form.close();
}

TEST_F(TunerCapture, NoDeviceCountsTwoReportsAndShowsNoBox) {
    fake_wavein::SetDeviceCount(0);
    TModalBoxWatcher boxes;
    TTunerForm form;
    form.show();
    QApplication::processEvents();
    EXPECT_EQ(form.ErrorCount.load(), 2);
    EXPECT_TRUE(boxes.Texts.isEmpty());
    EXPECT_FALSE(form.WaveIn->Recording.load());
    // The window works on: level 0 and 0.0 Hz.
    form.timerTimer();
    EXPECT_EQ(form.frequencyLabel->text(), "0.0 Гц");
    form.close();
}

TEST_F(TunerCapture, HundredthReportShowsTheBoxAndStopsOnceItIsClosed) {
    TModalBoxWatcher boxes;
    TTunerForm form;
    form.show();
    ASSERT_TRUE(form.WaveIn->Recording.load());
    for (int i = 1; i <= 99; ++i) form.WaveInError("report");
    QApplication::processEvents();
    EXPECT_EQ(form.ErrorCount.load(), 99);
    EXPECT_TRUE(boxes.Texts.isEmpty());
    EXPECT_TRUE(form.WaveIn->Recording.load());

    std::vector<bool> openWhileBoxShown;
    boxes.OnBox = [&] { openWhileBoxShown.push_back(fake_wavein::IsOpen()); };
    form.WaveInError("report");  // the 100th
    ASSERT_EQ(boxes.Texts.size(), 1);
    EXPECT_EQ(boxes.Texts[0], QString::fromUtf8("Возникли ошибки. Запись звука остановлена."));
    EXPECT_EQ(boxes.Captions[0], ApplicationTitle());
    EXPECT_EQ(boxes.Icons[0], QMessageBox::NoIcon);
    EXPECT_EQ(boxes.ButtonCounts[0], 1);
    EXPECT_FALSE(form.WaveIn->Recording.load());
    EXPECT_FALSE(fake_wavein::IsOpen());
    // The close notice is the 101st report and shows the box a second time.
    EXPECT_TRUE(QTest::qWaitFor([&] { return boxes.Texts.size() == 2; }));
    EXPECT_EQ(form.ErrorCount.load(), 101);
    EXPECT_EQ(openWhileBoxShown, (std::vector<bool>{true, false}));
    EXPECT_EQ(fake_wavein::CountCalls("waveInClose"), 1);  // the stop ran once
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    EXPECT_EQ(boxes.Texts.size(), 2);
    form.close();
}

TEST_F(TunerCapture, ReportsFromTheAudioThreadAreCountedThereAndShownOnTheWindowThread) {
    TModalBoxWatcher boxes;
    TTunerForm form;
    form.show();
    std::atomic<bool> boxOnWindowThread{true};
    boxes.OnBox = [&] { boxOnWindowThread = boxOnWindowThread && QThread::currentThread() == form.thread(); };
    std::thread audio([&] {
        for (int i = 0; i < 100; ++i) form.WaveInError("report");
    });
    audio.join();
    EXPECT_EQ(form.ErrorCount.load(), 100);
    EXPECT_TRUE(boxes.Texts.isEmpty());  // nothing shown until the window thread runs
    EXPECT_TRUE(QTest::qWaitFor([&] { return boxes.Texts.size() == 2; }));
    EXPECT_TRUE(boxOnWindowThread.load());
    EXPECT_FALSE(form.WaveIn->Recording.load());
    EXPECT_EQ(form.ErrorCount.load(), 101);
    form.close();
}

TEST_F(TunerCapture, FailedRequeueInsideTheCallbackIsCountedWithoutABox) {
    TModalBoxWatcher boxes;
    TTunerForm form;
    form.show();
    fake_wavein::FailAlways("waveInAddBuffer", MMSYSERR_NOMEM);
    ASSERT_TRUE(fake_wavein::DeliverNextOnThread(128));
    // "Error adding buffer, recording stopped: ..." and the close notice.
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.ErrorCount.load() == 2; }));
    EXPECT_FALSE(form.WaveIn->Recording.load());
    EXPECT_FALSE(fake_wavein::IsOpen());
    EXPECT_TRUE(boxes.Texts.isEmpty());
    form.close();
}

}  // namespace

namespace {

TEST_F(TunerCapture, DestroyingARecordingWindowStopsWithoutABox) {
    TModalBoxWatcher boxes;
    {
        TTunerForm form;
        form.show();
        for (int i = 0; i < 99; ++i) form.WaveInError("report");
        ASSERT_TRUE(fake_wavein::IsOpen());
    }  // the close notice is the 100th report
    for (int i = 0; i < 20; ++i) QApplication::processEvents();
    EXPECT_FALSE(fake_wavein::IsOpen());
    EXPECT_TRUE(boxes.Texts.isEmpty());
}

}  // namespace
