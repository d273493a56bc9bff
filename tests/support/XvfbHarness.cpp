#include "XvfbHarness.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "U_FFTTunerDisplay.h"

namespace xvfb {

namespace {

// Replies of xcb are malloc'ed; this frees them.
template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

template <typename T>
Reply<T> Own(T* reply) { return Reply<T>(reply, &std::free); }

// The server and what this process holds on it: Qt's application object (for the grabs) and a connection
// of its own, for what Qt does not offer: other programs' windows.
struct Server {
    QProcess xvfb;
    QString display;
    std::unique_ptr<QGuiApplication> application;
    xcb_connection_t* connection = nullptr;
};

Server& TheServer() {
    static Server server;
    return server;
}

xcb_connection_t* Connection() { return TheServer().connection; }

xcb_window_t Root(xcb_connection_t* c) { return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root; }

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    auto reply = Own(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name),
                                           nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

// The property's bytes, or nothing when the window lacks it.
QByteArray Property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property, xcb_atom_t type) {
    auto reply = Own(xcb_get_property_reply(c, xcb_get_property(c, 0, w, property, type, 0, 1u << 22), nullptr));
    if (!reply || reply->type == XCB_ATOM_NONE) return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(reply.get())),
                      xcb_get_property_value_length(reply.get()));
}

QString Title(xcb_connection_t* c, xcb_window_t w) {
    const QByteArray utf8 = Property(c, w, Atom(c, "_NET_WM_NAME"), Atom(c, "UTF8_STRING"));
    if (!utf8.isEmpty()) return QString::fromUtf8(utf8);
    return QString::fromLatin1(Property(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING));
}

struct Found {
    xcb_window_t id;
    Window window;
};

std::vector<Found> Viewable() {
    std::vector<Found> found;
    xcb_connection_t* c = Connection();
    if (c == nullptr || xcb_connection_has_error(c)) return found;
    auto tree = Own(xcb_query_tree_reply(c, xcb_query_tree(c, Root(c)), nullptr));
    if (!tree) return found;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const xcb_window_t w = children[i];
        auto attributes = Own(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr));
        if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) continue;
        auto geometry = Own(xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
        if (!geometry) continue;
        const QRect where(geometry->x, geometry->y, geometry->width, geometry->height);
        // Off the screen altogether, it is no window a user sees (Wine keeps a 1 x 1 helper at -1, -1).
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        if (!where.intersects(QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels))) continue;
        found.push_back({w, {Title(c, w), where}});
    }
    return found;
}

}  // namespace

bool StartServer(int& argc, char** argv) {
    Server& s = TheServer();
    // Xvfb picks a free display number and writes it to the given descriptor.
    s.xvfb.setProgram(QStringLiteral("Xvfb"));
    s.xvfb.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                         QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                         QStringLiteral("tcp")});
    s.xvfb.setProcessChannelMode(QProcess::SeparateChannels);
    s.xvfb.start();
    if (!s.xvfb.waitForStarted(10000)) return false;
    QByteArray out;
    for (int i = 0; i < 100 && !out.contains('\n'); ++i) {
        s.xvfb.waitForReadyRead(100);
        out += s.xvfb.readAllStandardOutput();
    }
    bool ok = false;
    const int number = out.trimmed().toInt(&ok);
    if (!ok) return false;
    s.display = QStringLiteral(":%1").arg(number);

    qputenv("DISPLAY", s.display.toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "xcb");
    s.application = std::make_unique<QGuiApplication>(argc, argv);
    s.connection = xcb_connect(s.display.toLocal8Bit().constData(), nullptr);
    return xcb_connection_has_error(s.connection) == 0;
}

void StopServer() {
    Server& s = TheServer();
    if (s.connection != nullptr) xcb_disconnect(s.connection);
    s.connection = nullptr;
    s.application.reset();
    Stop(s.xvfb);
}

bool AttachToDisplay() {
    Server& s = TheServer();
    s.display = qEnvironmentVariable("DISPLAY");
    s.connection = xcb_connect(nullptr, nullptr);
    return xcb_connection_has_error(s.connection) == 0;
}

