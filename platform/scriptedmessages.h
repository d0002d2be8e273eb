// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/messages.h"

#include <QList>
#include <QStringList>

#include <functional>

namespace cardomine::platform {

// A MessageService for tests and benchmarks: records every box and dialog, answers
// OK boxes with Ok, answers Yes/No boxes from a queue, and runs dialogs through
// queued actions. A Yes/No box with no queued answer, or a dialog with no queued
// action, is recorded as unexpected (and answered No / rejected) so the test can
// fail on it.
class ScriptedMessageService : public MessageService
{
public:
    using DialogAction = std::function<int(QDialog &)>;

    void queueAnswer(MessageAnswer answer);
    void queueDialogAction(DialogAction action);

    const QList<MessageBox> &shown() const { return m_shown; }
    const QStringList &dialogs() const { return m_dialogs; } // objectName of each dialog run
    const QStringList &unexpected() const { return m_unexpected; }
    int pendingAnswers() const { return int(m_answers.size()); }
    void clear();

    MessageAnswer show(const MessageBox &box, QWidget *parent) override;
    int exec(QDialog &dialog) override;

    // Called after each recorded box, before it is answered (tests use it to look at
    // the window while a box is "open").
    std::function<void(const MessageBox &)> onShow;

private:
    QList<MessageBox> m_shown;
    QStringList m_dialogs;
    QStringList m_unexpected;
    QList<MessageAnswer> m_answers;
    QList<DialogAction> m_dialogActions;
};

// Installs a service for the lifetime of the guard.
class ScopedMessageService
{
public:
    explicit ScopedMessageService(MessageService &service) { setMessageService(&service); }
    ~ScopedMessageService() { setMessageService(nullptr); }
    ScopedMessageService(const ScopedMessageService &) = delete;
    ScopedMessageService &operator=(const ScopedMessageService &) = delete;
};

} // namespace cardomine::platform
