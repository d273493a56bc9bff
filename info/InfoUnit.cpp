#include "InfoUnit.h"

#include <QAccessibleWidget>
#include <QFile>
#include <QHash>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "DesktopWindow.h"

TinfoForm* infoForm = nullptr;

namespace {

// One page tab as assistive technology sees it: selectable, selected while it is the current page, and
// focused when the tab bar has the focus. (The toolkit's own tabs report no selection, so a screen reader
// cannot tell which page is shown.)
class TPageTabAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    TPageTabAccessible(QTabBar* Bar_, int Index_) : Bar(Bar_), Index(Index_) {}

    void* interface_cast(QAccessible::InterfaceType Type) override {
        return Type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }
    bool isValid() const override { return Bar && Index < Bar->count(); }
    QObject* object() const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::PageTab; }
    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.selectable = true;
        s.focusable = true;
        s.selected = Index == Bar->currentIndex();
        s.focused = s.selected && Bar->hasFocus();
        s.invisible = !Bar->isVisible();
        return s;
    }
    QRect rect() const override {
        if (!isValid()) return {};
        const QRect tab = Bar->tabRect(Index);
        return QRect(Bar->mapToGlobal(tab.topLeft()), tab.size());
    }
    QString text(QAccessible::Text Kind) const override {
        return isValid() && Kind == QAccessible::Name ? Bar->tabText(Index) : QString();
    }
    void setText(QAccessible::Text, const QString&) override {}
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(Bar.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& Action) override {
        if (isValid() && Action == pressAction()) Bar->setCurrentIndex(Index);
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

    int TabIndex() const { return Index; }

private:
    QPointer<QTabBar> Bar;
    int Index;
};

// The tab bar: its page tabs, then its scroll buttons.
class TPageTabsAccessible : public QAccessibleWidget {
public:
    explicit TPageTabsAccessible(QTabBar* Bar) : QAccessibleWidget(Bar, QAccessible::PageTabList) {}
    ~TPageTabsAccessible() override {
        for (const QAccessible::Id id : std::as_const(Tabs)) QAccessible::deleteAccessibleInterface(id);
    }
    int childCount() const override { return bar()->count() + static_cast<int>(ScrollButtons().size()); }
    QAccessibleInterface* child(int Index) const override {
        if (Index < 0) return nullptr;
        if (Index < bar()->count()) {
            if (const QAccessible::Id id = Tabs.value(Index)) return QAccessible::accessibleInterface(id);
            auto* tab = new TPageTabAccessible(bar(), Index);
            Tabs.insert(Index, QAccessible::registerAccessibleInterface(tab));
            return tab;
        }
        const QList<QToolButton*> buttons = ScrollButtons();
        const int button = Index - bar()->count();
        return button < buttons.size() ? QAccessible::queryAccessibleInterface(buttons[button]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* Child) const override {
        if (Child == nullptr) return -1;
        if (Child->role() == QAccessible::PageTab && Child->parent() == this)
            return static_cast<const TPageTabAccessible*>(Child)->TabIndex();
        const int button = static_cast<int>(ScrollButtons().indexOf(qobject_cast<QToolButton*>(Child->object())));
        return button < 0 ? -1 : bar()->count() + button;
    }
    QAccessibleInterface* focusChild() const override {
        return bar()->hasFocus() ? child(bar()->currentIndex()) : nullptr;
    }
    QString text(QAccessible::Text Kind) const override {
        return Kind == QAccessible::Name ? bar()->tabText(bar()->currentIndex()) : QAccessibleWidget::text(Kind);
    }

private:
    QTabBar* bar() const { return static_cast<QTabBar*>(widget()); }
    QList<QToolButton*> ScrollButtons() const { return bar()->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly); }
    mutable QHash<int, QAccessible::Id> Tabs;
};

QAccessibleInterface* PageTabsFactory(const QString& ClassName, QObject* Object) {
    if (ClassName != QLatin1String("QTabBar") || qobject_cast<QTabBar*>(Object) == nullptr) return nullptr;
    return new TPageTabsAccessible(static_cast<QTabBar*>(Object));
}

QWidget* AddPage(QTabWidget* Pages, const QString& Caption, QPlainTextEdit** Memo, bool Chart) {
    auto* page = new QWidget(Pages);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* memo = new QPlainTextEdit(page);
    memo->setReadOnly(true);
    // Named after its page for screen readers; a caret the arrow keys move, so that they read it line by line.
    memo->setAccessibleName(Caption);
    memo->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    if (Chart) {
        // Charts keep their columns: no wrapping, a fixed-pitch font and both scroll bars.
        memo->setFont(WindowFont(/*Monospace=*/true));
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
    SetAccessibleRole(this, QAccessible::Window);
    QAccessible::installFactory(&PageTabsFactory);
    setFont(WindowFont());
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

    // The tab bar reports the newly selected tab itself; the one that lost the selection is reported here,
    // so that a screen reader's picture of both stays right.
    QTabBar* tabs = pageControl->tabBar();
    connect(tabs, &QTabBar::currentChanged, this, [this, tabs](int Index) {
        if (QAccessible::isActive() && ShownPage >= 0 && ShownPage != Index && ShownPage < tabs->count()) {
            QAccessibleEvent event(tabs, QAccessible::Selection);
            event.setChild(ShownPage);
            QAccessible::updateAccessibility(&event);
        }
        ShownPage = Index;
    });
}
