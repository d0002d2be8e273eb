// SPDX-License-Identifier: GPL-3.0-or-later
#include "tool/contactsearch.h"

#include "interchange/exportformats.h"
#include "interchange/importcard.h"
#include "tool/contacts.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <optional>

namespace cardomine::tool {

using interchange::isEmailAddress;
namespace importing = interchange::importing;

namespace {

void appendFolded(QString &out, QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80) {
        out += (u >= u'A' && u <= u'Z') ? QChar(u + 32) : c;
        return;
    }
    if (c.category() == QChar::Mark_NonSpacing || c.category() == QChar::Mark_Enclosing)
        return;
    const QString parts = c.decomposition();
    if (!parts.isEmpty()) {
        for (const QChar part : parts)
            appendFolded(out, part);
        return;
    }
    out += c.toCaseFolded();
}

bool isAscii(QStringView text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

char16_t asciiLower(char16_t u)
{
    return (u >= u'A' && u <= u'Z') ? char16_t(u + 32) : u;
}

// Whether an ASCII text holds an ASCII word in any letter case: what contains(word,
// Qt::CaseInsensitive) tells, without its set-up for every box of every contact.
bool asciiContains(QStringView text, QStringView word)
{
    if (word.size() > text.size())
        return false;
    if (word.isEmpty())
        return true;
    const char16_t first = asciiLower(word.front().unicode());
    for (qsizetype at = 0, last = text.size() - word.size(); at <= last; ++at) {
        if (asciiLower(text[at].unicode()) != first)
            continue;
        qsizetype i = 1;
        while (i < word.size() &&
               asciiLower(text[at + i].unicode()) == asciiLower(word[i].unicode()))
            ++i;
        if (i == word.size())
            return true;
    }
    return false;
}

// A text searched for folded words, folded only when it is not plain ASCII, and then
// only once: most card files are ASCII, and comparing those needs no copy.
class SearchedText
{
public:
    explicit SearchedText(QStringView text)
        : m_text(text)
        , m_ascii(isAscii(text))
    {}
    bool contains(const QString &word)
    {
        if (m_ascii)
            return isAscii(word) ? asciiContains(m_text, word)
                                 : m_text.contains(word, Qt::CaseInsensitive);
        if (!m_folded)
            m_folded = searchFolded(m_text);
        return m_folded->contains(word);
    }

private:
    QStringView m_text;
    bool m_ascii;
    std::optional<QString> m_folded;
};

} // namespace

QString searchFolded(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        appendFolded(out, c);
    return out;
}

ContactMatcher::ContactMatcher(const QStringList &texts)
{
    static const QRegularExpression space(QStringLiteral("\\s+"));
    for (const QString &text : texts) {
        for (const QString &word : text.split(space, Qt::SkipEmptyParts)) {
            const QString folded = searchFolded(word);
            if (!folded.isEmpty())
                m_words.append(folded);
        }
    }
}

bool ContactMatcher::matches(const ContactRecord &record, const QString &notes) const
{
    // Each box on its own, so that no word runs across two boxes.
    std::array<SearchedText, FieldBoxCount + 1> texts{
        SearchedText(record.FirstName.text()),  SearchedText(record.LastName.text()),
        SearchedText(record.Company.text()),    SearchedText(record.Address.text()),
        SearchedText(record.City.text()),       SearchedText(record.State.text()),
        SearchedText(record.Zip.text()),        SearchedText(record.HomePhone.text()),
        SearchedText(record.WorkPhone.text()),  SearchedText(record.PagerMobile.text()),
        SearchedText(record.FaxOrEmail.text()), SearchedText(notes)};
    for (const QString &word : m_words) {
        if (std::none_of(texts.begin(), texts.end(),
                         [&word](SearchedText &text) { return text.contains(word); }))
            return false;
    }
    return true;
}

QString contactName(const ContactRecord &record)
{
    const QString first = oneLineValue(record.FirstName.text());
    const QString last = oneLineValue(record.LastName.text());
    if (first.isEmpty() || last.isEmpty())
        return first + last;
    return first + u' ' + last;
}

QString firstPhone(const ContactRecord &record)
{
    for (const QString *field :
         {&record.HomePhone.text(), &record.WorkPhone.text(), &record.PagerMobile.text()}) {
        const QString phone = oneLineValue(*field);
        if (!phone.isEmpty())
            return phone;
    }
    return {};
}

QStringList wholeEmailAddresses(const ContactRecord &record, const QString &notes)
{
    // The notes' section of imported values: "Label: value", one a line, to the end.
    QStringList fromNotes;
    const QStringList lines = notes.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    bool inSection = false;
    for (const QString &line : lines) {
        if (!inSection) {
            inSection = line.trimmed() == importing::ImportedValuesHeading;
            continue;
        }
        const qsizetype colon = line.indexOf(QLatin1String(": "));
        if (colon <= 0)
            continue;
        const QString value = fieldValue(line.mid(colon + 2)).trimmed();
        if (isEmailAddress(value))
            fromNotes.append(value);
    }

    QStringList addresses;
    const auto add = [&addresses](const QString &address) {
        for (const QString &known : std::as_const(addresses)) {
            if (known.compare(address, Qt::CaseInsensitive) == 0)
                return;
        }
        addresses.append(address);
    };
    const QString box = fieldValue(record.FaxOrEmail.text()).trimmed();
    const bool cut = std::any_of(fromNotes.cbegin(), fromNotes.cend(), [&box](const QString &a) {
        return a.size() > box.size() && a.startsWith(box, Qt::CaseInsensitive);
    });
    if (!box.isEmpty() && !cut && isEmailAddress(box))
        add(box);
    for (const QString &address : std::as_const(fromNotes))
        add(address);
    return addresses;
}

QString oneLineValue(const QString &text)
{
    QString value = withoutControls(text);
    for (QChar &c : value) {
        if (c == u'\t' || c == u'\r' || c == u'\n')
            c = u' ';
    }
    return value.trimmed();
}

} // namespace cardomine::tool
