// The Windows program as a Windows user gets it, run under Wine on the test's own X server: the program alone in
// a folder with img\ beside it, recording a 196 Hz tone from a private PulseAudio server through Wine's own
// wave-input service; and the NSIS installer, its Start-menu shortcut and its uninstaller, and the ZIP.
// All runs share one Wine prefix (build/windows/wine-gui), whose server is started with this test's display.
#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <optional>
#include <set>

#include "TestAudio.h"
#include "U_FFTTunerConfig.h"
#include "U_FFTTunerDisplay.h"
#include "XvfbHarness.h"

namespace {

using namespace tuner_screen;

const QString Title = QStringLiteral("Tuner @ Zemtar");
const QString InfoTitle = QStringLiteral("Информация");
const QString Prefix = QStringLiteral(ZT_WINDOWS_BUILD_DIR "/wine-gui");
constexpr double ToneHz = 196.0;  // string 3

QProcessEnvironment WineEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("WINEPREFIX", Prefix);
    environment.insert("ZT_WINE_DISPLAY", xvfb::Display());
    return environment;
}

// Ends the prefix's Wine server (and every program in it), so that the next run starts one on this display.
void EndWineServer() { xvfb::Run("wineserver", {"-k"}, WineEnvironment(), 20000); }

// A Windows program (or a command of Wine's, such as start) under Wine with its windows on this test's display.
xvfb::Launch Wine(const QStringList& command, const QString& workingDirectory,
                  const QProcessEnvironment& extra = {}) {
    xvfb::Launch launch{ZT_WINE_RUN, QStringList{Prefix} + command, workingDirectory, WineEnvironment()};
    launch.environment.insert(extra);
    return launch;
}

class WineSuite : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        EndWineServer();
        const xvfb::Output boot = xvfb::Run(ZT_WINE_RUN, {Prefix, "--boot"}, WineEnvironment());
        ASSERT_EQ(boot.exitCode, 0) << boot.text.toStdString();
    }
    static void TearDownTestSuite() { EndWineServer(); }
};

