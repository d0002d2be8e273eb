// SPDX-License-Identifier: GPL-3.0-or-later
#include "mainwindow/commandbutton.h"
#include "mainwindow/frmwork.h"
#include "mainwindow/lockablecombobox.h"
#include "platform/fonts.h"
#include "platform/scriptedmessages.h"
#include "tests/support/tempdrive.h"
#include "tests/support/windowhelpers.h"

#include <QAbstractItemView>
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyleHints>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace cardomine;

Q_DECLARE_METATYPE(cardomine::FieldBox)

// Reads one member of a window: the layout table names each control by its member.
using Member = std::function<QWidget *(const cardomine::FrmWork &)>;
Q_DECLARE_METATYPE(Member)
#define MEMBER(name) Member([](const FrmWork &w) -> QWidget * { return w.name; })

namespace {

// Twips rectangle to the pixels the window must use.
QRect px(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

const QStringList TabOrder{u"fname"_s,       u"lname"_s,        u"company"_s,     u"address"_s,
                           u"city"_s,        u"statetext"_s,    u"zip"_s,         u"ID"_s,
                           u"homephone"_s,   u"workphone"_s,    u"pagermobile"_s, u"fax"_s,
                           u"cboCustomer"_s, u"ScrollBar"_s,    u"notes"_s,       u"abtButton"_s,
                           u"optnButton"_s,  u"createButton"_s, u"editButton"_s,  u"deleteButton"_s,
                           u"findButton"_s,  u"exitButton"_s};

QString ordinaryNotes()
{
    QString words;
    while (words.size() < 2000)
        words += u"call back on monday about the order "_s;
    return words;
}

// The number of lines the notes box lays its first paragraph out in.
int firstParagraphLines(QPlainTextEdit *notes)
{
    const QTextBlock block = notes->document()->firstBlock();
    notes->document()->documentLayout()->blockBoundingRect(block);
    return block.layout()->lineCount();
}

} // namespace

class TestFrmWork : public QObject
{
    Q_OBJECT

private:
    // The window's buttons run their workflows; their boxes go to the script and their
    // files to a drive root of the test's own.
    std::unique_ptr<testing::TempDrive> m_drive;
    platform::ScriptedMessageService m_messages;
    std::unique_ptr<FrmWork> m_window;
    int m_closes = 0;

    FrmWork &shownWindow()
    {
        m_window->show();
        m_window->activateWindow();
        if (!QTest::qWaitForWindowActive(m_window.get()))
            qWarning("window did not become active");
        return *m_window;
    }

    template <typename T = QWidget> T *control(const QString &name) const
    {
        return m_window->findChild<T *>(name);
    }

private Q_SLOTS:
    void initTestCase() { platform::fonts::loadBundledFonts(); }

    void init()
    {
        m_drive = std::make_unique<testing::TempDrive>();
        m_messages.clear();
        platform::setMessageService(&m_messages);
        m_window = std::make_unique<FrmWork>();
        m_closes = 0;
        m_window->setBeforeClose([this] { ++m_closes; });
    }

    void cleanup()
    {
        m_window.reset();
        platform::setMessageService(nullptr);
        m_drive.reset();
    }

    void windowProperties()
    {
        FrmWork &w = *m_window;
        QCOMPARE(w.objectName(), u"frmWork"_s);
        QCOMPARE(w.windowTitle(), u"Cardomine(tm) 1.0 (Archivane)"_s);
        QCOMPARE(w.size(), QSize(601, 381));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        const Qt::WindowFlags flags = w.windowFlags();
        QVERIFY(flags & Qt::WindowMinimizeButtonHint);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(!w.windowIcon().isNull());
        QCOMPARE(w.font().family(), u"Tahoma"_s);
        QCOMPARE(w.font().pointSizeF(), 8.25);
        QCOMPARE(w.font().weight(), QFont::Bold);
        QCOMPARE(w.StatusBar1->font().family(), u"Berlin Sans FB"_s);
        QCOMPARE(w.StatusBar1->font().pointSizeF(), 8.25);
        QCOMPARE(w.StatusBar1->font().weight(), QFont::Bold);
    }

