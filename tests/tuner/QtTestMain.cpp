#include "QtTestMain.h"

#include <QAbstractButton>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

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

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