QString Display() { return TheServer().display; }

bool RequestClose(const QString& title) {
    xcb_connection_t* c = Connection();
    for (const Found& found : Viewable()) {
        if (found.window.title != title) continue;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = found.id;
        event.type = Atom(c, "WM_PROTOCOLS");
        event.data.data32[0] = Atom(c, "WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(c, 0, found.id, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
        return xcb_flush(c) > 0;
    }
    return false;
}

bool Start(QProcess& process, const Launch& launch) {
    QProcessEnvironment environment = launch.environment;
    environment.insert(QStringLiteral("DISPLAY"), Display());
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    process.setProcessEnvironment(environment);
    if (!launch.workingDirectory.isEmpty()) process.setWorkingDirectory(launch.workingDirectory);
    process.setProcessChannelMode(launch.channels);
    process.start(launch.program, launch.arguments);
    return process.waitForStarted(10000);
}

Output Run(const QString& program, const QStringList& arguments, const QProcessEnvironment& environment,
           int timeoutMs) {
    QProcess p;
    p.setProcessEnvironment(environment);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(5000);
        return {-1, QStringLiteral("%1 did not finish within %2 s").arg(program).arg(timeoutMs / 1000)};
    }
    const int code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return {code, QString::fromLocal8Bit(p.readAll())};
}

void Stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

std::vector<Window> ViewableWindows() {
    std::vector<Window> windows;
    for (const Found& f : Viewable()) windows.push_back(f.window);
    return windows;
}

std::string ViewableTitles() {
    QStringList names;
    for (const Window& w : ViewableWindows()) names << w.title;
    return names.join(QStringLiteral(", ")).toStdString();
}

std::optional<QRect> WaitForWindow(const QString& title, int timeoutMs) {
    std::optional<QRect> where;
    WaitUntil([&] {
        for (const Window& w : ViewableWindows()) {
            if (w.title == title) where = w.geometry;
        }
        return where.has_value();
    }, timeoutMs);
    return where;
}

bool Click(const QPoint& screenPoint) {
    xcb_connection_t* c = Connection();
    if (c == nullptr || xcb_connection_has_error(c)) return false;
    const xcb_window_t root = Root(c);
    const auto x = static_cast<int16_t>(screenPoint.x()), y = static_cast<int16_t>(screenPoint.y());
    for (const uint8_t type : {uint8_t{XCB_MOTION_NOTIFY}, uint8_t{XCB_BUTTON_PRESS}, uint8_t{XCB_BUTTON_RELEASE}}) {
        const uint8_t detail = type == XCB_MOTION_NOTIFY ? 0 : 1;  // button 1; absolute motion
        if (auto error = Own(xcb_request_check(
                c, xcb_test_fake_input_checked(c, type, detail, XCB_CURRENT_TIME, root, x, y, 0))))
            return false;
        QThread::msleep(30);  // a press apart from the motion, a release apart from the press, as by hand
    }
    return true;
}

QImage WindowIcon(const QString& title) {
    xcb_connection_t* c = Connection();
    for (const Found& f : Viewable()) {
        if (f.window.title != title) continue;
        // CARDINAL items arrive as 32-bit values: width, height, then width x height ARGB pixels.
        const QByteArray data = Property(c, f.id, Atom(c, "_NET_WM_ICON"), XCB_ATOM_CARDINAL);
        const auto* values = reinterpret_cast<const uint32_t*>(data.constData());
        const qsizetype count = data.size() / 4;
        if (count < 2) return {};
        const int width = static_cast<int>(values[0]), height = static_cast<int>(values[1]);
        if (width <= 0 || height <= 0 || count < 2 + qsizetype(width) * height) return {};
        QImage icon(width, height, QImage::Format_ARGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) icon.setPixel(x, y, values[2 + y * width + x]);
        return icon;
    }
    return {};
}

QImage Grab(const QRect& area) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return {};
    return screen->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

