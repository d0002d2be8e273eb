// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPushButton>

namespace cardomine::platform {

// A command button as the program's windows and dialogs use them: never a default
// button, and Enter or Return click it only while it has the focus (as Space does).
class CommandButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CommandButton(QWidget *parent = nullptr);
    explicit CommandButton(const QString &caption, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

} // namespace cardomine::platform
