// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/messages.h"
#include "platform/scriptedmessages.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace cardomine::platform;

Q_DECLARE_METATYPE(cardomine::platform::MessageButtons)
Q_DECLARE_METATYPE(cardomine::platform::MessageAnswer)

namespace {

// What a test saw of a real message box while it was open.
struct Observed
{
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    QString defaultButton;
    bool openAfterAction = false;
    QRect frame;     // the whole box, its frame included
    QSize size;      // the box's client area
    QRect labelRect; // where the text is drawn
    bool labelWraps = false;
    QString iconName; // what a screen reader says for the icon
};

enum class Action
{
    Escape,
    CloseBox,
    Enter,
    ClickYes,
    ClickNo,
    ClickOk
};

QString buttonName(QMessageBox *box, QAbstractButton *button)
{
    if (button == nullptr)
        return {};
    switch (box->standardButton(button)) {
    case QMessageBox::Yes:
        return QStringLiteral("Yes");
    case QMessageBox::No:
        return QStringLiteral("No");
    case QMessageBox::Ok:
        return QStringLiteral("OK");
    default:
        return QStringLiteral("other");
    }
}

// Waits for the modal box, records it, performs the action, notes whether the box is
// still open, and then makes sure it ends (clicking No or OK) so the test never hangs.
void driveNextBox(Observed &observed, Action action)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &observed, action] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        observed.seen = true;
        observed.title = box->windowTitle();
        observed.text = box->text();
        observed.icon = box->icon();
        const QList<QAbstractButton *> buttons = box->buttons();
        for (QAbstractButton *button : buttons)
            observed.buttons.append(buttonName(box, button));
        observed.buttons.sort();
        observed.defaultButton = buttonName(box, box->defaultButton());
        observed.frame = box->frameGeometry();
        observed.size = box->size();
        if (const auto *label = box->findChild<QLabel *>(u"qt_msgbox_label"_s)) {
            observed.labelRect = label->geometry();
            observed.labelWraps = label->wordWrap();
        }
        if (const auto *icon = box->findChild<QLabel *>(u"qt_msgboxex_icon_label"_s))
            observed.iconName = icon->accessibleName();

        switch (action) {
        case Action::Escape:
            QTest::keyClick(box, Qt::Key_Escape);
            break;
        case Action::CloseBox:
            box->close();
            break;
        case Action::Enter:
            QTest::keyClick(box, Qt::Key_Return);
            break;
        case Action::ClickYes:
            box->button(QMessageBox::Yes)->click();
            break;
        case Action::ClickNo:
            box->button(QMessageBox::No)->click();
            break;
        case Action::ClickOk:
            box->button(QMessageBox::Ok)->click();
            break;
        }
        observed.openAfterAction = box->isVisible();
        if (box->isVisible()) {
            QAbstractButton *end = box->button(QMessageBox::No);
            if (end == nullptr)
                end = box->button(QMessageBox::Ok);
            end->click();
        }
    });
    poll->start();
}

} // namespace

class TestMessages : public QObject
{
    Q_OBJECT

private:
    ScriptedMessageService m_script;

private Q_SLOTS:
    void cleanup() { m_script.clear(); }

