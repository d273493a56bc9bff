// The tuner window under Qt's offscreen platform: layout, keys, display refresh pixels, bitmaps.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <QScreen>
#include <QWindow>

#include <cstdio>
#include <memory>

#include "QtTestMain.h"
#include "U_FFTTuner.h"
#include "U_FFTTunerDisplay.h"
#include "UWavein5.h"

namespace {

const QRgb Green = qRgb(0, 255, 0);
const QRgb Red = qRgb(255, 0, 0);
const QRgb Navy = qRgb(0, 0, 160);
const QRgb Black = qRgb(0, 0, 0);

// Runs with the repository root as working directory, where ./img holds the bitmaps.
class InSourceDir : public ::testing::Test {
protected:
    void SetUp() override {
        saved = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(QStringLiteral(ZT_SOURCE_DIR)));
        QLocale::setDefault(QLocale::c());
    }
    void TearDown() override {
        QDir::setCurrent(saved);
        QLocale::setDefault(QLocale::c());
    }
    QString saved;
};

using TunerLayout = InSourceDir;
using TunerDisplay = InSourceDir;
using TunerKeys = InSourceDir;

TEST_F(TunerLayout, WindowProperties) {
    TTunerForm form;
    EXPECT_EQ(form.objectName(), "TunerForm");
    EXPECT_EQ(form.windowTitle(), "Tuner @ Zemtar");
    EXPECT_EQ(form.size(), QSize(423, 289));
    EXPECT_EQ(form.minimumSize(), QSize(423, 289));
    EXPECT_EQ(form.maximumSize(), QSize(423, 289));
    const Qt::WindowFlags flags = form.windowFlags();
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_EQ(form.font().family(), "Liberation Sans");
    EXPECT_EQ(form.font().pixelSize(), 11);
    EXPECT_EQ(QFontInfo(form.font()).family(), "Liberation Sans") << "fonts-liberation is not installed";
    EXPECT_TRUE(form.timer->isActive());
    EXPECT_EQ(form.timer->interval(), 250);
    EXPECT_TRUE(form.RadioButton1->isChecked());
    EXPECT_EQ(form.frequencyLabel->text(), "0 Гц");
    EXPECT_EQ(form.frequencyLabel->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    EXPECT_EQ(form.PeakLevel.load(), 0);
    EXPECT_EQ(form.Frequency.load(), 0.0);
    EXPECT_EQ(form.WaveIn, nullptr);  // created when the window is shown
}

TEST_F(TunerLayout, ControlsGeometryCaptionAndParent) {
    TTunerForm form;
    struct Row {
        QWidget* control;
        QWidget* parent;
        QRect geometry;
        QString caption;
    };
    auto text = [](QWidget* w) -> QString {
        if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
        if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
        if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
        return {};
    };
    const Row rows[] = {
        {form.GroupBox1, &form, {8, 8, 409, 81}, "Выберите струну (нумерация струн - снизу)"},
        {form.RadioButton1, form.GroupBox1, {9, 24, 104, 17}, "1 (E, 329.63 Гц)"},
        {form.RadioButton2, form.GroupBox1, {121, 24, 104, 17}, "2 (B, 246.9 Гц)"},
        {form.RadioButton3, form.GroupBox1, {233, 24, 104, 17}, "3 (G, 196.0 Гц)"},
        {form.RadioButton4, form.GroupBox1, {9, 48, 104, 17}, "4 (D, 146.8 Гц)"},
        {form.RadioButton5, form.GroupBox1, {121, 48, 104, 17}, "5 (A, 110.0 Гц)"},
        {form.RadioButton6, form.GroupBox1, {233, 48, 104, 17}, "6 (E 82.4 Гц)"},
        {form.GroupBox2, &form, {8, 104, 409, 57},
         "Убедитесь, что при извлечении звука индикатор находится в зеленой зоне"},
        {form.soundLevelPaintBox, form.GroupBox2, {8, 23, 393, 20}, ""},
        {form.GroupBox3, &form, {8, 176, 409, 73}, "Отрегулируйте натяжение струны"},
        {form.frequencyLabel, form.GroupBox3, {8, 16, 393, 13}, "0 Гц"},
        {form.frequencyPaintBox, form.GroupBox3, {8, 39, 393, 20}, ""},
        {form.Button2, &form, {8, 256, 75, 25}, "Справка"},
        {form.Button3, &form, {88, 256, 150, 25}, "Каталог песен, аккордов"},
        {form.Button1, &form, {341, 256, 75, 25}, "Закрыть"},
    };
    for (const Row& row : rows) {
        ASSERT_NE(row.control, nullptr);
        EXPECT_EQ(row.control->parentWidget(), row.parent) << row.caption.toStdString();
        EXPECT_EQ(row.control->geometry(), row.geometry) << row.caption.toStdString();
        EXPECT_EQ(text(row.control), row.caption);
    }
    EXPECT_TRUE(form.Button1->isDefault());
}

TEST_F(TunerLayout, GroupBoxFramesRunThroughTheCaptionAndTouchNoControl) {
    TTunerForm form;
    const QRgb face = form.palette().color(QPalette::Window).rgb();
    for (QGroupBox* box : {form.GroupBox1, form.GroupBox2, form.GroupBox3}) {
        const std::string name = box->title().toStdString();
        EXPECT_EQ(box->contentsRect(), box->rect()) << name;  // contents start at the top-left corner
        // The box alone, without its controls, on the window's face colour: frame lines and caption.
        QImage bare(box->size(), QImage::Format_RGB32);
        bare.fill(face);
        box->render(&bare, QPoint(), QRegion(), QWidget::RenderFlags());
        const int w = bare.width();
        const int h = bare.height();
        // The left frame line starts at the frame's top and runs to the bottom.
        int frameTop = -1;
        for (int y = 0; y < h && frameTop < 0; ++y)
            if (bare.pixel(0, y) != face) frameTop = y;
        ASSERT_GT(frameTop, 0) << name;
        for (int y = frameTop; y < h; ++y) ASSERT_NE(bare.pixel(0, y), face) << name << " y=" << y;
        for (int x = 0; x < w; ++x) ASSERT_NE(bare.pixel(x, h - 1), face) << name << " x=" << x;
        // Caption ink: everything drawn off the frame's two-pixel lines.
        auto onFrame = [&](int x, int y) {
            return x <= 1 || x >= w - 2 || y == frameTop || y == frameTop + 1 || y >= h - 2;
        };
        QRect caption;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (bare.pixel(x, y) != face && !onFrame(x, y)) caption |= QRect(x, y, 1, 1);
        ASSERT_FALSE(caption.isEmpty()) << name;
        // The frame's top line runs through the middle of the caption, and is left out behind it.
        EXPECT_LT(caption.top(), frameTop) << name;
        EXPECT_GT(caption.bottom(), frameTop + 1) << name;
        EXPECT_LE(std::abs((caption.top() + caption.bottom()) - 2 * frameTop - 1), 3) << name;
        EXPECT_EQ(bare.pixel(caption.left() - 1, frameTop), face) << name;
        EXPECT_EQ(bare.pixel(caption.right() + 1, frameTop), face) << name;
        EXPECT_NE(bare.pixel(3, frameTop), face) << name;
        EXPECT_NE(bare.pixel(w - 4, frameTop), face) << name;
        // No control covers a pixel of the frame or of the caption.
        for (QObject* child : box->children()) {
            auto* control = qobject_cast<QWidget*>(child);
            if (control == nullptr) continue;
            const QRect place = control->geometry();
            for (int y = std::max(place.top(), 0); y <= std::min(place.bottom(), h - 1); ++y)
                for (int x = std::max(place.left(), 0); x <= std::min(place.right(), w - 1); ++x)
                    ASSERT_EQ(bare.pixel(x, y), face) << name << ": " << control->metaObject()->className()
                                                     << " at " << x << "," << y;
        }
    }
}

// Where the whole window, frame included, must stand on the available area: centred, and with its
// top-left corner inside the area when it is larger.
void ExpectCentredFrame(const QWidget& Window) {
    const QRect area = Window.screen()->availableGeometry();
    const QRect frame = Window.frameGeometry();
    EXPECT_NE(frame, Window.geometry()) << "the offscreen platform draws a frame";
    EXPECT_TRUE(frame.contains(Window.geometry()));
    const int left = frame.width() <= area.width() ? area.left() + (area.width() - frame.width()) / 2 : area.left();
    const int top = frame.height() <= area.height() ? area.top() + (area.height() - frame.height()) / 2 : area.top();
    EXPECT_EQ(frame.topLeft(), QPoint(left, top)) << "area " << area.width() << "x" << area.height() << " frame "
                                                  << frame.width() << "x" << frame.height();
}

TEST_F(TunerLayout, ShownWindowIsCentredFrameIncluded) {
    TTunerForm form;
    form.show();
    EXPECT_EQ(form.size(), QSize(423, 289));
    ExpectCentredFrame(form);
    // Moved away by the user, hidden and shown again: centred again.
    form.move(form.screen()->availableGeometry().topLeft());
    form.hide();
    form.show();
    ExpectCentredFrame(form);
    form.close();
}

TEST_F(TunerLayout, RadioButtonsFormOneExclusiveGroup) {
    TTunerForm form;
    QRadioButton* radios[] = {form.RadioButton1, form.RadioButton2, form.RadioButton3,
                              form.RadioButton4, form.RadioButton5, form.RadioButton6};
    for (QRadioButton* chosen : radios) {
        chosen->click();
        int checkedCount = 0;
        for (QRadioButton* r : radios) checkedCount += r->isChecked() ? 1 : 0;
        EXPECT_EQ(checkedCount, 1);
        EXPECT_TRUE(chosen->isChecked());
    }
}

TEST_F(TunerLayout, TabOrderRunsThroughStringsThenHelpCatalogueClose) {
    TTunerForm form;
    std::vector<QWidget*> chain;
    QWidget* w = form.RadioButton1;
    do {
        if (w->focusPolicy() & Qt::TabFocus) chain.push_back(w);
        w = w->nextInFocusChain();
    } while (w != form.RadioButton1 && chain.size() < 50);
    const std::vector<QWidget*> expected = {form.RadioButton1, form.RadioButton2, form.RadioButton3,
                                            form.RadioButton4, form.RadioButton5, form.RadioButton6,
                                            form.Button2,      form.Button3,      form.Button1};
    EXPECT_EQ(chain, expected);
}

TEST_F(TunerLayout, ApplicationTitleFromProgramFile) {
    EXPECT_EQ(ApplicationTitleFromPath("/usr/bin/zemtar_tuner"), "zemtar_tuner");
    EXPECT_EQ(ApplicationTitleFromPath("C:/Program Files/Zemtar_Tuner.exe"), "Zemtar_tuner");
    EXPECT_EQ(ApplicationTitleFromPath("/opt/TUNER.V2.exe"), "Tuner");
    EXPECT_EQ(ApplicationTitleFromPath("/x/A"), "A");
}

struct KeyCase {
    const char* name;
    int key;
    int focus;  // 0: none, 1: RadioButton3, 2: Button1
};

class TunerCloseKeys : public InSourceDir, public ::testing::WithParamInterface<KeyCase> {};

TEST_P(TunerCloseKeys, CloseTheWindowStopRecordingAndEndTheLoop) {
    const KeyCase c = GetParam();
    TTunerForm form;
    QSignalSpy closed(&form, &TTunerForm::Closed);
    form.show();
    ASSERT_NE(form.WaveIn, nullptr);
    ASSERT_TRUE(form.WaveIn->Recording.load());
    if (c.focus == 1) form.RadioButton3->setFocus();
    if (c.focus == 2) form.Button1->setFocus();
    QWidget* target = c.focus == 1 ? static_cast<QWidget*>(form.RadioButton3)
                      : c.focus == 2 ? static_cast<QWidget*>(form.Button1)
                                     : static_cast<QWidget*>(&form);
    QTest::keyClick(target, static_cast<Qt::Key>(c.key));
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(form.WaveIn->Recording.load());
    EXPECT_FALSE(form.WaveIn->DeviceOpen.load());
}

INSTANTIATE_TEST_SUITE_P(Keys, TunerCloseKeys,
                         ::testing::Values(KeyCase{"Escape", Qt::Key_Escape, 0},
                                           KeyCase{"EscapeOnRadio", Qt::Key_Escape, 1},
                                           KeyCase{"ReturnOnRadio", Qt::Key_Return, 1},
                                           KeyCase{"EnterOnRadio", Qt::Key_Enter, 1},
                                           KeyCase{"ReturnOnClose", Qt::Key_Return, 2},
                                           KeyCase{"ReturnOnForm", Qt::Key_Return, 0}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

TEST_F(TunerLayout, ButtonOneClosesTheWindow) {
    TTunerForm form;
    QSignalSpy closed(&form, &TTunerForm::Closed);
    form.show();
    QTest::mouseClick(form.Button1, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(closed.count(), 1);
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> Urls;
public slots:
    void Open(const QUrl& Url) { Urls << Url; }
};

TEST_F(TunerKeys, ReturnOnAnotherFocusedButtonPressesThatButton) {
    TTunerForm form;
    QSignalSpy closed(&form, &TTunerForm::Closed);
    UrlCatcher catcher;  // no browser starts
    QDesktopServices::setUrlHandler("http", &catcher, "Open");
    form.show();
    form.Button3->setFocus();
    QTest::keyClick(form.Button3, Qt::Key_Return);
    QDesktopServices::unsetUrlHandler("http");
    EXPECT_EQ(catcher.Urls.size(), 1);
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE(form.isVisible());
    form.close();
}

TEST_F(TunerLayout, CatalogueButtonOpensThePageWithTheTunerQuery) {
    TTunerForm form;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "Open");
    form.Button3->click();
    QDesktopServices::unsetUrlHandler("http");
    ASSERT_EQ(catcher.Urls.size(), 1);
    EXPECT_EQ(catcher.Urls[0].scheme(), "http");
    EXPECT_EQ(catcher.Urls[0].path(), "/");
    EXPECT_EQ(catcher.Urls[0].query(), "from=tuner");
    EXPECT_EQ(catcher.Urls[0].host(), QStringLiteral(ZT_CATALOGUE_HOST));
}

// ---------------------------------------------------------------------------------------------
// Display refresh, pixel by pixel

QRgb Background(const TPaintBox* box) { return box->BackgroundColor().rgb(); }

struct LevelPixels {
    int32_t peak;
    int32_t lastGreen;  // -1: none
    int32_t lastRed;    // -1: none
};

class TunerLevelBar : public InSourceDir, public ::testing::WithParamInterface<LevelPixels> {};

TEST_P(TunerLevelBar, ColumnsAfterATick) {
    const LevelPixels c = GetParam();
    TTunerForm form;
    form.PeakLevel = c.peak;
    form.timerTimer();
    const QImage& canvas = form.soundLevelPaintBox->Canvas();
    ASSERT_EQ(canvas.size(), QSize(393, 20));
    const QRgb bg = Background(form.soundLevelPaintBox);
    for (int x = 0; x < 393; ++x) {
        const QRgb expected = x <= c.lastGreen ? Green : (x <= c.lastRed ? Red : bg);
        for (int y : {0, 10, 19}) ASSERT_EQ(canvas.pixel(x, y), expected) << "x=" << x << " y=" << y;
    }
}

INSTANTIATE_TEST_SUITE_P(LayoutWidth, TunerLevelBar,
                         ::testing::Values(LevelPixels{0, 0, -1}, LevelPixels{106, 325, -1},
                                           LevelPixels{107, 327, 328}, LevelPixels{128, 327, 392}),
                         [](const auto& param_info) { return "Peak" + std::to_string(param_info.param.peak); });

TEST_F(TunerDisplay, LevelBarShrinksBackOnTheNextTick) {
    TTunerForm form;
    form.PeakLevel = 128;
    form.timerTimer();
    form.PeakLevel = 0;
    form.timerTimer();
    const QImage& canvas = form.soundLevelPaintBox->Canvas();
    EXPECT_EQ(canvas.pixel(0, 5), Green);
    EXPECT_EQ(canvas.pixel(1, 5), Background(form.soundLevelPaintBox));
    EXPECT_EQ(canvas.pixel(392, 5), Background(form.soundLevelPaintBox));
}

// Columns of the scale box holding a pixel of the given colour.
std::vector<int> ColumnsWith(const QImage& canvas, QRgb colour) {
    std::vector<int> xs;
    for (int x = 0; x < canvas.width(); ++x) {
        for (int y = 0; y < canvas.height(); ++y) {
            if (canvas.pixel(x, y) == colour) {
                xs.push_back(x);
                break;
            }
        }
    }
    return xs;
}

TEST_F(TunerDisplay, MarksStandAtTheirPositionsMinusHalfWidths) {
    TTunerForm form;
    ASSERT_TRUE(form.SmallDivisionBitmap && !form.SmallDivisionBitmap->Empty());
    form.timerTimer();
    const QImage& canvas = form.frequencyPaintBox->Canvas();
    const int small = form.SmallDivisionBitmap->Width();
    const int large = form.DivisionBitmap->Width();
    ASSERT_EQ(small, 3);
    ASSERT_EQ(large, 5);
    // Row 0 of each mark is solid, so its columns show each mark's full extent.
    std::vector<int> expected;
    for (int centre : {28, 84, 140, 253, 309, 365})
        for (int x = centre - small / 2; x < centre - small / 2 + small; ++x) expected.push_back(x);
    for (int x = 196 - large / 2; x < 196 - large / 2 + large; ++x) expected.push_back(x);
    std::sort(expected.begin(), expected.end());
    std::vector<int> got;
    for (int x = 0; x < canvas.width(); ++x)
        if (canvas.pixel(x, 0) == Black) got.push_back(x);
    EXPECT_EQ(got, expected);
    // Transparent background around the marks, and no pointer without an estimate.
    EXPECT_EQ(canvas.pixel(28, 1), Black);
    EXPECT_EQ(canvas.pixel(27, 1), Background(form.frequencyPaintBox));
    EXPECT_TRUE(ColumnsWith(canvas, Navy).empty());
    EXPECT_EQ(form.frequencyLabel->text(), "0.0 Гц");
}

TEST_F(TunerDisplay, OctaveOfStringOneCentresThePointerUnderTheCentreMark) {
    TTunerForm form;
    form.Frequency = 659.26;
    form.timerTimer();
    EXPECT_EQ(form.Frequency.load(), 329.63);
    EXPECT_EQ(form.frequencyLabel->text(), "329.6 Гц");
    const QImage& canvas = form.frequencyPaintBox->Canvas();
    const int pw = form.PointerBitmap->Width();
    ASSERT_EQ(pw, 11);
    std::vector<int> expected;
    for (int x = 196 - pw / 2; x < 196 - pw / 2 + pw; ++x) expected.push_back(x);
    EXPECT_EQ(ColumnsWith(canvas, Navy), expected);
    // The centre mark lies over the pointer's needle.
    EXPECT_EQ(canvas.pixel(196, 2), Black);
    EXPECT_EQ(canvas.pixel(196, 16), Navy);
}

TEST_F(TunerDisplay, PointerFollowsTheDeviation) {
    TTunerForm form;
    form.RadioButton5->setChecked(true);  // 110 Hz
    form.Frequency = 110.0 * (1 + 1.0 / 8);  // d = 1/8: (0.375 * 2) * 393 = 294.75 -> 295
    form.timerTimer();
    const int pw = form.PointerBitmap->Width();
    const std::vector<int> navy = ColumnsWith(form.frequencyPaintBox->Canvas(), Navy);
    ASSERT_FALSE(navy.empty());
    EXPECT_EQ(navy.front(), 295 - pw / 2);
    EXPECT_EQ(navy.back(), 295 - pw / 2 + pw - 1);
}

TEST_F(TunerDisplay, QuarterEdgesDrawOnlyTheMarks) {
    for (double shown : {82.5, 137.5}) {
        TTunerForm form;
        form.RadioButton5->setChecked(true);
        form.Frequency = shown;
        form.timerTimer();
        EXPECT_TRUE(ColumnsWith(form.frequencyPaintBox->Canvas(), Navy).empty()) << shown;
        EXPECT_FALSE(ColumnsWith(form.frequencyPaintBox->Canvas(), Black).empty());
    }
}

TEST_F(TunerDisplay, FoldSequenceOnStringSix) {
    TTunerForm form;
    form.RadioButton6->setChecked(true);
    form.Frequency = 1000.0;
    QStringList labels;
    for (int tick = 0; tick < 3; ++tick) {
        form.timerTimer();
        labels << form.frequencyLabel->text();
    }
    EXPECT_EQ(labels, (QStringList{"333.3 Гц", "111.1 Гц", "111.1 Гц"}));
    form.Frequency = 1000.0;  // a new estimate starts the sequence anew
    form.timerTimer();
    EXPECT_EQ(form.frequencyLabel->text(), "333.3 Гц");
}

TEST_F(TunerDisplay, FoldEdgesAndNoStringChecked) {
    TTunerForm form;
    form.RadioButton5->setChecked(true);
    form.Frequency = 302.5;  // exactly 2.75 x 110: halved
    form.timerTimer();
    EXPECT_EQ(form.Frequency.load(), 151.25);
    form.Frequency = 192.5;  // exactly 1.75 x 110: left alone
    form.timerTimer();
    EXPECT_EQ(form.Frequency.load(), 192.5);
    // With no button checked the thickest string applies: 247.2 / 82.4 = 3.
    form.RadioButton5->setAutoExclusive(false);
    form.RadioButton5->setChecked(false);
    form.Frequency = 247.2;
    form.timerTimer();
    EXPECT_EQ(form.frequencyLabel->text(), "82.4 Гц");
}

TEST_F(TunerDisplay, LabelUsesTheLocaleDecimalSeparator) {
    TTunerForm form;
    form.Frequency = 659.26;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    form.timerTimer();
    EXPECT_EQ(form.frequencyLabel->text(), "329,6 Гц");
    QLocale::setDefault(QLocale::c());
    form.timerTimer();
    EXPECT_EQ(form.frequencyLabel->text(), "329.6 Гц");
}

TEST_F(TunerDisplay, CanvasSurvivesASystemRepaint) {
    TTunerForm form;
    form.show();
    form.PeakLevel = 64;
    form.timerTimer();
    const QImage shot = form.soundLevelPaintBox->grab().toImage();
    EXPECT_EQ(shot.pixel(0, 0), Green);
    EXPECT_EQ(shot.pixel(196, 19), Green);
    EXPECT_EQ(shot.pixel(197, 19), Background(form.soundLevelPaintBox));
    form.close();
}

// Every drawn pixel of the scale stands out from its background by at least 7:1, and the window's own
// colours are the light ones, also with a dark desktop palette, set before the window exists or later.
void ExpectReadableScale(TTunerForm& Form) {
    Form.Frequency = 659.26;  // the pointer under the centre mark
    Form.timerTimer();
    const QRgb bg = Background(Form.frequencyPaintBox);
    EXPECT_GT(RelativeLuminance(bg), 0.5);
    const QImage& canvas = Form.frequencyPaintBox->Canvas();
    int drawn = 0;
    for (int y = 0; y < canvas.height(); ++y)
        for (int x = 0; x < canvas.width(); ++x)
            if (canvas.pixel(x, y) != bg) {
                ++drawn;
                ASSERT_GE(ContrastRatio(canvas.pixel(x, y), bg), 7.0) << x << "," << y;
            }
    EXPECT_GT(drawn, 7 * 3);
    // What the window shows around the scale: the box's background is the window's face.
    const QImage window = Form.grab().toImage();
    const QPoint box = Form.frequencyPaintBox->mapTo(&Form, QPoint(0, 0));
    EXPECT_EQ(window.pixel(box + QPoint(28, 0)), Black);
    EXPECT_EQ(window.pixel(box + QPoint(26, 0)), bg);
    EXPECT_EQ(window.pixel(box + QPoint(-3, 5)), bg);
    const QPalette& palette = Form.palette();
    EXPECT_EQ(palette.color(QPalette::Window).rgb(), bg);
    EXPECT_GE(ContrastRatio(palette.color(QPalette::WindowText).rgb(), bg), 7.0);
    EXPECT_GE(ContrastRatio(Form.frequencyLabel->palette().color(QPalette::WindowText).rgb(), bg), 7.0);
    EXPECT_GE(ContrastRatio(Form.Button1->palette().color(QPalette::ButtonText).rgb(),
                            Form.Button1->palette().color(QPalette::Button).rgb()),
              7.0);
}

TEST_F(TunerDisplay, DarkDesktopPaletteKeepsTheScaleReadable) {
    const QPalette desktop = QApplication::palette();
    QApplication::setPalette(DarkDesktopPalette());
    {
        TTunerForm form;
        form.show();
        ExpectReadableScale(form);
        form.close();
    }
    QApplication::setPalette(desktop);
    TTunerForm form;
    form.show();
    const QRgb light = Background(form.frequencyPaintBox);
    QApplication::setPalette(DarkDesktopPalette());  // the desktop turns dark while the tuner runs
    QApplication::processEvents();
    EXPECT_EQ(Background(form.frequencyPaintBox), light);
    ExpectReadableScale(form);
    form.close();
    QApplication::setPalette(desktop);
}

// Runs of columns whose top row is black: the marks, whose top rows are solid.
std::vector<std::pair<int, int>> BlackRunsInTopRow(const QImage& Image) {
    std::vector<std::pair<int, int>> runs;  // first column, width
    for (int x = 0; x < Image.width(); ++x) {
        if (Image.pixel(x, 0) != Black) continue;
        if (!runs.empty() && runs.back().first + runs.back().second == x)
            ++runs.back().second;
        else
            runs.push_back({x, 1});
    }
    return runs;
}

TEST_F(TunerDisplay, AllCopiesOfABitmapLookTheSameAtTheScreenScale) {
    TTunerForm form;
    form.show();
    form.PeakLevel = 107;
    form.timerTimer();
    const double ratio = form.frequencyPaintBox->devicePixelRatioF();
    std::printf("device pixel ratio %g\n", ratio);
    // The screen shows the canvas pixel for pixel: nothing is scaled on the way.
    for (TPaintBox* box : {form.soundLevelPaintBox, form.frequencyPaintBox}) {
        const QImage shot = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QImage& canvas = box->Canvas();
        ASSERT_EQ(canvas.size(), QSize(DevicePx(393, ratio), DevicePx(20, ratio)));
        for (int y = 0; y < std::min(shot.height(), canvas.height()); ++y)
            for (int x = 0; x < std::min(shot.width(), canvas.width()); ++x)
                ASSERT_EQ(shot.pixel(x, y), canvas.pixel(x, y)) << x << "," << y;
    }
    // Level bar: box column x covers device columns DevicePx(x) to DevicePx(x + 1).
    const QImage& bar = form.soundLevelPaintBox->Canvas();
    EXPECT_EQ(bar.pixel(DevicePx(328, ratio) - 1, 0), Green);
    EXPECT_EQ(bar.pixel(DevicePx(328, ratio), 0), Red);
    EXPECT_EQ(bar.pixel(DevicePx(329, ratio) - 1, 0), Red);
    EXPECT_EQ(bar.pixel(DevicePx(329, ratio), 0), Background(form.soundLevelPaintBox));
    // Seven marks, each at the device pixel of its written left edge; the six side marks alike.
    const QImage& scale = form.frequencyPaintBox->Canvas();
    const auto runs = BlackRunsInTopRow(scale);
    ASSERT_EQ(runs.size(), 7u);
    const int small = DevicePx(3, ratio);
    const int starts[] = {27, 83, 139, 194, 252, 308, 364};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(runs[i].first, DevicePx(starts[i], ratio)) << i;
        EXPECT_EQ(runs[i].second, i == 3 ? DevicePx(5, ratio) : small) << i;
    }
    const QImage first = scale.copy(runs[0].first - 1, 0, small + 2, scale.height());
    for (int i : {1, 2, 4, 5, 6})
        EXPECT_EQ(scale.copy(runs[i].first - 1, 0, small + 2, scale.height()), first) << i;
    form.close();
}

TEST(TunerScaling, FractionalAndDoubleScaleOnASmallScreen) {
    const QString filter = QStringLiteral(
        "TunerDisplay.AllCopiesOfABitmapLookTheSameAtTheScreenScale:TunerLayout.ShownWindowIsCentredFrameIncluded");
    for (const char* scale : {"1.5", "2"}) {
        QString output;
        EXPECT_EQ(RunThisProgram(filter, 1024, 768, QString::fromLatin1(scale), &output), 0) << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("device pixel ratio ") + scale)) << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 2 tests"))) << output.toStdString();
    }
}

