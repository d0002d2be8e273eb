// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCheckBox>
#include <QRadioButton>

namespace cardomine {

// Option buttons and check boxes as the classic platform draws them: the caption
// wraps over as many lines as its rectangle needs, beside the indicator and centred
// on it, and a click anywhere in the rectangle works the button.
class WrappingCheckBox : public QCheckBox
{
    Q_OBJECT

public:
    explicit WrappingCheckBox(const QString &caption, QWidget *parent = nullptr);

    // Where the caption is drawn, and how.
    QRect captionRect() const;
    static int captionFlags();

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;
};

class WrappingRadioButton : public QRadioButton
{
    Q_OBJECT

public:
    explicit WrappingRadioButton(const QString &caption, QWidget *parent = nullptr);

    QRect captionRect() const;
    static int captionFlags() { return WrappingCheckBox::captionFlags(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;
};

// Makes the button's font smaller, if it must be, until its wrapped caption shows
// whole in its rectangle: a machine that lacks the dialog font may give a wider one.
void fitCaption(WrappingCheckBox *button);
void fitCaption(WrappingRadioButton *button);

} // namespace cardomine
