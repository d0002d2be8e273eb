// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/geometry.h"

#include "platform/x11.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <cmath>
#include <optional>

namespace cardomine::platform {

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

QSize twipsSize(int width, int height)
{
    return QSize(twipsToPixels(width), twipsToPixels(height));
}

void placeTwips(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsRect(left, top, width, height));
}

QPoint centredTopLeft(QSize screenPixels, QSize windowPixels)
{
    // Computed in twips as real numbers, then placed on the nearest pixel.
    const double left =
        (double(pixelsToTwips(screenPixels.width())) - pixelsToTwips(windowPixels.width())) / 2.0;
    const double top =
        (double(pixelsToTwips(screenPixels.height())) - pixelsToTwips(windowPixels.height())) / 2.0;
    return QPoint(int(std::lround(left / TwipsPerPixel)), int(std::lround(top / TwipsPerPixel)));
}

namespace {

// The frame last seen around a framed window of the program.
QMargins seenFrame;

bool isFramed(const QWidget *window)
{
    return !(window->windowFlags() & Qt::FramelessWindowHint) &&
           !(window->windowFlags() & Qt::BypassWindowManagerHint);
}

// The size the window is meant to have: its fixed size when it has one. While a
// window is being mapped, Qt reports sizes the window system has already left behind
// (the size it was created with, the size before the last resize); centring on them
// puts the window off by half the difference.
QSize intendedSize(const QWidget *window)
{
    const QSize fixed = window->minimumSize();
    return fixed == window->maximumSize() && !fixed.isEmpty() ? fixed : window->size();
}

// Whether margins can be a window frame at all.
bool plausibleFrame(const QMargins &frame)
{
    constexpr int Largest = 200;
    const int sides[] = {frame.left(), frame.top(), frame.right(), frame.bottom()};
    for (const int side : sides) {
        if (side < 0 || side > Largest)
            return false;
    }
    return !frame.isNull();
}

// The window's own frame, or nothing while the window system has not told it. On X11
// the window manager's own word for it; Qt's frame geometry, taken from the window
// tree at the time it answers, mixes sizes of different moments while the window is
// being mapped.
QMargins knownFrame(const QWidget *window)
{
    if (x11::connection() != nullptr) {
        const std::optional<QMargins> extents = x11::frameExtents(window);
        return extents && plausibleFrame(*extents) ? *extents : QMargins();
    }
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                           frame.right() - client.right(), frame.bottom() - client.bottom());
    return client.size() == intendedSize(window) && plausibleFrame(margins) ? margins : QMargins();
}

struct Placement
{
    QRect area;
    QMargins assumed;
};

// Puts the window's frame corner at topLeft, given the frame it is assumed to have.
// The client area is placed, never the frame: a window moved by its frame before it
// is created is placed right by some window managers, but Qt then keeps a client
// position that is off by the frame, and every box centred on it is off too.
void moveFrameTo(QWidget *window, QPoint topLeft, const QMargins &assumed)
{
    const QPoint client = topLeft + QPoint(assumed.left(), assumed.top());
    window->setGeometry(QRect(client, intendedSize(window)));
    // Qt asks nothing of the window system when it believes the window is already
    // there, and while the window is being mapped what it believes may be stale.
    if (window->isVisible())
        x11::moveWindow(window, client);
}

void place(QWidget *window, const Placement &placement)
{
    const QSize outer = intendedSize(window).grownBy(placement.assumed);
    moveFrameTo(window, placement.area.topLeft() + centredTopLeft(placement.area.size(), outer),
                placement.assumed);
}

// Watches a window placed with a guessed frame until the window system frames it;
// then places it again with the real frame, and remembers the frame for the next.
class FrameWatch : public QObject
{
public:
    FrameWatch(QWidget *window, const Placement &placement)
        : QObject(window)
        , m_window(window)
        , m_placement(placement)
    {
        setObjectName(QStringLiteral("cardomine_frame_watch"));
        window->installEventFilter(this);
    }

    void replace(const Placement &placement) { m_placement = placement; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_window)
            return false;
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Show:
        case QEvent::Expose:
        case QEvent::WindowActivate:
            break;
        default:
            return false;
        }
        if (!m_window->isVisible())
            return false;
        const QMargins frame = knownFrame(m_window);
        if (frame.isNull())
            return false;
        seenFrame = frame;
        QPointer<FrameWatch> self(this);
        m_window->removeEventFilter(this);
        // Placed again even when the guess was right: some window managers (IceWM)
        // report a transient window's client area off by its title bar when they map
        // it, and Qt keeps that wrong position. Asking for the place again makes the
        // window manager report the true one; where Qt's position is already right
        // this asks nothing of the window system.
        place(m_window, Placement{m_placement.area, frame});
        if (self)
            deleteLater();
        return false;
    }

private:
    QWidget *m_window;
    Placement m_placement;
};

} // namespace

QMargins expectedFrameMargins(const QWidget *window)
{
    if (!window->isWindow() || !isFramed(window))
        return {};
    const QMargins own = knownFrame(window);
    return own.isNull() ? seenFrame : own;
}

void centreOn(QWidget *window, const QRect &area)
{
    const Placement placement{area, expectedFrameMargins(window)};
    place(window, placement);
    if (!isFramed(window) || !knownFrame(window).isNull())
        return;
    auto *watch = window->findChild<FrameWatch *>(QStringLiteral("cardomine_frame_watch"),
                                                  Qt::FindDirectChildrenOnly);
    if (watch != nullptr)
        watch->replace(placement);
    else
        new FrameWatch(window, placement);
}

void centreOnScreen(QWidget *window)
{
    QScreen *screen = window->screen();
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    // Computed from the screen's size: the window's place on a screen at the origin.
    centreOn(window, QRect(screen->geometry().topLeft(), screen->geometry().size()));
}

void forgetSeenFrame()
{
    seenFrame = QMargins();
}

} // namespace cardomine::platform
