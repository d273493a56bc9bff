// The Windows program as a Windows user gets it, run under Wine on the test's own X server: the program alone in
// a folder (with or without img\ beside it), recording a 196 Hz tone from a private PulseAudio server through
// Wine's own wave-input service, or with no sound server; and the NSIS installer, its Start-menu shortcut, its
// uninstaller, and the ZIP. One Wine prefix (build/windows/wine-gui), its server started with this display.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <optional>
#include <set>

#include "TestAudio.h"
#include "U_FFTTunerDisplay.h"
#include "XvfbHarness.h"

namespace {

using namespace tuner_screen;

const QString Title = QStringLiteral("Tuner @ Zemtar");
const QString Prefix = QStringLiteral(ZT_WINDOWS_BUILD_DIR "/wine-gui");
constexpr double ToneHz = 196.0;  // string 3

QProcessEnvironment WineEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("WINEPREFIX", Prefix);
    environment.insert("ZT_WINE_DISPLAY", xvfb::Display());
    return environment;
}

xvfb::Output Wine(const QStringList& command) { return xvfb::Run(ZT_WINE_RUN, QStringList{Prefix} + command, WineEnvironment()); }

// Each suite starts and ends the prefix's Wine server, so that it runs on this test's display.
class WineSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        xvfb::Run("wineserver", {"-k"}, WineEnvironment(), 20000);
        const xvfb::Output boot = Wine({"--boot"});
        ASSERT_EQ(boot.exitCode, 0) << boot.text.toStdString();
    }
    static void TearDownTestSuite() { xvfb::Run("wineserver", {"-k"}, WineEnvironment(), 20000); }
};

// The window's grab once the timer has drawn the marks, or a null image after 30 s.
QImage WaitForMarks(const QRect& window) {
    QImage shot;
    return xvfb::WaitUntil([&] { return BlackTopColumns(shot = xvfb::Grab(window)) == ExpectedMarkColumns(5, 3); },
                           30000) ? shot : QImage();
}

// The texts of the window with the pointer on 196 Hz and string 3 selected: the Russian captions legible where
// their controls are (not boxes, not another alphabet; Wine draws them unsmoothed) and the label 196.0 Гц.
void ExpectTexts(const QImage& shot) {
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans")});
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias);
    const struct { const char* text; QRect area; } captions[] = {  // areas in the window, around the controls
        {"Выберите струну (нумерация струн - снизу)", {8, 0, 409, 24}}, {"3 (G, 196.0 Гц)", {241, 30, 108, 21}},
        {"Отрегулируйте натяжение струны", {8, 168, 409, 24}}, {"Справка", {8, 256, 75, 25}},
        {"Каталог песен, аккордов", {88, 256, 150, 25}}, {"Закрыть", {341, 256, 75, 25}}};
    for (const auto& caption : captions)
        EXPECT_GT(xvfb::TextLikeness(shot, caption.area, QString::fromUtf8(caption.text), font), 0.95) << caption.text;
    QString read;  // the best of the readings near the tone, with either decimal separator
    double best = 0;
    for (int tenths = 1950; tenths <= 1970; ++tenths)
        for (const QChar separator : {QLatin1Char('.'), QLatin1Char(',')}) {
            const QString text = QStringLiteral("%1 Гц").arg(tenths / 10.0, 0, 'f', 1).replace('.', separator);
            if (const double likeness = xvfb::TextLikeness(shot, {14, 190, 397, 17}, text, font); likeness > best)
                best = likeness, read = text;
        }
    EXPECT_GT(best, 0.95) << read.toStdString();
    EXPECT_NEAR(QString(read).replace(',', '.').section(' ', 0, 0).toDouble(), ToneHz, 0.1) << read.toStdString();
}

enum class Case { Tone, NoSoundServer, NoImages };

class WindowsProgram : public WineSuite, public ::testing::WithParamInterface<Case> {};

