// The information window under Qt's offscreen platform, alone and together with the tuner window.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QIcon>
#include <QImage>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QToolButton>

#include <QScreen>

#include <cstdio>

#include "DesktopWindow.h"
#include "InfoUnit.h"
#include "ProgramEntry.h"
#include "QtTestMain.h"
#include "U_FFTTuner.h"

namespace {

QString SourceText(const char* name) {
    QFile f(QStringLiteral(ZT_SOURCE_DIR "/info/texts/") + name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QString text = QString::fromUtf8(f.readAll());
    if (text.endsWith('\n')) text.chop(1);
    return text;
}

TEST(InfoWindow, PagesInOrderWithTheirCaptionsAndTexts) {
    TinfoForm form;
    EXPECT_EQ(form.objectName(), "infoForm");
    EXPECT_EQ(form.windowTitle(), "Информация");
    EXPECT_TRUE(form.isHidden());
    EXPECT_EQ(form.size(), QSize(696, 480));
    const struct {
        QWidget* sheet;
        QPlainTextEdit* memo;
        const char* caption;
        const char* file;
    } pages[] = {
        {form.tuneTabSheet, form.Memo8, "Как настраивать гитару", "tune.txt"},
        {form.aTabSheet, form.Memo1, "Аккорд A", "chords_a.txt"},
        {form.bTabSheet, form.Memo2, "Аккорды B / H", "chords_b.txt"},
        {form.cTabSheet, form.Memo3, "Аккорд C", "chords_c.txt"},
        {form.dTabSheet, form.Memo4, "Аккорд D", "chords_d.txt"},
        {form.eTabSheet, form.Memo5, "Аккорд E", "chords_e.txt"},
        {form.fTabSheet, form.Memo6, "Аккорд F", "chords_f.txt"},
        {form.gTabSheet, form.Memo7, "Аккорд G", "chords_g.txt"},
    };
    ASSERT_EQ(form.pageControl->count(), 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(form.pageControl->widget(i), pages[i].sheet) << i;
        EXPECT_EQ(form.pageControl->tabText(i), QString::fromUtf8(pages[i].caption)) << i;
        EXPECT_TRUE(pages[i].memo->isReadOnly()) << i;
        EXPECT_TRUE(pages[i].sheet->isAncestorOf(pages[i].memo)) << i;
        const QString expected = SourceText(pages[i].file);
        EXPECT_FALSE(expected.isEmpty()) << pages[i].file;
        EXPECT_EQ(pages[i].memo->toPlainText(), expected) << pages[i].file;
    }
    EXPECT_EQ(form.pageControl->currentIndex(), 0);
    EXPECT_TRUE(form.pageControl->documentMode());
}

TEST(InfoWindow, TuningPageWrapsWithoutScrollBars) {
    TinfoForm form;
    EXPECT_EQ(form.Memo8->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(form.Memo8->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(form.Memo8->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(QFontInfo(form.Memo8->font()).family(), "Liberation Sans");
    EXPECT_EQ(form.Memo8->font().pixelSize(), 11);
    EXPECT_EQ(form.Memo8->document()->blockCount(), 20);
}

TEST(InfoWindow, ChartsKeepColumnsAlignedAndScrollSidewaysWhenNarrowed) {
    TinfoForm form;
    form.show();
    form.resize(250, 300);
    QApplication::processEvents();
    for (QPlainTextEdit* memo : {form.Memo1, form.Memo2, form.Memo3, form.Memo4, form.Memo5, form.Memo6, form.Memo7}) {
        form.pageControl->setCurrentWidget(memo->parentWidget());
        QApplication::processEvents();
        EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
        EXPECT_EQ(memo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        EXPECT_EQ(memo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        const QFontInfo info(memo->font());
        EXPECT_EQ(info.family(), "Liberation Mono");
        EXPECT_TRUE(info.fixedPitch());
        EXPECT_EQ(memo->font().pixelSize(), 11);
        // One visual line per text line: nothing wraps.
        const QTextDocument* doc = memo->document();
        for (QTextBlock block = doc->begin(); block.isValid(); block = block.next())
            ASSERT_LE(block.layout()->lineCount(), 1) << block.text().toStdString();
        // The brackets of every chord row start at the same pixel.
        const QFontMetrics metrics(memo->font());
        int bracketX = -1;
        for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
            const int at = block.text().indexOf('[');
            if (at != 25) continue;
            const int x = metrics.horizontalAdvance(block.text().left(at));
            if (bracketX < 0) bracketX = x;
            ASSERT_EQ(x, bracketX) << block.text().toStdString();
        }
        EXPECT_GT(bracketX, 0);
        EXPECT_GT(memo->horizontalScrollBar()->maximum(), 0);
    }
    form.close();
}

TEST(InfoWindow, ClosingOnlyHides) {
    TinfoForm form;
    form.show();
    form.pageControl->setCurrentIndex(3);
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(form.isHidden());
    EXPECT_FALSE(form.testAttribute(Qt::WA_DeleteOnClose));
    form.show();
    EXPECT_EQ(form.Memo1->toPlainText(), SourceText("chords_a.txt"));
}

TEST(WindowPlacement, WholeWindowCentredOnTheAvailableAreaAndKeptInside) {
    const struct {
        const char* name;
        QRect area;
        QSize client;
        QMargins frame;
        bool resizable;
        QPoint frameTopLeft;
        QSize clientSize;
    } rows[] = {
        // 431 x 323 with the frame: (1024 - 431) / 2 = 296, (768 - 323) / 2 = 222.
        {"TunerWithTitleBar", {0, 0, 1024, 768}, {423, 289}, {4, 30, 4, 4}, false, {296, 222}, {423, 289}},
        {"PanelAtTheTop", {0, 27, 1024, 741}, {423, 289}, {4, 30, 4, 4}, false, {296, 236}, {423, 289}},
        {"SecondScreen", {1920, 0, 1280, 1024}, {696, 480}, {0, 0, 0, 0}, true, {2212, 272}, {696, 480}},
        {"NoFrameYet", {100, 50, 800, 600}, {696, 480}, {0, 0, 0, 0}, true, {152, 110}, {696, 480}},
        // 1024 x 768 at scale 2: the information window shrinks to the area, frame included.
        {"InfoLargerThanTheArea", {0, 0, 512, 384}, {696, 480}, {1, 20, 1, 1}, true, {0, 0}, {510, 363}},
        {"InfoWiderOnly", {0, 0, 683, 512}, {696, 480}, {1, 1, 1, 1}, true, {0, 15}, {681, 480}},
        // A fixed window larger than the area keeps its size with its title bar on the area.
        {"FixedLargerThanTheArea", {10, 20, 400, 250}, {423, 289}, {4, 30, 4, 4}, false, {10, 20}, {423, 289}},
    };
    for (const auto& row : rows) {
        const TWindowPlacement p = CentredPlacement(row.area, row.client, row.frame, row.resizable);
        EXPECT_EQ(p.FrameTopLeft, row.frameTopLeft) << row.name;
        EXPECT_EQ(p.ClientSize, row.clientSize) << row.name;
    }
}

// Shown on the screen it has (the default one, or a small one at scale 1.5 or 2 when run by
// InfoScaling): centred with its frame, inside the available area with its tab bar, with the design size
// when that fits.
TEST(InfoWindow, ShownCentredFrameIncludedInsideTheAvailableArea) {
    TinfoForm form;
    form.show();
    const QRect area = form.screen()->availableGeometry();
    const QRect frame = form.frameGeometry();
    std::printf("area %dx%d at ratio %g\n", area.width(), area.height(), form.devicePixelRatioF());
    EXPECT_NE(frame, form.geometry()) << "the offscreen platform draws a frame";
    EXPECT_TRUE(area.contains(frame)) << frame.width() << "x" << frame.height();
    const QMargins margins(form.geometry().left() - frame.left(), form.geometry().top() - frame.top(),
                           frame.right() - form.geometry().right(), frame.bottom() - form.geometry().bottom());
    EXPECT_EQ(form.width(), std::min(696, area.width() - margins.left() - margins.right()));
    EXPECT_EQ(form.height(), std::min(480, area.height() - margins.top() - margins.bottom()));
    EXPECT_EQ(frame.left() - area.left(), (area.width() - frame.width()) / 2);
    EXPECT_EQ(frame.top() - area.top(), (area.height() - frame.height()) / 2);
    QApplication::processEvents();
    const QRect tabs(form.pageControl->tabBar()->mapToGlobal(QPoint(0, 0)), form.pageControl->tabBar()->size());
    EXPECT_TRUE(area.contains(tabs));
    // Afterwards it stays where the user put it.
    form.move(area.topLeft());
    form.close();
    form.show();
    EXPECT_EQ(form.frameGeometry().topLeft(), area.topLeft());
    form.close();
}

TEST(InfoScaling, FractionalAndDoubleScaleOnASmallScreen) {
    for (const char* scale : {"1.5", "2"}) {
        QString output;
        EXPECT_EQ(RunThisProgram(QStringLiteral("InfoWindow.ShownCentredFrameIncludedInsideTheAvailableArea"), 1024, 768,
                                 QString::fromLatin1(scale), &output),
                  0)
            << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("at ratio ") + scale)) << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
    }
}

TEST(InfoWindow, DarkDesktopPaletteKeepsLightTextBoxes) {
    const QPalette desktop = QApplication::palette();
    QApplication::setPalette(DarkDesktopPalette());
    {
        TinfoForm form;
        form.show();
        QApplication::setPalette(DarkDesktopPalette());  // and again while it is open
        QApplication::processEvents();
        for (QPlainTextEdit* memo : {form.Memo8, form.Memo1, form.Memo7}) {
            const QPalette& p = memo->palette();
            EXPECT_GT(RelativeLuminance(p.color(QPalette::Base).rgb()), 0.5);
            EXPECT_GE(ContrastRatio(p.color(QPalette::Text).rgb(), p.color(QPalette::Base).rgb()), 7.0);
            // What the box shows: its background is the light base colour.
            const QImage shot = memo->viewport()->grab().toImage();
            EXPECT_EQ(shot.pixel(shot.width() - 2, shot.height() - 2), p.color(QPalette::Base).rgb());
        }
        EXPECT_GT(RelativeLuminance(form.palette().color(QPalette::Window).rgb()), 0.5);
        form.close();
    }
    QApplication::setPalette(desktop);
}

class WithBothWindows : public ::testing::Test {
protected:
    void SetUp() override {
        saved = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(QStringLiteral(ZT_SOURCE_DIR)));
        TunerForm = new TTunerForm();
        infoForm = new TinfoForm();
    }
    void TearDown() override {
        delete infoForm;
        infoForm = nullptr;
        delete TunerForm;
        TunerForm = nullptr;
        QDir::setCurrent(saved);
    }
    QString saved;
};

TEST_F(WithBothWindows, HelpButtonShowsPageZeroWithoutModality) {
    TunerForm->show();
    TunerForm->Button2->click();
    EXPECT_TRUE(infoForm->isVisible());
    EXPECT_FALSE(infoForm->isModal());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(infoForm->pageControl->currentIndex(), 0);

    infoForm->pageControl->setCurrentIndex(5);
    TunerForm->Button2->click();  // pressed again: forward and back to page 0
    EXPECT_TRUE(infoForm->isVisible());
    EXPECT_EQ(infoForm->pageControl->currentIndex(), 0);

    // The tuner keeps refreshing behind it.
    QSignalSpy ticks(TunerForm->timer, &QTimer::timeout);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ticks.count() >= 2; }, 5000));
    EXPECT_TRUE(infoForm->isVisible());

