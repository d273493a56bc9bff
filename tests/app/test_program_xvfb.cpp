// The real program on a real X server (Xvfb) with the ALSA layer recording a tone in real time, served by a pipe
// or by a private sound server (PulseAudio, or PipeWire by both ways an ALSA program reaches it): the window appears
// with the application's icon, and a screenshot shows the level bar, the pointer where the tone puts them, and the
// scale marks. When the sound server goes away while the program records, it shows the server's new tone once the
// server is back, and says so on standard error; it closes promptly then, and when its device never finishes opening.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdint>
#include <memory>
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

const QString Title = QStringLiteral("Tuner @ Zemtar");

// The tone reaches the default capture device from a named pipe fed in real time (ALSA's file plugin) or from a
// private sound server playing it into a null sink whose monitor is the default source.
struct Source {
    const char* name;
    std::optional<test_audio::Server> server;
    int levelSlackColumns;  // PipeWire resamples to its graph's 48 kHz and back: peaks up to 2 units higher
};
const Source Pipe{"Pipe", {}, 3}, PulseAudio{"PulseAudio", test_audio::Server::PulseAudio, 3},
    PipeWirePlugin{"PipeWirePlugin", test_audio::Server::PipeWirePlugin, 10},
    PipeWirePulse{"PipeWirePulse", test_audio::Server::PipeWirePulse, 10};

struct Sound {
    Sound(const Source& source, const QTemporaryDir& dir, const std::vector<uint8_t>& tone) {
        if (!source.server) {
            pipe = std::make_unique<test_audio::PipedTone>(dir.path().toStdString(), "tone", tone);
            ready = pipe->Ready();
            environment.insert("ALSA_CONFIG_PATH", QString::fromStdString(pipe->ConfigPath()));
        } else {
            const std::string raw = dir.filePath("tone.raw").toStdString();
            server = std::make_unique<test_audio::PulseServer>(dir.filePath("server").toStdString(), "", *source.server);
            // At 50 ms latency the sink's monitor delivers sound in short periods.
            ready = server->Running() && test_audio::WriteFile(raw, tone) && server->Play(raw, 50);
            for (const char* name : {"ALSA_CONFIG_PATH", "PULSE_SERVER"})
                environment.insert(name, QString::fromStdString(server->Value(name)));
        }
    }
    bool ready = false;
    std::unique_ptr<test_audio::PipedTone> pipe;
    std::unique_ptr<test_audio::PulseServer> server;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

// Closes the window as a window manager's close button does; the process must end by itself, with status 0.
void CloseAndExpectExit(QProcess& program) {
    ASSERT_TRUE(xvfb::RequestClose(Title));
    ASSERT_TRUE(program.waitForFinished(5000)) << "the program did not end within 5 s of the close request";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

class ProgramUnderXvfb : public ::testing::TestWithParam<Source> {};

TEST_P(ProgramUnderXvfb, ShowsTheLevelBarThePointerAndTheMarksForAToneAndClosesOnRequest) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::vector<uint8_t> tone = test_audio::MakeTone(ToneHz, ToneAmplitude, 8.0);
    Sound sound(GetParam(), dir, tone);
    ASSERT_TRUE(sound.ready);

    // What the tuner should make of one block of this tone, by its own analysis.
    TTunerAnalysis reference;
    reference.WaveInData(tone.data(), BufferBytes);
    const int32_t peak = reference.PeakLevel.load();
    const double estimate = reference.Frequency.load();
    ASSERT_NEAR(estimate, ToneHz, 1.5);
    const int32_t pointerCentre = PointerX(Deviation(estimate, StringFrequencies[0]), BoxWidth, 0).value();
    const int32_t levelColumns = LevelBar(BoxWidth, peak).LastColumn + 1;

    xvfb::Launch launch{ZT_PROGRAM, {}, ZT_SOURCE_DIR, sound.environment};
    QProcess program;
    ASSERT_TRUE(xvfb::Start(program, launch));

    const std::optional<QRect> window = xvfb::WaitForWindow(Title, 30000);
    ASSERT_TRUE(window.has_value()) << "the window never appeared";
    EXPECT_EQ(window->size(), QSize(WindowWidth, WindowHeight));

    QImage shot;
    const bool drawn = xvfb::WaitUntil([&] {
        shot = xvfb::Grab(*window);
        return GreenColumns(shot) > 100 && !NavyColumns(shot).empty();
    }, 30000);
    QDir().mkpath(ZT_ARTIFACTS_DIR);
    const QString shotPath =
        QStringLiteral(ZT_ARTIFACTS_DIR "/tuner_window_%1.png").arg(QString(GetParam().name).toLower());
    if (drawn) {
        // The next block (743 ms) and a tick after it: the block first drawn may hold the start of the server's
        // stream, where PipeWire's resampler rings over the step from silence (peaks 4 units high seen).
        QThread::msleep(1200);
        shot = xvfb::Grab(*window);
    }
    shot.save(shotPath);
    ASSERT_TRUE(drawn) << "no level bar and pointer within 30 s; last screenshot in " << shotPath.toStdString();

    // Level bar: the block's peak, within a column or two of what the reference block gives (more over PipeWire).
    EXPECT_NEAR(GreenColumns(shot), levelColumns, GetParam().levelSlackColumns);
    // Pointer: centred on the tone's deviation from string 1.
    const std::vector<int> navy = NavyColumns(shot);
    ASSERT_FALSE(navy.empty());
    EXPECT_NEAR((navy.front() + navy.back()) / 2.0, pointerCentre, 3.0);
    EXPECT_GT(pointerCentre, 196);  // sharp: right of the centre mark
    // Marks: the centre mark (5 wide) and the side marks (3 wide) drawn over the pointer.
    EXPECT_EQ(BlackTopColumns(shot), ExpectedMarkColumns(5, 3));

    // The window carries the application's 16 x 16 icon.
    const QImage icon = xvfb::WindowIcon(Title);
    const QImage expectedIcon = QImage(ZT_SOURCE_DIR "/packaging/icons/ru.zemtar.Tuner.png")
                                    .convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(icon.size(), QSize(16, 16));
    EXPECT_EQ(icon, expectedIcon);

    CloseAndExpectExit(program);
}

INSTANTIATE_TEST_SUITE_P(Sound, ProgramUnderXvfb, ::testing::Values(Pipe, PulseAudio, PipeWirePlugin, PipeWirePulse),
                         [](const ::testing::TestParamInfo<Source>& source) { return std::string(source.param.name); });

// The sound server goes away while the tuner records (a crash, or a restart of the desktop's sound service), and
// comes back, as systemd starts it again, playing another tone.
class ProgramWhenTheSoundServerGoesAway : public ::testing::TestWithParam<std::tuple<Source, int>> {};

TEST_P(ProgramWhenTheSoundServerGoesAway, ShowsTheReturnedServersToneAndClosesOnRequest) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto [source, signal] = GetParam();
    Sound sound(source, dir, test_audio::MakeTone(ToneHz, ToneAmplitude, 8.0));
    ASSERT_TRUE(sound.ready);
    QProcess program;
    ASSERT_TRUE(xvfb::Start(program, {ZT_PROGRAM, {}, ZT_SOURCE_DIR, sound.environment, QProcess::ForwardedOutputChannel}));
    const std::optional<QRect> window = xvfb::WaitForWindow(Title, 30000);
    ASSERT_TRUE(window.has_value()) << "the window never appeared";
    ASSERT_TRUE(xvfb::WaitUntil([&] { return !NavyColumns(xvfb::Grab(*window)).empty(); }, 30000))
        << "the tone never reached the display";