// The program alone in a folder: with the tone it shows it and its pages and hands the catalogue to the browser;
// with no sound server it opens silently (no box); without img\ the error box for the first bitmap comes first.
// Every run ends with a close request and exit status 0.
TEST_P(WindowsProgram, RunsFromAFolderOfItsOwnAndClosesWithStatusZero) {
    const Case run = GetParam();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(QFile::copy(ZT_WINDOWS_PROGRAM, dir.filePath("zemtar_tuner.exe")));
    for (const char* name : {"pointer.bmp", "division.bmp", "smallDivision.bmp"})
        ASSERT_TRUE(run == Case::NoImages || (QDir(dir.path()).mkpath("img") &&
                    QFile::copy(QStringLiteral(ZT_SOURCE_DIR "/img/") + name, dir.filePath("img/") + name)));
    xvfb::Launch launch{ZT_WINE_RUN, {Prefix, dir.filePath("zemtar_tuner.exe")}, dir.path(), WineEnvironment()};
    // The sound: a private PulseAudio server whose default source is a pipe fed in real time, or none at all.
    const std::string fifo = dir.filePath("tone.fifo").toStdString();
    test_audio::PulseServer server(dir.filePath("pulse").toStdString(), fifo);
    ASSERT_TRUE(server.Running());
    test_audio::PacedFeeder feeder(fifo, test_audio::MakeTone(ToneHz, 60.0, 20.897959183673468), true);
    launch.environment.insert("PULSE_SERVER", run == Case::Tone ? QString::fromStdString(server.Value("PULSE_SERVER"))
                                                               : "unix:" + dir.filePath("no-server"));
    // The browser: Wine's shell opens web pages with xdg-open, found on the path.
    const QString opened = dir.filePath("opened.txt");
    QFile browser(dir.filePath("xdg-open"));
    ASSERT_TRUE(browser.open(QIODevice::WriteOnly));
    browser.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >>'%1'\n").arg(opened).toUtf8());
    browser.close();
    browser.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    launch.environment.insert("PATH", dir.path() + ":" + qEnvironmentVariable("PATH"));

    QProcess program;
    ASSERT_TRUE(xvfb::Start(program, launch));
    if (run == Case::NoImages) {
        ASSERT_TRUE(xvfb::WaitForWindow("zemtar_tuner", 60000).has_value()) << "no error box; windows: " << xvfb::ViewableTitles();
        ASSERT_TRUE(xvfb::RequestClose("zemtar_tuner"));  // the box, captioned with the program file's name
    }
    const std::optional<QRect> window = xvfb::WaitForWindow(Title, 60000);
    ASSERT_TRUE(window.has_value()) << "windows: " << xvfb::ViewableTitles();
    EXPECT_EQ(window->size(), QSize(WindowWidth, WindowHeight));
    if (run != Case::NoImages) ASSERT_FALSE(WaitForMarks(*window).isNull()) << "no scale marks within 30 s";
    if (run == Case::NoSoundServer) {
        QThread::msleep(2000);  // time for the failed open and start to be reported, had they shown anything
        EXPECT_EQ(GreenColumns(xvfb::Grab(*window)), LevelBar(BoxWidth, 0).LastColumn + 1);  // level 0
    }
    if (run == Case::Tone) {
        // String 3 (G, 196.0 Hz) clicked: the tone puts the pointer on the centre mark.
        ASSERT_TRUE(xvfb::Click(window->topLeft() + QPoint(247, 40)));
        QImage shot;
        const bool centred = xvfb::WaitUntil([&] {
            const std::vector<int> navy = NavyColumns(shot = xvfb::Grab(*window));
            return GreenColumns(shot) > 100 && !navy.empty() &&
                   std::abs((navy.front() + navy.back()) / 2 - CentreMarkX(BoxWidth, 5) - 2) <= 3;
        }, 30000);
        QDir().mkpath(ZT_WINDOWS_BUILD_DIR "/artifacts");
        shot.save(ZT_WINDOWS_BUILD_DIR "/artifacts/tuner_window_wine.png");
        ASSERT_TRUE(centred) << "the pointer is not on the centre mark; see artifacts/tuner_window_wine.png";
        ExpectTexts(shot);
        // Справка opens the information window; the catalogue button hands its page to the browser.
        ASSERT_TRUE(xvfb::Click(window->topLeft() + QPoint(45, 268)));
        EXPECT_TRUE(xvfb::WaitForWindow("Информация", 20000).has_value()) << "windows: " << xvfb::ViewableTitles();
        EXPECT_TRUE(xvfb::RequestClose("Информация"));
        EXPECT_TRUE(xvfb::WaitUntil([] { return xvfb::ViewableWindows().size() == 1; }, 10000));
        ASSERT_TRUE(xvfb::Click(window->topLeft() + QPoint(163, 268)));
        QString url;
        EXPECT_TRUE(xvfb::WaitUntil([&] {
            QFile file(opened);
            return !(url = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : "").isEmpty();
        }, 20000)) << "no browser was started";
        EXPECT_EQ(url.toStdString(), "http://" ZT_CATALOGUE_HOST "/?from=tuner");
    }
    EXPECT_EQ(xvfb::ViewableWindows().size(), 1u) << "windows: " << xvfb::ViewableTitles();
    ASSERT_TRUE(xvfb::RequestClose(Title));
    ASSERT_TRUE(program.waitForFinished(10000)) << "the program did not end within 10 s of the close request";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

INSTANTIATE_TEST_SUITE_P(Case, WindowsProgram, ::testing::Values(Case::Tone, Case::NoSoundServer, Case::NoImages),
                         [](const ::testing::TestParamInfo<Case>& run) {
                             return std::string(run.param == Case::Tone ? "Tone" : run.param == Case::NoSoundServer
                                                                                      ? "NoSoundServer" : "NoImages");
                         });

// Every file below `root`, relative to it.
std::set<QString> FilesUnder(const QString& root) {
    std::set<QString> files;
    for (QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories); it.hasNext();)
        files.insert(it.next().mid(root.size() + 1));
    return files;
}

