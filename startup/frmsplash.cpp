#include "startup/frmsplash.h"

#include "assets/assets.h"
#include "platform/fonts.h"
#include "platform/geometry.h"
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
#include <QStyleOptionProgressBar>
#include <QThread>
#include <QTimer>
#include <QWindow>

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

// The splash's bar. QProgressBar asks for its style option at every value change to
// decide whether the bar must be repainted, and building that option formats the
// percentage text through the locale. The splash never shows the text, so the
// option is built without it: the count sets the bar 35013 times, and this keeps each
// set cheap. Which values repaint the bar is unchanged.
class SplashProgressBar : public QProgressBar
{
public:
    using QProgressBar::QProgressBar;

    // QProgressBar::setValue repaints the bar at once when the value reaches an end or
    // has moved on from the one last painted by more than one chunk of the groove;
    // each set asks the style for those figures again. The count takes them once
    // (beginCount) and hands the bar only the values that repaint it (setCountValue),
    // so the bar is painted at the very same values as when it is given every one.
    void beginCount()
    {
        QStyleOptionProgressBar option;
        initStyleOption(&option);
        m_chunk = style()->pixelMetric(QStyle::PM_ProgressBarChunkWidth, &option, this);
        const QRect groove = style()->subElementRect(QStyle::SE_ProgressBarGroove, &option, this);
        m_grooveBlock = orientation() == Qt::Horizontal ? groove.width() : groove.height();
        m_counting = !isTextVisible();
    }
    void setCountValue(int v)
    {
        m_pending = v;
        if (!m_counting || wouldRepaint(v))
            setValue(v);
    }
    // Before the window is repainted whole, and at the end: the bar takes the last
    // value, which repaints nothing the line above did not.
    void catchUp() { setValue(m_pending); }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        m_lastPainted = value();
        QProgressBar::paintEvent(event);
    }
    void initStyleOption(QStyleOptionProgressBar *option) const override
    {
        if (!option)
            return;
        if (isTextVisible()) {
            QProgressBar::initStyleOption(option);
            return;
        }
        option->initFrom(this);
        if (orientation() == Qt::Horizontal)
            option->state |= QStyle::State_Horizontal;
        option->minimum = minimum();
        option->maximum = maximum();
        option->progress = value();
        option->textAlignment = alignment();
        option->textVisible = false;
        option->text.clear();
        option->invertedAppearance = invertedAppearance();
        option->bottomToTop = textDirection() == QProgressBar::BottomToTop;
    }

private:
    bool wouldRepaint(int v) const
    {
        if (v == value() || v == m_lastPainted || v < minimum() || v > maximum())
            return false;
        if (v == minimum() || v == maximum())
            return true;
        const qint64 difference = qAbs(qint64(v) - m_lastPainted);
        const qint64 totalSteps = qint64(maximum()) - minimum();
        return difference * m_grooveBlock > qint64(m_chunk) * totalSteps;
    }

    bool m_counting = false;
    int m_chunk = 0;
    int m_grooveBlock = 0;
    int m_pending = 0;
    int m_lastPainted = -1;
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

// How long the splash waits for the window system to expose it before counting.
constexpr int ExposeWaitMs = 500;

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
    prepared.devicePixelRatio = screen ? screen->devicePixelRatio() : 1.0;
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
        Image1->setPixmap(QPixmap::fromImage(prepared.image.get()));
    } else {
        Image1->setPixmap(
            assets::render(assets::fanFoldPath(), Image1->size(), devicePixelRatioF()));
    }
    prepared.image = {};
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
    // Under a window manager the window is framed, mapped and exposed a little after
    // show(); whatever is painted before that never reaches the screen. The count
    // keeps the thread busy, so it starts only once the window is exposed, or after
    // half a second at most on a window system that never says so.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.start(ExposeWaitMs);
    // The expose event itself paints the whole window.
    while (!isExposed() && deadline.isActive())
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
}

void FrmSplash::load(const std::function<void()> &showMainWindow)
{
    platform::centreOnScreen(this);
    show();
    activateWindow();
    setFocus(Qt::ActiveWindowFocusReason);
    waitUntilExposed();

    const QString holdFolder = qEnvironmentVariable("CARDOMINE_SPLASH_HOLD_DIR");
    auto *bar = static_cast<SplashProgressBar *>(ProgressBar1);
    bar->beginCount();
    runSplashSequence([bar](std::int32_t value) { bar->setCountValue(value); },
                      [this, bar, &holdFolder] {
                          bar->catchUp();
                          ++m_jumpRepaints;
                          repaint();
                          if (!holdFolder.isEmpty())
                              holdAtJump(holdFolder, m_jumpRepaints, bar->value(), winId());
                      });
    bar->catchUp();

    hide();
    if (showMainWindow)
        showMainWindow();
}

} // namespace cardomine