struct SpokenCase {
    int radio;  // 1..6
    int32_t peak;
    double frequency;
    const char* levelName;
    const char* levelDescription;
    const char* tuningName;
    const char* tuningDescription;
};

class TunerAccessibleTexts : public InSourceDir, public ::testing::WithParamInterface<SpokenCase> {};

TEST_P(TunerAccessibleTexts, PaintBoxesSayTheLevelAndTheDeviation) {
    const SpokenCase c = GetParam();
    TTunerForm form;
    QRadioButton* radios[] = {form.RadioButton1, form.RadioButton2, form.RadioButton3,
                              form.RadioButton4, form.RadioButton5, form.RadioButton6};
    radios[c.radio - 1]->setChecked(true);
    form.PeakLevel = c.peak;
    form.Frequency = c.frequency;
    form.timerTimer();
    EXPECT_EQ(form.soundLevelPaintBox->accessibleName(), QString::fromUtf8(c.levelName));
    EXPECT_EQ(form.soundLevelPaintBox->accessibleDescription(), QString::fromUtf8(c.levelDescription));
    EXPECT_EQ(form.frequencyPaintBox->accessibleName(), QString::fromUtf8(c.tuningName));
    EXPECT_EQ(form.frequencyPaintBox->accessibleDescription(), QString::fromUtf8(c.tuningDescription));
}