using WindowsInstaller = WineSuite;

TEST_F(WindowsInstaller, InstallsSilentlyStartsFromItsShortcutAndUninstallsWithoutATrace) {
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    for (const char* generator : {"NSIS", "ZIP"}) {
        const xvfb::Output cpack = xvfb::Run(
            ZT_CPACK, {"-G", generator, "--config", ZT_WINDOWS_BUILD_DIR "/CPackConfig.cmake", "-B", out.path()});
        ASSERT_EQ(cpack.exitCode, 0) << cpack.text.toStdString();
    }
    // The ZIP: the program's folder.
    const QString base = out.filePath("zemtar-tuner-" ZT_VERSION "-win64");
    const xvfb::Output unzip = xvfb::Run("cmake", {"-E", "chdir", out.path(), "cmake", "-E", "tar", "xf", base + ".zip"});
    ASSERT_EQ(unzip.exitCode, 0) << unzip.text.toStdString();
    const std::set<QString> folder = FilesUnder(base);
    for (const char* file : {"zemtar_tuner.exe", "img/pointer.bmp", "img/division.bmp", "img/smallDivision.bmp",
                             "LICENSE.txt", "translations/qtbase_ru.qm", "licenses/Qt/NOTICE.txt",
                             "licenses/Qt/LGPL-3.0-only.txt", "licenses/Qt/GPL-3.0-only.txt",
                             "licenses/Qt/debian-copyright.txt"})
        EXPECT_EQ(folder.count(file), 1u) << file;

    // Silent install: the folder holds exactly the ZIP's files and the uninstaller; a Start-menu shortcut.
    const QString driveC = Prefix + "/drive_c", installed = driveC + "/Program Files/Zemtar Tuner";
    ASSERT_FALSE(QFileInfo::exists(installed)) << "left over from an earlier run";
    const std::set<QString> before = FilesUnder(driveC);
    const xvfb::Output install = Wine({base + ".exe", "/S"});
    ASSERT_EQ(install.exitCode, 0) << install.text.toStdString();
    std::set<QString> withUninstaller = folder;
    withUninstaller.insert("Uninstall.exe");
    EXPECT_EQ(FilesUnder(installed), withUninstaller);
    const char* shortcut = "ProgramData/Microsoft/Windows/Start Menu/Programs/Tuner @ Zemtar/Tuner @ Zemtar.lnk";
    ASSERT_TRUE(QFileInfo::exists(driveC + "/" + shortcut));

    // The shortcut, opened as the Start menu opens it (Wine's start hands it to the shell and returns), starts
    // the program in its folder: all bitmaps found, no error box.
    const xvfb::Output start = Wine({"start", "C:\\" + QString::fromLatin1(shortcut).replace('/', '\\')});
    ASSERT_EQ(start.exitCode, 0) << start.text.toStdString();
    const std::optional<QRect> window = xvfb::WaitForWindow(Title, 60000);
    ASSERT_TRUE(window.has_value()) << "windows: " << xvfb::ViewableTitles();
    EXPECT_FALSE(WaitForMarks(*window).isNull());
    EXPECT_EQ(xvfb::ViewableWindows().size(), 1u) << "windows: " << xvfb::ViewableTitles();
    ASSERT_TRUE(xvfb::RequestClose(Title));
    ASSERT_TRUE(xvfb::WaitUntil([] { return xvfb::Run("pgrep", {"-f", "^C:.*Zemtar Tuner.zemtar_tuner\\.exe"}).exitCode == 1; },
                                10000)) << "the program (named by its Windows path) did not end within 10 s";

    // Silent uninstall: it goes on from a copy of itself, so wait for the folder to go; nothing is left.
    const xvfb::Output uninstall = Wine({installed + "/Uninstall.exe", "/S"});
    ASSERT_EQ(uninstall.exitCode, 0) << uninstall.text.toStdString();
    EXPECT_TRUE(xvfb::WaitUntil([&] { return !QFileInfo::exists(installed); }, 30000));
    QStringList left;
    for (const QString& file : FilesUnder(driveC))
        if (!before.count(file) && !file.contains("/Temp/")) left << file;
    EXPECT_TRUE(left.isEmpty()) << "left behind: " << left.join(", ").toStdString();
}

}  // namespace
