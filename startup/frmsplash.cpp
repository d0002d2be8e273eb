// SPDX-License-Identifier: GPL-3.0-or-later
#include "startup/frmsplash.h"

#include "assets/assets.h"
#include "platform/fonts.h"
#include "platform/geometry.h"
#include "platform/windowbackdrop.h"
#include "startup/splashsequence.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QSaveFile>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace cardomine {

using platform::placeTwips;
namespace fonts = platform::fonts;

namespace {

QLabel *splashLabel(QWidget *parent, const char *name, const QString &text, const QFont &font,
                    Qt::Alignment alignment)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setFont(font);
    label->setAlignment(alignment | Qt::AlignTop);
    return label;
}

// The splash's bar. The count sets it 35013 times, and every value handed to a
// QProgressBar costs a style query (with the percentage text formatted) to decide
// whether to repaint. The bar is handed a value only when it moves the filled part on
// by a device pixel of the bar's length, or reaches an end: what shows is the same at
// the screen's resolution. Before each repaint of the window, and at the end, the bar
// takes the count's latest value.
class SplashProgressBar : public QProgressBar
{
public:
    using QProgressBar::QProgressBar;

    // Takes the bar's length, in device pixels, for the count about to run.
    void beginCount()
    {
        const int length = orientation() == Qt::Horizontal ? width() : height();
        m_pixels = std::max<qint64>(1, qRound(length * devicePixelRatioF()));
        m_pending = value();
        showPixelOf(m_pending);
    }
    void setCountValue(int v)
    {
        m_pending = v;
        // Most values fill the bar to the pixel already shown: one comparison each.
        if (v > m_first && v < m_last)
            return;
        const qint64 pixel = pixelOf(v);
        if (pixel != m_shownPixel || v == minimum() || v == maximum()) {
            showPixelOf(v);
            setValue(v);
        }
    }
    void catchUp()
    {
        showPixelOf(m_pending);
        setValue(m_pending);
    }

private:
    qint64 span() const { return std::max<qint64>(1, qint64(maximum()) - minimum()); }
    // The device pixel of the bar's length that value v fills up to.
    qint64 pixelOf(int v) const
    {
        const qint64 steps = std::clamp<qint64>(qint64(v) - minimum(), 0, span());
        return steps * m_pixels / span();
    }
    // The first value that fills the bar to pixel p (p * span / pixels, rounded up).
    qint64 firstValueOf(qint64 p) const
    {
        return minimum() + (p * span() + m_pixels - 1) / m_pixels;
    }
    // Takes v's pixel as the one shown, with the values that fill to it; the ends of
    // the bar are always handed over.
    void showPixelOf(int v)
    {
        m_shownPixel = pixelOf(v);
        m_first = std::max<qint64>(firstValueOf(m_shownPixel), minimum());
        m_last = std::min<qint64>(firstValueOf(m_shownPixel + 1), maximum());
    }

    qint64 m_pixels = 1;
    qint64 m_shownPixel = 0;
    // Values strictly between these fill the bar to m_shownPixel.
    qint64 m_first = 0;
    qint64 m_last = 0;
    int m_pending = 0;
};

// The picture's place: it reaches past the window's left and bottom edges.
QRect pictureRect()
{
    return platform::twipsRect(-1800, 0, 8865, 6030);
}

struct PreparedArtwork
{
    std::shared_future<QImage> image;
    double devicePixelRatio = 1.0;
};

PreparedArtwork &preparedArtwork()
{
    static PreparedArtwork prepared;
    return prepared;
}

// How long the splash waits for the window system to expose it before counting, where
// the window system keeps no backdrop for it.
constexpr int ExposeWaitMs = 500;

// The window's picture in device pixels, or the part of it at rect (logical pixels).
QImage windowPicture(QWidget *window, const QRect &rect = QRect(QPoint(0, 0), QSize(-1, -1)))
{
    return window->grab(rect).toImage();
}

// The test hook CARDOMINE_SPLASH_HOLD_DIR (see frmsplash.h): at jump k the splash
// writes "jump-k" there, naming its window and the bar's value, and waits until a file
// "go-k" appears (at most a minute).
void holdAtJump(const QString &folder, int jump, int value, WId window)
{
    const QDir dir(folder);
    QSaveFile note(dir.filePath(QStringLiteral("jump-%1").arg(jump)));
    if (note.open(QIODevice::WriteOnly)) {
        note.write(
            QStringLiteral("window %1\nvalue %2\n").arg(quint64(window)).arg(value).toLatin1());
        note.commit();
    }
    const QString go = dir.filePath(QStringLiteral("go-%1").arg(jump));
    const QDeadlineTimer deadline(60000);
    // The thread is kept as busy as the count keeps it: no events are handled, so the
    // screen shows only what the count's own repaints put there.
    while (!QFile::exists(go) && !deadline.hasExpired())
        QThread::msleep(10);
}

} // namespace

