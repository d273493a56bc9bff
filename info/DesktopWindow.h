#pragma once
// What both windows need on a real desktop: the whole window, frame included, centred on the screen's
// available area (the screen minus panels and docks) and kept inside it; the light palette their
// fixed-colour contents were made for, whatever colours the desktop theme asks for; and the roles that
// screen readers go by.

#include <QAccessible>
#include <QElapsedTimer>
#include <QFont>
#include <QMargins>
#include <QObject>
#include <QPalette>
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Where a window goes. Area: the available area; Client: the wanted client size; Frame: the frame's
// widths around the client (zero when the window manager has not told them yet). When the framed window
// is larger than the area, a resizable window gets a smaller client so that it fits, and a fixed one
// keeps its size with its top-left corner (its title bar) inside the area. Returns the frame's top-left
// corner and the client size. Plain arithmetic, any thread.
struct TWindowPlacement {
    QPoint FrameTopLeft;
    QSize ClientSize;
};
TWindowPlacement CentredPlacement(const QRect& Area, const QSize& Client, const QMargins& Frame, bool Resizable);

// Centres Window (a top-level widget) when it is shown: on every showing, or only on the first one
// (FirstShowOnly). The frame's widths are known on some platforms only after the window manager has
// framed the window; until then the window is placed with the widths it has, and it is placed once more
// when they change within the second after the showing. Window thread only; lives as Window's child.
class TCentreOnShow : public QObject {
public:
    TCentreOnShow(QWidget* Window, QSize DesignClient, bool Resizable, bool FirstShowOnly);
    // Places the window now with its current frame widths.
    void Place();

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QWidget* Window;
    QSize DesignClient;
    bool Resizable;
    bool FirstShowOnly;
    bool Shown = false;
    QMargins PlacedFrame;
    bool Watching = false;       // the frame's widths may still arrive
    QElapsedTimer SinceShowing;
};

// The standard (light) palette of the toolkit's own style, Fusion (of the application's style where
// Fusion is missing), with every colour role set explicitly, so that a widget given it keeps it when the
// application palette follows a dark desktop theme, at start or later. Window thread only.
QPalette StandardLightPalette();

// The windows' 11-pixel font: Liberation Sans where it is installed (Linux, and Wine there), else Arial, which
// has the same metrics (Windows); Monospace: Liberation Mono, else Courier New, fixed pitch.
QFont WindowFont(bool Monospace = false);

// Makes assistive technology see Widget in Role (a top-level window as QAccessible::Window, a frame to
// AT-SPI, so that a screen reader finds its title, status bar and default button): Widget's accessible
// interface becomes a plain widget interface with that role. Call it before anything asks for Widget's
// interface (in the constructor). Window thread only.
void SetAccessibleRole(QWidget* Widget, QAccessible::Role Role);