    // Every control: its member, its object name, kind, place, caption and tooltip.
    void layout_data()
    {
        QTest::addColumn<Member>("member");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("toolTip");
        auto row = [](const char *tag, const Member &member, const char *kind, QRect geometry,
                      const QString &caption = {}, const QString &toolTip = {}) {
            QTest::newRow(tag) << member << QString::fromLatin1(tag) << QString::fromLatin1(kind)
                               << geometry << caption << toolTip;
        };
        row("fname", MEMBER(fname), "cardomine::LockableLineEdit", px(1200, 120, 1455, 285));
        row("lname", MEMBER(lname), "cardomine::LockableLineEdit", px(1200, 480, 1455, 285));
        row("company", MEMBER(company), "cardomine::LockableLineEdit", px(1200, 960, 2295, 285));
        row("address", MEMBER(address), "cardomine::LockableLineEdit", px(1200, 1560, 2295, 285));
        row("city", MEMBER(city), "cardomine::LockableLineEdit", px(1200, 2040, 1695, 285));
        row("statetext", MEMBER(statetext), "cardomine::LockableLineEdit",
            px(4440, 2040, 375, 285));
        row("zip", MEMBER(zip), "cardomine::LockableLineEdit", px(6000, 2040, 735, 285));
        row("ID", MEMBER(ID), "cardomine::LockableLineEdit", px(6000, 120, 1215, 285));
        row("homephone", MEMBER(homephone), "cardomine::LockableLineEdit",
            px(5880, 480, 1335, 285));
        row("workphone", MEMBER(workphone), "cardomine::LockableLineEdit",
            px(5880, 840, 1335, 285));
        row("pagermobile", MEMBER(pagermobile), "cardomine::LockableLineEdit",
            px(5880, 1200, 1335, 285));
        row("fax", MEMBER(fax), "cardomine::LockableLineEdit", px(5880, 1560, 1335, 285));
        row("cboCustomer", MEMBER(cboCustomer), "cardomine::LockableComboBox",
            px(1200, 2520, 1695, 315), {}, u"Click Here To Change Between Different Data Types."_s);
        row("notes", MEMBER(notes), "cardomine::LimitedNotesBox", px(360, 3240, 6975, 1935), {},
            u"Here Is Where You Can Create, Edit, Or Read Notes About The Current Contact."_s);
        row("Label1", MEMBER(Label1), "QLabel", px(120, 120, 975, 255), u"First Name:"_s);
        row("Label4", MEMBER(Label4), "QLabel", px(120, 480, 975, 255), u"Last Name:"_s);
        row("Label3", MEMBER(Label3), "QLabel", px(120, 840, 1095, 495),
            u"Company (If Applicable):"_s);
        row("Label2", MEMBER(Label2), "QLabel", px(240, 1560, 735, 255), u"Address:"_s);
        row("Label5", MEMBER(Label5), "QLabel", px(360, 2040, 375, 255), u"City:"_s);
        row("Label6", MEMBER(Label6), "QLabel", px(3720, 2040, 615, 255), u"State:"_s);
        row("Label7", MEMBER(Label7), "QLabel", px(5160, 2040, 1215, 255), u"Zip Code:"_s);
        row("Label8", MEMBER(Label8), "QLabel", px(3360, 120, 2655, 255),
            u"Client/Customer/Contact ID#:"_s);
        row("Label9", MEMBER(Label9), "QLabel", px(4680, 480, 1215, 255), u"Home Phone:"_s);
        row("Label10", MEMBER(Label10), "QLabel", px(4680, 840, 1095, 255), u"Work Phone:"_s);
        row("Label11", MEMBER(Label11), "QLabel", px(4320, 1200, 1455, 255), u"Pager/Mobile #:"_s);
        row("Label12", MEMBER(Label12), "QLabel", px(4680, 1560, 1095, 255), u"Fax Or Email:"_s);
        row("Label13", MEMBER(Label13), "QLabel", px(480, 2520, 495, 255), u"Type:"_s);
        row("Label14", MEMBER(Label14), "QLabel", px(360, 3000, 735, 255), u"Notes:"_s);
        row("ScrollBar", MEMBER(ScrollBar), "cardomine::RecordScrollBar",
            px(3720, 2640, 3615, 255));
        row("abtButton", MEMBER(abtButton), "cardomine::platform::CommandButton",
            px(7680, 120, 975, 255), u"&About"_s);
        row("optnButton", MEMBER(optnButton), "cardomine::PictureButton", px(7680, 600, 975, 735),
            u"&Options"_s, u"Click Here To Configure Program Options"_s);
        row("createButton", MEMBER(createButton), "cardomine::platform::CommandButton",
            px(7560, 1560, 1335, 375), u"Create &New"_s, u"Click Here To Create A New Record"_s);
        row("editButton", MEMBER(editButton), "cardomine::platform::CommandButton",
            px(7680, 2040, 1095, 375), u"&Edit"_s, u"Click Here To Edit The Current Record"_s);
        row("deleteButton", MEMBER(deleteButton), "cardomine::platform::CommandButton",
            px(7680, 2520, 1095, 375), u"&Delete"_s, u"Click Here To Delete The Current Record"_s);
        row("findButton", MEMBER(findButton), "cardomine::platform::CommandButton",
            px(7680, 3000, 1095, 375), u"&Find"_s, u"Click Here To Find A Record"_s);
        row("exitButton", MEMBER(exitButton), "cardomine::PictureButton",
            px(7680, 3960, 1095, 1095), u"E&xit Cardomine"_s);
        row("StatusBar1", MEMBER(StatusBar1), "QStatusBar", px(0, 5340, 9015, 375));
    }
    void layout()
    {
        QFETCH(Member, member);
        QFETCH(QString, name);
        QFETCH(QString, kind);
        QFETCH(QRect, geometry);
        QFETCH(QString, caption);
        QFETCH(QString, toolTip);
        QWidget *control = member(*m_window);
        QVERIFY(control != nullptr);
        QCOMPARE(control->objectName(), name);
        QCOMPARE(QString::fromLatin1(control->metaObject()->className()), kind);
        QCOMPARE(control->geometry(), geometry);
        QCOMPARE(control->toolTip(), toolTip);
        QVERIFY(control->isEnabled());
        if (auto *label = qobject_cast<QLabel *>(control)) {
            QCOMPARE(label->text(), caption);
            QCOMPARE(label->focusPolicy(), Qt::NoFocus);
            const Qt::Alignment horizontal =
                name == u"Label14"_s ? Qt::AlignHCenter : Qt::AlignLeft;
            QCOMPARE(label->alignment() & Qt::AlignHorizontal_Mask, horizontal);
        } else if (auto *button = qobject_cast<QPushButton *>(control)) {
            QCOMPARE(button->text(), caption);
            QVERIFY(!button->autoDefault());
            QVERIFY(!button->isDefault());
        } else if (auto *edit = qobject_cast<QLineEdit *>(control)) {
            QVERIFY(edit->text().isEmpty());
        }
        // Found by its name too, as the other parts of the program reach it.
        QCOMPARE(this->control(name), control);
    }

