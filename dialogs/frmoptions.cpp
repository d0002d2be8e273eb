// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/frmoptions.h"

#include "dialogs/wrappingbutton.h"
#include "platform/commandbutton.h"
#include "platform/fonts.h"
#include "platform/geometry.h"
#include "platform/messages.h"

#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QTabBar>

using cardomine::platform::placeTwips;

namespace cardomine {

namespace {

constexpr int PanelLeft = 210;
constexpr int ParkedLeft = -20000;
constexpr int PanelTop = 480;
constexpr int PanelWidth = 5685;
constexpr int PanelHeight = 3780;

// The page of the tab strip: the bordered panel beneath the tabs, drawn by the style
// as a tab widget draws its page.
class TabPage : public QWidget
{
public:
    TabPage(QTabBar *tabs, QWidget *parent)
        : QWidget(parent)
        , m_tabs(tabs)
    {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionTabWidgetFrame frame;
        frame.initFrom(this);
        frame.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
        frame.shape = m_tabs->shape();
        frame.tabBarSize = m_tabs->size();
        frame.tabBarRect = QRect(m_tabs->pos() - pos(), m_tabs->size());
        const int current = m_tabs->currentIndex();
        if (current >= 0)
            frame.selectedTabRect = m_tabs->tabRect(current).translated(m_tabs->pos() - pos());
        painter.drawPrimitive(QStyle::PE_FrameTabWidget, frame);
    }

private:
    QTabBar *m_tabs;
};

// No button is the default: Enter clicks a button only when it has the focus.
QPushButton *makeButton(QWidget *parent, const char *name, const QString &caption)
{
    auto *button = new platform::CommandButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    return button;
}

} // namespace

FrmOptions::FrmOptions(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Cardomine(tm) Options"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(platform::twipsSize(6150, 4920));
    // The platform's dialog font, as the classic platform's later versions chose it:
    // Tahoma, 8 points, not bold. MS Sans Serif comes in one size only, whose two lines
    // stand a pixel taller than the option buttons' rectangles.
    setFont(platform::fonts::tahoma(8.25, false));

    // Panels first, so the option buttons and check boxes lie in front of them.
    const QString panelCaptions[] = {QStringLiteral("Database File Saving Options"),
                                     QStringLiteral("Sample 2"), QStringLiteral("Sample 3"),
                                     QStringLiteral("Sample 4")};
    const int frameRects[4][4] = {{210, 255, 5175, 3225},
                                  {645, 300, 2055, 1785},
                                  {1545, 675, 2055, 1785},
                                  {2100, 840, 2055, 1785}};
    for (int i = 0; i < 4; ++i) {
        auto *panel = new QWidget(this);
        panel->setObjectName(QStringLiteral("picOptions%1").arg(i));
        placeTwips(panel, i == 0 ? PanelLeft : ParkedLeft, PanelTop, PanelWidth, PanelHeight);
        panel->setEnabled(i == 0);
        // A parked panel is hidden as well, so a screen reader does not report it shown.
        panel->setVisible(i == 0);
        picOptions[std::size_t(i)] = panel;

        auto *frame = new QGroupBox(panelCaptions[i], panel);
        frame->setObjectName(QStringLiteral("fraSample%1").arg(i + 1));
        placeTwips(frame, frameRects[i][0], frameRects[i][1], frameRects[i][2], frameRects[i][3]);
        fraSample[std::size_t(i)] = frame;
    }

    tbsOptions = new QTabBar(this);
    tbsOptions->setObjectName(QStringLiteral("tbsOptions"));
    tbsOptions->setFont(platform::fonts::font(QStringLiteral("Berlin Sans FB"), 8.25, true));
    // One tab as wide as its caption, on a bordered page that fills the rest of the
    // strip's rectangle; the page draws the line the tabs stand on.
    tbsOptions->setExpanding(false);
    tbsOptions->setDrawBase(false);
    const int tab = tbsOptions->addTab(QStringLiteral("Database File"));
    tbsOptions->setTabData(tab, QStringLiteral("Group1"));
    tbsOptions->setTabToolTip(tab, QStringLiteral("Set Options For File Format Of Database File"));
    const QRect strip = platform::twipsRect(105, 120, 5895, 4245);
    const int tabsHeight = tbsOptions->sizeHint().height();
    tbsOptions->setGeometry(strip.x(), strip.y(), strip.width(), tabsHeight);
    tabPage = new TabPage(tbsOptions, this);
    tabPage->setObjectName(QStringLiteral("tbsOptionsPage"));
    const int overlap = style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, this);
    tabPage->setGeometry(strip.adjusted(0, tabsHeight - overlap, 0, 0));
    tabPage->lower();

    Option1 =
        new WrappingRadioButton(QStringLiteral("Save Database As Random File (Default)"), this);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setToolTip(QStringLiteral("Advantage: Speeds Up Reads, Saves, And Searching. "
                                       "Disadvantage: Larger Database File Size."));
    placeTwips(Option1, 960, 1440, 1935, 375);
    Option1->setChecked(true);

