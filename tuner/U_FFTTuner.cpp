#include "U_FFTTuner.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <qdrawutil.h>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyleFactory>
#include <QStyleOptionGroupBox>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <stdexcept>

#include "BitmapCheck.h"
#include "CheckedInt.h"
#include "DesktopWindow.h"
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
    // The decoder takes a damaged header at its word and fills what is missing from the heap, so the
    // file is checked whole first.
    const char* fault =
        BitmapFileFault(reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
    if (fault != nullptr || !loaded.loadFromData(bytes, "BMP") || loaded.isNull()) {
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

const QImage& TBitmap::MaskedAt(double Ratio) const {
    if (Ratio == 1.0 || Masked.isNull()) return Masked;
    if (ScaledRatio != Ratio || ScaledMasked.isNull()) {
        ScaledMasked = Masked.scaled(DevicePx(Masked.width(), Ratio), DevicePx(Masked.height(), Ratio),
                                     Qt::IgnoreAspectRatio, Qt::FastTransformation);
        ScaledRatio = Ratio;
    }
    return ScaledMasked;
}

// ---------------------------------------------------------------------------------------------
// Paint box with a stored canvas

TPaintBox::TPaintBox(QWidget* Parent) : QWidget(Parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QColor TPaintBox::BackgroundColor() const { return palette().color(QPalette::Window); }

double TPaintBox::Ratio() const { return devicePixelRatioF(); }

QImage& TPaintBox::Canvas() {
    const double ratio = Ratio();
    const QSize devicePixels(DevicePx(width(), ratio), DevicePx(height(), ratio));
    if (CanvasImage.size() != devicePixels) {
        CanvasImage = QImage(devicePixels, QImage::Format_RGB32);
        CanvasImage.fill(BackgroundColor());
    }
    return CanvasImage;
}

void TPaintBox::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // One canvas pixel on one device pixel: nothing is scaled on the way to the screen.
    QImage shown = Canvas();
    shown.setDevicePixelRatio(Ratio());
    painter.drawImage(QPointF(0, 0), shown);
}

// ---------------------------------------------------------------------------------------------
// Group boxes as the layout has them

namespace {

// The group boxes as the layout's coordinates assume them: the frame runs through the middle of the
// caption and the contents start at the box's top-left corner. Everything else is the base style's.
class TGroupBoxStyle : public QProxyStyle {
public:
    explicit TGroupBoxStyle(QStyle* Base) : QProxyStyle(Base) {}

    // Caption at CaptionLeft with CaptionGap cleared on either side; frame from the caption's middle line.
    static constexpr int CaptionLeft = 8;
    static constexpr int CaptionGap = 2;

    QRect subControlRect(ComplexControl Control, const QStyleOptionComplex* Option, SubControl Sub,
                         const QWidget* Widget) const override {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(Option);
        if (Control != CC_GroupBox || box == nullptr) return QProxyStyle::subControlRect(Control, Option, Sub, Widget);
        const QRect r = box->rect;
        const QFontMetrics metrics = Widget != nullptr ? Widget->fontMetrics() : box->fontMetrics;
        const int textHeight = metrics.height();
        switch (Sub) {
            case SC_GroupBoxFrame:
                return r.adjusted(0, textHeight / 2, 0, 0);
            case SC_GroupBoxContents:
                return r;
            case SC_GroupBoxLabel: {
                const int textWidth = metrics.horizontalAdvance(box->text);
                const int width = std::min(textWidth, r.width() - 2 * CaptionLeft);
                return box->text.isEmpty() ? QRect() : QRect(r.left() + CaptionLeft, r.top(), width, textHeight);
            }
            default:
                return QRect();
        }
    }

    void drawComplexControl(ComplexControl Control, const QStyleOptionComplex* Option, QPainter* Painter,
                            const QWidget* Widget) const override {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(Option);
        if (Control != CC_GroupBox || box == nullptr) {
            QProxyStyle::drawComplexControl(Control, Option, Painter, Widget);
            return;
        }
        // An etched frame (a shadow line inside a light one), as the layout was drawn for; the base
        // style's own group box frame would keep its place below the caption.
        qDrawShadeRect(Painter, subControlRect(Control, Option, SC_GroupBoxFrame, Widget), box->palette,
                       /*sunken=*/true, /*lineWidth=*/1, /*midLineWidth=*/0);
        const QRect label = subControlRect(Control, Option, SC_GroupBoxLabel, Widget);
        if (label.isEmpty()) return;
        // The caption lies on the frame: clear the frame under it, then write it.
        Painter->fillRect(label.adjusted(-CaptionGap, 0, CaptionGap, 0), box->palette.window());
        drawItemText(Painter, label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextHideMnemonic, box->palette,
                     (box->state & State_Enabled) != 0, box->text, QPalette::WindowText);
    }
};

}  // namespace

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
    SetAccessibleRole(this, QAccessible::Window);
    // Fixed single border with the system menu and minimise only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(423, 289);
    setFont(WindowFont());
    // The scale bitmaps have fixed colours drawn for a light face; a dark desktop theme does not change it.
    setPalette(StandardLightPalette());

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

    // The three group boxes share one style: the application's, with the frame through the caption.
    auto* groupBoxStyle = new TGroupBoxStyle(QStyleFactory::create(QApplication::style()->name()));
    groupBoxStyle->setParent(this);
    for (QGroupBox* box : {GroupBox1, GroupBox2, GroupBox3}) box->setStyle(groupBoxStyle);

    // For screen readers; the timer keeps the two paint boxes' texts current.
    soundLevelPaintBox->setAccessibleName(QString::fromStdString(LevelAccessibleName(0)));
    frequencyPaintBox->setAccessibleName(QStringLiteral("Отклонение от нужной ноты"));
    const char* const radioDescriptions[] = {
        "Настраивать струну 1, самую тонкую: нота E, 329.63 Гц",
        "Настраивать струну 2: нота B, 246.9 Гц",
        "Настраивать струну 3: нота G, 196.0 Гц",
        "Настраивать струну 4: нота D, 146.8 Гц",
        "Настраивать струну 5: нота A, 110.0 Гц",
        "Настраивать струну 6, самую толстую: нота E, 82.4 Гц",
    };
    QRadioButton* const radios[] = {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5, RadioButton6};
    for (int i = 0; i < 6; ++i) radios[i]->setAccessibleDescription(QString::fromUtf8(radioDescriptions[i]));
    Button2->setAccessibleDescription(
        QStringLiteral("Открыть окно с инструкцией по настройке гитары и аппликатурами аккордов"));
    Button3->setAccessibleDescription(QStringLiteral("Открыть каталог песен и аккордов в браузере"));
    Button1->setAccessibleDescription(QStringLiteral("Закрыть тюнер и остановить запись звука"));
    readingStatus = Place(new QWidget(this), 0, 0, 0, 0);
    readingStatus->setFocusPolicy(Qt::NoFocus);
    SetAccessibleRole(readingStatus, QAccessible::StatusBar);
    readingNotice = Place(new QWidget(readingStatus), 0, 0, 0, 0);
    readingNotice->setFocusPolicy(Qt::NoFocus);
    SetAccessibleRole(readingNotice, QAccessible::Notification);
    AnnouncerClock.start();

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

    // Centred on the screen's available area, frame included, whenever it is shown.
    new TCentreOnShow(this, size(), /*Resizable=*/false, /*FirstShowOnly=*/false);

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

// Draws a bitmap with its left edge at box pixel X, at the device pixel of that edge and at the
// bitmap's one scaled size, so that all copies look alike at any ratio.
void DrawBitmap(QPainter& Painter, const TBitmap* Bitmap, int32_t X, double Ratio) {
    if (Bitmap == nullptr || Bitmap->Empty()) return;
    Painter.drawImage(DevicePx(X, Ratio), 0, Bitmap->MaskedAt(Ratio));
}

int32_t WidthOf(const std::unique_ptr<TBitmap>& Bitmap) { return Bitmap ? Bitmap->Width() : 0; }

}  // namespace

void TTunerForm::timerTimer() {
    // Everything is drawn in device pixels; box pixel x covers device pixels DevicePx(x) to DevicePx(x + 1).
    const int32_t level = PeakLevel.load();
    {
        QImage& canvas = soundLevelPaintBox->Canvas();
        const double ratio = soundLevelPaintBox->Ratio();
        const int32_t w = soundLevelPaintBox->width();
        QPainter painter(&canvas);
        painter.fillRect(canvas.rect(), soundLevelPaintBox->BackgroundColor());
        const TLevelBar bar = LevelBar(w, level);
        auto fillColumns = [&](int32_t First, int32_t Last, const QColor& Colour) {
            const int32_t left = DevicePx(First, ratio);
            painter.fillRect(left, 0, DevicePx(Last + 1, ratio) - left, canvas.height(), Colour);
        };
        if (bar.LastColumn >= 0) {
            // Columns 0..LastColumn, green below RedFromColumn and red from there; the painter clips at w.
            const int32_t greenEnd = std::min(bar.LastColumn, bar.RedFromColumn - 1);
            if (greenEnd >= 0) fillColumns(0, greenEnd, QColor(0, 255, 0));
            const int32_t redStart = std::max(bar.RedFromColumn, 0);
            if (bar.LastColumn >= redStart) fillColumns(redStart, bar.LastColumn, QColor(255, 0, 0));
        }
        painter.end();
        soundLevelPaintBox->update();
    }

    QImage& canvas = frequencyPaintBox->Canvas();
    const double ratio = frequencyPaintBox->Ratio();
    const int32_t w = frequencyPaintBox->width();
    QPainter painter(&canvas);
    painter.fillRect(canvas.rect(), frequencyPaintBox->BackgroundColor());

    const int32_t s = SelectedString(RadioButton1->isChecked(), RadioButton2->isChecked(),
                                     RadioButton3->isChecked(), RadioButton4->isChecked(),
                                     RadioButton5->isChecked());
    const double target = StringFrequencies[checked::Index(s, StringFrequencies.size())];

    double shown = Frequency.load();
    if (const std::optional<double> folded = FoldFrequency(shown, target)) {
        shown = *folded;
        Frequency.store(shown);
    }
    const QString separator = QLocale().decimalPoint();
    frequencyLabel->setText(QString::fromStdString(FrequencyText(shown, separator.toStdString())));

    const double d = Deviation(shown, target);
    if (const std::optional<int32_t> x = PointerX(d, w, WidthOf(PointerBitmap)))
        DrawBitmap(painter, PointerBitmap.get(), *x, ratio);
    DrawBitmap(painter, DivisionBitmap.get(), CentreMarkX(w, WidthOf(DivisionBitmap)), ratio);
    const int32_t small = WidthOf(SmallDivisionBitmap);
    for (int32_t i = 1; i <= 3; ++i) {
        DrawBitmap(painter, SmallDivisionBitmap.get(), LeftSideMarkX(i, w, small), ratio);
        DrawBitmap(painter, SmallDivisionBitmap.get(), RightSideMarkX(i, w, small), ratio);
    }
    painter.end();
    frequencyPaintBox->update();

    UpdateAccessibleTexts(level, shown, target, s, separator);
}

void TTunerForm::UpdateAccessibleTexts(int32_t Level, double ShownHz, double TargetHz, int32_t StringIndex,
                                       const QString& DecimalSeparator) {
    // Compared as numbers, so an idle tick formats no text and tells the screen reader nothing.
    const int32_t percent = LevelPercent(Level);
    const TLevelBar bar = LevelBar(soundLevelPaintBox->width(), Level);
    const bool red = bar.LastColumn >= bar.RedFromColumn;
    if (percent != SpokenLevelPercent || red != SpokenLevelRed) {
        SpokenLevelPercent = percent;
        SpokenLevelRed = red;
        soundLevelPaintBox->setAccessibleName(QString::fromStdString(LevelAccessibleName(percent)));
        soundLevelPaintBox->setAccessibleDescription(QString::fromStdString(LevelAccessibleDescription(percent, red)));
        ++SpokenChanges;
    }

    const TTuningReading reading = ReadTuning(ShownHz, TargetHz);
    if (static_cast<int32_t>(reading.State) != SpokenTuningState || reading.DeviationTenths != SpokenDeviationTenths ||
        reading.OnScale != SpokenOnScale || StringIndex != SpokenString || DecimalSeparator != SpokenSeparator) {
        SpokenTuningState = static_cast<int32_t>(reading.State);
        SpokenDeviationTenths = reading.DeviationTenths;
        SpokenOnScale = reading.OnScale;
        SpokenString = StringIndex;
        SpokenSeparator = DecimalSeparator;
        const std::string sep = DecimalSeparator.toStdString();
        frequencyPaintBox->setAccessibleName(QString::fromStdString(TuningAccessibleName(reading, sep)));
        frequencyPaintBox->setAccessibleDescription(
            QString::fromStdString(TuningAccessibleDescription(reading, StringIndex + 1, sep)));
        ++SpokenChanges;
    }

    QRadioButton* const radios[] = {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5, RadioButton6};
    const bool listening = radios[checked::Index(StringIndex, 6)]->hasFocus();
    const std::string sep = DecimalSeparator.toStdString();
    const std::string said =
        Announcer.Tick(AnnouncerClock.elapsed(), listening, StringIndex, Level, red, ShownHz, TargetHz, sep);
    // The status bar says which string the reading is for, so that a status bar command needs no focus change.
    const QString current = QStringLiteral("Струна %1. %2").arg(StringIndex + 1).arg(
        QString::fromStdString(SpokenReadingText(Announcer.Current(), sep)));
    if (readingStatus->accessibleName() != current) readingStatus->setAccessibleName(current);
    if (!said.empty()) {
        // A notice that appears is what a screen reader speaks without a key press; inside a status bar it is
        // spoken as it is, without its role.
        readingNotice->setAccessibleName(QString::fromStdString(said));
        readingNotice->hide();
        readingNotice->show();
    }
}
