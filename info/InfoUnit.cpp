#include "InfoUnit.h"

#include <QFile>
#include <QFont>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "DesktopWindow.h"

TinfoForm* infoForm = nullptr;

namespace {

QWidget* AddPage(QTabWidget* Pages, const QString& Caption, QPlainTextEdit** Memo, bool Chart) {
    auto* page = new QWidget(Pages);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* memo = new QPlainTextEdit(page);
    memo->setReadOnly(true);
    if (Chart) {
        // Charts keep their columns: no wrapping, a fixed-pitch font and both scroll bars.
        QFont mono;
        mono.setFamilies({QStringLiteral("Liberation Mono"), QStringLiteral("Courier New")});  // same metrics
        mono.setPixelSize(11);
        mono.setStyleHint(QFont::Monospace);
        mono.setFixedPitch(true);
        memo->setFont(mono);
        memo->setLineWrapMode(QPlainTextEdit::NoWrap);
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    } else {
        memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        memo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
    layout->addWidget(memo);
    Pages->addTab(page, Caption);
    *Memo = memo;
    return page;
}

}  // namespace

QString TinfoForm::ResourceText(const QString& Name) {
    QFile file(QStringLiteral(":/texts/") + Name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QString text = QString::fromUtf8(file.readAll());
    // The text box adds no line after a final line break.
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    return text;
}

TinfoForm::TinfoForm(QWidget* Parent) : QWidget(Parent, Qt::Window) {
    setObjectName(QStringLiteral("infoForm"));
    setWindowTitle(QStringLiteral("Информация"));
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});  // same metrics
    font.setPixelSize(11);
    setFont(font);
    // The texts were written for dark text on a light face; a dark desktop theme does not change them.
    setPalette(StandardLightPalette());
    resize(696, 480);
    // Centred on the screen when first shown, and no larger than the screen's available area;
    // afterwards it stays where the user put it.
    new TCentreOnShow(this, QSize(696, 480), /*Resizable=*/true, /*FirstShowOnly=*/true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    pageControl = new QTabWidget(this);
    pageControl->setObjectName(QStringLiteral("pageControl"));
    // The closest the toolkit has to tabs drawn as flat buttons.
    pageControl->setDocumentMode(true);
    pageControl->tabBar()->setDrawBase(false);
    layout->addWidget(pageControl);

    tuneTabSheet = AddPage(pageControl, QStringLiteral("Как настраивать гитару"), &Memo8, false);
    aTabSheet = AddPage(pageControl, QStringLiteral("Аккорд A"), &Memo1, true);
    bTabSheet = AddPage(pageControl, QStringLiteral("Аккорды B / H"), &Memo2, true);
    cTabSheet = AddPage(pageControl, QStringLiteral("Аккорд C"), &Memo3, true);
    dTabSheet = AddPage(pageControl, QStringLiteral("Аккорд D"), &Memo4, true);
    eTabSheet = AddPage(pageControl, QStringLiteral("Аккорд E"), &Memo5, true);
    fTabSheet = AddPage(pageControl, QStringLiteral("Аккорд F"), &Memo6, true);
    gTabSheet = AddPage(pageControl, QStringLiteral("Аккорд G"), &Memo7, true);

    Memo8->setPlainText(ResourceText(QStringLiteral("tune.txt")));
    Memo1->setPlainText(ResourceText(QStringLiteral("chords_a.txt")));
    Memo2->setPlainText(ResourceText(QStringLiteral("chords_b.txt")));
    Memo3->setPlainText(ResourceText(QStringLiteral("chords_c.txt")));
    Memo4->setPlainText(ResourceText(QStringLiteral("chords_d.txt")));
    Memo5->setPlainText(ResourceText(QStringLiteral("chords_e.txt")));
    Memo6->setPlainText(ResourceText(QStringLiteral("chords_f.txt")));
    Memo7->setPlainText(ResourceText(QStringLiteral("chords_g.txt")));
    pageControl->setCurrentIndex(0);
}