    Option2 = new WrappingRadioButton(QStringLiteral("Save Database As Sequential File"), this);
    Option2->setObjectName(QStringLiteral("Option2"));
    Option2->setToolTip(QStringLiteral("Advantage: Smaller Database File Size. Disadvantage: "
                                       "Slower Reads, and Saves. Searching Also Takes Longer."));
    placeTwips(Option2, 3480, 1440, 1695, 375);

    Check1 = new WrappingCheckBox(
        QStringLiteral("Read File in Segments To Increase Speed (Recommended)"), this);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setToolTip(QStringLiteral(
        "Make Cardomine Read The Random Access File As Neccessary To Speed Up Read Access Times. "
        "Unchecked Will Make Cardomine Read The Entire File At Once."));
    placeTwips(Check1, 1680, 2160, 3015, 615);
    Check1->setChecked(true);

    Check2 = new WrappingCheckBox(
        QStringLiteral("Compose File Information On The Fly To Increase File Saving Speed "
                       "(Recommended)"),
        this);
    Check2->setObjectName(QStringLiteral("Check2"));
    Check2->setToolTip(QStringLiteral("Check Here To Make Cardomine Save File Information After "
                                      "Any Edit. Unchecked And You Will Be Prompted At The End Of "
                                      "Every Session."));
    placeTwips(Check2, 1680, 2760, 3015, 615);
    Check2->setChecked(true);

    cmdOK = makeButton(this, "cmdOK", QStringLiteral("OK"));
    placeTwips(cmdOK, 2490, 4455, 1095, 375);
    cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("Cancel"));
    placeTwips(cmdCancel, 3720, 4455, 1095, 375);
    cmdApply = makeButton(this, "cmdApply", QStringLiteral("Apply"));
    placeTwips(cmdApply, 4920, 4455, 1095, 375);

    // The long captions wrap inside their rectangles, as the classic check boxes' do.
    fitCaption(Option1);
    fitCaption(Option2);
    fitCaption(Check1);
    fitCaption(Check2);

    setTabOrder(tbsOptions, Option1);
    setTabOrder(Option1, Option2);
    setTabOrder(Option2, Check1);
    setTabOrder(Check1, Check2);
    setTabOrder(Check2, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, cmdApply);

    connect(cmdOK, &QPushButton::clicked, this, [this] {
        showVersionMessages();
        accept();
    });
    connect(cmdApply, &QPushButton::clicked, this, [this] {
        showVersionMessages();
        accept();
    });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(tbsOptions, &QTabBar::tabBarClicked, this, [this] { tbsOptions_Click(); });
    connect(tbsOptions, &QTabBar::currentChanged, this, [this] { tbsOptions_Click(); });

    // The dialog sees every key before the control with the focus does.
    const QList<QWidget *> children = findChildren<QWidget *>();
    for (QWidget *child : children)
        child->installEventFilter(this);

    platform::centreOnScreen(this);
}

void FrmOptions::tbsOptions_Click()
{
    const int selected = tbsOptions->currentIndex() + 1;
    for (int i = 0; i < tbsOptions->count() && i < int(picOptions.size()); ++i) {
        QWidget *panel = picOptions[std::size_t(i)];
        const bool shown = i + 1 == selected;
        panel->move(platform::twipsToPixels(shown ? PanelLeft : ParkedLeft), panel->y());
        panel->setEnabled(shown);
        panel->setVisible(shown);
    }
}

bool FrmOptions::handleKey(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Tab && event->modifiers() == Qt::ControlModifier) {
        const int position = tbsOptions->currentIndex() + 1;
        tbsOptions->setCurrentIndex(position == tbsOptions->count() ? 0 : position);
        tbsOptions_Click();
        return true;
    }
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        // Escape clicks Cancel, the dialog's cancel button.
        cmdCancel->click();
        return true;
    }
    return false;
}

bool FrmOptions::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (event->type() == QEvent::ShortcutOverride) {
            // Claim Ctrl+Tab before any shortcut machinery sees it.
            if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::ControlModifier) {
                event->accept();
                return true;
            }
            return QDialog::eventFilter(watched, event);
        }
        if (handleKey(key))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void FrmOptions::keyPressEvent(QKeyEvent *event)
{
    if (!handleKey(event))
        QDialog::keyPressEvent(event);
}

void FrmOptions::showVersionMessages()
{
    platform::notice(QStringLiteral("Upgrade To Version 2.0"),
                     QStringLiteral("These options can only be used in version 2 of Cardomine."),
                     platform::MessageIcon::Information, this);
    platform::notice(QStringLiteral("See 'C:\\Program Files\\Pelvarin\\Upgrade.txt'"),
                     QStringLiteral("To make use of these advanced options,\r"
                                    "you can upgrade to Cardomine 2.0\r"
                                    "See 'Upgrade.txt' for details."),
                     platform::MessageIcon::Information, this);
}

} // namespace cardomine
