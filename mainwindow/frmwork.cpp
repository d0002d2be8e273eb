// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/frmwork.h"

#include "datastore/boxcaptions.h"
#include "datastore/contactrecord.h"
#include "datastore/datafunctions.h"

#include "assets/assets.h"
#include "mainwindow/commandbutton.h"
#include "mainwindow/limitednotesbox.h"
#include "mainwindow/lockablebox.h"
#include "mainwindow/lockablecombobox.h"
#include "mainwindow/recordscrollbar.h"
#include "mainwindow/statustexts.h"
#include "platform/fonts.h"
#include "platform/geometry.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QStatusBar>
#include <QTextDocument>

namespace cardomine {

using platform::placeTwips;

namespace {

// Qt looks for a line break in a paragraph at a word boundary first, over the whole
// rest of the paragraph, before it breaks anywhere. A long run without a space (a
// pasted blob, a binary file) makes that take time that grows with the square of the
// run: minutes for a notes file of one MiB, at every display. Text with such a run
// is wrapped anywhere; ordinary notes keep their words whole.
constexpr qsizetype LongestWrappedRun = 4096;

bool hasLongUnbrokenRun(const QString &text)
{
    qsizetype run = 0;
    for (const QChar ch : text) {
        run = ch.isSpace() ? 0 : run + 1;
        if (run > LongestWrappedRun)
            return true;
    }
    return false;
}

QLabel *captionLabel(QWidget *parent, const char *name, const QString &text,
                     Qt::Alignment alignment = Qt::AlignLeft)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    // Captions start at the top of their box, as the layout draws them.
    label->setAlignment(alignment | Qt::AlignTop);
    label->setFocusPolicy(Qt::NoFocus);
    return label;
}

QLineEdit *fieldBox(QWidget *parent, const char *name, int maxLength, bool locked)
{
    auto *edit = new LockableLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(maxLength);
    edit->setReadOnly(locked);
    return edit;
}

template <typename Button>
Button *commandButton(QWidget *parent, const char *name, const QString &caption,
                      const QString &toolTip)
{
    auto *button = new Button(parent);
    button->setObjectName(QLatin1String(name));
    button->setText(caption);
    button->setToolTip(toolTip);
    return button;
}

} // namespace

FrmWork::FrmWork(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmWork"));
    setWindowTitle(QStringLiteral("Cardomine(tm) 1.0 (Archivane)"));
    setWindowIcon(assets::windowIcon());
    setFont(platform::fonts::windowFont());
    setFixedSize(platform::twipsSize(9015, 5715));

    buildControls();
    placeControls();
    chainTabOrder();
    describeForAccessibility();

    // exitButton is the window's cancel button: Escape anywhere in the window clicks
    // it, whatever its caption, unless it is disabled.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, [this] {
        if (exitButton->isEnabled())
            exitButton->click();
    });
    connectHandlers();
    // The record routines reach the boxes through the one main window.
    Data_Functions::setBoxes(this);
}

FrmWork::~FrmWork()
{
    if (Data_Functions::boxes() == this)
        Data_Functions::setBoxes(nullptr);
}

