// The information window under Qt's offscreen platform, alone and together with the tuner window.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QFontMetrics>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTimer>

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
    QTimer::singleShot(100, [&] {
        ASSERT_NE(TunerForm, nullptr);
        ASSERT_NE(infoForm, nullptr);
        EXPECT_TRUE(infoForm->isHidden());  // created hidden
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
    EXPECT_EQ(TunerForm, nullptr);
    EXPECT_EQ(infoForm, nullptr);
    QDir::setCurrent(saved);
}

}  // namespace