INSTANTIATE_TEST_SUITE_P(
    Readings, TunerAccessibleTexts,
    ::testing::Values(
        SpokenCase{1, 0, 0.0, "Уровень сигнала 0 %", "Уровень сигнала 0 % от полной шкалы, индикатор в зеленой зоне",
                   "Отклонение: частота не определена", "Струна 1: частота не определена"},
        // The octave of string 1 folds onto the target: in tune.
        SpokenCase{1, 64, 659.26, "Уровень сигнала 50 %",
                   "Уровень сигнала 50 % от полной шкалы, индикатор в зеленой зоне", "Отклонение 0.0 %, настроена",
                   "Струна 1 настроена: отклонение 0.0 %, не больше 0.3 %"},
        // 107 / 128 = 83.6 %: the first level in the red zone.
        SpokenCase{5, 107, 110.33, "Уровень сигнала 84 %",
                   "Уровень сигнала 84 % от полной шкалы, индикатор в красной зоне: звук слишком громкий",
                   "Отклонение +0.3 %, настроена", "Струна 5 настроена: отклонение +0.3 %, не больше 0.3 %"},
        SpokenCase{5, 106, 110.44, "Уровень сигнала 83 %",
                   "Уровень сигнала 83 % от полной шкалы, индикатор в зеленой зоне", "Отклонение +0.4 %, выше",
                   "Струна 5 звучит выше нужной ноты на 0.4 %"},
        SpokenCase{2, 128, 240.0, "Уровень сигнала 100 %",
                   "Уровень сигнала 100 % от полной шкалы, индикатор в красной зоне: звук слишком громкий",
                   "Отклонение -2.8 %, ниже", "Струна 2 звучит ниже нужной ноты на 2.8 %"},
        // 30 % above string 6: the pointer is off the scale.
        SpokenCase{6, 1, 107.12, "Уровень сигнала 1 %",
                   "Уровень сигнала 1 % от полной шкалы, индикатор в зеленой зоне", "Отклонение +30.0 %, выше",
                   "Струна 6 звучит выше нужной ноты на 30.0 %, указатель за пределами шкалы"}),
    [](const auto& param_info) { return "Case" + std::to_string(param_info.index); });