    // Every caption fits its label with the window's fonts; "Company (If Applicable):"
    // takes two lines.
    void captionsFitTheirLabels()
    {
        if (platform::fonts::loadBundledFonts() == 0)
            QSKIP("Tahoma is not installed here; captions are measured with it");
        const QList<QLabel *> labels =
            m_window->findChildren<QLabel *>(QRegularExpression(u"^Label\\d+$"_s));
        QCOMPARE(labels.size(), 14);
        for (QLabel *label : labels) {
            const QFontMetrics metrics = label->fontMetrics();
            const int flags = int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
            const QRect needed =
                metrics.boundingRect(QRect(0, 0, label->width(), 1000), flags, label->text());
            // What must fit is the ink: the last glyph's advance may reach past it.
            const int ink = label->wordWrap()
                                ? needed.width()
                                : metrics.tightBoundingRect(label->text()).right() + 1;
            QVERIFY2(
                ink <= label->width() && needed.height() <= label->height(),
                qPrintable(label->objectName() + u" needs %1x%2"_s.arg(ink).arg(needed.height())));
            const int lines = needed.height() / metrics.lineSpacing();
            QCOMPARE(lines, label == m_window->Label3 ? 2 : 1);
        }
    }

    void fieldBoxes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("maxLength");
        QTest::addColumn<bool>("locked");
        QTest::newRow("fname") << u"fname"_s << 10 << true;
        QTest::newRow("lname") << u"lname"_s << 20 << true;
        QTest::newRow("company") << u"company"_s << 40 << true;
        QTest::newRow("address") << u"address"_s << 50 << true;
        QTest::newRow("city") << u"city"_s << 30 << true;
        QTest::newRow("statetext") << u"statetext"_s << 2 << true;
        QTest::newRow("zip") << u"zip"_s << 5 << true;
        QTest::newRow("ID") << u"ID"_s << 6 << true;
        QTest::newRow("homephone") << u"homephone"_s << 12 << true;
        QTest::newRow("workphone") << u"workphone"_s << 12 << true;
        QTest::newRow("pagermobile") << u"pagermobile"_s << 12 << true;
        QTest::newRow("fax") << u"fax"_s << 30 << false;
    }
    void fieldBoxes()
    {
        QFETCH(QString, name);
        QFETCH(int, maxLength);
        QFETCH(bool, locked);
        auto *box = control<QLineEdit>(name);
        QVERIFY(box != nullptr);
        QCOMPARE(box->maxLength(), maxLength);
        QCOMPARE(box->isReadOnly(), locked);

        const QString longText =
            u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"_s;
        // A locked box refuses typing.
        QTest::keyClicks(box, u"xyz"_s);
        QCOMPARE(box->text(), locked ? QString() : u"xyz"_s);

        // Typing stops at the limit.
        box->setReadOnly(false);
        box->clear();
        QTest::keyClicks(box, longText.left(maxLength + 3));
        QCOMPARE(box->text(), longText.left(maxLength));
        QTest::keyClicks(box, u"!"_s);
        QCOMPARE(box->text(), longText.left(maxLength));

        // Pasting is cut to the limit too.
        box->clear();
        QApplication::clipboard()->setText(longText);
        QTest::keySequence(box, QKeySequence::Paste);
        QCOMPARE(box->text(), longText.left(maxLength));
    }

