#include "U_FFTTuner.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <stdexcept>

#include "CheckedInt.h"
#include "InfoUnit.h"
#include "U_FFTTunerDisplay.h"
#include "UWavein5.h"

#ifndef ZT_CATALOGUE_HOST
#define ZT_CATALOGUE_HOST "www.example.com"
#endif

TTunerForm* TunerForm = nullptr;

// ---------------------------------------------------------------------------------------------
// Bitmaps

void TBitmap::LoadFromFile(const QString& FileName) {
    Image = QImage();
    Masked = QImage();
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error(
            QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, file.errorString()).toStdString());
    }
    const QByteArray bytes = file.readAll();
    QImage loaded;
    if (!bytes.startsWith("BM") || !loaded.loadFromData(bytes, "BMP") || loaded.isNull()) {
        throw std::runtime_error(
            QStringLiteral("Bitmap image is not valid: \"%1\"").arg(FileName).toStdString());
    }
    Image = loaded.convertToFormat(QImage::Format_RGB32);
    Masked = Image.convertToFormat(QImage::Format_ARGB32);
    if (Transparent) {
        const QRgb key = Image.pixel(0, Image.height() - 1);
        for (int y = 0; y < Masked.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(Masked.scanLine(y));
            for (int x = 0; x < Masked.width(); ++x) {
                if ((line[x] & 0x00FFFFFFu) == (key & 0x00FFFFFFu)) line[x] = 0;
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Paint box with a stored canvas

TPaintBox::TPaintBox(QWidget* Parent) : QWidget(Parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QColor TPaintBox::BackgroundColor() const { return palette().color(QPalette::Window); }

QImage& TPaintBox::Canvas() {
    if (CanvasImage.size() != size()) {
        CanvasImage = QImage(size(), QImage::Format_RGB32);
        CanvasImage.fill(BackgroundColor());
    }
    return CanvasImage;
}

void TPaintBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(0, 0, Canvas());
}

// ---------------------------------------------------------------------------------------------
// Application title and error boxes

QString ApplicationTitleFromPath(const QString& ProgramPath) {
    QString name = QFileInfo(ProgramPath).fileName();
    const int dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    if (name.size() > 1) name = name.left(1) + name.mid(1).toLower();
    return name;
}

QString ApplicationTitle() { return ApplicationTitleFromPath(QCoreApplication::applicationFilePath()); }

void TTunerForm::ShowException(const QString& Text) {
    QMessageBox box(QMessageBox::Critical, ApplicationTitle(), Text, QMessageBox::Ok);
    box.exec();
}

void TTunerForm::Guarded(const std::function<void()>& Body) {
    try {
        Body();
    } catch (const std::exception& e) {
        ShowException(QString::fromStdString(e.what()));
    } catch (...) {
        ShowException(QStringLiteral("Unknown error"));
    }
}

// ---------------------------------------------------------------------------------------------
// Construction and layout

namespace {

template <typename T>
T* Place(T* Control, int Left, int Top, int Width, int Height) {
    Control->setGeometry(Left, Top, Width, Height);
    return Control;
}

QRadioButton* MakeRadio(QWidget* Parent, const char* Caption, int Left, int Top) {
    auto* radio = Place(new QRadioButton(QString::fromUtf8(Caption), Parent), Left, Top, 104, 17);
    radio->setAutoExclusive(true);
    return radio;
}

}  // namespace

TTunerForm::TTunerForm(QWidget* Parent) : QWidget(Parent) {
    setObjectName(QStringLiteral("TunerForm"));
    setWindowTitle(QStringLiteral("Tuner @ Zemtar"));
    // Fixed single border with the system menu and minimise only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(423, 289);
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(11);
    setFont(font);

    GroupBox1 = Place(new QGroupBox(QStringLiteral("Выберите струну (нумерация струн - снизу)"), this), 8, 8, 409, 81);
    RadioButton1 = MakeRadio(GroupBox1, "1 (E, 329.63 Гц)", 9, 24);
    RadioButton2 = MakeRadio(GroupBox1, "2 (B, 246.9 Гц)", 121, 24);
    RadioButton3 = MakeRadio(GroupBox1, "3 (G, 196.0 Гц)", 233, 24);
    RadioButton4 = MakeRadio(GroupBox1, "4 (D, 146.8 Гц)", 9, 48);
    RadioButton5 = MakeRadio(GroupBox1, "5 (A, 110.0 Гц)", 121, 48);
    RadioButton6 = MakeRadio(GroupBox1, "6 (E 82.4 Гц)", 233, 48);
    RadioButton1->setChecked(true);

    GroupBox2 = Place(new QGroupBox(
        QStringLiteral("Убедитесь, что при извлечении звука индикатор находится в зеленой зоне"), this),
        8, 104, 409, 57);
    soundLevelPaintBox = Place(new TPaintBox(GroupBox2), 8, 23, 393, 20);

    GroupBox3 = Place(new QGroupBox(QStringLiteral("Отрегулируйте натяжение струны"), this), 8, 176, 409, 73);
    frequencyLabel = Place(new QLabel(QStringLiteral("0 Гц"), GroupBox3), 8, 16, 393, 13);
    frequencyLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    frequencyPaintBox = Place(new TPaintBox(GroupBox3), 8, 39, 393, 20);

    Button2 = Place(new QPushButton(QStringLiteral("Справка"), this), 8, 256, 75, 25);
    Button3 = Place(new QPushButton(QStringLiteral("Каталог песен, аккордов"), this), 88, 256, 150, 25);
    Button1 = Place(new QPushButton(QStringLiteral("Закрыть"), this), 341, 256, 75, 25);
    Button1->setDefault(true);

    // Tab order: the string group, then Справка, Каталог, Закрыть.
    for (QRadioButton* radio : {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5, RadioButton6})
        radio->setFocusPolicy(Qt::StrongFocus);
    for (QPushButton* button : {Button2, Button3, Button1}) {
        button->setFocusPolicy(Qt::StrongFocus);
        button->setAutoDefault(false);
    }
    setTabOrder(RadioButton1, RadioButton2);
    setTabOrder(RadioButton2, RadioButton3);
    setTabOrder(RadioButton3, RadioButton4);
    setTabOrder(RadioButton4, RadioButton5);
    setTabOrder(RadioButton5, RadioButton6);
    setTabOrder(RadioButton6, Button2);
    setTabOrder(Button2, Button3);
    setTabOrder(Button3, Button1);

    connect(Button1, &QPushButton::clicked, this, [this] { Guarded([this] { Button1Click(); }); });
    connect(Button2, &QPushButton::clicked, this, [this] { Guarded([this] { Button2Click(); }); });
    connect(Button3, &QPushButton::clicked, this, [this] { Guarded([this] { Button3Click(); }); });

    timer = new QTimer(this);
    timer->setInterval(250);
    connect(timer, &QTimer::timeout, this, [this] { Guarded([this] { timerTimer(); }); });
    timer->start();

    // Centred on the screen.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }

    Guarded([this] { FormCreate(); });
}

TTunerForm::~TTunerForm() {
    timer->stop();
    // No errors box while the window goes away: a report that reaches the hundredth now is handed to a
    // queued call, which dies with the window.
    InErrorStop = true;
    if (WaveIn) WaveIn->StopRecording();
    WaveIn.reset();
}

// ---------------------------------------------------------------------------------------------
// Lifecycle

void TTunerForm::FormCreate() {
    const std::pair<std::unique_ptr<TBitmap>*, const char*> images[] = {
        {&PointerBitmap, "./img/pointer.bmp"},
        {&DivisionBitmap, "./img/division.bmp"},
        {&SmallDivisionBitmap, "./img/smallDivision.bmp"},
    };
    // A failure ends creation of the bitmaps at that image; the later ones are never created.
    for (const auto& [field, path] : images) {
        *field = std::make_unique<TBitmap>();
        (*field)->Transparent = true;
        (*field)->LoadFromFile(QString::fromLatin1(path));
    }
}

void TTunerForm::StartCapture() {
    ErrorCount = 0;
    Samples.resize(BufferBytes, 0);
    if (!WaveIn) {
        WaveIn = std::make_unique<TWaveIn>(reinterpret_cast<HWND>(this), BufferBytes, NumBuffers);
    }
    WAVEFORMATEX& format = *WaveIn->WaveFormat;
    format.wFormatTag = 1;  // PCM
    if (NumChannels < 0 || NumChannels > 65535) throw std::range_error("Range check error");
    format.nChannels = static_cast<WORD>(NumChannels);
    if (SamplesPerSec < 0) throw std::range_error("Range check error");
    format.nSamplesPerSec = static_cast<DWORD>(SamplesPerSec);
    if (BitsPerSample < 0 || BitsPerSample > 65535) throw std::range_error("Range check error");
    format.wBitsPerSample = static_cast<WORD>(BitsPerSample);
    const int32_t bytesPerSample = format.wBitsPerSample / 8;
    format.nAvgBytesPerSec = static_cast<DWORD>(checked::Mul(
        checked::Mul(bytesPerSample, static_cast<int32_t>(format.nSamplesPerSec)), format.nChannels));

    WaveIn->OnError = [this](const std::string& Message) { WaveInError(Message); };
    WaveIn->OnBufferFull = [this](const uint8_t* Block, int32_t ByteCount) { WaveInData(Block, ByteCount); };
    WaveIn->OpenDevice();
}

void TTunerForm::FormShow() {
    StartCapture();
    if (WaveIn) {
        if (WaveIn->Recording) {
            WaveIn->StopRecording();
            QCoreApplication::processEvents();
        }
        Busy = false;
    }
    if (WaveIn) WaveIn->StartRecording();
}

void TTunerForm::FormClose() {
    if (WaveIn) WaveIn->StopRecording();
}

void TTunerForm::WaveInError(const std::string& /*Message*/) {
    int32_t count = ErrorCount.load();
    do {
        if (count == INT32_MAX) throw std::overflow_error("Integer overflow");
    } while (!ErrorCount.compare_exchange_weak(count, count + 1));
    if (count + 1 < 100) return;

    // The box and the stop belong to the window thread. A report that arrives on another thread, or
    // while the box or the stop after it is already running, is handed over by a queued call, so the
    // stop never re-enters itself while the device is closing.
    if (QThread::currentThread() == thread() && !InErrorStop) {
        ShowErrorsAndStop();
    } else {
        QMetaObject::invokeMethod(this, [this] { ShowErrorsAndStop(); }, Qt::QueuedConnection);
    }
}

void TTunerForm::ShowErrorsAndStop() {
    if (InErrorStop) {
        QMetaObject::invokeMethod(this, [this] { ShowErrorsAndStop(); }, Qt::QueuedConnection);
        return;
    }
    InErrorStop = true;
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitle(), QString::fromUtf8(CaptureErrorsText),
                    QMessageBox::Ok, this);
    box.exec();
    if (WaveIn) WaveIn->StopRecording();
    InErrorStop = false;
}

void TTunerForm::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    // Restoring from the task bar is no new showing.
    if (!Event->spontaneous()) Guarded([this] { FormShow(); });
}

void TTunerForm::closeEvent(QCloseEvent* Event) {
    Guarded([this] { FormClose(); });
    Event->accept();
    emit Closed();
}

void TTunerForm::keyPressEvent(QKeyEvent* Event) {
    switch (Event->key()) {
        case Qt::Key_Escape:
            Button1->click();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            // Enter presses a focused push button, and the default button otherwise.
            auto* focused = qobject_cast<QPushButton*>(focusWidget());
            (focused != nullptr ? focused : Button1)->click();
            return;
        }
        default:
            QWidget::keyPressEvent(Event);
    }
}

