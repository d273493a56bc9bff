#include "QtTestMain.h"

#include <QAbstractButton>

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

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
