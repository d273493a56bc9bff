#pragma once
// Shared by the window tests: a QApplication on Qt's offscreen platform (set before the application
// exists, so a machine without a display runs them), and a watcher that answers modal boxes. To run the
// event loop until something happens, the tests use QTest::qWaitFor.

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

// Closes every modal message box that opens while it lives, recording each one's caption and text.
class TModalBoxWatcher {
public:
    TModalBoxWatcher();
    ~TModalBoxWatcher();
    QStringList Texts;
    QStringList Captions;
    QList<QMessageBox::Icon> Icons;
    QList<int> ButtonCounts;
    std::function<void()> OnBox;  // runs while a box is open, before it is closed

private:
    QTimer Poll;
};