void FrmWork::buildControls()
{
    // Created in tab order, so the focus chain starts out right.
    fname = fieldBox(this, "fname", widthOf(&ContactRecord::FirstName), true);
    lname = fieldBox(this, "lname", widthOf(&ContactRecord::LastName), true);
    company = fieldBox(this, "company", widthOf(&ContactRecord::Company), true);
    address = fieldBox(this, "address", widthOf(&ContactRecord::Address), true);
    city = fieldBox(this, "city", widthOf(&ContactRecord::City), true);
    statetext = fieldBox(this, "statetext", widthOf(&ContactRecord::State), true);
    zip = fieldBox(this, "zip", widthOf(&ContactRecord::Zip), true);
    ID = fieldBox(this, "ID", widthOf(&ContactRecord::ContactID), true);
    homephone = fieldBox(this, "homephone", widthOf(&ContactRecord::HomePhone), true);
    workphone = fieldBox(this, "workphone", widthOf(&ContactRecord::WorkPhone), true);
    pagermobile = fieldBox(this, "pagermobile", widthOf(&ContactRecord::PagerMobile), true);
    // Created unlocked, unlike the other boxes: the classic window has it so, and the
    // difference is kept on purpose.
    fax = fieldBox(this, "fax", widthOf(&ContactRecord::FaxOrEmail), false);

    cboCustomer = new LockableComboBox(this);
    cboCustomer->setObjectName(QStringLiteral("cboCustomer"));
    cboCustomer->setToolTip(QStringLiteral("Click Here To Change Between Different Data Types."));

    ScrollBar = new RecordScrollBar(this);
    ScrollBar->setObjectName(QStringLiteral("ScrollBar"));
    ScrollBar->setRange(1, ContactRecord::MaxNumber);
    ScrollBar->setValue(1);
    ScrollBar->setSingleStep(1);
    ScrollBar->setPageStep(3);
    // A drag loads nothing on the way: the value changes once, when the thumb is let go.
    ScrollBar->setTracking(false);
    ScrollBar->setFocusPolicy(Qt::StrongFocus);

    notes = new LimitedNotesBox(this);
    notes->setObjectName(QStringLiteral("notes"));
    notes->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    notes->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    notes->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    notes->setTabChangesFocus(true);
    notes->setReadOnly(true);
    notes->setToolTip(QStringLiteral(
        "Here Is Where You Can Create, Edit, Or Read Notes About The Current Contact."));

    abtButton = commandButton<CommandButton>(this, "abtButton", QStringLiteral("&About"), {});
    optnButton =
        commandButton<PictureButton>(this, "optnButton", QStringLiteral("&Options"),
                                     QStringLiteral("Click Here To Configure Program Options"));
    optnButton->setIcon(assets::icon(assets::optionsIconPath()));
    createButton =
        commandButton<CommandButton>(this, "createButton", QStringLiteral("Create &New"),
                                     QStringLiteral("Click Here To Create A New Record"));
    editButton =
        commandButton<CommandButton>(this, "editButton", QStringLiteral("&Edit"),
                                     QStringLiteral("Click Here To Edit The Current Record"));
    deleteButton =
        commandButton<CommandButton>(this, "deleteButton", QStringLiteral("&Delete"),
                                     QStringLiteral("Click Here To Delete The Current Record"));
    findButton = commandButton<CommandButton>(this, "findButton", QStringLiteral("&Find"),
                                              QStringLiteral("Click Here To Find A Record"));
    exitButton =
        commandButton<PictureButton>(this, "exitButton", QStringLiteral("E&xit Cardomine"), {});
    exitButton->setIcon(assets::icon(assets::stopIconPath()));

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setFont(platform::fonts::font(QStringLiteral("Berlin Sans FB"), 8.25, true));
    m_statusPanel = new QLabel(statustext::view(), StatusBar1);
    m_statusPanel->setObjectName(QStringLiteral("StatusBar1Panel1"));
    m_statusPanel->setToolTip(QStringLiteral("Look Here For Important Information"));
    m_statusPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_statusPanel->setFixedWidth(platform::twipsToPixels(8400));
    StatusBar1->addWidget(m_statusPanel);

    Label1 = captionLabel(this, "Label1", captions::fieldBox(FieldBox::FirstName));
    Label2 = captionLabel(this, "Label2", captions::fieldBox(FieldBox::Address));
    Label3 = captionLabel(this, "Label3", captions::fieldBox(FieldBox::Company));
    Label3->setWordWrap(true);
    Label4 = captionLabel(this, "Label4", captions::fieldBox(FieldBox::LastName));
    Label5 = captionLabel(this, "Label5", captions::fieldBox(FieldBox::City));
    Label6 = captionLabel(this, "Label6", captions::fieldBox(FieldBox::State));
    Label7 = captionLabel(this, "Label7", captions::fieldBox(FieldBox::Zip));
    Label8 = captionLabel(this, "Label8", captions::contactId());
    Label9 = captionLabel(this, "Label9", captions::fieldBox(FieldBox::HomePhone));
    Label10 = captionLabel(this, "Label10", captions::fieldBox(FieldBox::WorkPhone));
    Label11 = captionLabel(this, "Label11", captions::fieldBox(FieldBox::PagerMobile));
    Label12 = captionLabel(this, "Label12", captions::fieldBox(FieldBox::FaxOrEmail));
    Label13 = captionLabel(this, "Label13", captions::type());
    Label14 = captionLabel(this, "Label14", captions::notes(), Qt::AlignHCenter);

    // Captions lie beneath every control, as windowless classic labels do: where a
    // caption overlaps a box ("Zip Code:" runs into zip), a click there reaches the box.
    for (QLabel *label : captionLabels())
        label->lower();
}