// Closes the window as a window manager's close button does; the program must end with status 0.
void CloseAndExpectExit(QProcess& program, const QString& title = Title) {
    ASSERT_TRUE(xvfb::RequestClose(title));
    ASSERT_TRUE(program.waitForFinished(10000)) << "the program did not end within 10 s of the close request";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

// The program and its bitmaps alone in a fresh folder, as the ZIP or a copy would put them.
bool CopyProgram(const QString& folder, bool withImages) {
    bool ok = QFile::copy(ZT_WINDOWS_PROGRAM, folder + "/zemtar_tuner.exe");
    if (!withImages) return ok;
    ok = ok && QDir(folder).mkpath("img");
    for (const char* name : {"pointer.bmp", "division.bmp", "smallDivision.bmp"})
        ok = ok && QFile::copy(QStringLiteral(ZT_SOURCE_DIR "/img/") + name, folder + "/img/" + name);
    return ok;
}

// The window's grab once the timer has drawn the marks, or a null image after 30 s.
QImage WaitForMarks(const QRect& window) {
    QImage shot;
    const bool drawn = xvfb::WaitUntil([&] {
        shot = xvfb::Grab(window);
        return BlackTopColumns(shot) == ExpectedMarkColumns(5, 3);
    }, 30000);
    return drawn ? shot : QImage();
}

// Where a control of the window lies on the screen: window-relative layout positions.
QPoint At(const QRect& window, int x, int y) { return window.topLeft() + QPoint(x, y); }

using WindowsProgram = WineSuite;

TEST_F(WindowsProgram, RecordsAToneThroughWinesWaveInputOpensItsPagesAndTheCatalogueAndCloses) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(CopyProgram(dir.path(), true));
    // The sound: a private PulseAudio server whose default source is a pipe fed in real time.
    const std::string fifo = dir.filePath("tone.fifo").toStdString();
    test_audio::PulseServer server(dir.filePath("pulse").toStdString(), fifo);
    ASSERT_TRUE(server.Running());
    test_audio::PacedFeeder feeder(fifo, test_audio::MakeTone(ToneHz, 60.0, 20.897959183673468), true);
    // The browser hand-off: Wine's shell opens web pages with xdg-open, found on the path.
    ASSERT_TRUE(QDir(dir.path()).mkpath("bin"));
    const QString opened = dir.filePath("opened.txt");
    {
        QFile browser(dir.filePath("bin/xdg-open"));
        ASSERT_TRUE(browser.open(QIODevice::WriteOnly));
        browser.write(QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$*\" >>'%1'\n").arg(opened).toUtf8());
        browser.close();
        browser.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QProcessEnvironment extra;
    extra.insert("PULSE_SERVER", QString::fromStdString(server.Value("PULSE_SERVER")));
    extra.insert("PATH", dir.filePath("bin") + ":" + qEnvironmentVariable("PATH"));

    QProcess program;
    ASSERT_TRUE(xvfb::Start(program, Wine({dir.filePath("zemtar_tuner.exe")}, dir.path(), extra)));
    const std::optional<QRect> window = xvfb::WaitForWindow(Title, 60000);
    ASSERT_TRUE(window.has_value()) << "the window never appeared; windows: " << xvfb::ViewableTitles();
    EXPECT_EQ(window->size(), QSize(WindowWidth, WindowHeight));
    ASSERT_FALSE(WaitForMarks(*window).isNull()) << "no scale marks within 30 s";

    // String 3 (G, 196.0 Hz): the tone puts the pointer on the centre mark.
    ASSERT_TRUE(xvfb::Click(At(*window, 8 + 233 + 6, 8 + 24 + 8)));
    QImage shot;
    const int centre = CentreMarkX(BoxWidth, 5) + 2;
    const bool centred = xvfb::WaitUntil([&] {
        shot = xvfb::Grab(*window);
        const std::vector<int> navy = NavyColumns(shot);
        return GreenColumns(shot) > 100 && !navy.empty() && std::abs((navy.front() + navy.back()) / 2 - centre) <= 3;
    }, 30000);
    QDir().mkpath(ZT_WINDOWS_BUILD_DIR "/artifacts");
    shot.save(ZT_WINDOWS_BUILD_DIR "/artifacts/tuner_window_wine.png");
    ASSERT_TRUE(centred) << "the pointer is not on the centre mark; see artifacts/tuner_window_wine.png";
    EXPECT_EQ(xvfb::ViewableWindows().size(), 1u) << "windows: " << xvfb::ViewableTitles();

    // The Russian captions are legible, each where its control is (not boxes, not another alphabet), and the
    // label reads 196.0 Гц.
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans")});
    font.setPixelSize(11);
    font.setStyleStrategy(QFont::NoAntialias);  // Wine draws the window's texts without smoothing
    const struct {
        const char* text;
        QRect area;  // in the window, around the control
    } captions[] = {
        {"Выберите струну (нумерация струн - снизу)", {8, 0, 409, 24}},
        {"3 (G, 196.0 Гц)", {8 + 233, 8 + 22, 108, 21}},
        {"Отрегулируйте натяжение струны", {8, 168, 409, 24}},
        {"Справка", {8, 256, 75, 25}},
        {"Каталог песен, аккордов", {88, 256, 150, 25}},
        {"Закрыть", {341, 256, 75, 25}},
    };
    for (const auto& caption : captions)
        EXPECT_GT(xvfb::TextLikeness(shot, caption.area, QString::fromUtf8(caption.text), font), 0.95)
            << caption.text;
    const QRect label(8 + 8 - 2, 176 + 16 - 2, 393 + 4, 13 + 4);
    QString read;  // the best of the readings near the tone, with either decimal separator
    double best = 0;
    for (int tenths = 1950; tenths <= 1970; ++tenths)
        for (const QChar separator : {QLatin1Char('.'), QLatin1Char(',')}) {
            const QString text = QStringLiteral("%1 Гц").arg(tenths / 10.0, 0, 'f', 1).replace('.', separator);
            const double likeness = xvfb::TextLikeness(shot, label, text, font);
            if (likeness > best) best = likeness, read = text;
        }
    EXPECT_GT(best, 0.95) << read.toStdString();
    EXPECT_NEAR(QString(read).replace(',', '.').section(' ', 0, 0).toDouble(), ToneHz, 0.1) << read.toStdString();

    // Справка opens the information window.
    ASSERT_TRUE(xvfb::Click(At(*window, 8 + 37, 256 + 12)));
    EXPECT_TRUE(xvfb::WaitForWindow(InfoTitle, 20000).has_value()) << "windows: " << xvfb::ViewableTitles();
    EXPECT_TRUE(xvfb::RequestClose(InfoTitle));
    EXPECT_TRUE(xvfb::WaitUntil([] { return !xvfb::WaitForWindow(InfoTitle, 0).has_value(); }, 10000));

    // The catalogue button hands its page to the platform's browser.
    ASSERT_TRUE(xvfb::Click(At(*window, 88 + 75, 256 + 12)));
    QString url;
    EXPECT_TRUE(xvfb::WaitUntil([&] {
        QFile file(opened);
        url = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
        return !url.isEmpty();
    }, 20000)) << "no browser was started";
    EXPECT_EQ(url.toStdString(), "http://" ZT_CATALOGUE_HOST "/?from=tuner");

    CloseAndExpectExit(program);
}