double TextLikeness(const QImage& shot, const QRect& area, const QString& text, const QFont& font) {
    // Character by character along the line: another renderer places the glyphs of the same font a pixel or two
    // apart from where this one does (advances rounded differently), but draws each the same. A character is
    // drawn alone in a cell of the font's height (baseline at its ascent) and compared where it fits best: the
    // first anywhere in the area, each later one on the same line 0 to 3 pixels (and any spaces) after the one
    // before. Score: pixels dark in both, twice, over pixels dark in either, summed over the cells.
    const QImage target = shot.copy(area);
    const QFontMetrics metrics(font);
    const auto dark = [](const QImage& image, int x, int y) { return image.valid(x, y) && qGray(image.pixel(x, y)) < 128; };
    long matched = 0, total = 0;
    int top = 0, next = 0, gap = 0;
    bool first = true;
    for (const QChar c : text) {
        QImage cell(metrics.horizontalAdvance(c) + 4, metrics.height(), QImage::Format_RGB32);
        cell.fill(Qt::white);
        QPainter painter(&cell);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(2, metrics.ascent(), QString(c));
        painter.end();
        int left = cell.width(), right = -1;  // the cell's columns with dark pixels
        for (int y = 0; y < cell.height(); ++y)
            for (int x = 0; x < cell.width(); ++x)
                if (dark(cell, x, y)) left = std::min(left, x), right = std::max(right, x);
        if (right < 0) {
            gap += metrics.horizontalAdvance(QLatin1Char(' '));
            continue;
        }
        long bestBoth = 0, bestEither = 0;
        int bestX = 0, bestY = 0;
        for (int y = first ? -1 : top; y <= (first ? area.height() : top); ++y)
            for (int x = first ? -1 : next + gap - 1; x <= (first ? area.width() : next + gap + 3); ++x) {
                long both = 0, either = 0;
                for (int cy = 0; cy < cell.height(); ++cy)
                    for (int cx = left; cx <= right; ++cx) {
                        const bool mine = dark(cell, cx, cy), theirs = dark(target, x + cx - left, y + cy);
                        both += mine && theirs;
                        either += mine + theirs;
                    }
                if (bestEither == 0 || both * bestEither > bestBoth * either)
                    bestBoth = both, bestEither = either, bestX = x, bestY = y;
            }
        matched += 2 * bestBoth;
        total += bestEither;
        first = false, top = bestY, next = bestX + right - left + 1, gap = 0;
    }
    return total > 0 ? double(matched) / total : 0;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() >= timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(100);
    }
    return true;
}

}  // namespace xvfb

namespace tuner_screen {

int GreenColumns(const QImage& window) {
    int n = 0;
    for (int x = 0; x < BoxWidth; ++x)
        if (window.pixel(LevelLeft + x, LevelTop + 10) == Green) ++n;
    return n;
}

std::vector<int> NavyColumns(const QImage& window) {
    std::vector<int> xs;
    for (int x = 0; x < BoxWidth; ++x)
        for (int y = 0; y < ScaleHeight; ++y)
            if (window.pixel(ScaleLeft + x, ScaleTop + y) == Navy) {
                xs.push_back(x);
                break;
            }
    return xs;
}

std::vector<int> BlackTopColumns(const QImage& window) {
    std::vector<int> xs;
    for (int x = 0; x < BoxWidth; ++x)
        if (window.pixel(ScaleLeft + x, ScaleTop) == Black) xs.push_back(x);
    return xs;
}

std::vector<int> ExpectedMarkColumns(int divisionWidthPx, int smallDivisionWidthPx) {
    std::vector<int> xs;
    auto mark = [&](int left, int width) {
        for (int x = left; x < left + width; ++x) xs.push_back(x);
    };
    mark(CentreMarkX(BoxWidth, divisionWidthPx), divisionWidthPx);
    for (int i = 1; i <= 3; ++i) {
        mark(LeftSideMarkX(i, BoxWidth, smallDivisionWidthPx), smallDivisionWidthPx);
        mark(RightSideMarkX(i, BoxWidth, smallDivisionWidthPx), smallDivisionWidthPx);
    }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    return xs;
}

}  // namespace tuner_screen
