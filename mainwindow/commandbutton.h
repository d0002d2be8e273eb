// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/commandbutton.h"

namespace cardomine {

using platform::CommandButton;

// A command button with a picture: a 32x32 icon above its caption, which wraps onto
// more lines when it does not fit the button's width.
class PictureButton : public CommandButton
{
    Q_OBJECT

public:
    explicit PictureButton(QWidget *parent = nullptr);

    // Where the icon and the caption are drawn, for the button's current size.
    QRect pictureRect() const;
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    static constexpr int PictureSide = 32;
    static constexpr int Gap = 1;
    static constexpr int Margin = 3;
    int captionFlags() const;
};

} // namespace cardomine