TEST_F(TunerDisplay, ScreenReaderTextsChangeOnlyWithTheReading) {
    TTunerForm form;
    form.timerTimer();
    const int32_t afterFirst = form.AccessibleTextChanges();
    EXPECT_EQ(afterFirst, 2);  // both boxes, once
    for (int i = 0; i < 20; ++i) form.timerTimer();  // idle: nothing to tell
    EXPECT_EQ(form.AccessibleTextChanges(), afterFirst);
    form.PeakLevel = 64;  // the level changes, the deviation does not
    form.timerTimer();
    form.timerTimer();
    EXPECT_EQ(form.AccessibleTextChanges(), afterFirst + 1);
    form.Frequency = 329.63;
    form.timerTimer();
    form.Frequency = 329.64;  // the same reading in tenths of a per cent
    form.timerTimer();
    EXPECT_EQ(form.AccessibleTextChanges(), afterFirst + 2);
    form.RadioButton2->setChecked(true);  // another string: another text
    form.timerTimer();
    EXPECT_EQ(form.AccessibleTextChanges(), afterFirst + 3);
}

TEST_F(TunerLayout, ButtonsAndStringsHaveRussianDescriptions) {
    TTunerForm form;
    QSet<QString> seen;
    for (QWidget* w : std::initializer_list<QWidget*>{form.RadioButton1, form.RadioButton2, form.RadioButton3,
                                                      form.RadioButton4, form.RadioButton5, form.RadioButton6,
                                                      form.Button1, form.Button2, form.Button3}) {
        const QString text = w->accessibleDescription();
        EXPECT_FALSE(text.isEmpty());
        EXPECT_TRUE(text.contains(QRegularExpression(QStringLiteral("[а-яА-Я]")))) << text.toStdString();
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 9);
    EXPECT_TRUE(form.RadioButton6->accessibleDescription().contains(QStringLiteral("82.4 Гц")));
    EXPECT_FALSE(form.soundLevelPaintBox->accessibleName().isEmpty());
    EXPECT_FALSE(form.frequencyPaintBox->accessibleName().isEmpty());
}