// ---------------------------------------------------------------------------------------------
// Buttons

void TTunerForm::Button1Click() { close(); }

void TTunerForm::Button2Click() {
    if (infoForm == nullptr) return;
    infoForm->show();
    infoForm->raise();
    infoForm->activateWindow();
    infoForm->pageControl->setCurrentIndex(0);
}

void TTunerForm::Button3Click() {
    QDesktopServices::openUrl(QUrl(QStringLiteral("http://" ZT_CATALOGUE_HOST "/?from=tuner")));
}

// ---------------------------------------------------------------------------------------------
// Display refresh

namespace {

void DrawBitmap(QPainter& Painter, const TBitmap* Bitmap, int32_t X) {
    if (Bitmap == nullptr || Bitmap->Empty()) return;
    Painter.drawImage(X, 0, Bitmap->Masked);
}

int32_t WidthOf(const std::unique_ptr<TBitmap>& Bitmap) { return Bitmap ? Bitmap->Width() : 0; }

}  // namespace

void TTunerForm::timerTimer() {
    // Level bar.
    {
        QImage& canvas = soundLevelPaintBox->Canvas();
        const int32_t w = soundLevelPaintBox->width();
        const int32_t h = soundLevelPaintBox->height();
        QPainter painter(&canvas);
        painter.fillRect(0, 0, w, h, soundLevelPaintBox->BackgroundColor());
        const TLevelBar bar = LevelBar(w, PeakLevel.load());
        if (bar.LastColumn >= 0) {
            // Columns 0..LastColumn, green below RedFromColumn and red from there; the painter clips at w.
            const int32_t greenEnd = std::min(bar.LastColumn, bar.RedFromColumn - 1);
            if (greenEnd >= 0) painter.fillRect(0, 0, greenEnd + 1, h, QColor(0, 255, 0));
            const int32_t redStart = std::max(bar.RedFromColumn, 0);
            if (bar.LastColumn >= redStart)
                painter.fillRect(redStart, 0, bar.LastColumn - redStart + 1, h, QColor(255, 0, 0));
        }
        painter.end();
        soundLevelPaintBox->update();
    }

    QImage& canvas = frequencyPaintBox->Canvas();
    const int32_t w = frequencyPaintBox->width();
    const int32_t h = frequencyPaintBox->height();
    QPainter painter(&canvas);
    painter.fillRect(0, 0, w, h, frequencyPaintBox->BackgroundColor());

    const int32_t s = SelectedString(RadioButton1->isChecked(), RadioButton2->isChecked(),
                                     RadioButton3->isChecked(), RadioButton4->isChecked(),
                                     RadioButton5->isChecked());
    const double target = StringFrequencies[checked::Index(s, StringFrequencies.size())];

    double shown = Frequency.load();
    if (const std::optional<double> folded = FoldFrequency(shown, target)) {
        shown = *folded;
        Frequency.store(shown);
    }
    frequencyLabel->setText(QString::fromStdString(FrequencyText(shown, QLocale().decimalPoint().toStdString())));

    const double d = Deviation(shown, target);
    if (const std::optional<int32_t> x = PointerX(d, w, WidthOf(PointerBitmap))) DrawBitmap(painter, PointerBitmap.get(), *x);
    DrawBitmap(painter, DivisionBitmap.get(), CentreMarkX(w, WidthOf(DivisionBitmap)));
    const int32_t small = WidthOf(SmallDivisionBitmap);
    for (int32_t i = 1; i <= 3; ++i) {
        DrawBitmap(painter, SmallDivisionBitmap.get(), LeftSideMarkX(i, w, small));
        DrawBitmap(painter, SmallDivisionBitmap.get(), RightSideMarkX(i, w, small));
    }
    painter.end();
    frequencyPaintBox->update();
}
