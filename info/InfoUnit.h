#pragma once
// The information window: tuning instructions and seven chord charts on tabbed, read-only pages.
// Created hidden at start-up; the tuner window's help button shows it. Closing it only hides it.
// Window thread only.

#include <QString>
#include <QWidget>

class QPlainTextEdit;
class QTabWidget;

class TinfoForm : public QWidget {
    Q_OBJECT
public:
    explicit TinfoForm(QWidget* Parent = nullptr);

    QTabWidget* pageControl = nullptr;
    QWidget* tuneTabSheet = nullptr;
    QPlainTextEdit* Memo8 = nullptr;
    QWidget* aTabSheet = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QWidget* bTabSheet = nullptr;
    QPlainTextEdit* Memo2 = nullptr;
    QWidget* cTabSheet = nullptr;
    QPlainTextEdit* Memo3 = nullptr;
    QWidget* dTabSheet = nullptr;
    QPlainTextEdit* Memo4 = nullptr;
    QWidget* eTabSheet = nullptr;
    QPlainTextEdit* Memo5 = nullptr;
    QWidget* fTabSheet = nullptr;
    QPlainTextEdit* Memo6 = nullptr;
    QWidget* gTabSheet = nullptr;
    QPlainTextEdit* Memo7 = nullptr;

    // The embedded text of a page, e.g. "tune.txt" or "chords_a.txt"; empty when there is none.
    static QString ResourceText(const QString& Name);

private:
    int ShownPage = 0;  // the current page as last reported to assistive technology
};

// The single information window, created hidden by the program entry.
extern TinfoForm* infoForm;
