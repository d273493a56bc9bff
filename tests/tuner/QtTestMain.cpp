#include "QtTestMain.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

TModalBoxWatcher::TModalBoxWatcher() {
    Poll.setInterval(5);
    QObject::connect(&Poll, &QTimer::timeout, [this] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        Texts << box->text();
        Captions << box->windowTitle();
        Icons << box->icon();
        ButtonCounts << box->buttons().size();
        if (OnBox) OnBox();
        box->done(QMessageBox::Ok);
    });
    Poll.start();
}

TModalBoxWatcher::~TModalBoxWatcher() { Poll.stop(); }

bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!Done() && clock.elapsed() < TimeoutMs) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return Done();
}

int RunThisProgram(const QString& Filter, int ScreenWidth, int ScreenHeight, const QString& Scale,
                   QString* Output) {
    QTemporaryDir dir;
    if (!dir.isValid()) return -1;
    const QString config = dir.filePath(QStringLiteral("screen.json"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) return -1;
    file.write(QStringLiteral(R"({"windowFrameMargins": true, "screens": [{"name": "Screen", "x": 0, "y": 0,
        "width": %1, "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96}]})")
                   .arg(ScreenWidth)
                   .arg(ScreenHeight)
                   .toUtf8());
    file.close();
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=screen.json"));
    env.insert(QStringLiteral("QT_SCALE_FACTOR"), Scale);
    env.insert(QStringLiteral("QT_ENABLE_HIGHDPI_SCALING"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    // A relative configuration path: on Windows the drive's colon would end the platform's argument early.
    child.setWorkingDirectory(dir.path());
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + Filter});
    const bool finished = child.waitForFinished(60000);
    if (!finished) child.kill();
    if (Output != nullptr) *Output = QString::fromLocal8Bit(child.readAll());
    return finished && child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}

double RelativeLuminance(QRgb Colour) {
    auto channel = [](int Value) {
        const double c = Value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(Colour)) + 0.7152 * channel(qGreen(Colour)) + 0.0722 * channel(qBlue(Colour));
}

double ContrastRatio(QRgb A, QRgb B) {
    const double a = RelativeLuminance(A);
    const double b = RelativeLuminance(B);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

QPalette DarkDesktopPalette() {
    QPalette dark(QColor(53, 53, 53));  // window and button faces, with derived shades
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(35, 35, 35));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    return dark;
}

int main(int argc, char** argv) {
    // A run of RunThisProgram brings its own offscreen screen; every other run gets the default one.
    if (!qEnvironmentVariable("QT_QPA_PLATFORM").startsWith(QStringLiteral("offscreen")))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef ZT_TEST_FONT_DIR
    if (qEnvironmentVariableIsEmpty("QT_QPA_FONTDIR")) qputenv("QT_QPA_FONTDIR", ZT_TEST_FONT_DIR);
#endif
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
