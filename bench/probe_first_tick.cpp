// Starts the tuner on the X display of DISPLAY and reports how long its first timer tick took to reach the
// screen: the level bar's first column turns green at (16, 127) of the window, which opens centred on the
// primary screen. Prints "<pid> <milliseconds>" and leaves the program running (the caller ends it).
//   probe_first_tick PROGRAM [WORKING_DIRECTORY]
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QThread>

#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: probe_first_tick PROGRAM [WORKING_DIRECTORY]\n");
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen->availableGeometry();
    const QPoint window = area.center() - QPoint(423 / 2, 289 / 2);
    const QPoint probe = window + QPoint(16, 127);

    QProcess program;
    program.setProgram(QString::fromLocal8Bit(argv[1]));
    if (argc > 2) program.setWorkingDirectory(QString::fromLocal8Bit(argv[2]));
    QElapsedTimer clock;
    qint64 pid = 0;
    clock.start();
    if (!program.startDetached(&pid)) {
        std::fprintf(stderr, "probe_first_tick: cannot start %s\n", argv[1]);
        return 1;
    }
    while (clock.elapsed() < 10000) {
        const QImage pixel = screen->grabWindow(0, probe.x(), probe.y(), 1, 1).toImage();
        if (!pixel.isNull() && pixel.pixel(0, 0) == qRgb(0, 255, 0)) {
            std::printf("%lld %lld\n", static_cast<long long>(pid), static_cast<long long>(clock.elapsed()));
            return 0;
        }
        QThread::usleep(2000);
    }
    std::printf("%lld none\n", static_cast<long long>(pid));
    return 0;
}
