#include "datastore/contactrecord.h"

#include "datastore/dataerror.h"
#include "datastore/paths.h"
#include "platform/textcodec.h"

namespace cardomine {

ContactRecord CurrentRecord;

namespace {

namespace text = platform::text;

// Spaces only, as the record's padding uses them.
QString trimSpaces(const QString &s)
{
    const QString unpadded = withoutPadding(s);
    qsizetype first = 0;
    while (first < unpadded.size() && unpadded.at(first) == QLatin1Char(' '))
        ++first;
    return unpadded.mid(first);
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

template <int Width>
void takeField(const QByteArray &bytes, qsizetype &offset, FixedText<Width> &field)
{
    field = text::decode(bytes.mid(offset, Width));
    offset += Width;
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
    const QString trimmed = trimSpaces(digits);
    if (trimmed.isEmpty())
        return std::nullopt;
    int value = 0;
    for (QChar c : trimmed) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        if (value > MaxNumber)
            return std::nullopt;
    }
    return value;
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

void ContactRecord::setFromRandomBytes(const QByteArray &bytes)
{
    QByteArray record = bytes.left(Length);
    if (record.size() < Length)
        record.append(Length - record.size(), ' ');
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
