#pragma once
// The tuner window: the program's main window. It owns the recorder and the scale bitmaps, starts
// recording when shown, stops when closed, counts capture errors and redraws the display every 250 ms.
// All its methods run on the window thread except WaveInData/AnalyseBlock (audio thread) and
// WaveInError (any thread).

#include <QColor>
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
};

// A box that keeps what was last drawn into its canvas and shows it whenever the system repaints it.
class TPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TPaintBox(QWidget* Parent);
    // The canvas, sized to the box's current width and height (resized and cleared when they change).
    QImage& Canvas();
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
    bool InErrorStop = false;  // window thread only: the errors box or the stop after it is running
};

// The single tuner window, created by the program entry.
extern TTunerForm* TunerForm;

// The application's title: the program file's name up to its first dot, lower-cased after the first letter.
QString ApplicationTitle();
QString ApplicationTitleFromPath(const QString& ProgramPath);

// The errors message shown at the hundredth capture report.
inline constexpr const char* CaptureErrorsText = "Возникли ошибки. Запись звука остановлена.";
