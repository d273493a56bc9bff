// The real program on a real X server (Xvfb) with the ALSA layer recording a tone in real time: the window
// appears with the application's icon, and a screenshot shows the level bar, the pointer where the tone puts
// them, and the scale marks.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cstdint>
#include <optional>

#include "TestAudio.h"
#include "U_FFTTunerAnalysis.h"
#include "U_FFTTunerConfig.h"
#include "U_FFTTunerDisplay.h"
#include "XvfbHarness.h"

namespace {

using namespace tuner_screen;

constexpr double ToneHz = 340.0;     // a little sharp of string 1 (329.63 Hz), the string selected at start
constexpr double ToneAmplitude = 100.0;

TEST(ProgramUnderXvfb, ShowsTheLevelBarThePointerAndTheMarksForAPacedTone) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string fifo = dir.filePath("tone.pipe").toStdString();
    const std::string config = dir.filePath("asound.conf").toStdString();
    ASSERT_TRUE(test_audio::MakeFifo(fifo));
    ASSERT_TRUE(test_audio::WriteFileCaptureConfig(config, fifo));
    const std::vector<uint8_t> tone = test_audio::MakeTone(ToneHz, ToneAmplitude, 8.0);
    test_audio::PacedFeeder feeder(fifo, tone, /*loop=*/true);

    // What the tuner should make of one block of this tone, by its own analysis.
    TTunerAnalysis reference;
    reference.WaveInData(tone.data(), BufferBytes);
    const int32_t peak = reference.PeakLevel.load();
    const double estimate = reference.Frequency.load();
    ASSERT_NEAR(estimate, ToneHz, 1.5);
    const int32_t pointerCentre = PointerX(Deviation(estimate, StringFrequencies[0]), BoxWidth, 0).value();
    const int32_t levelColumns = LevelBar(BoxWidth, peak).LastColumn + 1;

    xvfb::Launch launch{ZT_PROGRAM, {}, ZT_SOURCE_DIR};
    launch.environment.insert("ALSA_CONFIG_PATH", QString::fromStdString(config));
    QProcess program;
    ASSERT_TRUE(xvfb::Start(program, launch));

    const std::optional<QRect> window = xvfb::WaitForWindow("Tuner @ Zemtar", 30000);
    ASSERT_TRUE(window.has_value()) << "the window never appeared";
    EXPECT_EQ(window->size(), QSize(WindowWidth, WindowHeight));

    QImage shot;
    const bool drawn = xvfb::WaitUntil([&] {
        shot = xvfb::Grab(*window);
        return GreenColumns(shot) > 100 && !NavyColumns(shot).empty();
    }, 30000);
    QDir().mkpath(ZT_ARTIFACTS_DIR);
    const QString shotPath = QStringLiteral(ZT_ARTIFACTS_DIR "/tuner_window.png");
    if (drawn) {
        QThread::msleep(600);  // one more tick, so the picture is a settled one
        shot = xvfb::Grab(*window);
    }
    shot.save(shotPath);
    ASSERT_TRUE(drawn) << "no level bar and pointer within 30 s; last screenshot in " << shotPath.toStdString();

    // Level bar: the block's peak, within a column or two of what the reference block gives.
    EXPECT_NEAR(GreenColumns(shot), levelColumns, 3);
    // Pointer: centred on the tone's deviation from string 1.
    const std::vector<int> navy = NavyColumns(shot);
    ASSERT_FALSE(navy.empty());
    EXPECT_NEAR((navy.front() + navy.back()) / 2.0, pointerCentre, 3.0);
    EXPECT_GT(pointerCentre, 196);  // sharp: right of the centre mark
    // Marks: the centre mark (5 wide) and the side marks (3 wide) drawn over the pointer.
    EXPECT_EQ(BlackTopColumns(shot), ExpectedMarkColumns(5, 3));

    // The window carries the application's 16 x 16 icon.
    const QImage icon = xvfb::WindowIcon("Tuner @ Zemtar");
    const QImage expectedIcon = QImage(ZT_SOURCE_DIR "/packaging/icons/ru.zemtar.Tuner.png")
                                    .convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(icon.size(), QSize(16, 16));
    EXPECT_EQ(icon, expectedIcon);

    xvfb::Stop(program);
}

}  // namespace