    void displayTextSplitsLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("one line") << u"Saved."_s << u"Saved."_s;
        QTest::newRow("lone carriage return") << u"First\rSecond"_s << u"First\nSecond"_s;
        QTest::newRow("three lines") << u"a\rb\rc"_s << u"a\nb\nc"_s;
        QTest::newRow("CR LF counts once") << u"a\r\nb"_s << u"a\nb"_s;
        QTest::newRow("blank line kept") << u"a\r\rb"_s << u"a\n\nb"_s;
        QTest::newRow("empty") << QString() << QString();
    }
    void displayTextSplitsLines()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(displayText(text), shown);
    }

    void describeNamesEverything()
    {
        const QString text = describe(
            MessageBox{u"Exit?"_s, u"One\rTwo"_s, MessageIcon::Question, MessageButtons::YesNo});
        QVERIFY2(text.contains(u"Exit?"_s), qPrintable(text));
        QVERIFY2(text.contains(u"One\\rTwo"_s), qPrintable(text));
        QVERIFY2(text.contains(u"question"_s), qPrintable(text));
        QVERIFY2(text.contains(u"Yes/No"_s), qPrintable(text));
    }

    // A script of boxes: each box's buttons, the answers queued beforehand, what the
    // service must return for each box, and how many unexpected entries it records.
    void scriptedAnswers_data()
    {
        QTest::addColumn<QList<MessageButtons>>("boxes");
        QTest::addColumn<QList<MessageAnswer>>("queued");
        QTest::addColumn<QList<MessageAnswer>>("answers");
        QTest::addColumn<int>("unexpected");
        QTest::addColumn<int>("leftOver");
        using B = MessageButtons;
        using A = MessageAnswer;
        QTest::newRow("notice needs no answer")
            << QList<B>{B::Ok} << QList<A>{} << QList<A>{A::Ok} << 0 << 0;
        QTest::newRow("notice leaves the queue alone")
            << QList<B>{B::Ok} << QList<A>{A::Yes} << QList<A>{A::Ok} << 0 << 1;
        QTest::newRow("questions answered in order")
            << QList<B>{B::YesNo, B::Ok, B::YesNo} << QList<A>{A::No, A::Yes}
            << QList<A>{A::No, A::Ok, A::Yes} << 0 << 0;
        QTest::newRow("unanswered question is No and unexpected")
            << QList<B>{B::YesNo} << QList<A>{} << QList<A>{A::No} << 1 << 0;
        QTest::newRow("OK queued for a question")
            << QList<B>{B::YesNo} << QList<A>{A::Ok} << QList<A>{A::No} << 1 << 0;
        QTest::newRow("second question runs dry")
            << QList<B>{B::YesNo, B::YesNo} << QList<A>{A::Yes} << QList<A>{A::Yes, A::No} << 1
            << 0;
    }
    void scriptedAnswers()
    {
        QFETCH(QList<MessageButtons>, boxes);
        QFETCH(QList<MessageAnswer>, queued);
        QFETCH(QList<MessageAnswer>, answers);
        QFETCH(int, unexpected);
        QFETCH(int, leftOver);
        for (MessageAnswer answer : queued)
            m_script.queueAnswer(answer);
        ScopedMessageService installed(m_script);
        QList<MessageBox> expectedShown;
        for (qsizetype i = 0; i < boxes.size(); ++i) {
            const MessageBox box{u"Title %1"_s.arg(i), u"Line\rLine"_s, MessageIcon::Exclamation,
                                 boxes[i]};
            expectedShown.append(box);
            QCOMPARE(messageService().show(box, nullptr), answers[i]);
        }
        QCOMPARE(m_script.shown(), expectedShown);
        QCOMPARE(m_script.unexpected().size(), unexpected);
        QCOMPARE(m_script.pendingAnswers(), leftOver);
    }

    void shorthandsGoThroughTheInstalledService()
    {
        m_script.queueAnswer(MessageAnswer::Yes);
        m_script.queueAnswer(MessageAnswer::No);
        {
            ScopedMessageService installed(m_script);
            QCOMPARE(&messageService(), static_cast<MessageService *>(&m_script));
            notice(u"Note"_s, u"Text"_s);
            QVERIFY(askYesNo(u"Q1"_s, u"Sure?"_s, MessageIcon::Question));
            QVERIFY(!askYesNo(u"Q2"_s, u"Sure?"_s, MessageIcon::Exclamation));
        }
        QVERIFY(&messageService() != static_cast<MessageService *>(&m_script));
        const QList<MessageBox> expected{
            {u"Note"_s, u"Text"_s, MessageIcon::Information, MessageButtons::Ok},
            {u"Q1"_s, u"Sure?"_s, MessageIcon::Question, MessageButtons::YesNo},
            {u"Q2"_s, u"Sure?"_s, MessageIcon::Exclamation, MessageButtons::YesNo},
        };
        QCOMPARE(m_script.shown(), expected);
        QVERIFY(m_script.unexpected().isEmpty());
    }

    void onShowSeesTheBoxBeforeItIsAnswered()
    {
        m_script.queueAnswer(MessageAnswer::Yes);
        QList<int> pendingWhileOpen;
        m_script.onShow = [&](const MessageBox &box) {
            QCOMPARE(box.title, u"Exit?"_s);
            pendingWhileOpen.append(m_script.pendingAnswers());
        };
        ScopedMessageService installed(m_script);
        QVERIFY(askYesNo(u"Exit?"_s, u"Sure?"_s, MessageIcon::Question));
        QCOMPARE(pendingWhileOpen, QList<int>{1});
        m_script.clear();
        QVERIFY(!m_script.onShow);
    }

    void scriptedDialogs()
    {
        ScopedMessageService installed(m_script);
        QDialog first;
        first.setObjectName(u"frmOptions"_s);
        QDialog second;
        second.setObjectName(u"frmFind"_s);
        QString ranOn;
        m_script.queueDialogAction([&ranOn](QDialog &dialog) {
            ranOn = dialog.objectName();
            return int(QDialog::Accepted);
        });
        QCOMPARE(messageService().exec(first), int(QDialog::Accepted));
        QCOMPARE(ranOn, u"frmOptions"_s);
        QCOMPARE(messageService().exec(second), int(QDialog::Rejected));
        QCOMPARE(m_script.dialogs(), (QStringList{u"frmOptions"_s, u"frmFind"_s}));
        QCOMPARE(m_script.unexpected().size(), 1);
        QVERIFY(m_script.unexpected().first().contains(u"frmFind"_s));
    }

    // The real message box, driven as a user would.
    void productionBox_data()
    {
        QTest::addColumn<MessageButtons>("buttons");
        QTest::addColumn<int>("action");
        QTest::addColumn<bool>("stillOpen");
        QTest::addColumn<MessageAnswer>("answer");
        using B = MessageButtons;
        using A = MessageAnswer;
        QTest::newRow("question refuses Escape")
            << B::YesNo << int(Action::Escape) << true << A::No;
        QTest::newRow("question refuses its close box")
            << B::YesNo << int(Action::CloseBox) << true << A::No;
        QTest::newRow("question: Enter answers Yes")
            << B::YesNo << int(Action::Enter) << false << A::Yes;
        QTest::newRow("question: Yes") << B::YesNo << int(Action::ClickYes) << false << A::Yes;
        QTest::newRow("question: No") << B::YesNo << int(Action::ClickNo) << false << A::No;
        QTest::newRow("notice closes on Escape") << B::Ok << int(Action::Escape) << false << A::Ok;
        QTest::newRow("notice: Enter") << B::Ok << int(Action::Enter) << false << A::Ok;
        QTest::newRow("notice: OK") << B::Ok << int(Action::ClickOk) << false << A::Ok;
    }
    void productionBox()
    {
        QFETCH(MessageButtons, buttons);
        QFETCH(int, action);
        QFETCH(bool, stillOpen);
        QFETCH(MessageAnswer, answer);
        Observed observed;
        driveNextBox(observed, Action(action));
        const MessageAnswer got = messageService().show(
            MessageBox{u"Exit?"_s, u"First line\rSecond line"_s, MessageIcon::Question, buttons},
            nullptr);
        QVERIFY(observed.seen);
        QCOMPARE(observed.openAfterAction, stillOpen);
        QCOMPARE(got, answer);
        QCOMPARE(observed.title, u"Exit?"_s);
        QCOMPARE(observed.text, u"First line\nSecond line"_s);
        QCOMPARE(observed.icon, QMessageBox::Question);
        if (buttons == MessageButtons::YesNo) {
            QCOMPARE(observed.buttons, (QStringList{u"No"_s, u"Yes"_s}));
            QCOMPARE(observed.defaultButton, u"Yes"_s);
        } else {
            QCOMPARE(observed.buttons, QStringList{u"OK"_s});
        }
    }

    void productionIcons_data()
    {
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("qtIcon");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("information")
            << int(MessageIcon::Information) << int(QMessageBox::Information) << u"Information"_s;
        QTest::newRow("question") << int(MessageIcon::Question) << int(QMessageBox::Question)
                                  << u"Question"_s;
        QTest::newRow("exclamation")
            << int(MessageIcon::Exclamation) << int(QMessageBox::Warning) << u"Warning"_s;
        QTest::newRow("critical") << int(MessageIcon::Critical) << int(QMessageBox::Critical)
                                  << u"Critical"_s;
    }
    void productionIcons()
    {
        QFETCH(int, icon);
        QFETCH(int, qtIcon);
        QFETCH(QString, spoken);
        Observed observed;
        driveNextBox(observed, Action::ClickOk);
        notice(u"T"_s, u"x"_s, MessageIcon(icon));
        QVERIFY(observed.seen);
        QCOMPARE(int(observed.icon), qtIcon);
        // A screen reader tells the icons apart.
        QCOMPARE(observed.iconName, spoken);
    }

    // The program's long titles and lines, as the boxes get them.
    void boxFitsTitleAndLines_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        QTest::newRow("file update")
            << u"File Update Completed!"_s << u"Data File Has Been Updated!"_s;
        QTest::newRow("upgrade path")
            << u"See 'C:\\Program Files\\Pelvarin\\Upgrade.txt'"_s
            << u"To make use of these advanced options,\ryou can upgrade to Cardomine 2.0\r"
               "See 'Upgrade.txt' for details."_s;
        QTest::newRow("create")
            << u"Record Formatting Complete."_s
            << u"You are now ready to create your new record. Click OK to continue.\rWhen "
               "you're finished creating your record, click the 'STOP' button to continue."_s;
    }
    void boxFitsTitleAndLines()
    {
        QFETCH(QString, title);
        QFETCH(QString, text);
        Observed observed;
        driveNextBox(observed, Action::ClickOk);
        notice(title, text);
        QVERIFY(observed.seen);
        // Each line on one line of its own: the label is as wide as the widest line and
        // as high as the lines given.
        const QStringList lines = displayText(text).split(u'\n');
        const QFontMetrics metrics(QApplication::font("QMessageBox"));
        int widest = 0;
        for (const QString &line : lines)
            widest = std::max(widest, metrics.horizontalAdvance(line));
        QVERIFY2(!observed.labelWraps, "the lines are wrapped");
        QVERIFY2(
            observed.labelRect.width() >= widest,
            qPrintable(
                u"label %1 px, widest line %2 px"_s.arg(observed.labelRect.width()).arg(widest)));
        QVERIFY(observed.labelRect.height() < (lines.size() + 1) * metrics.lineSpacing());
        // The title as a window manager draws it (a bold title font of 16 px or more),
        // with room for the window icon and three title-bar buttons beside it.
        QFont titleFont = QApplication::font();
        titleFont.setBold(true);
        titleFont.setPixelSize(16);
        const int titleNeeds = QFontMetrics(titleFont).horizontalAdvance(title) + 4 * 20;
        QVERIFY2(
            observed.size.width() >= titleNeeds,
            qPrintable(
                u"box %1 px wide, title needs %2 px"_s.arg(observed.size.width()).arg(titleNeeds)));
    }

    // A box while nothing of the program is on screen is centred on the screen; with the
    // program's window on screen, on that window. Both whole, frame included.
    void boxPlacement_data()
    {
        QTest::addColumn<bool>("ownerVisible");
        QTest::newRow("owner hidden at the corner: on the screen") << false;
        QTest::newRow("owner on screen: on the owner") << true;
    }
    void boxPlacement()
    {
        QFETCH(bool, ownerVisible);
        QWidget owner;
        owner.resize(601, 381);
        owner.move(ownerVisible ? QPoint(40, 60) : QPoint(0, 0));
        if (ownerVisible) {
            owner.show();
            QVERIFY(QTest::qWaitForWindowExposed(&owner));
        }
        Observed observed;
        driveNextBox(observed, Action::ClickOk);
        notice(u"About Cardomine"_s, u"Cardomine(tm) 1.0 (Archivane)"_s, MessageIcon::Information,
               &owner);
        QVERIFY(observed.seen);
        const QPoint centre =
            ownerVisible ? owner.frameGeometry().center() : owner.screen()->geometry().center();
        const QPoint off = observed.frame.center() - centre;
        QVERIFY2(off.manhattanLength() <= 3,
                 qPrintable(u"box centred %1,%2 px away"_s.arg(off.x()).arg(off.y())));
    }

    void productionExecRunsTheDialog()
    {
        QDialog dialog;
        QTimer::singleShot(0, &dialog, [&dialog] { dialog.done(42); });
        QCOMPARE(messageService().exec(dialog), 42);
    }
};

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"