// ---------------------------------------------------------------------------------------------
// Bitmaps that fail to load

class TunerBitmaps : public ::testing::Test {
protected:
    void SetUp() override {
        saved = QDir::currentPath();
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QDir::setCurrent(dir.path()));
    }
    void TearDown() override { QDir::setCurrent(saved); }
    // The system's reason for a file that is not there, in the platform's own words: Linux's strerror, or the
    // text Windows (or Wine, whose wording differs) gives for the error of a failed open.
    static QString NotFound(const QString& path) {
#ifdef Q_OS_WIN
        QFile missing(path);
        return missing.open(QIODevice::ReadOnly) ? QString() : missing.errorString();
#else
        Q_UNUSED(path);
        return QStringLiteral("No such file or directory");
#endif
    }
    void Copy(const char* name) {
        QDir().mkpath("img");
        ASSERT_TRUE(QFile::copy(QStringLiteral(ZT_SOURCE_DIR "/img/") + name, QStringLiteral("img/") + name));
    }
    void Write(const char* name, const QByteArray& bytes) {
        QDir().mkpath("img");
        QFile f(QStringLiteral("img/") + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // Hundreds of ticks after a failed load show no further error box.
    void TickMany(TTunerForm& form, TModalBoxWatcher& boxes) {
        const int before = boxes.Texts.size();
        form.Frequency = 659.26;
        form.PeakLevel = 100;
        for (int i = 0; i < 300; ++i) {
            form.timerTimer();
            QApplication::processEvents();
        }
        EXPECT_EQ(boxes.Texts.size(), before);
        EXPECT_EQ(form.frequencyLabel->text(), "329.6 Гц");
        EXPECT_EQ(form.soundLevelPaintBox->Canvas().pixel(0, 0), Green);
    }
    QTemporaryDir dir;
    QString saved;
};

TEST_F(TunerBitmaps, MissingFolderReportsThePointerFileAndCreatesNoLaterBitmap) {
    TModalBoxWatcher boxes;
    TTunerForm form;
    ASSERT_EQ(boxes.Texts.size(), 1);
    EXPECT_EQ(boxes.Texts[0], "Cannot open file \"./img/pointer.bmp\". " + NotFound("./img/pointer.bmp"));
    EXPECT_EQ(boxes.Icons[0], QMessageBox::Critical);
    ASSERT_NE(form.PointerBitmap, nullptr);
    EXPECT_TRUE(form.PointerBitmap->Empty());
    EXPECT_EQ(form.DivisionBitmap, nullptr);
    EXPECT_EQ(form.SmallDivisionBitmap, nullptr);
    TickMany(form, boxes);
    EXPECT_TRUE(ColumnsWith(form.frequencyPaintBox->Canvas(), Black).empty());
}

struct CorruptCase {
    const char* name;
    int cut;  // bytes of the real pointer.bmp kept; 0: the text below instead
};

class TunerCorruptPointer : public TunerBitmaps, public ::testing::WithParamInterface<CorruptCase> {};

TEST_P(TunerCorruptPointer, IsReportedAsInvalidAndCreatesNoLaterBitmap) {
    const CorruptCase c = GetParam();
    QFile real(QStringLiteral(ZT_SOURCE_DIR "/img/pointer.bmp"));
    ASSERT_TRUE(real.open(QIODevice::ReadOnly));
    Write("pointer.bmp", c.cut > 0 ? real.readAll().left(c.cut) : QByteArray("BM this is not a bitmap at all"));
    Copy("division.bmp");
    Copy("smallDivision.bmp");
    TModalBoxWatcher boxes;
    TTunerForm form;
    ASSERT_EQ(boxes.Texts.size(), 1);
    EXPECT_EQ(boxes.Texts[0], "Bitmap image is not valid: \"./img/pointer.bmp\"");
    EXPECT_EQ(boxes.Icons[0], QMessageBox::Critical);
    EXPECT_TRUE(form.PointerBitmap->Empty());
    EXPECT_EQ(form.DivisionBitmap, nullptr);
    TickMany(form, boxes);
}

INSTANTIATE_TEST_SUITE_P(Files, TunerCorruptPointer,
                         ::testing::Values(CorruptCase{"NotABitmap", 0}, CorruptCase{"CutTo100Of142Bytes", 100}),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

// Damaged copies of a real bitmap, driven through the loader. Each row says how the file is made
// from pointer.bmp (11 x 20 pixels, 1 bit: 14-byte file header, 40-byte info header, 2 colours,
// 20 rows of 4 bytes from offset 62, 142 bytes in all), or gives the whole file.
QByteArray Le32(uint32_t Value) {
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((Value >> (8 * i)) & 0xFF);
    return bytes;
}

QByteArray Patched(QByteArray Bytes, int Offset, uint32_t Value, int Width) {
    const QByteArray le = Le32(Value);
    for (int i = 0; i < Width && Offset + i < Bytes.size(); ++i) Bytes[Offset + i] = le[i];
    return Bytes;
}

QByteArray RealPointer() {
    QFile f(QStringLiteral(ZT_SOURCE_DIR "/img/pointer.bmp"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An 8-bit run-length bitmap of Width x Height with a grey colour table and the given pixel stream.
QByteArray RunLength8(int Width, int Height, const QByteArray& Stream) {
    QByteArray table;
    for (int i = 0; i < 256; ++i) table += QByteArray(3, static_cast<char>(i)) + '\0';
    const uint32_t offset = 14 + 40 + table.size();
    QByteArray file = "BM" + Le32(offset + Stream.size()) + Le32(0) + Le32(offset);
    file += Le32(40) + Le32(Width) + Le32(Height) + Le32(1 | 8 << 16) + Le32(1) + Le32(Stream.size()) + Le32(0) +
            Le32(0) + Le32(256) + Le32(0);
    return file + table + Stream;
}

QByteArray Bytes(std::initializer_list<int> Values) {
    QByteArray bytes;
    for (int v : Values) bytes += static_cast<char>(v);
    return bytes;
}

struct DamageCase {
    std::string name;
    QByteArray file;
};

std::vector<DamageCase> DamagedBitmaps() {
    const QByteArray real = RealPointer();
    std::vector<DamageCase> rows;
    // Cut at every field boundary of both headers, in the colour table and inside the pixel rows; each
    // also with its size fields rewritten to agree with the cut, so that only the missing parts tell.
    for (int cut : {0, 1, 2, 6, 8, 10, 14, 18, 22, 26, 28, 30, 34, 38, 42, 46, 50, 54, 58, 62, 63, 66, 100, 138, 141}) {
        const QByteArray cutFile = real.left(cut);
        rows.push_back({"Cut" + std::to_string(cut), cutFile});
        if (cut >= 6) rows.push_back({"Cut" + std::to_string(cut) + "Agreed",
                                      Patched(Patched(cutFile, 2, cut, 4), 34, std::max(cut - 62, 0), 4)});
    }
    const struct {
        const char* name;
        int offset;
        uint32_t value;
        int width;
    } fields[] = {
        {"NoSignature", 1, 'X', 1},
        {"FileSizeBeyondTheFile", 2, 143, 4},
        {"FileSizeInsideTheHeaders", 2, 40, 4},
        {"PixelOffsetZero", 10, 0, 4},
        {"PixelOffsetInTheFileHeader", 10, 14, 4},
        {"PixelOffsetInTheColourTable", 10, 58, 4},
        {"PixelOffsetLastRowShort", 10, 63, 4},
        {"PixelOffsetAtTheEnd", 10, 142, 4},
        {"PixelOffsetHuge", 10, 0xFFFFFFFF, 4},
        {"InfoSizeZero", 14, 0, 4},
        {"InfoSize39", 14, 39, 4},
        {"InfoSize41", 14, 41, 4},
        {"InfoSizeBeyondTheFile", 14, 124, 4},
        {"InfoSizeHuge", 14, 0xFFFFFFF0, 4},
        {"WidthZero", 18, 0, 4},
        {"WidthNegative", 18, static_cast<uint32_t>(-11), 4},
        {"WidthHuge", 18, 100000, 4},
        {"WidthMaximum", 18, 0x7FFFFFFF, 4},
        {"WidthWiderThanTheRows", 18, 33, 4},
        {"HeightZero", 22, 0, 4},
        {"HeightHuge", 22, 100000, 4},
        {"HeightTallerThanTheFile", 22, 21, 4},
        {"HeightMinimum", 22, 0x80000000, 4},
        {"PlanesZero", 26, 0, 2},
        {"PlanesTwo", 26, 2, 2},
        {"BitCountZero", 28, 0, 2},
        {"BitCountTwo", 28, 2, 2},
        {"BitCountSeven", 28, 7, 2},
        {"BitCountEightRowsMissing", 28, 8, 2},
        {"BitCount64", 28, 64, 2},
        {"RunLength8OnOneBit", 30, 1, 4},
        {"RunLength4OnOneBit", 30, 2, 4},
        {"BitFieldsOnOneBit", 30, 3, 4},
        {"CompressionJpeg", 30, 4, 4},
        {"CompressionPng", 30, 5, 4},
        {"CompressionUnknown", 30, 99, 4},
        {"ImageSizeBeyondTheFile", 34, 81, 4},
        {"ImageSizeSmallerThanTheRows", 34, 40, 4},
        {"ColoursUsedBeyondTheBitCount", 46, 3, 4},
        {"ColoursUsedHuge", 46, 0xFFFFFFFF, 4},
    };
    for (const auto& f : fields) rows.push_back({f.name, Patched(real, f.offset, f.value, f.width)});
    // Run-length data (4 x 2 pixels) that leaves pixels unset or runs out.
    rows.push_back({"RunLengthOnlyEndOfBitmap", RunLength8(4, 2, Bytes({0, 1}))});
    rows.push_back({"RunLengthDelta", RunLength8(4, 2, Bytes({4, 9, 0, 0, 0, 2, 1, 0, 3, 9, 0, 1}))});
    rows.push_back({"RunLengthLineEndsEarly", RunLength8(4, 2, Bytes({3, 9, 0, 0, 4, 9, 0, 1}))});
    rows.push_back({"RunLengthRunOverrunsTheRow", RunLength8(4, 2, Bytes({5, 9, 0, 0, 4, 9, 0, 1}))});
    rows.push_back({"RunLengthStreamCut", RunLength8(4, 2, Bytes({4, 9, 0, 0, 4}))});
    rows.push_back({"RunLengthAbsoluteRunCut", RunLength8(4, 2, Bytes({0, 4, 1, 2}))});
    rows.push_back({"RunLengthNoEnd", RunLength8(4, 2, Bytes({4, 9, 0, 0, 4, 9, 0, 0}))});
    rows.push_back({"RunLengthTopDown", Patched(RunLength8(4, 2, Bytes({4, 9, 0, 0, 4, 9, 0, 1})), 22,
                                                static_cast<uint32_t>(-2), 4)});
    return rows;
}

TEST(TunerDamagedBitmaps, AreRefusedAsNotValid) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::vector<DamageCase> rows = DamagedBitmaps();
    EXPECT_EQ(rows.size(), 95u);
    for (const DamageCase& row : rows) {
        const QString path = dir.filePath(QString::fromStdString(row.name) + ".bmp");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(row.file);
        file.close();
        TBitmap bitmap;
        bitmap.Transparent = true;
        try {
            bitmap.LoadFromFile(path);
            ADD_FAILURE() << row.name << ": loaded " << bitmap.Width() << " x " << bitmap.Height();
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(QString::fromStdString(e.what()), QStringLiteral("Bitmap image is not valid: \"%1\"").arg(path))
                << row.name;
        }
        EXPECT_TRUE(bitmap.Empty()) << row.name;
    }
}

TEST(TunerSoundBitmaps, LoadWithTheirPixels) {
    const QByteArray real = RealPointer();
    QImage reference;
    ASSERT_TRUE(reference.loadFromData(real, "BMP"));
    reference = reference.convertToFormat(QImage::Format_RGB32);
    QImage saved24(7, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x) saved24.setPixel(x, y, qRgb(30 * x, 80 * y, 200));
    QByteArray written;
    {
        QBuffer buffer(&written);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
        ASSERT_TRUE(saved24.save(&buffer, "BMP"));
    }
    // Rows stored top-down: the same file with a negative height shows the rows the other way up.
    const QImage flipped = reference.mirrored(false, true);
    const struct {
        const char* name;
        QByteArray file;
        QImage expected;
    } rows[] = {
        {"AsShipped", real, reference},
        {"ColoursUsedZeroMeansAll", Patched(real, 46, 0, 4), reference},
        {"ImageSizeZero", Patched(real, 34, 0, 4), reference},
        {"TrailingBytes", real + QByteArray(10, '\x55'), reference},
        {"TopDown", Patched(real, 22, static_cast<uint32_t>(-20), 4), flipped},
        {"WrittenByTheToolkit24Bit", written, saved24},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const auto& row : rows) {
        const QString path = dir.filePath(QString::fromLatin1(row.name) + ".bmp");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(row.file);
        file.close();
        TBitmap bitmap;
        ASSERT_NO_THROW(bitmap.LoadFromFile(path)) << row.name;
        EXPECT_EQ(bitmap.Image, row.expected) << row.name;
    }
    // Complete run-length data: runs and an absolute run fill every pixel of a 4 x 2 bitmap.
    TBitmap runLength;
    const QString path = dir.filePath(QStringLiteral("rle.bmp"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(RunLength8(4, 2, Bytes({2, 10, 2, 20, 0, 0, 0, 4, 30, 40, 50, 60, 0, 0, 0, 1})));
    file.close();
    ASSERT_NO_THROW(runLength.LoadFromFile(path));
    ASSERT_EQ(runLength.Image.size(), QSize(4, 2));
    const int grey[2][4] = {{30, 40, 50, 60}, {10, 10, 20, 20}};  // bottom row stored first
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(runLength.Image.pixel(x, y), qRgb(grey[y][x], grey[y][x], grey[y][x]));
}

TEST_F(TunerBitmaps, MissingSecondFileKeepsThePointer) {
    Copy("pointer.bmp");
    Copy("smallDivision.bmp");
    TModalBoxWatcher boxes;
    TTunerForm form;
    ASSERT_EQ(boxes.Texts.size(), 1);
    EXPECT_EQ(boxes.Texts[0], "Cannot open file \"./img/division.bmp\". " + NotFound("./img/division.bmp"));
    ASSERT_NE(form.PointerBitmap, nullptr);
    ASSERT_NE(form.DivisionBitmap, nullptr);
    EXPECT_FALSE(form.PointerBitmap->Empty());
    EXPECT_TRUE(form.DivisionBitmap->Empty());
    EXPECT_EQ(form.SmallDivisionBitmap, nullptr);
    TickMany(form, boxes);
    // The pointer is still drawn, centred; no marks are.
    EXPECT_FALSE(ColumnsWith(form.frequencyPaintBox->Canvas(), Navy).empty());
    EXPECT_TRUE(ColumnsWith(form.frequencyPaintBox->Canvas(), Black).empty());
}

TEST(TunerResources, EveryImageTheWindowLoadsExists) {
    for (const char* name : {"pointer.bmp", "division.bmp", "smallDivision.bmp"}) {
        QImage image(QStringLiteral(ZT_SOURCE_DIR "/img/") + name);
        ASSERT_FALSE(image.isNull()) << name;
        EXPECT_LE(image.height(), 20) << name;
        EXPECT_EQ(image.pixel(0, image.height() - 1), qRgb(255, 255, 255)) << name;
        EXPECT_LE(image.colorCount(), 2) << name;
    }
}

}  // namespace

#include "test_tuner_window.moc"
