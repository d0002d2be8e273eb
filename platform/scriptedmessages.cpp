// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/scriptedmessages.h"

#include <QDialog>

namespace cardomine::platform {

void ScriptedMessageService::queueAnswer(MessageAnswer answer)
{
    m_answers.append(answer);
}

void ScriptedMessageService::queueDialogAction(DialogAction action)
{
    m_dialogActions.append(std::move(action));
}

void ScriptedMessageService::clear()
{
    m_shown.clear();
    m_dialogs.clear();
    m_unexpected.clear();
    m_answers.clear();
    m_dialogActions.clear();
    onShow = nullptr;
}

MessageAnswer ScriptedMessageService::show(const MessageBox &box, QWidget *)
{
    m_shown.append(box);
    if (onShow)
        onShow(box);
    if (box.buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    if (m_answers.isEmpty()) {
        m_unexpected.append(QStringLiteral("unanswered question ") + describe(box));
        return MessageAnswer::No;
    }
    const MessageAnswer answer = m_answers.takeFirst();
    if (answer == MessageAnswer::Ok) {
        // A Yes/No box has no OK button: the script is wrong, not the program.
        m_unexpected.append(QStringLiteral("OK queued for ") + describe(box));
        return MessageAnswer::No;
    }
    return answer;
}

int ScriptedMessageService::exec(QDialog &dialog)
{
    m_dialogs.append(dialog.objectName());
    if (m_dialogActions.isEmpty()) {
        m_unexpected.append(QStringLiteral("unscripted dialog ") + dialog.objectName());
        return QDialog::Rejected;
    }
    const DialogAction action = m_dialogActions.takeFirst();
    return action(dialog);
}

} // namespace cardomine::platform
