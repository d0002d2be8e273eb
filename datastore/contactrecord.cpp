// SPDX-License-Identifier: GPL-3.0-or-later
#include "datastore/contactrecord.h"

#include "datastore/dataerror.h"
#include "datastore/paths.h"
#include "platform/textcodec.h"

#include <algorithm>
#include <string_view>

namespace cardomine {

ContactRecord CurrentRecord;

namespace {

namespace text = platform::text;

// A contact number: spaces trimmed (as the record's padding uses them), then plain
// decimal digits whose value is at most MaxNumber. For text and for stored bytes alike.
template <typename Chars> std::optional<int> numberIn(Chars chars)
{
    qsizetype first = 0;
    qsizetype end = chars.size();
    while (end > 0 && chars[end - 1] == u' ')
        --end;
    while (first < end && chars[first] == u' ')
        ++first;
    if (first == end)
        return std::nullopt;
    int value = 0;
    for (qsizetype i = first; i < end; ++i) {
        const auto c = chars[i];
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + int(c - u'0');
        if (value > ContactRecord::MaxNumber)
            return std::nullopt;
    }
    return value;
}

// One field in bytes, exactly its width: a character that encodes to other than one
// byte must not shift the fields after it.
template <int Width> void appendField(QByteArray &out, const FixedText<Width> &field)
{
    QByteArray bytes = text::encode(field.text()).left(Width);
    if (bytes.size() < Width)
        bytes.append(Width - bytes.size(), ' ');
    out.append(bytes);
}

// One field of a whole record's bytes. Every byte decodes to one character, so the
// text is the field's width; a field of spaces only shares the one blank text.
template <int Width>
void takeField(QByteArrayView bytes, qsizetype &offset, FixedText<Width> &field)
{
    const QByteArrayView raw = bytes.sliced(offset, Width);
    offset += Width;
    if (std::all_of(raw.cbegin(), raw.cend(), [](char c) { return c == ' '; }))
        field = FixedText<Width>();
    else
        field = text::decode(raw);
}

} // namespace

QString withoutPadding(const QString &text)
{
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

QString ContactRecord::fieldText(FieldBox box) const
{
    switch (box) {
    case FieldBox::FirstName:
        return FirstName.text();
    case FieldBox::LastName:
        return LastName.text();
    case FieldBox::Company:
        return Company.text();
    case FieldBox::Address:
        return Address.text();
    case FieldBox::City:
        return City.text();
    case FieldBox::State:
        return State.text();
    case FieldBox::Zip:
        return Zip.text();
    case FieldBox::HomePhone:
        return HomePhone.text();
    case FieldBox::WorkPhone:
        return WorkPhone.text();
    case FieldBox::PagerMobile:
        return PagerMobile.text();
    case FieldBox::FaxOrEmail:
        return FaxOrEmail.text();
    }
    return {};
}

void ContactRecord::setField(FieldBox box, const QString &text)
{
    switch (box) {
    case FieldBox::FirstName:
        FirstName = text;
        break;
    case FieldBox::LastName:
        LastName = text;
        break;
    case FieldBox::Company:
        Company = text;
        break;
    case FieldBox::Address:
        Address = text;
        break;
    case FieldBox::City:
        City = text;
        break;
    case FieldBox::State:
        State = text;
        break;
    case FieldBox::Zip:
        Zip = text;
        break;
    case FieldBox::HomePhone:
        HomePhone = text;
        break;
    case FieldBox::WorkPhone:
        WorkPhone = text;
        break;
    case FieldBox::PagerMobile:
        PagerMobile = text;
        break;
    case FieldBox::FaxOrEmail:
        FaxOrEmail = text;
        break;
    }
}

std::optional<int> ContactRecord::contactNumber() const
{
    return parseNumber(ContactID.text());
}

std::optional<int> ContactRecord::parseNumber(const QString &digits)
{
    return numberIn(std::u16string_view(reinterpret_cast<const char16_t *>(digits.constData()),
                                        size_t(digits.size())));
}

QByteArray ContactRecord::toRandomBytes() const
{
    QByteArray out;
    out.reserve(Length);
    appendField(out, FirstName);
    appendField(out, LastName);
    appendField(out, Company);
    appendField(out, Address);
    appendField(out, City);
    appendField(out, State);
    appendField(out, Zip);
    appendField(out, ContactID);
    appendField(out, HomePhone);
    appendField(out, WorkPhone);
    appendField(out, PagerMobile);
    appendField(out, FaxOrEmail);
    appendField(out, DataType);
    return out;
}

void ContactRecord::setFromRandomBytes(QByteArrayView bytes)
{
    QByteArray padded;
    QByteArrayView record = bytes.first(std::min<qsizetype>(bytes.size(), Length));
    if (record.size() < Length) {
        padded = record.toByteArray();
        padded.append(Length - record.size(), ' ');
        record = padded;
    }
    qsizetype offset = 0;
    takeField(record, offset, FirstName);
    takeField(record, offset, LastName);
    takeField(record, offset, Company);
    takeField(record, offset, Address);
    takeField(record, offset, City);
    takeField(record, offset, State);
    takeField(record, offset, Zip);
    takeField(record, offset, ContactID);
    takeField(record, offset, HomePhone);
    takeField(record, offset, WorkPhone);
    takeField(record, offset, PagerMobile);
    takeField(record, offset, FaxOrEmail);
    takeField(record, offset, DataType);
}

std::optional<int> ContactRecord::numberInRandomBytes(QByteArrayView bytes, qsizetype at)
{
    constexpr qsizetype offset = widthOf(&ContactRecord::FirstName) +
                                 widthOf(&ContactRecord::LastName) +
                                 widthOf(&ContactRecord::Company) +
                                 widthOf(&ContactRecord::Address) + widthOf(&ContactRecord::City) +
                                 widthOf(&ContactRecord::State) + widthOf(&ContactRecord::Zip);
    // Only digits and spaces make a number, and those are single bytes in the code
    // page: the bytes are read as they are.
    const qsizetype start = std::min(bytes.size(), at + offset);
    const qsizetype length =
        std::min<qsizetype>(widthOf(&ContactRecord::ContactID), bytes.size() - start);
    return numberIn(std::u8string_view(reinterpret_cast<const char8_t *>(bytes.constData() + start),
                                       size_t(length)));
}

QStringList ContactRecord::toSequentialLines() const
{
    return {FirstName.text(), LastName.text(),    Company.text(),    Address.text(),
            City.text(),      State.text(),       ContactID.text(),  HomePhone.text(),
            WorkPhone.text(), PagerMobile.text(), FaxOrEmail.text(), Zip.text()};
}

void ContactRecord::setFromSequentialLines(const QStringList &lines)
{
    if (lines.size() < SequentialLineCount)
        throw DataError(paths::DataFile,
                        QStringLiteral("a record in sequential form needs twelve lines, "
                                       "the file holds %1")
                            .arg(lines.size()));
    FirstName = lines.at(0);
    LastName = lines.at(1);
    Company = lines.at(2);
    Address = lines.at(3);
    City = lines.at(4);
    State = lines.at(5);
    ContactID = lines.at(6);
    HomePhone = lines.at(7);
    WorkPhone = lines.at(8);
    PagerMobile = lines.at(9);
    FaxOrEmail = lines.at(10);
    Zip = lines.at(11);
}

ContactRecord sampleContact()
{
    ContactRecord r;
    r.FirstName = QStringLiteral("Tobin");
    r.LastName = QStringLiteral("Marrack");
    r.Company = QStringLiteral("Pelvarin");
    r.Address = QStringLiteral("1001 Pelvarin Way");
    r.City = QStringLiteral("Long Island City");
    r.State = QStringLiteral("NY");
    r.Zip = QStringLiteral("11101");
    r.ContactID = QStringLiteral("1");
    r.HomePhone = QStringLiteral("267.555.1212");
    r.WorkPhone = QStringLiteral("212.555.0143");
    r.PagerMobile = QString();
    r.FaxOrEmail = QStringLiteral("800.555.0199");
    r.DataType = QStringLiteral("Contacts");
    return r;
}

} // namespace cardomine
