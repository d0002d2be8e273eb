#pragma once

#include <QPushButton>

namespace cardomine {

// A command button as the program's windows use them: never a default button, and
// Enter or Return click it only while it has the focus (as Space does).
class CommandButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CommandButton(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

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