QList<QLabel *> FrmWork::captionLabels() const
{
    return {Label1, Label2, Label3,  Label4,  Label5,  Label6,  Label7,
            Label8, Label9, Label10, Label11, Label12, Label13, Label14};
}

void FrmWork::placeControls()
{
    placeTwips(fname, 1200, 120, 1455, 285);
    placeTwips(lname, 1200, 480, 1455, 285);
    placeTwips(company, 1200, 960, 2295, 285);
    placeTwips(address, 1200, 1560, 2295, 285);
    placeTwips(city, 1200, 2040, 1695, 285);
    placeTwips(statetext, 4440, 2040, 375, 285);
    placeTwips(zip, 6000, 2040, 735, 285);
    placeTwips(ID, 6000, 120, 1215, 285);
    placeTwips(homephone, 5880, 480, 1335, 285);
    placeTwips(workphone, 5880, 840, 1335, 285);
    placeTwips(pagermobile, 5880, 1200, 1335, 285);
    placeTwips(fax, 5880, 1560, 1335, 285);
    placeTwips(cboCustomer, 1200, 2520, 1695, 315);
    placeTwips(notes, 360, 3240, 6975, 1935);

    placeTwips(Label1, 120, 120, 975, 255);
    placeTwips(Label4, 120, 480, 975, 255);
    placeTwips(Label3, 120, 840, 1095, 495);
    placeTwips(Label2, 240, 1560, 735, 255);
    placeTwips(Label5, 360, 2040, 375, 255);
    placeTwips(Label6, 3720, 2040, 615, 255);
    placeTwips(Label7, 5160, 2040, 1215, 255);
    placeTwips(Label8, 3360, 120, 2655, 255);
    placeTwips(Label9, 4680, 480, 1215, 255);
    placeTwips(Label10, 4680, 840, 1095, 255);
    placeTwips(Label11, 4320, 1200, 1455, 255);
    placeTwips(Label12, 4680, 1560, 1095, 255);
    placeTwips(Label13, 480, 2520, 495, 255);
    placeTwips(Label14, 360, 3000, 735, 255);
    for (QLabel *label : captionLabels()) {
        if (!label->wordWrap())
            label->setFont(platform::fonts::fitting(font(), label->text(), label->width()));
    }

    placeTwips(ScrollBar, 3720, 2640, 3615, 255);

    placeTwips(abtButton, 7680, 120, 975, 255);
    placeTwips(optnButton, 7680, 600, 975, 735);
    placeTwips(createButton, 7560, 1560, 1335, 375);
    placeTwips(editButton, 7680, 2040, 1095, 375);
    placeTwips(deleteButton, 7680, 2520, 1095, 375);
    placeTwips(findButton, 7680, 3000, 1095, 375);
    placeTwips(exitButton, 7680, 3960, 1095, 1095);

    placeTwips(StatusBar1, 0, 5340, 9015, 375);
}

void FrmWork::chainTabOrder()
{
    // Tab order 0 to 21; the status bar (22) and the labels never take the focus.
    const QList<QWidget *> chain{fname,       lname,      company,      address,    city,
                                 statetext,   zip,        ID,           homephone,  workphone,
                                 pagermobile, fax,        cboCustomer,  ScrollBar,  notes,
                                 abtButton,   optnButton, createButton, editButton, deleteButton,
                                 findButton,  exitButton};
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    StatusBar1->setFocusPolicy(Qt::NoFocus);
    m_statusPanel->setFocusPolicy(Qt::NoFocus);
}

void FrmWork::describeForAccessibility()
{
    // Each box is named by its caption; the buddy link tells assistive technology
    // which label belongs to it. The captions carry no '&', so no access keys appear.
    const QList<std::pair<QLabel *, QWidget *>> captions{
        {Label1, fname},        {Label4, lname},      {Label3, company},      {Label2, address},
        {Label5, city},         {Label6, statetext},  {Label7, zip},          {Label8, ID},
        {Label9, homephone},    {Label10, workphone}, {Label11, pagermobile}, {Label12, fax},
        {Label13, cboCustomer}, {Label14, notes}};
    for (const auto &[label, box] : captions) {
        label->setBuddy(box);
        QString name = label->text();
        if (name.endsWith(QLatin1Char(':')))
            name.chop(1);
        box->setAccessibleName(name);
        if (!box->toolTip().isEmpty())
            box->setAccessibleDescription(box->toolTip());
    }
    // The list's drop-down names its items as the list itself.
    cboCustomer->view()->setAccessibleName(cboCustomer->accessibleName());
    // Buttons are named by their caption without the '&' and described by their
    // tooltip; Qt reads both from the button as they change between the modes.

    // The scroll bar says which record it shows.
    const auto describeRecord = [this] {
        ScrollBar->setAccessibleName(
            QStringLiteral("Record %1 of %2").arg(ScrollBar->value()).arg(ScrollBar->maximum()));
    };
    ScrollBar->setAccessibleDescription(QStringLiteral("Moves between the records"));
    connect(ScrollBar, &QScrollBar::valueChanged, this, describeRecord);
    connect(ScrollBar, &QScrollBar::rangeChanged, this, describeRecord);
    describeRecord();
    m_statusPanel->setAccessibleDescription(m_statusPanel->toolTip());
}

