// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/messages.h"

#include "platform/focusreturn.h"
#include "platform/geometry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace cardomine::platform {

namespace {

QString iconName(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QStringLiteral("information");
    case MessageIcon::Question:
        return QStringLiteral("question");
    case MessageIcon::Exclamation:
        return QStringLiteral("exclamation");
    case MessageIcon::Critical:
        return QStringLiteral("critical");
    }
    return QStringLiteral("unknown");
}

// What a screen reader says for a box's icon, so that a notice and an error do not
// sound alike.
QString spokenIconName(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QStringLiteral("Information");
    case MessageIcon::Question:
        return QStringLiteral("Question");
    case MessageIcon::Exclamation:
        return QStringLiteral("Warning");
    case MessageIcon::Critical:
        return QStringLiteral("Critical");
    }
    return QString();
}

QMessageBox::Icon qtIcon(MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Exclamation:
        return QMessageBox::Warning;
    case MessageIcon::Critical:
        return QMessageBox::Critical;
    }
    return QMessageBox::NoIcon;
}

// The program's visible window a box belongs to: the parent's window when it is on
// screen, else any other window of the program on screen; none when nothing is.
QWidget *visibleOwner(QWidget *parent)
{
    if (parent != nullptr && parent->window()->isVisible())
        return parent->window();
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        const Qt::WindowType type = window->windowType();
        if (window->isVisible() && (type == Qt::Window || type == Qt::Dialog) &&
            !qobject_cast<QMessageBox *>(window))
            return window;
    }
    return nullptr;
}

// A message box that shows its lines as given, is wide enough for its title as a
// window manager draws it, and is centred on the window it belongs to, or on the
// screen when no window of the program is visible (as an ownerless classic box).
// A Yes/No question cannot be left without an answer: Escape, the close box and
// Alt+F4 are refused. (QMessageBox on its own answers them with No.)
class AnswerBox : public QMessageBox
{
public:
    AnswerBox(bool mustAnswer, QWidget *owner)
        : QMessageBox(owner)
        , m_mustAnswer(mustAnswer)
        , m_owner(owner)
    {}

protected:
    void showEvent(QShowEvent *event) override
    {
        // QMessageBox sizes itself here, wrapping long lines, and places itself.
        QMessageBox::showEvent(event);
        if (event->spontaneous())
            return;
        m_fitting = true;
        fitTitleAndLines();
        place();
    }

    bool event(QEvent *event) override
    {
        const bool handled = QMessageBox::event(event);
        // QMessageBox sizes itself again at every layout request, wrapping the lines.
        if (m_fitting && event->type() == QEvent::LayoutRequest) {
            const QSize before = size();
            fitTitleAndLines();
            if (isVisible() && size() != before)
                place();
        }
        return handled;
    }

