#pragma once
// The tuner window: the program's main window. It owns the recorder and the scale bitmaps, starts
// recording when shown, stops when closed, counts capture errors and redraws the display every 250 ms.
// All its methods run on the window thread except WaveInData/AnalyseBlock (audio thread) and
// WaveInError (any thread).

#include <QColor>
#include <QElapsedTimer>
#include <QImage>
#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "U_FFTTunerAnalysis.h"
#include "U_FFTTunerConfig.h"
#include "U_FFTTunerSpeech.h"

class QCloseEvent;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QPushButton;
class QRadioButton;
class QShowEvent;
class QTimer;
class TWaveIn;

// A bitmap drawn with a colour key: every pixel of the colour of the lower-left pixel is left out.
class TBitmap {
public:
    // Throws std::runtime_error naming the file and the reason when it cannot be read or is no valid BMP.
    void LoadFromFile(const QString& FileName);
    bool Empty() const { return Image.isNull(); }
    int32_t Width() const { return Image.isNull() ? 0 : Image.width(); }
    int32_t Height() const { return Image.isNull() ? 0 : Image.height(); }
    bool Transparent = false;
    QImage Image;   // as loaded
    QImage Masked;  // ARGB with the key colour made transparent (equal to Image when not Transparent)
    // Masked at Ratio device pixels per pixel (each side DevicePx of the size, nearest pixel), so that
    // every copy drawn at one ratio is the same image; Masked itself at ratio 1.
    const QImage& MaskedAt(double Ratio) const;

private:
    mutable QImage ScaledMasked;
    mutable double ScaledRatio = 0.0;
};

// A box that keeps what was last drawn into its canvas and shows it whenever the system repaints it.
class TPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TPaintBox(QWidget* Parent);
    // The canvas in device pixels: the box's width and height times its device pixel ratio, rounded as
    // DevicePx does (resized and cleared when they change). At ratio 1 one canvas pixel is one box pixel.
    QImage& Canvas();
    // Device pixels per box pixel on the box's screen (1 at 96 dpi, 1.5, 2, ...).
    double Ratio() const;
    // The box's background colour: the window's face colour.
    QColor BackgroundColor() const;

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    QImage CanvasImage;
};

class TTunerForm : public QWidget, public TTunerAnalysis {
    Q_OBJECT
public:
    explicit TTunerForm(QWidget* Parent = nullptr);
    ~TTunerForm() override;

    // Controls, as laid out.
    TPaintBox* soundLevelPaintBox = nullptr;
    QPushButton* Button1 = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    QRadioButton* RadioButton3 = nullptr;
    QRadioButton* RadioButton4 = nullptr;
    QRadioButton* RadioButton5 = nullptr;
    QRadioButton* RadioButton6 = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    TPaintBox* frequencyPaintBox = nullptr;
    QPushButton* Button2 = nullptr;
    QLabel* frequencyLabel = nullptr;
    QPushButton* Button3 = nullptr;
    QTimer* timer = nullptr;
    // For screen readers only, no size on the screen: a status bar that names the string and its current
    // reading (a screen reader's status bar command reads it), holding the notice that a screen reader speaks by
    // itself whenever the reading is to be spoken (TReadingAnnouncer).
    QWidget* readingStatus = nullptr;
    QWidget* readingNotice = nullptr;

    // Event handlers.
    void FormClose();
    void Button2Click();
    void FormShow();
    void Button1Click();
    void Button3Click();
    void FormCreate();
    void timerTimer();

    // Own fields (PeakLevel, Frequency, Samples and Busy come from TTunerAnalysis).
    std::unique_ptr<TBitmap> PointerBitmap;        // null until FormCreate reaches it
    std::unique_ptr<TBitmap> DivisionBitmap;
    std::unique_ptr<TBitmap> SmallDivisionBitmap;
    std::unique_ptr<TWaveIn> WaveIn;               // created once, by the first StartCapture
    std::atomic<int32_t> ErrorCount{0};            // reports through the recorder's OnError since StartCapture

    void StartCapture();
    // The recorder's OnError handler; safe on any thread.
    void WaveInError(const std::string& Message);

    // How many times a tick has changed the paint boxes' accessible texts (an idle tick changes none).
    int32_t AccessibleTextChanges() const { return SpokenChanges; }

    // Shows Text in the window's modal error box (the box every handler uses for an error escaping it).
    static void ShowException(const QString& Text);
    // Runs a handler body; an exception escaping it is shown in the error box.
    static void Guarded(const std::function<void()>& Body);

signals:
    // Emitted once the window has closed; the program entry ends the message loop on it.
    void Closed();

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    void ShowErrorsAndStop();
    // Keeps the paint boxes' accessible texts and the reading's status bar current (sets a text only when what it
    // says changes), and shows the notice when the announcer has something to say.
    void UpdateAccessibleTexts(int32_t PeakLevel, double ShownHz, double TargetHz, int32_t StringIndex,
                               const QString& DecimalSeparator);
    bool InErrorStop = false;  // window thread only: the errors box or the stop after it is running
    // Last readings told to the screen reader (window thread only); -1 or NoEstimate+1 means none yet.
    int32_t SpokenLevelPercent = -1;
    bool SpokenLevelRed = false;
    int32_t SpokenTuningState = -1;
    int32_t SpokenDeviationTenths = 0;
    bool SpokenOnScale = false;
    int32_t SpokenString = -1;
    QString SpokenSeparator;
    int32_t SpokenChanges = 0;
    TReadingAnnouncer Announcer;
    QElapsedTimer AnnouncerClock;
};

// The single tuner window, created by the program entry.
extern TTunerForm* TunerForm;

// The application's title: the program file's name up to its first dot, lower-cased after the first letter.
QString ApplicationTitle();
QString ApplicationTitleFromPath(const QString& ProgramPath);

// The errors message shown at the hundredth capture report.
inline constexpr const char* CaptureErrorsText = "Возникли ошибки. Запись звука остановлена.";
