// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QComboBox>

namespace cardomine {

// A drop-down list: the user picks one of its items and can never type free text.
// While locked the user cannot change the selection (no popup, no keys, no wheel),
// yet it looks like any other list; the program can still select items.
class LockableComboBox : public QComboBox
{
    Q_OBJECT

public:
    explicit LockableComboBox(QWidget *parent = nullptr);

    bool isLocked() const { return m_locked; }
    void setLocked(bool locked) { m_locked = locked; }

    void showPopup() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    bool m_locked = false;
};

} // namespace cardomine
