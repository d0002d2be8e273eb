#include "platform/messages.h"

#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMessageBox>
#include <QPushButton>

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

// A message box that a Yes/No question cannot leave without an answer: Escape, the
// close box and Alt+F4 are refused. (QMessageBox on its own answers them with No.)
class AnswerBox : public QMessageBox
{
public:
    AnswerBox(bool mustAnswer, QWidget *parent)
        : QMessageBox(parent)
        , m_mustAnswer(mustAnswer)
    {}

protected:
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
    bool m_mustAnswer = false;
};

class ProductionMessageService : public MessageService
{
public:
    MessageAnswer show(const MessageBox &box, QWidget *parent) override
    {
        const bool yesNo = box.buttons == MessageButtons::YesNo;
        AnswerBox dialog(yesNo, parent);
        dialog.setWindowTitle(box.title);
        dialog.setTextFormat(Qt::PlainText);
        dialog.setText(displayText(box.text));
        dialog.setIcon(qtIcon(box.icon));
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
        dialog.exec();
        if (!yesNo)
            return MessageAnswer::Ok;
        return dialog.clickedButton() == dialog.button(QMessageBox::Yes) ? MessageAnswer::Yes
                                                                         : MessageAnswer::No;
    }

    int exec(QDialog &dialog) override { return dialog.exec(); }
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
