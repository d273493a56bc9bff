// Starts the tuner on the X display of DISPLAY and times what its user waits for. The window opens centred on
// the primary screen; the probe watches its pixels through Qt and closes it as a window manager would.
//   probe_program PROGRAM WORKING_DIRECTORY first-tick
//       "<pid> <ms>": start to the first drawn tick (the level bar's first column turns green); the program is
//       left running, for the caller to measure and end.
//   probe_program PROGRAM WORKING_DIRECTORY first-estimate
//       "<ms>": start to the first estimate on the screen (the pointer appears on the scale); then closes it.
//   probe_program PROGRAM WORKING_DIRECTORY close AFTER_MS [KILL_PID]
//       "<ms> <exit code>": from a close request AFTER_MS after the start to the end of the process. With
//       KILL_PID, once the pointer is shown that process (the sound server) is killed first, and the close
//       request follows AFTER_MS after that.
//   probe_program PROGRAM WORKING_DIRECTORY return KILL_PID RESTART_COMMAND
//       "<ms>": once the pointer is shown (a tone sharp of string 1), kills KILL_PID (the sound server), runs the
//       shell command RESTART_COMMAND 1.5 s later (it starts the server again and plays a tone flat of string 1,
//       and returns once the server answers), and times from its return to the pointer's move left of the
//       scale's middle; then closes the program.
// Prints "none" in place of a time that was not seen within 10 s.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "XvfbHarness.h"

namespace {

constexpr int kPatienceMs = 10000;
const QString kTitle = QStringLiteral("Tuner @ Zemtar");

struct Window {
    QScreen* screen;
    QPoint origin;  // the window's top-left corner: centred on the primary screen until it is found
    bool found = false;
};

// Where the window really is once it is mapped (under Wine it sits lower: it is centred with a title bar that no
// window manager draws here).
bool Locate(Window& w)
{
    for (const xvfb::Window& mapped : w.found ? std::vector<xvfb::Window>() : xvfb::ViewableWindows())
        if (mapped.title == kTitle)
            w.origin = mapped.geometry.topLeft(), w.found = true;
    return w.found;
}

Window TunerWindow()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return {screen, screen->availableGeometry().center() -
                        QPoint(tuner_screen::WindowWidth / 2, tuner_screen::WindowHeight / 2)};
}

bool FirstTickDrawn(const Window& w)
{
    const QPoint probe = w.origin + QPoint(tuner_screen::LevelLeft, tuner_screen::LevelTop);
    const QImage pixel = w.screen->grabWindow(0, probe.x(), probe.y(), 1, 1).toImage();
    return !pixel.isNull() && pixel.pixel(0, 0) == tuner_screen::Green;
}

// The pointer's leftmost and rightmost columns in the scale box; -1 -1 when it is not shown.
std::pair<int, int> PointerColumns(const Window& w)
{
    const QPoint box = w.origin + QPoint(tuner_screen::ScaleLeft, tuner_screen::ScaleTop);
    const QImage strip =
        w.screen->grabWindow(0, box.x(), box.y(), tuner_screen::BoxWidth, tuner_screen::ScaleHeight).toImage();
    std::pair<int, int> columns{-1, -1};
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < strip.width(); ++x)
            if (strip.pixel(x, y) == tuner_screen::Navy) {
                columns.first = columns.first < 0 ? x : std::min(columns.first, x);
                columns.second = std::max(columns.second, x);
            }
    return columns;
}

bool PointerShown(const Window& w) { return PointerColumns(w).first >= 0; }

bool PointerLeftOfMiddle(const Window& w)
{
    const auto [left, right] = PointerColumns(w);
    return left >= 0 && left + right < tuner_screen::BoxWidth;
}

// Milliseconds of `clock` when done() first holds, polling every 2 ms; -1 after kPatienceMs more.
qint64 WaitFor(const QElapsedTimer& clock, const std::function<bool()>& done)
{
    const qint64 deadline = clock.elapsed() + kPatienceMs;
    while (clock.elapsed() < deadline) {
        if (done())
            return clock.elapsed();
        QThread::usleep(2000);
    }
    return -1;
}

std::string Ms(qint64 ms) { return ms < 0 ? "none" : std::to_string(ms); }

// Requests the close and returns "<ms> <exit code>" once the program has ended.
std::string CloseAndTime(QProcess& program)
{
    QElapsedTimer clock;
    clock.start();
    if (!xvfb::RequestClose(kTitle))
        return "none none";
    if (!program.waitForFinished(kPatienceMs))
        return "none none";
    return std::to_string(clock.elapsed()) + " " + std::to_string(program.exitCode());
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication application(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: probe_program PROGRAM WORKING_DIRECTORY first-tick | first-estimate | "
                             "close AFTER_MS [KILL_PID] | return KILL_PID RESTART_COMMAND\n");
        return 2;
    }
    const QString mode = QString::fromLocal8Bit(argv[3]);
    Window window = TunerWindow();
    if (!xvfb::AttachToDisplay())
        return 1;
    QProcess program;
    program.setProgram(QString::fromLocal8Bit(argv[1]));
    program.setWorkingDirectory(QString::fromLocal8Bit(argv[2]));
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();

    if (mode == "first-tick") {
        qint64 pid = 0;
        if (!program.startDetached(&pid))
            return 1;
        std::printf("%lld %s\n", static_cast<long long>(pid), Ms(WaitFor(clock, [&] { return Locate(window) && FirstTickDrawn(window); })).c_str());
        return 0;
    }
    program.start();
    if (!program.waitForStarted(kPatienceMs))
        return 1;
    if (mode == "first-estimate") {
        std::printf("%s\n", Ms(WaitFor(clock, [&] { return Locate(window) && PointerShown(window); })).c_str());
        CloseAndTime(program);
        return 0;
    }
    if (mode == "return" && argc >= 6) {
        WaitFor(clock, [&] { return PointerShown(window); });
        ::kill(static_cast<pid_t>(std::atoll(argv[4])), SIGKILL);
        QThread::msleep(1500);
        if (std::system(argv[5]) != 0)
            std::fprintf(stderr, "probe_program: the restart command failed\n");
        QElapsedTimer sinceReturn;
        sinceReturn.start();
        std::printf("%s\n", Ms(WaitFor(sinceReturn, [&] { return PointerLeftOfMiddle(window); })).c_str());
        CloseAndTime(program);
        return 0;
    }
    if (mode == "close" && argc >= 5) {
        const qint64 after = std::atoll(argv[4]);
        if (argc >= 6) {
            WaitFor(clock, [&] { return PointerShown(window); });
            ::kill(static_cast<pid_t>(std::atoll(argv[5])), SIGKILL);
            QThread::msleep(static_cast<unsigned long>(after));
        } else {
            // A close request before the window is mapped would go nowhere: the earliest is at its mapping.
            WaitFor(clock, [] {
                const std::vector<xvfb::Window> windows = xvfb::ViewableWindows();
                return std::any_of(windows.begin(), windows.end(),
                                   [](const xvfb::Window& w) { return w.title == kTitle; });
            });
            while (clock.elapsed() < after)
                QThread::usleep(1000);
        }
        std::printf("%s\n", CloseAndTime(program).c_str());
        return 0;
    }
    program.kill();
    return 2;
}