void FrmSplash::prepareArtwork()
{
    PreparedArtwork &prepared = preparedArtwork();
    const QScreen *screen = QGuiApplication::primaryScreen();
    const double ratio = screen ? screen->devicePixelRatio() : 1.0;
    if (prepared.image.valid() && prepared.devicePixelRatio == ratio)
        return;
    prepared.devicePixelRatio = ratio;
    prepared.image = assets::renderInBackground(assets::fanFoldPath(), pictureRect().size(),
                                                prepared.devicePixelRatio);
}

void FrmSplash::forgetArtwork()
{
    preparedArtwork() = {};
}

FrmSplash::FrmSplash(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("Archivane 1.0"));
    setWindowIcon(assets::windowIcon());
    setFont(fonts::windowFont());
    setFixedSize(platform::twipsSize(7380, 4245));
    setCursor(Qt::WaitCursor);

    // The picture lies behind every other control and reaches past the left and bottom
    // edges; the window shows only the part inside it.
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(pictureRect());
    PreparedArtwork &prepared = preparedArtwork();
    if (prepared.image.valid() && prepared.devicePixelRatio == devicePixelRatioF()) {
        QImage picture = prepared.image.get();
        // The pixmap takes the picture's pixels over once nothing else holds them.
        prepared.image = {};
        Image1->setPixmap(QPixmap::fromImage(std::move(picture)));
    } else {
        prepared.image = {};
        Image1->setPixmap(
            assets::render(assets::fanFoldPath(), Image1->size(), devicePixelRatioF()));
    }
    Image1->setScaledContents(false);

    Label1 = splashLabel(this, "Label1", QStringLiteral("Please Wait While The Program Loads. . ."),
                         fonts::tahoma(9.75), Qt::AlignLeft);
    placeTwips(Label1, 1680, 720, 4095, 255);
    Label2 = splashLabel(this, "Label2", QStringLiteral("Archivane"), fonts::tahoma(14.25),
                         Qt::AlignHCenter);
    placeTwips(Label2, 1920, 120, 3735, 375);
    Label3 = splashLabel(this, "Label3", QStringLiteral("Version 1.0"), fonts::tahoma(9.75),
                         Qt::AlignLeft);
    placeTwips(Label3, 6000, 120, 1215, 255);
    Label4 = splashLabel(this, "Label4", QStringLiteral("Windows 95/98/ME"),
                         fonts::font(QStringLiteral("Arial"), 15.75, true), Qt::AlignLeft);
    placeTwips(Label4, 4440, 1800, 2895, 375);
    Label5 = splashLabel(this, "Label5", QStringLiteral("By Pelvarin"), fonts::windowFont(),
                         Qt::AlignRight);
    placeTwips(Label5, 6000, 360, 1215, 375);

    ProgressBar1 = new SplashProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setRange(0, SplashProgressMaximum);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    placeTwips(ProgressBar1, 1680, 1080, 4095, 495);

    Image1->lower();
}

FrmSplash::~FrmSplash() = default;

bool FrmSplash::isExposed() const
{
    const QWindow *window = windowHandle();
    return window != nullptr && window->isExposed();
}

void FrmSplash::waitUntilExposed()
{
    // Without a backdrop, whatever is painted before the window is exposed never
    // reaches the screen. The count keeps the thread busy, so it starts only once the
    // window is exposed, or after half a second at most on a window system that never
    // says so.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(ExposeWaitMs);
    // The expose event itself paints the whole window.
    while (!isExposed() && deadline.isActive())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
}

void FrmSplash::updateBackdrop(const QRect &rect)
{
    const qreal ratio = devicePixelRatioF();
    platform::updateWindowBackdrop(this, windowPicture(this, rect),
                                   QPoint(qRound(rect.x() * ratio), qRound(rect.y() * ratio)));
}

void FrmSplash::load(const std::function<void()> &showMainWindow)
{
    platform::centreOnScreen(this);
    // The count keeps the thread busy, so the program cannot answer the window
    // system's requests to paint until it ends. The splash's picture is handed to the
    // window system before the window is mapped, and each jump's bar after it: the
    // window is painted from the first frame on screen, however slow the machine.
    m_backdrop = platform::setWindowBackdrop(this, [this] { return windowPicture(this); });
    show();
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
    if (!m_backdrop)
        waitUntilExposed();

    const QString holdFolder = qEnvironmentVariable("CARDOMINE_SPLASH_HOLD_DIR");
    auto *bar = static_cast<SplashProgressBar *>(ProgressBar1);
    bar->beginCount();
    runSplashSequence([bar](std::int32_t value) { bar->setCountValue(value); },
                      [this, bar, &holdFolder] {
                          bar->catchUp();
                          ++m_jumpRepaints;
                          // Only the bar changed since the window was last painted.
                          bar->repaint();
                          if (m_backdrop)
                              updateBackdrop(bar->geometry());
                          if (!holdFolder.isEmpty())
                              holdAtJump(holdFolder, m_jumpRepaints, bar->value(), winId());
                      });
    bar->catchUp();

    hide();
    if (showMainWindow)
        showMainWindow();
}

} // namespace cardomine
