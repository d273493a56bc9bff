// Programs on a real X server for the tests of whole programs: the test process's own Xvfb, programs started
// on it with a given environment and working directory, its top-level windows, screen grabs, and readers of
// the tuner window's pixels. Target xvfb_harness; link xvfb_test_main in place of GTest::gtest_main, which
// starts the server before the first test and connects this process's Qt (xcb platform) to it.
// Call everything from the test thread. Under ThreadSanitizer no thread may start after this process (which
// Qt has made multi-threaded) has forked a program: start feeders and other threads before the first Start.
#pragma once

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <vector>

namespace xvfb {

// Starts Xvfb on a free display (-displayfd), screen 1024 x 768 at 24 bits, sets DISPLAY to it and creates
// this process's QGuiApplication on it. xvfb_test_main calls it before the first test; false on failure.
bool StartServer(int& argc, char** argv);
// Ends what StartServer began (the application object first, then the server).
void StopServer();

// For a program on an X server it did not start (the benchmark probe, on the display of DISPLAY): connects the
// window functions below to that server. False when it cannot connect.
bool AttachToDisplay();

// The server's display name, ":<number>".
QString Display();

struct Launch {
    QString program;                // path of the executable or script
    QStringList arguments;
    QString workingDirectory;       // empty: the test's own
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
};

// Starts launch.program on the server (DISPLAY and QT_QPA_PLATFORM=xcb are added to launch.environment), its
// output forwarded to the test's. False when it did not start within 10 s.
bool Start(QProcess& process, const Launch& launch);

// Ends a started program: SIGTERM, then SIGKILL after 5 s.
void Stop(QProcess& process);

struct Window {
    QString title;   // _NET_WM_NAME, or WM_NAME when that is missing
    QRect geometry;  // on the screen (no window manager runs, so there are no frames)
};

// The mapped top-level windows, bottom to top.
std::vector<Window> ViewableWindows();

// Waits up to timeoutMs for a mapped top-level window with this title and returns where it is.
std::optional<QRect> WaitForWindow(const QString& title, int timeoutMs);

// Asks the mapped top-level window with this title to close, as a window manager's close button does
// (WM_DELETE_WINDOW). False when there is no such window.
bool RequestClose(const QString& title);

// The first image of the window's _NET_WM_ICON (the icon a task bar shows); null when it has none.
QImage WindowIcon(const QString& title);

// The screen's pixels in `area`, grabbed through Qt from the root window.
QImage Grab(const QRect& area);

// Calls done() every 100 ms (Qt's events processed in between) until it is true or timeoutMs pass.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs);

}  // namespace xvfb

// The tuner window's display as it appears on the screen, read from a grab of the whole window.
namespace tuner_screen {

constexpr int WindowWidth = 423, WindowHeight = 289;
constexpr int BoxWidth = 393;  // both paint boxes
// Top-left corners of the two paint boxes in the window (group box offset plus box offset).
constexpr int LevelLeft = 8 + 8, LevelTop = 104 + 23;
constexpr int ScaleLeft = 8 + 8, ScaleTop = 176 + 39;
constexpr int ScaleHeight = 20;

const QRgb Green = qRgb(0, 255, 0);  // level bar below its red end
const QRgb Navy = qRgb(0, 0, 160);   // the pointer
const QRgb Black = qRgb(0, 0, 0);    // the scale marks

// Columns of the level bar that are green on its row 10.
int GreenColumns(const QImage& window);

// Columns of the scale box with a navy pixel in any row, in ascending order.
std::vector<int> NavyColumns(const QImage& window);

// Columns of the scale box whose top row is black, in ascending order: where the marks are drawn.
std::vector<int> BlackTopColumns(const QImage& window);

// Where the marks' top rows belong for mark bitmaps of these widths (the top row of each is solid): the
// centre mark and three side marks on either side, by the window's own display arithmetic.
std::vector<int> ExpectedMarkColumns(int divisionWidthPx, int smallDivisionWidthPx);

}  // namespace tuner_screen
