#include "platform/geometry.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <cmath>

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

// The window's own frame, or nothing while the window system has not told it.
QMargins knownFrame(const QWidget *window)
{
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                    frame.right() - client.right(), frame.bottom() - client.bottom());
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
    window->setGeometry(
        QRect(topLeft + QPoint(assumed.left(), assumed.top()), window->geometry().size()));
}

void place(QWidget *window, const Placement &placement)
{
    const QSize outer = window->size().grownBy(placement.assumed);
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