// Without a sound server the window opens all the same and stays silent: no message box.
TEST_F(WindowsProgram, WithoutASoundServerOpensSilentlyAndCloses) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(CopyProgram(dir.path(), true));
    QProcessEnvironment extra;
    extra.insert("PULSE_SERVER", "unix:" + dir.filePath("no-server"));
    QProcess program;
    ASSERT_TRUE(xvfb::Start(program, Wine({dir.filePath("zemtar_tuner.exe")}, dir.path(), extra)));
    const std::optional<QRect> window = xvfb::WaitForWindow(Title, 60000);
    ASSERT_TRUE(window.has_value()) << "windows: " << xvfb::ViewableTitles();
    const QImage shot = WaitForMarks(*window);
    ASSERT_FALSE(shot.isNull());
    QThread::msleep(2000);  // time for the failed open and start to be reported, had they shown anything
    EXPECT_EQ(GreenColumns(xvfb::Grab(*window)), LevelBar(BoxWidth, 0).LastColumn + 1);  // level 0
    EXPECT_EQ(xvfb::ViewableWindows().size(), 1u) << "windows: " << xvfb::ViewableTitles();
    CloseAndExpectExit(program);
}

// Without img\ beside it the program shows the error box for the first bitmap, then its window.
TEST_F(WindowsProgram, WithoutItsImagesShowsTheErrorBoxThenItsWindow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(CopyProgram(dir.path(), false));
    QProcess program;
    ASSERT_TRUE(xvfb::Start(program, Wine({dir.filePath("zemtar_tuner.exe")}, dir.path())));
    std::optional<QString> box;
    ASSERT_TRUE(xvfb::WaitUntil([&] {
        for (const xvfb::Window& w : xvfb::ViewableWindows())
            if (w.title == "zemtar_tuner") box = w.title;  // the program file's name: the application's title
        return box.has_value();
    }, 60000)) << "no error box; windows: " << xvfb::ViewableTitles();
    ASSERT_TRUE(xvfb::RequestClose(*box));
    EXPECT_TRUE(xvfb::WaitForWindow(Title, 30000).has_value()) << "windows: " << xvfb::ViewableTitles();
    CloseAndExpectExit(program);
}