    void notesBox()
    {
        QPlainTextEdit *notes = m_window->notes;
        QVERIFY(notes->isReadOnly());
        QCOMPARE(notes->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        QCOMPARE(notes->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QVERIFY(notes->toPlainText().isEmpty());
        QTest::keyClicks(notes, u"typed"_s);
        QVERIFY(notes->toPlainText().isEmpty());
        // No length limit.
        notes->setReadOnly(false);
        const QString many(5000, QLatin1Char('n'));
        QTest::keyClicks(notes, many);
        QCOMPARE(notes->toPlainText(), many);
    }

    void notesCrossWithCrLf_data()
    {
        QTest::addColumn<QString>("fileText");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("one line") << u"Call back"_s << u"Call back"_s;
        QTest::newRow("two lines") << u"Call back\r\nMonday"_s << u"Call back\nMonday"_s;
        QTest::newRow("blank line") << u"a\r\n\r\nb"_s << u"a\n\nb"_s;
        QTest::newRow("ends with a line end") << u"a\r\n"_s << u"a\n"_s;
    }
    void notesCrossWithCrLf()
    {
        QFETCH(QString, fileText);
        QFETCH(QString, shown);
        m_window->setNotesText(fileText);
        QCOMPARE(m_window->notes->toPlainText(), shown);
        QCOMPARE(m_window->notesText(), fileText);
    }

    // Notes up to a MiB are shown whole, whatever their shape: ordinary notes wrap
    // between words, and a long run without a space (a pasted blob, a binary file)
    // still fills the box in moments rather than minutes.
    void notesOfAnyShape_data()
    {
        QTest::addColumn<QString>("fileText");
        // Control characters are drawn without width: nothing to wrap then.
        QTest::addColumn<bool>("wraps");
        constexpr int MiB = 1024 * 1024;
        QTest::newRow("words") << ordinaryNotes() << true;
        QTest::newRow("a MiB without a space") << QString(MiB, QLatin1Char('x')) << true;
        QTest::newRow("a MiB of NUL characters") << QString(MiB, QChar(0)) << false;
        QTest::newRow("a MiB of binary lines")
            << QString(MiB / 2, QChar(0xFF)) + u"\r\n"_s + QString(MiB / 2 - 2, QChar(0x1F))
            << true;
    }
    void notesOfAnyShape()
    {
        QFETCH(QString, fileText);
        QFETCH(bool, wraps);
        FrmWork &w = shownWindow();

        QElapsedTimer timer;
        timer.start();
        w.setNotesText(fileText);
        // Lays out the first paragraph now, as painting it would.
        const int lines = firstParagraphLines(w.notes);
        QVERIFY2(wraps ? lines > 1 : lines >= 1, qPrintable(QString::number(lines)));
        QVERIFY2(timer.elapsed() < 10000, qPrintable(u"%1 ms"_s.arg(timer.elapsed())));
        QCOMPARE(w.notesText(), fileText);

        // Ordinary notes shown next keep their words whole.
        timer.restart();
        w.setNotesText(ordinaryNotes());
        QVERIFY(firstParagraphLines(w.notes) > 1);
        QVERIFY2(timer.elapsed() < 10000, qPrintable(u"%1 ms"_s.arg(timer.elapsed())));
        const QTextBlock block = w.notes->document()->firstBlock();
        const QTextLayout *layout = block.layout();
        for (int i = 0; i + 1 < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            QVERIFY2(block.text().at(line.textStart() + line.textLength() - 1).isSpace(),
                     qPrintable(u"line %1 breaks a word"_s.arg(i)));
        }
    }

    void recordBoxes_data()
    {
        QTest::addColumn<FieldBox>("box");
        QTest::addColumn<QString>("name");
        QTest::newRow("first name") << FieldBox::FirstName << u"fname"_s;
        QTest::newRow("last name") << FieldBox::LastName << u"lname"_s;
        QTest::newRow("company") << FieldBox::Company << u"company"_s;
        QTest::newRow("address") << FieldBox::Address << u"address"_s;
        QTest::newRow("city") << FieldBox::City << u"city"_s;
        QTest::newRow("state") << FieldBox::State << u"statetext"_s;
        QTest::newRow("zip") << FieldBox::Zip << u"zip"_s;
        QTest::newRow("home phone") << FieldBox::HomePhone << u"homephone"_s;
        QTest::newRow("work phone") << FieldBox::WorkPhone << u"workphone"_s;
        QTest::newRow("pager/mobile") << FieldBox::PagerMobile << u"pagermobile"_s;
        QTest::newRow("fax or e-mail") << FieldBox::FaxOrEmail << u"fax"_s;
    }
    void recordBoxes()
    {
        QFETCH(FieldBox, box);
        QFETCH(QString, name);
        RecordBoxes &boxes = *m_window;
        auto *edit = control<QLineEdit>(name);
        QCOMPARE(m_window->box(box), edit);
        boxes.setBoxText(box, u"12"_s);
        QCOMPARE(edit->text(), u"12"_s);
        edit->setText(u"34"_s);
        QCOMPARE(boxes.boxText(box), u"34"_s);
        boxes.setBoxLocked(box, false);
        QVERIFY(!edit->isReadOnly());
        boxes.setBoxLocked(box, true);
        QVERIFY(edit->isReadOnly());
        QVERIFY(boxes.isBoxLocked(box));
        // No other box moved.
        const QList<QLineEdit *> edits = m_window->findChildren<QLineEdit *>();
        for (QLineEdit *other : edits) {
            if (other != edit && other->parent() == m_window.get())
                QVERIFY2(other->text().isEmpty(), qPrintable(other->objectName()));
        }
    }

    void typeListStartsEmptyAndUnlocked()
    {
        LockableComboBox *list = m_window->cboCustomer;
        QVERIFY(!list->isEditable());
        QVERIFY(!list->isLocked());
        QCOMPARE(list->count(), 0);
        QCOMPARE(list->currentText(), QString());
    }

    void statusBar()
    {
        QStatusBar *bar = m_window->StatusBar1;
        QCOMPARE(bar->focusPolicy(), Qt::NoFocus);
        QVERIFY(!bar->isSizeGripEnabled());
        QCOMPARE(m_window->statusText(), u"Ready.  Option Selected: View"_s);
        auto *panel = bar->findChild<QLabel *>(u"StatusBar1Panel1"_s);
        QVERIFY(panel);
        QCOMPARE(panel->parentWidget(), bar);
        QCOMPARE(panel->width(), 560);
        QCOMPARE(panel->toolTip(), u"Look Here For Important Information"_s);
        QCOMPARE(bar->findChildren<QLabel *>().size(), 1);
        m_window->setStatusText(u"Ready.  Option Selected: Create New Record"_s);
        QCOMPARE(panel->text(), u"Ready.  Option Selected: Create New Record"_s);
        QCOMPARE(m_window->statusText(), panel->text());
    }

    void scrollBarSettings()
    {
        QScrollBar *bar = m_window->ScrollBar;
        QCOMPARE(bar->orientation(), Qt::Horizontal);
        QCOMPARE(bar->minimum(), 1);
        QCOMPARE(bar->value(), 1);
        QCOMPARE(bar->singleStep(), 1);
        QCOMPARE(bar->pageStep(), 3);
        QVERIFY(!bar->hasTracking());
    }

    // A thumb drag changes the value once, when the thumb is let go.
    void scrollBarReportsADragOnceAtRelease()
    {
        QScrollBar *bar = m_window->ScrollBar;
        bar->setMaximum(20);
        QSignalSpy changed(bar, &QScrollBar::valueChanged);
        bar->setSliderDown(true);
        for (int position = 2; position <= 9; ++position)
            bar->setSliderPosition(position);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(bar->value(), 1);
        bar->setSliderDown(false);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.first().first().toInt(), 9);
        // Arrow and page steps.
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(bar->value(), 13);
        QCOMPARE(changed.count(), 3);
        bar->setValue(13);
        QCOMPARE(changed.count(), 3);
    }

    void tabWalksTheControlsInOrder()
    {
        FrmWork &w = shownWindow();
        w.fname->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget *>(w.fname));
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 1; i < TabOrder.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(visited, TabOrder);
        // Past the last control the focus starts again at the first.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), TabOrder.first());
        // Shift+Tab walks back.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget()->objectName(), TabOrder.last());
    }

