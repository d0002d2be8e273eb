// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <functional>

class QDialog;
class QWidget;

// Every message box, question and modal dialog of the program goes through the one
// MessageService installed here, so tests can script the answers and check the
// exact sequence of boxes.
namespace cardomine::platform {

enum class MessageIcon
{
    Information,
    Question,
    Exclamation,
    Critical
};
enum class MessageButtons
{
    Ok,
    YesNo
};
enum class MessageAnswer
{
    Ok,
    Yes,
    No
};

struct MessageBox
{
    QString title;
    QString text; // lines joined by a lone carriage return
    MessageIcon icon = MessageIcon::Information;
    MessageButtons buttons = MessageButtons::Ok;

    bool operator==(const MessageBox &) const = default;
};

QString describe(const MessageBox &box); // readable form for test failures

// The text as a box shows it: lines joined by a carriage return (alone or followed by
// a line feed) become separate lines. The box itself keeps the carriage returns.
QString displayText(const QString &text);

class MessageService
{
public:
    virtual ~MessageService() = default;
    // Shows the box modally and returns the button pressed.
    virtual MessageAnswer show(const MessageBox &box, QWidget *parent) = 0;
    // Runs a dialog modally (QDialog::exec) and returns its result code.
    virtual int exec(QDialog &dialog) = 0;
};

// The installed service; the production one (real QMessageBox) unless a test
// installed another.
MessageService &messageService();
// Installs a service (not owned); nullptr brings back the production one.
void setMessageService(MessageService *service);
// The service a test installed, or nullptr while the production one serves.
MessageService *installedMessageService();

// Shorthands for the three kinds of box the program shows.
void notice(const QString &title, const QString &text, MessageIcon icon = MessageIcon::Information,
            QWidget *parent = nullptr);
bool askYesNo(const QString &title, const QString &text, MessageIcon icon,
              QWidget *parent = nullptr);

} // namespace cardomine::platform
