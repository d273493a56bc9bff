// The tuner window under Qt's offscreen platform: layout, keys, display refresh pixels, bitmaps.
#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <memory>

#include "QtTestMain.h"
#include "U_FFTTuner.h"
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
    EXPECT_EQ(boxes.Texts[0], "Cannot open file \"./img/pointer.bmp\". No such file or directory");
    EXPECT_EQ(boxes.Icons[0], QMessageBox::Critical);
    ASSERT_NE(form.PointerBitmap, nullptr);
    EXPECT_TRUE(form.PointerBitmap->Empty());
    EXPECT_EQ(form.DivisionBitmap, nullptr);
    EXPECT_EQ(form.SmallDivisionBitmap, nullptr);
    TickMany(form, boxes);
    EXPECT_TRUE(ColumnsWith(form.frequencyPaintBox->Canvas(), Black).empty());
}

TEST_F(TunerBitmaps, CorruptFirstFileIsReportedAsInvalid) {
    Write("pointer.bmp", QByteArray("BM this is not a bitmap at all"));
    Copy("division.bmp");
    Copy("smallDivision.bmp");
    TModalBoxWatcher boxes;
    TTunerForm form;
    ASSERT_EQ(boxes.Texts.size(), 1);
    EXPECT_EQ(boxes.Texts[0], "Bitmap image is not valid: \"./img/pointer.bmp\"");
    EXPECT_TRUE(form.PointerBitmap->Empty());
    EXPECT_EQ(form.DivisionBitmap, nullptr);
    TickMany(form, boxes);
}

TEST_F(TunerBitmaps, MissingSecondFileKeepsThePointer) {
    Copy("pointer.bmp");
    Copy("smallDivision.bmp");
    TModalBoxWatcher boxes;
    TTunerForm form;
    ASSERT_EQ(boxes.Texts.size(), 1);
    EXPECT_EQ(boxes.Texts[0], "Cannot open file \"./img/division.bmp\". No such file or directory");
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
