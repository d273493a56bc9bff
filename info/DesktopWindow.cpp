#include "DesktopWindow.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QEvent>
#include <QScreen>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <memory>

TWindowPlacement CentredPlacement(const QRect& Area, const QSize& Client, const QMargins& Frame, bool Resizable) {
    const int frameWidth = Frame.left() + Frame.right();
    const int frameHeight = Frame.top() + Frame.bottom();
    QSize client = Client;
    if (Resizable) {
        client.setWidth(std::max(1, std::min(client.width(), Area.width() - frameWidth)));
        client.setHeight(std::max(1, std::min(client.height(), Area.height() - frameHeight)));
    }
    const int outerWidth = client.width() + frameWidth;
    const int outerHeight = client.height() + frameHeight;
    // Halves taken of non-negative differences; a window larger than the area starts at its corner.
    const int left = Area.left() + std::max(0, (Area.width() - outerWidth) / 2);
    const int top = Area.top() + std::max(0, (Area.height() - outerHeight) / 2);
    return {QPoint(left, top), client};
}

TCentreOnShow::TCentreOnShow(QWidget* Window_, QSize DesignClient_, bool Resizable_, bool FirstShowOnly_)
    : QObject(Window_), Window(Window_), DesignClient(DesignClient_), Resizable(Resizable_),
      FirstShowOnly(FirstShowOnly_) {
    Window->installEventFilter(this);
}

void TCentreOnShow::Place() {
    const QScreen* screen = Window->screen();
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QWindow* handle = Window->windowHandle();
    PlacedFrame = handle != nullptr ? handle->frameMargins() : QMargins();
    const TWindowPlacement placement =
        CentredPlacement(screen->availableGeometry(), DesignClient, PlacedFrame, Resizable);
    if (Resizable) Window->resize(placement.ClientSize);
    // move() places the frame's top-left corner of a top-level window.
    Window->move(placement.FrameTopLeft);
}

bool TCentreOnShow::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched != Window) return false;
    switch (Event->type()) {
        case QEvent::Show:
            if (!Event->spontaneous() && (!FirstShowOnly || !Shown)) {
                Shown = true;
                Place();
                Watching = true;
                SinceShowing.start();
            }
            break;
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowActivate:
            // The window manager frames the window after it is shown and moves the client into the frame.
            if (Watching) {
                const QWindow* handle = Window->windowHandle();
                if (SinceShowing.elapsed() > 1000) {
                    Watching = false;
                } else if (handle != nullptr && handle->frameMargins() != PlacedFrame) {
                    Watching = false;
                    Place();
                }
            }
            break;
        default:
            break;
    }
    return false;
}

QPalette StandardLightPalette() {
    // A desktop's own style may hand out its dark theme as its standard palette; Fusion's is light.
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette standard = fusion ? fusion->standardPalette() : QApplication::style()->standardPalette();
    QPalette palette;
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto g = static_cast<QPalette::ColorGroup>(group);
            const auto r = static_cast<QPalette::ColorRole>(role);
            if (r == QPalette::NoRole) continue;
            palette.setBrush(g, r, standard.brush(g, r));
        }
    }
    return palette;
}

QFont WindowFont(bool Monospace) {
    QFont font;
    if (Monospace) {
        font.setFamilies({QStringLiteral("Liberation Mono"), QStringLiteral("Courier New")});
        font.setStyleHint(QFont::Monospace);
        font.setFixedPitch(true);
    } else {
        font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    }
    font.setPixelSize(11);
    return font;
}

namespace {

constexpr const char* AccessibleRoleProperty = "ztAccessibleRole";

QAccessibleInterface* RoleFactory(const QString& /*ClassName*/, QObject* Object) {
    if (Object == nullptr || !Object->isWidgetType()) return nullptr;
    const QVariant role = Object->property(AccessibleRoleProperty);
    if (!role.isValid()) return nullptr;
    return new QAccessibleWidget(static_cast<QWidget*>(Object), static_cast<QAccessible::Role>(role.toInt()));
}

}  // namespace

void SetAccessibleRole(QWidget* Widget, QAccessible::Role Role) {
    // Factories installed later are asked first, so this one comes before the toolkit's own.
    QAccessible::installFactory(&RoleFactory);
    Widget->setProperty(AccessibleRoleProperty, static_cast<int>(Role));
}
