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
//       request follows one second later.
// Prints "none" in place of a time that was not seen within 10 s.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QThread>

#include <xcb/xcb.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

namespace {

constexpr int kPatienceMs = 10000;
const char* const kTitle = "Tuner @ Zemtar";

struct Window {
    QScreen* screen;
    QPoint origin;  // the window's top-left corner, centred on the primary screen
};

Window TunerWindow()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return {screen, screen->availableGeometry().center() - QPoint(423 / 2, 289 / 2)};
}

bool FirstTickDrawn(const Window& w)
{
    const QPoint probe = w.origin + QPoint(16, 127);
    const QImage pixel = w.screen->grabWindow(0, probe.x(), probe.y(), 1, 1).toImage();
    return !pixel.isNull() && pixel.pixel(0, 0) == qRgb(0, 255, 0);
}

bool PointerShown(const Window& w)
{
    const QPoint box = w.origin + QPoint(16, 215);
    const QImage strip = w.screen->grabWindow(0, box.x(), box.y(), 393, 20).toImage();
    for (int y = 0; y < strip.height(); ++y)
        for (int x = 0; x < strip.width(); ++x)
            if (strip.pixel(x, y) == qRgb(0, 0, 160))
                return true;
    return false;
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

using Reply = std::unique_ptr<void, decltype(&std::free)>;

// The mapped top-level window with the tuner's title on connection c; 0 when there is none.
xcb_window_t FindTuner(xcb_connection_t* c)
{
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    auto* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    Reply treeOwner(tree, &std::free);
    for (int i = 0; tree != nullptr && i < xcb_query_tree_children_length(tree); ++i) {
        const xcb_window_t w = xcb_query_tree_children(tree)[i];
        auto* attributes = xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
        Reply attributesOwner(attributes, &std::free);
        if (attributes == nullptr || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
            continue;
        auto* name =
            xcb_get_property_reply(c, xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 0, 64), nullptr);
        Reply nameOwner(name, &std::free);
        if (name != nullptr && std::string(static_cast<const char*>(xcb_get_property_value(name)),
                                           static_cast<std::size_t>(xcb_get_property_value_length(name))) == kTitle)
            return w;
    }
    return 0;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name)
{
    auto* reply = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name),
                                        nullptr);
    Reply owner(reply, &std::free);
    return reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// Sends WM_DELETE_WINDOW to the tuner's window, as a window manager's close button does.
bool RequestClose(xcb_connection_t* c)
{
    const xcb_window_t w = FindTuner(c);
    if (w == 0)
        return false;
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = w;
    event.type = Atom(c, "WM_PROTOCOLS");
    event.data.data32[0] = Atom(c, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    return xcb_flush(c) > 0;
}

// Requests the close and returns "<ms> <exit code>" once the program has ended.
std::string CloseAndTime(xcb_connection_t* c, QProcess& program)
{
    QElapsedTimer clock;
    clock.start();
    if (!RequestClose(c))
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
                             "close AFTER_MS [KILL_PID]\n");
        return 2;
    }
    const QString mode = QString::fromLocal8Bit(argv[3]);
    const Window window = TunerWindow();
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
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
        std::printf("%lld %s\n", static_cast<long long>(pid), Ms(WaitFor(clock, [&] { return FirstTickDrawn(window); })).c_str());
        return 0;
    }
    program.start();
    if (!program.waitForStarted(kPatienceMs))
        return 1;
    if (mode == "first-estimate") {
        std::printf("%s\n", Ms(WaitFor(clock, [&] { return PointerShown(window); })).c_str());
        CloseAndTime(c, program);
        return 0;
    }
    if (mode == "close" && argc >= 5) {
        const qint64 after = std::atoll(argv[4]);
        if (argc >= 6) {
            WaitFor(clock, [&] { return PointerShown(window); });
            ::kill(static_cast<pid_t>(std::atoll(argv[5])), SIGKILL);
            QThread::msleep(1000);
        } else {
            // A close request before the window is mapped would go nowhere: the earliest is at its mapping.
            WaitFor(clock, [&] { return FindTuner(c) != 0; });
            while (clock.elapsed() < after)
                QThread::usleep(1000);
        }
        std::printf("%s\n", CloseAndTime(c, program).c_str());
        return 0;
    }
    program.kill();
    return 2;
}