    void keyPressEvent(QKeyEvent *event) override
    {
        if (m_mustAnswer && event->matches(QKeySequence::Cancel)) {
            event->accept();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }

    void closeEvent(QCloseEvent *event) override
    {
        if (m_mustAnswer && clickedButton() == nullptr) {
            event->ignore();
            return;
        }
        QMessageBox::closeEvent(event);
    }

    void reject() override
    {
        if (m_mustAnswer && clickedButton() == nullptr)
            return;
        QMessageBox::reject();
    }

private:
    // The width a window manager's title bar needs for the title: the text in a bold
    // title font, with room for the window icon and the title-bar buttons.
    int titleWidth() const
    {
        QFont font = QApplication::font("QMdiSubWindowTitleBar");
        font.setBold(true);
        // Window managers draw titles larger than Qt's own estimate (IceWM: 12 pt).
        if (QFontInfo(font).pixelSize() < 16)
            font.setPixelSize(16);
        const QFontMetrics metrics(font);
        const int buttons = 5 * (metrics.height() + 6);
        return metrics.horizontalAdvance(windowTitle()) + buttons;
    }

    void fitTitleAndLines()
    {
        QLabel *label = findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
        QLayout *grid = layout();
        if (label == nullptr || grid == nullptr)
            return;
        const QScreen *shown = screen();
        const int limit = shown != nullptr ? shown->availableGeometry().width() : 1024;
        // Each line as given, on one line of its own, unless it cannot fit the screen.
        label->setWordWrap(false);
        grid->invalidate();
        grid->activate();
        int width = std::max(grid->totalMinimumSize().width(), titleWidth());
        if (width > limit) {
            label->setWordWrap(true);
            width = limit;
        }
        grid->invalidate();
        grid->activate();
        const int height = grid->hasHeightForWidth() ? grid->totalHeightForWidth(width)
                                                     : grid->totalMinimumSize().height();
        setFixedSize(width, height);
        QCoreApplication::removePostedEvents(this, QEvent::LayoutRequest);
    }

    void place()
    {
        if (m_owner != nullptr && m_owner->isVisible())
            platform::centreOn(this, m_owner->frameGeometry());
        else
            platform::centreOnScreen(this);
    }

    bool m_mustAnswer = false;
    bool m_fitting = false;
    QWidget *m_owner = nullptr;
};

class ProductionMessageService : public MessageService
{
public:
    MessageAnswer show(const MessageBox &box, QWidget *parent) override
    {
        const bool yesNo = box.buttons == MessageButtons::YesNo;
        // A box whose parent is not on screen is an ownerless box.
        QWidget *const owner = visibleOwner(parent);
        AnswerBox dialog(yesNo, owner);
        dialog.setWindowTitle(box.title);
        dialog.setTextFormat(Qt::PlainText);
        dialog.setText(displayText(box.text));
        dialog.setIcon(qtIcon(box.icon));
        if (auto *icon = dialog.findChild<QLabel *>(QStringLiteral("qt_msgboxex_icon_label")))
            icon->setAccessibleName(spokenIconName(box.icon));
        dialog.setWindowModality(Qt::ApplicationModal);
        if (yesNo) {
            dialog.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            dialog.setDefaultButton(QMessageBox::Yes);
            // No close box on a question that needs an answer.
            dialog.setWindowFlags(
                (dialog.windowFlags() | Qt::CustomizeWindowHint | Qt::WindowTitleHint) &
                ~Qt::WindowCloseButtonHint);
        } else {
            dialog.setStandardButtons(QMessageBox::Ok);
            dialog.setDefaultButton(QMessageBox::Ok);
        }
        {
            const FocusReturn focusReturn(owner);
            dialog.exec();
        }
        if (!yesNo)
            return MessageAnswer::Ok;
        return dialog.clickedButton() == dialog.button(QMessageBox::Yes) ? MessageAnswer::Yes
                                                                         : MessageAnswer::No;
    }

    int exec(QDialog &dialog) override
    {
        const FocusReturn focusReturn(dialog.parentWidget());
        return dialog.exec();
    }
};

ProductionMessageService &productionService()
{
    static ProductionMessageService service;
    return service;
}

MessageService *installedService = nullptr;

} // namespace

QString displayText(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QString describe(const MessageBox &box)
{
    QString text = box.text;
    text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return QStringLiteral("[%1] \"%2\" (%3, %4)")
        .arg(box.title, text, iconName(box.icon),
             box.buttons == MessageButtons::YesNo ? QStringLiteral("Yes/No")
                                                  : QStringLiteral("OK"));
}

MessageService &messageService()
{
    return installedService != nullptr ? *installedService : productionService();
}

void setMessageService(MessageService *service)
{
    installedService = service;
}

MessageService *installedMessageService()
{
    return installedService;
}

void notice(const QString &title, const QString &text, MessageIcon icon, QWidget *parent)
{
    messageService().show(MessageBox{title, text, icon, MessageButtons::Ok}, parent);
}

bool askYesNo(const QString &title, const QString &text, MessageIcon icon, QWidget *parent)
{
    return messageService().show(MessageBox{title, text, icon, MessageButtons::YesNo}, parent) ==
           MessageAnswer::Yes;
}

} // namespace cardomine::platform