// Every file below `root`, relative to it.
std::set<QString> FilesUnder(const QString& root) {
    std::set<QString> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) files.insert(it.next().mid(root.size() + 1));
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
    const QString base = out.filePath("zemtar-tuner-" ZT_VERSION "-win64");
    ASSERT_TRUE(QFileInfo::exists(base + ".exe") && QFileInfo::exists(base + ".zip"));

    // The ZIP: the program's folder.
    const QString unzipped = out.filePath("zip");
    ASSERT_TRUE(QDir().mkpath(unzipped));
    const xvfb::Output unzip = xvfb::Run("cmake", {"-E", "chdir", unzipped, "cmake", "-E", "tar", "xf", base + ".zip"});
    ASSERT_EQ(unzip.exitCode, 0) << unzip.text.toStdString();
    const std::set<QString> folder = FilesUnder(unzipped + "/zemtar-tuner-" ZT_VERSION "-win64");
    const std::set<QString> expected = {"zemtar_tuner.exe", "img/pointer.bmp", "img/division.bmp",
                                        "img/smallDivision.bmp", "LICENSE.txt", "translations/qtbase_ru.qm",
                                        "licenses/Qt/NOTICE.txt", "licenses/Qt/LGPL-3.0-only.txt",
                                        "licenses/Qt/GPL-3.0-only.txt", "licenses/Qt/debian-copyright.txt"};
    for (const QString& file : expected) EXPECT_EQ(folder.count(file), 1u) << file.toStdString();

    const QString driveC = Prefix + "/drive_c";
    const QString installed = driveC + "/Program Files/Zemtar Tuner";
    const QString shortcut =
        driveC + "/ProgramData/Microsoft/Windows/Start Menu/Programs/Tuner @ Zemtar/Tuner @ Zemtar.lnk";
    ASSERT_FALSE(QFileInfo::exists(installed)) << "left over from an earlier run";
    const std::set<QString> before = FilesUnder(driveC);

    // Silent install: the folder holds exactly the ZIP's files and the uninstaller.
    const xvfb::Output install = xvfb::Run(ZT_WINE_RUN, {Prefix, base + ".exe", "/S"}, WineEnvironment());
    ASSERT_EQ(install.exitCode, 0) << install.text.toStdString();
    std::set<QString> withUninstaller = folder;
    withUninstaller.insert("Uninstall.exe");
    EXPECT_EQ(FilesUnder(installed), withUninstaller);
    ASSERT_TRUE(QFileInfo::exists(shortcut));

    // The shortcut, opened as the Start menu opens it, starts the program in its folder: all bitmaps found, no
    // error box. (Wine's start hands it to the shell and returns.)
    const xvfb::Output start = xvfb::Run(
        ZT_WINE_RUN,
        {Prefix, "start", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Tuner @ Zemtar\\Tuner @ Zemtar.lnk"},
        WineEnvironment());
    ASSERT_EQ(start.exitCode, 0) << start.text.toStdString();
    const std::optional<QRect> window = xvfb::WaitForWindow(Title, 60000);
    ASSERT_TRUE(window.has_value()) << "windows: " << xvfb::ViewableTitles();
    EXPECT_FALSE(WaitForMarks(*window).isNull());
    EXPECT_EQ(xvfb::ViewableWindows().size(), 1u) << "windows: " << xvfb::ViewableTitles();
    ASSERT_TRUE(xvfb::RequestClose(Title));
    // Wine names the program's process by its Windows path.
    ASSERT_TRUE(xvfb::WaitUntil([] { return xvfb::Run("pgrep", {"-f", "Zemtar Tuner.zemtar_tuner.exe"}).exitCode == 1; },
                                10000)) << "the program did not end within 10 s of the close request";

    // Silent uninstall: it goes on from a copy of itself, so wait for the folder to go.
    const xvfb::Output uninstall =
        xvfb::Run(ZT_WINE_RUN, {Prefix, installed + "/Uninstall.exe", "/S"}, WineEnvironment());
    ASSERT_EQ(uninstall.exitCode, 0) << uninstall.text.toStdString();
    EXPECT_TRUE(xvfb::WaitUntil([&] { return !QFileInfo::exists(installed); }, 30000));
    std::set<QString> left;
    for (const QString& file : FilesUnder(driveC))
        if (!before.count(file) && !file.contains("/Temp/")) left.insert(file);
    EXPECT_TRUE(left.empty()) << "left behind: " << QStringList(left.begin(), left.end()).join(", ").toStdString();
}

}  // namespace
