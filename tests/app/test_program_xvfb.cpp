// The real program on a real X server (Xvfb) with the ALSA layer recording a tone in real time: the window
// appears, and a screenshot shows the level bar and the pointer where the tone puts them.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>

#include "TestAudio.h"
#include "U_FFTTunerAnalysis.h"
#include "U_FFTTunerConfig.h"
#include "U_FFTTunerDisplay.h"

namespace {

constexpr double ToneHz = 340.0;     // a little sharp of string 1 (329.63 Hz), the string selected at start
constexpr double ToneAmplitude = 100.0;

// Window-relative positions of the two paint boxes (group box offset plus box offset).
constexpr int LevelLeft = 8 + 8, LevelTop = 104 + 23;
constexpr int ScaleLeft = 8 + 8, ScaleTop = 176 + 39;
constexpr int BoxWidth = 393;

const QRgb Green = qRgb(0, 255, 0);
const QRgb Navy = qRgb(0, 0, 160);

class XServer {
public:
    bool Start() {
        // Xvfb picks a free display number and writes it to the given descriptor.
        process.setProgram("Xvfb");
        process.setArguments({"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        process.start();
        if (!process.waitForStarted(10000)) return false;
        QByteArray out;
        for (int i = 0; i < 100 && !out.contains('\n'); ++i) {
            process.waitForReadyRead(100);
            out += process.readAllStandardOutput();
        }
        bool ok = false;
        const int number = out.trimmed().toInt(&ok);
        if (!ok) return false;
        display = QStringLiteral(":%1").arg(number);
        return true;
    }
    ~XServer() {
        process.terminate();
        process.waitForFinished(5000);
    }
    QProcess process;
    QString display;
};

QString Run(const QString& program, const QStringList& args, const QString& display) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", display);
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The tuner window's top-left corner on the screen, once it is mapped.
std::optional<QPoint> FindWindow(const QString& display) {
    const QString info = Run("xwininfo", {"-name", "Tuner @ Zemtar"}, display);
    const auto x = QRegularExpression("Absolute upper-left X:\\s+(-?\\d+)").match(info);
    const auto y = QRegularExpression("Absolute upper-left Y:\\s+(-?\\d+)").match(info);
    if (!x.hasMatch() || !y.hasMatch() || !info.contains("IsViewable")) return std::nullopt;
    return QPoint(x.captured(1).toInt(), y.captured(1).toInt());
}

QImage Screenshot(const QString& display, const QString& path) {
    Run("import", {"-window", "root", path}, display);
    return QImage(path);
}

int CountGreenColumns(const QImage& shot, QPoint origin) {
    int n = 0;
    for (int x = 0; x < BoxWidth; ++x)
        if (shot.pixel(origin.x() + LevelLeft + x, origin.y() + LevelTop + 10) == Green) ++n;
    return n;
}

std::vector<int> NavyColumns(const QImage& shot, QPoint origin) {
    std::vector<int> xs;
    for (int x = 0; x < BoxWidth; ++x)
        for (int y = 0; y < 20; ++y)
            if (shot.pixel(origin.x() + ScaleLeft + x, origin.y() + ScaleTop + y) == Navy) {
                xs.push_back(x);
                break;
            }
    return xs;
}

TEST(ProgramUnderXvfb, ShowsTheLevelBarAndThePointerForAPacedTone) {
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

    XServer x;
    ASSERT_TRUE(x.Start()) << "Xvfb did not start";
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", x.display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("ALSA_CONFIG_PATH", QString::fromStdString(config));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(ZT_SOURCE_DIR);
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(ZT_PROGRAM, {});
    ASSERT_TRUE(program.waitForStarted(10000));

    QDir().mkpath(ZT_ARTIFACTS_DIR);
    const QString shotPath = QStringLiteral(ZT_ARTIFACTS_DIR "/tuner_xvfb.png");
    std::optional<QPoint> origin;
    QImage shot;
    bool drawn = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline && program.state() == QProcess::Running) {
        if (!origin) origin = FindWindow(x.display);
        if (origin) {
            shot = Screenshot(x.display, shotPath);
            if (!shot.isNull() && CountGreenColumns(shot, *origin) > 100 && !NavyColumns(shot, *origin).empty()) {
                // One more tick, so the picture is a settled one.
                QThread::msleep(600);
                shot = Screenshot(x.display, shotPath);
                drawn = true;
                break;
            }
        }
        QThread::msleep(200);
    }
    ASSERT_TRUE(origin.has_value()) << "the window never appeared";
    ASSERT_TRUE(drawn) << "no level bar and pointer within 30 s; last screenshot in " << shotPath.toStdString();
    shot.copy(QRect(*origin, QSize(423, 289))).save(QStringLiteral(ZT_ARTIFACTS_DIR "/tuner_window.png"));

    // Level bar: the block's peak, within a column or two of what the reference block gives.
    EXPECT_NEAR(CountGreenColumns(shot, *origin), levelColumns, 3);
    // Pointer: centred on the tone's deviation from string 1.
    const std::vector<int> navy = NavyColumns(shot, *origin);
    ASSERT_FALSE(navy.empty());
    EXPECT_NEAR((navy.front() + navy.back()) / 2.0, pointerCentre, 3.0);
    EXPECT_GT(pointerCentre, 196);  // sharp: right of the centre mark

    program.terminate();
    program.waitForFinished(5000);
}

}  // namespace