QString FrmWork::statusText() const
{
    return m_statusPanel->text();
}

void FrmWork::setStatusText(const QString &text)
{
    m_statusPanel->setText(text);
}

QLineEdit *FrmWork::box(FieldBox which) const
{
    switch (which) {
    case FieldBox::FirstName:
        return fname;
    case FieldBox::LastName:
        return lname;
    case FieldBox::Company:
        return company;
    case FieldBox::Address:
        return address;
    case FieldBox::City:
        return city;
    case FieldBox::State:
        return statetext;
    case FieldBox::Zip:
        return zip;
    case FieldBox::HomePhone:
        return homephone;
    case FieldBox::WorkPhone:
        return workphone;
    case FieldBox::PagerMobile:
        return pagermobile;
    case FieldBox::FaxOrEmail:
        return fax;
    }
    Q_UNREACHABLE();
}

QString FrmWork::boxText(FieldBox which) const
{
    return box(which)->text();
}

void FrmWork::setBoxText(FieldBox which, const QString &text)
{
    showText(box(which), text);
}

void FrmWork::showText(QLineEdit *box, const QString &text)
{
    // Setting a text lays it out again. A box already showing it, with nothing of an
    // edit to clear (no change, selection or undo), is left as it is.
    if (box->text() != text || box->isModified() || box->hasSelectedText() ||
        box->isUndoAvailable() || box->isRedoAvailable())
        box->setText(text);
    // Fields are padded with spaces; keep their start in view, not the padding.
    if (box->cursorPosition() != 0)
        box->setCursorPosition(0);
}

bool FrmWork::isBoxLocked(FieldBox which) const
{
    return box(which)->isReadOnly();
}

void FrmWork::setBoxLocked(FieldBox which, bool locked)
{
    box(which)->setReadOnly(locked);
}

QString FrmWork::notesText() const
{
    // The notes box holds plain line feeds; the files hold CR LF.
    QString text = notes->toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

void FrmWork::setNotesText(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QTextOption::WrapMode wrap = hasLongUnbrokenRun(shown)
                                           ? QTextOption::WrapAnywhere
                                           : QTextOption::WrapAtWordBoundaryOrAnywhere;
    if (notes->wordWrapMode() != wrap) {
        // Emptied first: the old text is not laid out again in the new mode, and the
        // new text is laid out once.
        notes->clear();
        notes->setWordWrapMode(wrap);
    }
    // Most contacts have no notes: an empty box with no undo stays as it is.
    const QTextDocument *document = notes->document();
    if (shown.isEmpty() && document->isEmpty() && !document->isUndoAvailable() &&
        !document->isRedoAvailable())
        return;
    notes->setPlainText(shown);
}

void FrmWork::setNotesCut(bool cut)
{
    m_notesCut = cut;
    // Not a word of such notes can be changed: saving them would cut the file.
    if (cut)
        notes->setReadOnly(true);
}

void FrmWork::connectHandlers()
{
    connect(ScrollBar, &QScrollBar::valueChanged, this, [this] { ScrollBar_Change(); });
    connect(abtButton, &QPushButton::clicked, this, &FrmWork::abtButton_Click);
    connect(optnButton, &QPushButton::clicked, this, &FrmWork::optnButton_Click);
    connect(createButton, &QPushButton::clicked, this, &FrmWork::createButton_Click);
    connect(editButton, &QPushButton::clicked, this, &FrmWork::editButton_Click);
    connect(deleteButton, &QPushButton::clicked, this, &FrmWork::deleteButton_Click);
    connect(findButton, &QPushButton::clicked, this, &FrmWork::findButton_Click);
    connect(exitButton, &QPushButton::clicked, this, &FrmWork::exitButton_Click);
}

} // namespace cardomine
