// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/textinput.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QObject>

#include <algorithm>

namespace cardomine::platform {

namespace {

bool endsLine(QChar ch)
{
    switch (ch.unicode()) {
    case u'\n':
    case u'\r':
    case u'\v':
    case u'\f':
    case 0x0085: // next line
    case 0x2028: // line separator
    case 0x2029: // paragraph separator
        return true;
    default:
        return false;
    }
}

bool isControl(QChar ch)
{
    return ch.category() == QChar::Other_Control || endsLine(ch);
}

// Installed on a box: swallows Alt+character presses before the box types them.
class AltCharacterFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && isAltCharacter(*static_cast<QKeyEvent *>(event))) {
            event->accept();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

bool isAltCharacter(const QKeyEvent &event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if (!(modifiers & Qt::AltModifier) || (modifiers & Qt::ControlModifier))
        return false;
    const QString text = event.text();
    return !text.isEmpty() && text.front().isPrint();
}

void refuseAltCharacters(QWidget *box)
{
    box->installEventFilter(new AltCharacterFilter(box));
}

QString oneLineText(QStringView text)
{
    QString kept;
    kept.reserve(text.size());
    for (const QChar ch : text) {
        if (endsLine(ch))
            break;
        if (ch == u'\t')
            kept.append(u' ');
        else if (ch.category() != QChar::Other_Control)
            kept.append(ch);
    }
    return kept;
}

OneLineInput::OneLineInput(QLineEdit *box)
    : QValidator(box)
    , m_box(box)
    , m_before(box->text())
{
    connect(box, &QLineEdit::textChanged, this, [this](const QString &text) { m_before = text; });
}

QValidator::State OneLineInput::validate(QString &input, int &pos) const
{
    // A box the program has just filled (setText) counts as unmodified.
    if (!m_box->isModified())
        return Acceptable;

    // The span the change put in: what lies between the parts the text before and after
    // have in common at the start and at the end.
    const qsizetype shortest = std::min(input.size(), m_before.size());
    qsizetype head = 0;
    while (head < shortest && input.at(head) == m_before.at(head))
        ++head;
    qsizetype tail = 0;
    while (tail < shortest - head &&
           input.at(input.size() - 1 - tail) == m_before.at(m_before.size() - 1 - tail))
        ++tail;
    const qsizetype addedLength = input.size() - head - tail;
    const QStringView added = QStringView(input).mid(head, addedLength);
    if (std::none_of(added.begin(), added.end(), isControl))
        return Acceptable;

    const QString kept = oneLineText(added);
    const qsizetype removed = addedLength - kept.size();
    input = input.left(head) + kept + input.right(tail);
    if (pos >= head + addedLength)
        pos -= int(removed);
    else if (pos > head)
        pos = int(std::min(qsizetype(pos), head + kept.size()));
    return Acceptable;
}

} // namespace cardomine::platform