    infoForm->close();
    EXPECT_TRUE(infoForm->isHidden());
    TunerForm->Button2->click();
    EXPECT_TRUE(infoForm->isVisible());
    EXPECT_EQ(infoForm->pageControl->currentIndex(), 0);
}

TEST(ProgramEntry, ClosingTheTunerEndsTheProgramWithBothWindows) {
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QStringLiteral(ZT_SOURCE_DIR)));
    bool infoWasVisible = false;
    bool tunerWasVisible = false;
    QImage tunerIcon, infoIcon;
    QStringList scrollButtons;
    QTimer::singleShot(100, [&] {
        for (const QToolButton* button : infoForm->pageControl->tabBar()->findChildren<QToolButton*>())
            scrollButtons.append(button->accessibleName());
        ASSERT_NE(TunerForm, nullptr);
        ASSERT_NE(infoForm, nullptr);
        EXPECT_TRUE(infoForm->isHidden());  // created hidden
        tunerIcon = TunerForm->windowIcon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        infoIcon = infoForm->windowIcon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
        TunerForm->Button2->click();
        infoWasVisible = infoForm->isVisible();
        tunerWasVisible = TunerForm->isVisible();
        TunerForm->Button1->click();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(10000);
    const int result = RunTunerProgram();
    watchdog.stop();
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(infoWasVisible);
    EXPECT_TRUE(tunerWasVisible);
    // Qt's own texts in Russian (Qt's translation is loaded at start), as screen readers say them.
    EXPECT_EQ(scrollButtons.filter(QStringLiteral("Прокрутить")).size(), 2) << scrollButtons.join(',').toStdString();
    // Both windows show the application's 16 x 16, 16-colour icon.
    const QImage icon(QStringLiteral(ZT_SOURCE_DIR "/packaging/icons/ru.zemtar.Tuner.png"));
    ASSERT_EQ(icon.size(), QSize(16, 16));
    EXPECT_TRUE(icon.colorCount() > 0 && icon.colorCount() <= 16) << icon.colorCount();  // a palette image
    EXPECT_EQ(tunerIcon, icon.convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(infoIcon, icon.convertToFormat(QImage::Format_ARGB32));
    EXPECT_EQ(TunerForm, nullptr);
    EXPECT_EQ(infoForm, nullptr);
    QDir::setCurrent(saved);
}

}  // namespace
