// SPDX-License-Identifier: GPL-3.0-or-later
#include "tool/contactsearch.h"

#include "datastore/notesfile.h"
#include "interchange/exportformats.h"
#include "interchange/importcard.h"
#include "platform/textcodec.h"
#include "tool/contacts.h"

#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <numeric>
#include <optional>
#include <string_view>

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

// What each byte of a stored text folds to: searchFolded of the character it stands
// for in Windows-1252. Folding goes character by character, so a stored text folds
// to its bytes' entries one after another, and needs no decoding to be searched.
struct ByteFolds
{
    std::array<char16_t, 256> single{};    // the one unit a byte folds to, if it is one
    std::array<std::u16string, 256> other; // what the other bytes fold to (none, or more)
};

const ByteFolds &byteFolds()
{
    static const ByteFolds folds = [] {
        ByteFolds table;
        for (int byte = 0; byte < 256; ++byte) {
            const char c = char(byte);
            const QString folded = searchFolded(platform::text::decode(QByteArrayView(&c, 1)));
            if (folded.size() == 1 && folded.front() != QChar(0))
                table.single[std::size_t(byte)] = folded.front().unicode();
            else
                table.other[std::size_t(byte)].assign(
                    reinterpret_cast<const char16_t *>(folded.utf16()), std::size_t(folded.size()));
        }
        return table;
    }();
    return folds;
}

// Folds stored bytes into out, replacing what it held; `padding` spaces follow them.
void foldBytes(std::u16string &out, QByteArrayView bytes, qsizetype padding = 0)
{
    const ByteFolds &folds = byteFolds();
    out.resize(std::size_t(bytes.size() + padding));
    char16_t *at = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (const char16_t unit = folds.single[byte]) {
            *at++ = unit;
            continue;
        }
        // Rare: a byte that folds to no unit or to several.
        const std::size_t done = std::size_t(at - out.data());
        const std::u16string &several = folds.other[byte];
        out.resize(out.size() - 1 + several.size());
        std::copy(several.cbegin(), several.cend(), out.begin() + std::ptrdiff_t(done));
        at = out.data() + done + several.size();
    }
    std::fill(at, out.data() + out.size(), folds.single[' ']);
}

// The widths of a random-form record's fields in their order on disk, and whether
// each is one of the boxes searched (the number and the type are not).
constexpr std::pair<int, bool> RandomFields[] = {
    {widthOf(&ContactRecord::FirstName), true},   {widthOf(&ContactRecord::LastName), true},
    {widthOf(&ContactRecord::Company), true},     {widthOf(&ContactRecord::Address), true},
    {widthOf(&ContactRecord::City), true},        {widthOf(&ContactRecord::State), true},
    {widthOf(&ContactRecord::Zip), true},         {widthOf(&ContactRecord::ContactID), false},
    {widthOf(&ContactRecord::HomePhone), true},   {widthOf(&ContactRecord::WorkPhone), true},
    {widthOf(&ContactRecord::PagerMobile), true}, {widthOf(&ContactRecord::FaxOrEmail), true},
};

std::u16string_view unitsOf(const QString &text)
{
    return {reinterpret_cast<const char16_t *>(text.utf16()), std::size_t(text.size())};
}

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

void ContactMatcher::wordsNotInBoxes(QByteArrayView record, std::vector<int> &missing) const
{
    missing.resize(std::size_t(m_words.size()));
    std::iota(missing.begin(), missing.end(), 0);
    qsizetype at = 0;
    // Each box on its own, so that no word runs across two boxes.
    for (const auto &[width, searched] : RandomFields) {
        const qsizetype start = std::min(at, record.size());
        at += width;
        if (!searched)
            continue;
        const QByteArrayView bytes = record.sliced(start, std::min(at, record.size()) - start);
        foldBytes(m_folded, bytes, width - bytes.size());
        std::erase_if(missing, [this](int word) {
            return m_folded.find(unitsOf(m_words[word])) != std::u16string::npos;
        });
        if (missing.empty())
            return;
    }
}

bool ContactMatcher::notesHold(QByteArrayView notesBytes, const std::vector<int> &words) const
{
    if (const std::optional<QByteArrayView> plain = notes::plainTextBytes(notesBytes)) {
        foldBytes(m_folded, *plain);
        return holdsAll(m_folded, words);
    }
    const QString text = searchFolded(notes::fromFileBytes(notesBytes.toByteArray()));
    return holdsAll(std::u16string(unitsOf(text)), words);
}

bool ContactMatcher::holdsAll(const std::u16string &folded, const std::vector<int> &words) const
{
    return std::all_of(words.cbegin(), words.cend(), [&](int word) {
        return folded.find(unitsOf(m_words[word])) != std::u16string::npos;
    });
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