    ASSERT_TRUE(sound.server->Kill(signal));
    QThread::msleep(1500);
    // The display keeps its last values and no error box appears.
    EXPECT_EQ(xvfb::ViewableWindows().size(), 1u);

    // Back, with a tone flat of string 1: the pointer moves left of the centre mark.
    const std::string raw = dir.filePath("after.raw").toStdString();
    sound.server->Restart();
    ASSERT_TRUE(sound.server->Running() && test_audio::WriteToneFile(raw, 320.0, ToneAmplitude, 8.0) &&
                sound.server->Play(raw, 50));
    EXPECT_TRUE(xvfb::WaitUntil([&] {
        const std::vector<int> navy = NavyColumns(xvfb::Grab(*window));
        return !navy.empty() && navy.front() + navy.back() < 2 * 196;
    }, 30000)) << "the returned server's tone never reached the display";
    CloseAndExpectExit(program);
    const std::string errors = program.readAllStandardError().toStdString();
    EXPECT_NE(errors.find("\"default\": recording failed: "), std::string::npos) << errors;
    EXPECT_NE(errors.find("\"default\": recording resumed"), std::string::npos) << errors;
}

INSTANTIATE_TEST_SUITE_P(Server, ProgramWhenTheSoundServerGoesAway,
                         ::testing::Combine(::testing::Values(PulseAudio, PipeWirePlugin, PipeWirePulse),
                                            ::testing::Values(SIGKILL, SIGTERM)),
                         [](const ::testing::TestParamInfo<std::tuple<Source, int>>& row) {
                             return std::string(std::get<0>(row.param).name) +
                                    (std::get<1>(row.param) == SIGKILL ? "Killed" : "Terminated");
                         });

TEST(ProgramWithADeviceWhoseOpenBlocks, ShowsItsWindowAndClosesOnRequest) {
    // A pipe that nobody writes to: opening the device waits for a writer that never comes.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string fifo = dir.filePath("silent.pipe").toStdString();
    const std::string config = dir.filePath("asound.conf").toStdString();
    ASSERT_TRUE(test_audio::MakeFifo(fifo));
    ASSERT_TRUE(test_audio::WriteFileCaptureConfig(config, fifo));
    xvfb::Launch launch{ZT_PROGRAM, {}, ZT_SOURCE_DIR};
    launch.environment.insert("ALSA_CONFIG_PATH", QString::fromStdString(config));
    QProcess program;
    ASSERT_TRUE(xvfb::Start(program, launch));
    const std::optional<QRect> window = xvfb::WaitForWindow(Title, 10000);
    ASSERT_TRUE(window.has_value()) << "the window never appeared";
    // Drawn, not black: the timer ticks and the marks are there.
    EXPECT_TRUE(xvfb::WaitUntil([&] { return BlackTopColumns(xvfb::Grab(*window)) == ExpectedMarkColumns(5, 3); },
                                10000));
    CloseAndExpectExit(program);
}

}  // namespace