    void escapeClicksExitButton_data()
    {
        QTest::addColumn<QString>("focus");
        for (const QString &name : TabOrder)
            QTest::newRow(qPrintable(name)) << name;
    }
    void escapeClicksExitButton()
    {
        QFETCH(QString, focus);
        FrmWork &w = shownWindow();
        QWidget *target = control(focus);
        target->setFocus(Qt::OtherFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), target);
        QSignalSpy clicked(w.exitButton, &QPushButton::clicked);
        m_messages.queueAnswer(platform::MessageAnswer::Yes);
        QTest::keyClick(target, Qt::Key_Escape);
        QCOMPARE(clicked.count(), 1);
        // While browsing the click asks the window to close, and Yes closes it.
        QCOMPARE(m_messages.shown().size(), 1);
        QCOMPARE(m_closes, 1);
        QVERIFY(!w.isVisible());
    }

    void escapeFollowsExitButtonWhateverItsCaption()
    {
        FrmWork &w = shownWindow();
        // As in create mode: the exit button turns into the save button and Create New is
        // disabled, which leaves Alt+N to the exit button.
        w.exitButton->setText(u"Save &New Record"_s);
        w.createButton->setEnabled(false);
        // Take the close out of the way: only the click is looked at here.
        disconnect(w.exitButton, &QPushButton::clicked, nullptr, nullptr);
        QSignalSpy clicked(w.exitButton, &QPushButton::clicked);
        w.fname->setFocus();
        QTest::keyClick(w.fname, Qt::Key_Escape);
        QCOMPARE(clicked.count(), 1);
        // Its access key moved with the caption.
        QTest::keyClick(&w, Qt::Key_N, Qt::AltModifier);
        QTRY_COMPARE(clicked.count(), 2);
    }

    void escapeDoesNothingWhileExitButtonIsDisabled()
    {
        FrmWork &w = shownWindow();
        w.exitButton->setEnabled(false);
        QSignalSpy clicked(w.exitButton, &QPushButton::clicked);
        w.fax->setFocus();
        QTest::keyClick(w.fax, Qt::Key_Escape);
        QTest::keyClick(&w, Qt::Key_X, Qt::AltModifier);
        QTest::qWait(150);
        QCOMPARE(clicked.count(), 0);
        QVERIFY(w.isVisible());
        QCOMPARE(m_closes, 0);
    }

    // Captions lie beneath every control: no point of a control belongs to a label.
    void noCaptionCoversAControl()
    {
        FrmWork &w = *m_window;
        for (QWidget *c : w.findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (qobject_cast<QLabel *>(c))
                continue;
            const QRect r = c->geometry();
            for (int x = r.left(); x <= r.right(); ++x) {
                for (int y : {r.top(), r.center().y(), r.bottom()}) {
                    QWidget *hit = w.childAt(x, y);
                    QVERIFY2(hit == c || c->isAncestorOf(hit),
                             qPrintable(u"%1 at %2,%3 is covered by %4"_s.arg(c->objectName())
                                            .arg(x)
                                            .arg(y)
                                            .arg(hit ? hit->objectName() : u"nothing"_s)));
                }
            }
        }
    }

    // A real click one pixel inside the left edge of a box gives it the focus, and what
    // the user types next lands there.
    void clickAtTheLeftEdgeTypesIntoTheBox_data()
    {
        QTest::addColumn<QString>("box");
        for (const QString &name : TabOrder.mid(0, 12))
            QTest::newRow(qPrintable(name)) << name;
        QTest::newRow("notes") << u"notes"_s;
    }
    void clickAtTheLeftEdgeTypesIntoTheBox()
    {
        QFETCH(QString, box);
        FrmWork &w = shownWindow();
        // Unlocked as for a new record; the focus starts elsewhere.
        for (QLineEdit *edit : w.findChildren<QLineEdit *>())
            edit->setReadOnly(false);
        w.notes->setReadOnly(false);
        QWidget *target = control(box);
        QString expected;
        // Its first column and the one after it.
        for (int column : {0, 1}) {
            w.abtButton->setFocus();
            QTRY_VERIFY(!target->hasFocus());
            const QPoint point(target->x() + column, target->y() + target->height() / 2);
            QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, point);
            QTRY_COMPARE(QApplication::focusWidget(), target);
            QTest::keyClick(w.windowHandle(), Qt::Key_7);
            expected += u"7"_s;
            const QString typed = box == u"notes" ? w.notes->toPlainText()
                                                  : qobject_cast<QLineEdit *>(target)->text();
            QCOMPARE(typed, expected);
        }
    }

    // A locked box still takes the focus and shows its caret, which the keyboard moves.
    void lockedBoxShowsItsCaret_data()
    {
        QTest::addColumn<QString>("box");
        QTest::newRow("fname") << u"fname"_s;
        QTest::newRow("ID") << u"ID"_s;
        QTest::newRow("notes") << u"notes"_s;
    }
    void lockedBoxShowsItsCaret()
    {
        QFETCH(QString, box);
        FrmWork &w = shownWindow();
        QWidget *target = control(box);
        auto *edit = qobject_cast<QLineEdit *>(target);
        if (edit) {
            FrmWork::showText(edit, testing::padded(u"Tobin"_s, edit->maxLength()));
            QVERIFY(edit->isReadOnly());
        } else {
            w.notes->setPlainText(u"Call Tobin"_s);
            w.notes->setReadOnly(false);
            w.notes->setFocus();
            w.notes->setReadOnly(true); // locked while it has the focus, as a save does
        }
        w.abtButton->setFocus();
        QTRY_VERIFY(!target->hasFocus());
        // The caret moves over the blanks: the end of the text is beyond the name.
        if (edit)
            edit->setCursorPosition(edit->maxLength() - 1);
        const QImage unfocused = target->grab().toImage();
        target->setFocus(Qt::OtherFocusReason);
        QTRY_VERIFY(target->hasFocus());
        if (edit)
            QVERIFY(!edit->hasSelectedText());
        // Within one blink the inside of the box (its frame left out) shows the caret.
        int changed = 0;
        QElapsedTimer blink;
        blink.start();
        while (changed < 4 && blink.elapsed() < QGuiApplication::styleHints()->cursorFlashTime()) {
            QTest::qWait(40);
            const QImage now = target->grab().toImage();
            int n = 0;
            for (int y = 3; y < now.height() - 3; ++y)
                for (int x = 3; x < now.width() - 3; ++x)
                    n += now.pixel(x, y) != unfocused.pixel(x, y);
            changed = std::max(changed, n);
        }
        QVERIFY2(changed >= 4, qPrintable(u"%1 pixels changed"_s.arg(changed)));
        if (!edit) {
            QCOMPARE(w.notes->textCursor().position(), 0);
            QTest::keyClick(w.notes, Qt::Key_Right);
            QCOMPARE(w.notes->textCursor().position(), 1);
            QTest::keyClick(w.notes, Qt::Key_A);
            QCOMPARE(w.notes->toPlainText(), u"Call Tobin"_s);
        }
    }

    // The dropped-down type list takes the first Escape and closes; only the next one
    // reaches the exit button.
    void escapeClosesTheOpenListFirst_data()
    {
        QTest::addColumn<QString>("sentTo");
        QTest::newRow("the list") << u"list"_s;
        QTest::newRow("the list's window") << u"popup"_s;
        QTest::newRow("the main window") << u"window"_s;
    }
    void escapeClosesTheOpenListFirst()
    {
        QFETCH(QString, sentTo);
        FrmWork &w = shownWindow();
        w.cboCustomer->addItems({u"Contacts"_s, u"Customers"_s});
        w.cboCustomer->setFocus();
        QSignalSpy clicked(w.exitButton, &QPushButton::clicked);
        QTest::mouseClick(w.cboCustomer, Qt::LeftButton);
        QTRY_VERIFY(w.cboCustomer->view()->isVisible());
        QWidget *popup = QApplication::activePopupWidget();
        QVERIFY(popup);
        if (sentTo == u"list")
            QTest::keyClick(w.cboCustomer->view(), Qt::Key_Escape);
        else
            QTest::keyClick(sentTo == u"popup" ? popup->windowHandle() : w.windowHandle(),
                            Qt::Key_Escape);
        QTRY_VERIFY(!w.cboCustomer->view()->isVisible());
        QTest::qWait(50);
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(m_messages.shown().size(), 0);
        QVERIFY(w.isVisible());

        // The window has the keyboard again: a window manager gives it back when the
        // list closes, the offscreen platform leaves that to the test.
        w.windowHandle()->requestActivate();
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget *>(&w));
        m_messages.queueAnswer(platform::MessageAnswer::No);
        QTest::keyClick(w.windowHandle(), Qt::Key_Escape);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(m_messages.shown().size(), 1);
        QVERIFY(w.isVisible());
    }

    void accessKeysClickTheirButtons_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("button");
        QTest::newRow("Alt+A") << int(Qt::Key_A) << u"abtButton"_s;
        QTest::newRow("Alt+O") << int(Qt::Key_O) << u"optnButton"_s;
        QTest::newRow("Alt+N") << int(Qt::Key_N) << u"createButton"_s;
        QTest::newRow("Alt+E") << int(Qt::Key_E) << u"editButton"_s;
        QTest::newRow("Alt+D") << int(Qt::Key_D) << u"deleteButton"_s;
        QTest::newRow("Alt+F") << int(Qt::Key_F) << u"findButton"_s;
        QTest::newRow("Alt+X") << int(Qt::Key_X) << u"exitButton"_s;
    }
    void accessKeysClickTheirButtons()
    {
        QFETCH(int, key);
        QFETCH(QString, button);
        FrmWork &w = shownWindow();
        const QList<QPushButton *> buttons = w.findChildren<QPushButton *>();
        QCOMPARE(buttons.size(), 7);
        QList<std::shared_ptr<QSignalSpy>> spies;
        for (QPushButton *b : buttons)
            spies.append(std::make_shared<QSignalSpy>(b, &QPushButton::clicked));
        w.fname->setFocus();
        QTest::keyClick(w.fname, Qt::Key(key), Qt::AltModifier);
        for (qsizetype i = 0; i < buttons.size(); ++i) {
            if (buttons[i]->objectName() == button)
                QTRY_COMPARE(spies[i]->count(), 1);
        }
        for (qsizetype i = 0; i < buttons.size(); ++i)
            QCOMPARE(spies[i]->count(), buttons[i]->objectName() == button ? 1 : 0);
    }

    // No default button: Enter in a text box clicks nothing; on a focused button it
    // clicks that button.
    void enterClicksOnlyAFocusedButton()
    {
        FrmWork &w = shownWindow();
        disconnect(w.exitButton, &QPushButton::clicked, nullptr, nullptr);
        QList<std::shared_ptr<QSignalSpy>> spies;
        const QList<QPushButton *> buttons = w.findChildren<QPushButton *>();
        for (QPushButton *b : buttons)
            spies.append(std::make_shared<QSignalSpy>(b, &QPushButton::clicked));
        w.fax->setFocus();
        QTest::keyClick(w.fax, Qt::Key_Return);
        for (const auto &spy : spies)
            QCOMPARE(spy->count(), 0);
        w.editButton->setFocus();
        QTest::keyClick(w.editButton, Qt::Key_Return);
        for (qsizetype i = 0; i < buttons.size(); ++i)
            QCOMPARE(spies[i]->count(), buttons[i] == w.editButton ? 1 : 0);
    }

    void closeRunsTheHookOnce()
    {
        FrmWork &w = shownWindow();
        m_messages.queueAnswer(platform::MessageAnswer::Yes);
        QVERIFY(w.close());
        QCOMPARE(m_closes, 1);
        QVERIFY(!w.isVisible());
    }

    void pictureButtonsHaveTheirIcons()
    {
        QVERIFY(!m_window->optnButton->icon().isNull());
        QVERIFY(!m_window->exitButton->icon().isNull());
        QVERIFY(m_window->abtButton->icon().isNull());
        const QImage options = m_window->optnButton->icon().pixmap(32, 32).toImage();
        const QImage stop = m_window->exitButton->icon().pixmap(32, 32).toImage();
        // The stop sign is red in the middle, the folder yellow near the bottom.
        const QColor centre = stop.pixelColor(16, 8);
        QVERIFY2(centre.red() > 150 && centre.green() < 90, qPrintable(centre.name()));
        const QColor folder = options.pixelColor(4, 26);
        QVERIFY2(folder.red() > 180 && folder.green() > 160 && folder.blue() < 120,
                 qPrintable(folder.name()));
    }
};

QTEST_MAIN(TestFrmWork)
#include "tst_frmwork.moc"
