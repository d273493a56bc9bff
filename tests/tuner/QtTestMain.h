#pragma once
// Shared by the window tests: a QApplication on Qt's offscreen platform (set before the application
// exists, so a machine without a display runs them), and a watcher that answers modal boxes. To run the
// event loop until something happens, the tests use QTest::qWaitFor.

#include <QApplication>
#include <QMessageBox>
#include <QPalette>
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

// Runs the event loop until Done() is true or TimeoutMs pass; returns Done().
bool PumpUntil(const std::function<bool()>& Done, int TimeoutMs = 5000);

// Runs this test program again, limited to the tests matching Filter, on an offscreen screen of
// ScreenWidth x ScreenHeight device pixels at the scale factor Scale (QT_SCALE_FACTOR), so that
// tests written for any screen also run on a small one or at a fractional scale. Returns the exit code
// (-1 when it did not finish within 60 s) and sets Output to what it printed.
int RunThisProgram(const QString& Filter, int ScreenWidth, int ScreenHeight, const QString& Scale,
                   QString* Output);

// WCAG 2 relative luminance of a colour and the contrast ratio of two colours (1 to 21).
double RelativeLuminance(QRgb Colour);
double ContrastRatio(QRgb A, QRgb B);

// A dark application palette, as a dark desktop theme gives it.
QPalette DarkDesktopPalette();
