// SPDX-License-Identifier: GPL-3.0-or-later
// CSV with a header row (RFC 4180: quoted fields may hold separators, doubled quotes
// and line ends), as this program's export, Google Contacts, Outlook and Thunderbird
// write it. Columns are recognised by their header names; a column this reader does
// not know is kept in the notes under its header.
#include "interchange/formulaquote.h"
#include "interchange/importcard.h"
#include "interchange/importreader.h"
#include "interchange/textinput.h"

#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QStringDecoder>

#include <optional>

namespace cardomine::interchange {

namespace {

using namespace Qt::StringLiterals;
using namespace importing;

struct Row
{
    QStringList cells;
    int line = 0;
};

struct ParseError
{
    int line = 0;
    QString text;
};

QString decodeFile(const QByteArray &input)
{
    const QByteArray bytes = utf16AsUtf8(input);
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    return decodeGuessing(bytes);
}

// The separator the header line uses most: comma, else semicolon or tab (spreadsheets
// in some languages write those).
QChar separatorOf(const QString &text)
{
    const qsizetype end = text.indexOf(u'\n');
    const QStringView header = QStringView(text).left(end < 0 ? text.size() : end);
    const qsizetype commas = header.count(u',');
    const qsizetype semicolons = header.count(u';');
    const qsizetype tabs = header.count(u'\t');
    if (commas >= semicolons && commas >= tabs)
        return u',';
    return semicolons >= tabs ? u';' : u'\t';
}

std::optional<ParseError> parseRows(const QString &text, QList<Row> &rows)
{
    const QChar separator = separatorOf(text);
    const qsizetype n = text.size();
    qsizetype i = 0;
    int line = 1;
    while (i < n) {
        Row row;
        row.line = line;
        bool rowEnded = false;
        while (!rowEnded) {
            QString cell;
            if (i < n && text.at(i) == u'"') {
                const int quoteLine = line;
                ++i;
                for (;;) {
                    if (i >= n)
                        return ParseError{quoteLine,
                                          u"a quoted field that begins here is never closed"_s};
                    const QChar c = text.at(i);
                    if (c == u'"') {
                        if (i + 1 < n && text.at(i + 1) == u'"') {
                            cell += u'"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    if (c == u'\n')
                        ++line;
                    cell += c;
                    ++i;
                }
                if (i < n && text.at(i) != separator && text.at(i) != u'\r' && text.at(i) != u'\n')
                    return ParseError{line, u"text after the closing quote of a field"_s};
            } else {
                const qsizetype start = i;
                while (i < n && text.at(i) != separator && text.at(i) != u'\r' &&
                       text.at(i) != u'\n')
                    ++i;
                cell = text.mid(start, i - start);
            }
            row.cells.append(cell);
            if (i < n && text.at(i) == separator) {
                ++i;
                continue;
            }
            // CR LF, LF, a lone CR or CR CR LF end a row.
            while (i < n && text.at(i) == u'\r')
                ++i;
            if (i < n && text.at(i) == u'\n')
                ++i;
            ++line;
            rowEnded = true;
        }
        const bool blank = std::all_of(row.cells.cbegin(), row.cells.cend(),
                                       [](const QString &cell) { return cell.isEmpty(); });
        if (!blank)
            rows.append(row);
    }
    return std::nullopt;
}

enum class Role
{
    Other,
    Given,
    Family,
    Formatted,
    Company,
    Notes,
    Uid,
    ContactId,
    DataType,
    Phone,
    Email,
    FaxOrEmail,
    AddressPart,
    Group, // Google's numbered columns: "Phone 1 - Label", "Phone 1 - Value", ...
    EmailDisplayName,
    Labels,
};

enum class Part
{
    Street,
    Street2,
    City,
    Region,
    PostalCode,
    Country,
    PoBox,
    Extended,
    Formatted,
    Label,
    Value,
};

struct Column
{
    Role role = Role::Other;
    QString header;
    PhoneKind kind = PhoneKind::Untyped;
    QString set; // the address a part belongs to; the group's kind and number
    Part part = Part::Value;
    QString ignore;   // a value the exporter writes for "nothing" (Outlook's defaults)
    QString kindText; // a phone column's kind in words: its name, unless it is our own box's
};

// Header names compared by their letters and digits only: "First Name", "FirstName"
// and "first_name" are one column, as are "E-mail Address" and "Email Address".
QString normalized(const QString &header)
{
    QString key;
    for (const QChar c : header)
        if (c.isLetterOrNumber())
            key += c.toLower();
    return key;
}

Column classify(const QString &header)
{
    Column column;
    column.header = header.trimmed();
    const QString key = normalized(header);
    static const QHash<QString, Role> roles{
        {u"firstname"_s, Role::Given},
        {u"givenname"_s, Role::Given},
        {u"lastname"_s, Role::Family},
        {u"familyname"_s, Role::Family},
        {u"surname"_s, Role::Family},
        {u"name"_s, Role::Formatted},
        {u"displayname"_s, Role::Formatted},
        {u"fullname"_s, Role::Formatted},
        {u"company"_s, Role::Company},
        {u"companyname"_s, Role::Company},
        {u"organization"_s, Role::Company},
        {u"organizationname"_s, Role::Company},
        {u"organisation"_s, Role::Company},
        {u"notes"_s, Role::Notes},
        {u"note"_s, Role::Notes},
        {u"uid"_s, Role::Uid},
        {u"contactid"_s, Role::ContactId},
        {u"datatype"_s, Role::DataType},
        {u"faxoremail"_s, Role::FaxOrEmail},
        {u"email"_s, Role::Email},
        {u"emailaddress"_s, Role::Email},
        {u"primaryemail"_s, Role::Email},
        {u"secondaryemail"_s, Role::Email},
        {u"email2address"_s, Role::Email},
        {u"email3address"_s, Role::Email},
        {u"labels"_s, Role::Labels},
        {u"groupmembership"_s, Role::Labels},
    };
    static const QHash<QString, PhoneKind> phones{
        {u"homephone"_s, PhoneKind::Home},
        {u"homephone2"_s, PhoneKind::Home},
        {u"workphone"_s, PhoneKind::Work},
        {u"businessphone"_s, PhoneKind::Work},
        {u"businessphone2"_s, PhoneKind::Work},
        {u"mobilephone"_s, PhoneKind::Mobile},
        {u"mobilenumber"_s, PhoneKind::Mobile},
        {u"mobile"_s, PhoneKind::Mobile},
        {u"cellphone"_s, PhoneKind::Mobile},
        {u"pager"_s, PhoneKind::Mobile},
        {u"pagernumber"_s, PhoneKind::Mobile},
        {u"pagermobile"_s, PhoneKind::Mobile},
        {u"faxnumber"_s, PhoneKind::Fax},
        {u"fax"_s, PhoneKind::Fax},
        {u"businessfax"_s, PhoneKind::Fax},
        {u"homefax"_s, PhoneKind::Fax},
        {u"otherfax"_s, PhoneKind::Fax},
        {u"workfax"_s, PhoneKind::Fax},
        {u"phone"_s, PhoneKind::Untyped},
        {u"primaryphone"_s, PhoneKind::Untyped},
        {u"otherphone"_s, PhoneKind::Other},
        {u"carphone"_s, PhoneKind::Other},
        {u"companymainphone"_s, PhoneKind::Other},
        {u"assistantsphone"_s, PhoneKind::Other},
        {u"callback"_s, PhoneKind::Other},
        {u"isdn"_s, PhoneKind::Other},
        {u"radiophone"_s, PhoneKind::Other},
        {u"ttytddphone"_s, PhoneKind::Other},
        {u"telex"_s, PhoneKind::Other},
    };
    static const QHash<QString, QString> defaults{
        {u"gender"_s, u"Unspecified"_s}, {u"priority"_s, u"Normal"_s},
        {u"sensitivity"_s, u"Normal"_s}, {u"private"_s, u"False"_s},
        {u"emailtype"_s, u"SMTP"_s},     {u"email2type"_s, u"SMTP"_s},
        {u"email3type"_s, u"SMTP"_s},
    };
    static const QHash<QString, Part> parts{
        {u"street"_s, Part::Street},         {u"address"_s, Part::Street},
        {u"street2"_s, Part::Street2},       {u"street3"_s, Part::Street2},
        {u"address2"_s, Part::Street2},      {u"city"_s, Part::City},
        {u"state"_s, Part::Region},          {u"region"_s, Part::Region},
        {u"zip"_s, Part::PostalCode},        {u"zipcode"_s, Part::PostalCode},
        {u"postalcode"_s, Part::PostalCode}, {u"country"_s, Part::Country},
        {u"countryregion"_s, Part::Country}, {u"pobox"_s, Part::PoBox},
    };
    if (const auto role = roles.constFind(key); role != roles.cend()) {
        column.role = *role;
        return column;
    }
    if (const auto kind = phones.constFind(key); kind != phones.cend()) {
        column.role = Role::Phone;
        column.kind = *kind;
        // Our own export's column is the mobile or pager box itself and says no more.
        if (key != u"pagermobile")
            column.kindText = column.header;
        return column;
    }
    column.ignore = defaults.value(key);
    if (key.startsWith(u"email") && key.endsWith(u"displayname")) {
        column.role = Role::EmailDisplayName;
        return column;
    }
    for (const QString &set : {u""_s, u"home"_s, u"business"_s, u"work"_s, u"other"_s}) {
        if (!key.startsWith(set))
            continue;
        if (const auto part = parts.constFind(key.mid(set.size())); part != parts.cend()) {
            column.role = Role::AddressPart;
            column.set = set;
            column.part = *part;
            return column;
        }
    }
    // Google: "E-mail 1 - Value", "Phone 2 - Label", "Address 1 - Postal Code", ...
    static const QRegularExpression group(u"^(email|phone|address|organization)(\\d+)(.+)$"_s);
    const QRegularExpressionMatch match = group.match(key);
    if (match.hasMatch()) {
        static const QHash<QString, Part> groupParts{
            {u"label"_s, Part::Label},
            {u"type"_s, Part::Label},
            {u"value"_s, Part::Value},
            {u"formatted"_s, Part::Formatted},
            {u"street"_s, Part::Street},
            {u"city"_s, Part::City},
            {u"pobox"_s, Part::PoBox},
            {u"region"_s, Part::Region},
            {u"postalcode"_s, Part::PostalCode},
            {u"country"_s, Part::Country},
            {u"extendedaddress"_s, Part::Extended},
            {u"name"_s, Part::Value},
        };
        const QString kind = match.captured(1);
        const auto part = groupParts.constFind(match.captured(3));
        if (part != groupParts.cend() && (kind != u"organization" || *part == Part::Value)) {
            column.role = Role::Group;
            column.set = kind + u' ' + match.captured(2);
            column.part = *part;
        }
    }
    return column;
}

PhoneKind kindFromLabel(const QString &label)
{
    const QString l = label.toLower();
    if (l.contains(u"fax"))
        return PhoneKind::Fax;
    if (l.contains(u"mobile") || l.contains(u"cell") || l.contains(u"pager"))
        return PhoneKind::Mobile;
    if (l.contains(u"work") || l.contains(u"business"))
        return PhoneKind::Work;
    if (l.contains(u"home"))
        return PhoneKind::Home;
    if (l.trimmed().isEmpty() || l.trimmed() == u"main" || l.trimmed() == u"other")
        return PhoneKind::Untyped;
    return PhoneKind::Other;
}

QString addressLabel(const QString &set)
{
    if (set.isEmpty())
        return u"Address"_s;
    return set.at(0).toUpper() + set.mid(1) + u" address"_s;
}

// One row as a card: each cell goes to the part of the card its column names.
Card cardOf(const QList<Column> &columns, const Row &row)
{
    Card card;
    card.line = row.line;
    QMap<QString, Address> addresses; // by set, in first-seen order kept by order
    struct GroupValues
    {
        QString kind;
        QMap<Part, QString> values;
        int order = 0;
        QString formattedHeader; // the column of an address written whole
    };
    QMap<QString, GroupValues> groups;
    QString contactId;
    const auto addressOf = [&](const QString &set) -> Address & {
        auto it = addresses.find(set);
        if (it == addresses.end()) {
            Address address;
            address.label = addressLabel(set);
            if (!set.isEmpty())
                address.kindText = set.at(0).toUpper() + set.mid(1);
            address.home = set == u"home";
            address.order = card.nextOrder();
            it = addresses.insert(set, address);
        }
        return *it;
    };
    QStringList emailsInRow;
    QList<std::pair<QString, QString>> displayNames; // column, value
    for (qsizetype i = 0; i < row.cells.size() && i < columns.size(); ++i)
        if (columns.at(i).role == Role::Email || columns.at(i).role == Role::FaxOrEmail)
            emailsInRow.append(row.cells.at(i).trimmed());

    for (qsizetype i = 0; i < row.cells.size() && i < columns.size(); ++i) {
        const Column &column = columns.at(i);
        const QString value = row.cells.at(i);
        if (value.trimmed().isEmpty() || value.trimmed() == column.ignore ||
            value.trimmed() == u"0/0/00")
            continue;
        switch (column.role) {
        case Role::Given:
            card.given = value;
            break;
        case Role::Family:
            card.family = value;
            break;
        case Role::Formatted:
            card.formattedName = value;
            break;
        case Role::Company:
            if (card.company.isEmpty())
                card.company = value;
            else
                card.addExtra(column.header, value);
            break;
        case Role::Notes:
            card.addNote(value);
            break;
        case Role::Uid:
            card.uid = value;
            break;
        case Role::ContactId:
            contactId = value;
            break;
        case Role::DataType:
            card.dataType = value;
            break;
        case Role::Phone:
            card.phones.append({value,
                                column.kind,
                                column.header,
                                false,
                                card.nextOrder(),
                                {},
                                {},
                                column.kindText});
            break;
        case Role::Email:
            card.emails.append({value, column.header, false, card.nextOrder(), {}, {}});
            break;
        case Role::FaxOrEmail:
            if (value.contains(u'@'))
                card.emails.append({value, column.header, false, card.nextOrder(), {}, {}});
            else
                card.phones.append(
                    {value, PhoneKind::Fax, column.header, false, card.nextOrder(), {}, {}, {}});
            break;
        case Role::AddressPart: {
            Address &address = addressOf(column.set);
            switch (column.part) {
            case Part::Street:
                address.street =
                    address.street.isEmpty() ? value : value + u", "_s + address.street;
                break;
            case Part::Street2:
                address.street =
                    address.street.isEmpty() ? value : address.street + u", "_s + value;
                break;
            case Part::City:
                address.city = value;
                break;
            case Part::Region:
                address.region = value;
                break;
            case Part::PostalCode:
                address.postalCode = value;
                break;
            case Part::Country:
                address.country = value;
                break;
            case Part::PoBox:
                address.poBox = value;
                break;
            default:
                break;
            }
            break;
        }
        case Role::Group: {
            GroupValues &group = groups[column.set];
            if (group.values.isEmpty())
                group.order = card.nextOrder();
            group.kind = column.set.section(u' ', 0, 0);
            group.values.insert(column.part, value);
            if (column.part == Part::Formatted)
                group.formattedHeader = column.header;
            break;
        }
        case Role::EmailDisplayName:
            displayNames.append({column.header, value});
            break;
        case Role::Labels: {
            QStringList labels = value.split(u" ::: "_s);
            labels.removeIf([](const QString &label) {
                return label.trimmed().compare(u"* myContacts"_s, Qt::CaseInsensitive) == 0 ||
                       label.trimmed().compare(u"* My Contacts"_s, Qt::CaseInsensitive) == 0;
            });
            card.addExtra(column.header, labels.join(u" ::: "_s));
            break;
        }
        case Role::Other:
            card.addExtra(column.header, value);
            break;
        }
    }
    // Outlook's "Name (address)", or the address alone, repeats what the row holds
    // already; any other display name is a value of its own.
    const QString rowName = QString(card.given.trimmed() + u' ' + card.family.trimmed()).trimmed();
    for (const auto &[header, value] : std::as_const(displayNames)) {
        const QString text = value.trimmed();
        const bool repeats =
            std::any_of(emailsInRow.cbegin(), emailsInRow.cend(), [&](const QString &email) {
                return !email.isEmpty() &&
                       (text == email || text == rowName + u" ("_s + email + u')');
            });
        if (!repeats)
            card.addExtra(header, value);
    }
    if (card.uid.isEmpty())
        card.uid = contactId;
    else
        card.addExtra(u"ContactID"_s, contactId);

    for (auto it = groups.cbegin(); it != groups.cend(); ++it) {
        const GroupValues &group = *it;
        QString label = group.values.value(Part::Label).trimmed();
        const bool preferred = label.startsWith(u"* "_s);
        if (preferred)
            label = label.mid(2).trimmed();
        const QString suffix = label.isEmpty() ? QString() : u" ("_s + label + u')';
        if (group.kind == u"organization") {
            if (card.company.isEmpty())
                card.company = group.values.value(Part::Value);
            else
                card.addExtra(u"Company"_s, group.values.value(Part::Value));
        } else if (group.kind == u"address") {
            Address address;
            address.street = group.values.value(Part::Street);
            address.city = group.values.value(Part::City);
            address.region = group.values.value(Part::Region);
            address.postalCode = group.values.value(Part::PostalCode);
            address.country = group.values.value(Part::Country);
            address.poBox = group.values.value(Part::PoBox);
            address.extended = group.values.value(Part::Extended);
            // The address written whole (Google's, on several lines) is the street
            // when there are no parts; beside the parts it is a value of its own.
            const QString formatted = group.values.value(Part::Formatted);
            if (address.isEmpty())
                address.street = formatted;
            else
                card.addExtra(group.formattedHeader, formatted);
            address.label = u"Address"_s + suffix;
            address.kindText = label;
            address.home = label.compare(u"home"_s, Qt::CaseInsensitive) == 0;
            address.preferred = preferred;
            address.order = group.order;
            card.addresses.append(address);
        } else {
            // A Google cell may hold several values joined by " ::: ".
            for (const QString &value : group.values.value(Part::Value).split(u" ::: "_s)) {
                if (group.kind == u"phone")
                    card.phones.append({value,
                                        kindFromLabel(label),
                                        u"Phone"_s + suffix,
                                        preferred,
                                        group.order,
                                        {},
                                        {},
                                        label});
                else
                    card.emails.append(
                        {value, u"E-mail"_s + suffix, preferred, group.order, {}, label});
            }
        }
    }
    for (const Address &address : std::as_const(addresses))
        card.addresses.append(address);
    return card;
}

// Whether the header row is this program's export's.
bool isOwnExport(const Row &header)
{
    const auto hasColumn = [&header](const QString &key) {
        return std::any_of(header.cells.cbegin(), header.cells.cend(),
                           [&key](const QString &cell) { return normalized(cell) == key; });
    };
    return hasColumn(u"faxoremail"_s) && hasColumn(u"pagermobile"_s);
}

// This program's export puts a quote before a cell a spreadsheet would run as a
// formula; the quote is not part of the value.
void takeOffFormulaQuotes(Row &row)
{
    for (QString &cell : row.cells)
        if (cell.startsWith(u'\'') && needsFormulaQuote(QStringView(cell).sliced(1)))
            cell.remove(0, 1);
}

} // namespace

QList<QStringList> readCsvRows(const QByteArray &bytes)
{
    QList<Row> rows;
    if (parseRows(decodeFile(bytes), rows) || rows.isEmpty())
        return {};
    const bool ownExport = isOwnExport(rows.first());
    QList<QStringList> cells;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        Row row = rows.at(r);
        if (ownExport && r > 0)
            takeOffFormulaQuotes(row);
        cells.append(row.cells);
    }
    return cells;
}

ReadResult readCsv(const QByteArray &bytes)
{
    QList<ImportedContact> contacts;
    ReadResult result = readCsv(
        bytes, [&contacts](ImportedContact &&contact) { contacts.append(std::move(contact)); });
    if (result.ok())
        result.contacts = std::move(contacts);
    return result;
}

ReadResult readCsv(const QByteArray &bytes, const ContactSink &take)
{
    ReadResult result;
    QList<Row> rows;
    if (const std::optional<ParseError> error = parseRows(decodeFile(bytes), rows)) {
        result.errorLine = error->line;
        result.error = error->text;
        return result;
    }
    if (rows.isEmpty()) {
        result.errorLine = 1;
        result.error = u"there is no header row"_s;
        return result;
    }
    QList<Column> columns;
    for (const QString &header : rows.first().cells)
        columns.append(classify(header));
    if (std::all_of(columns.cbegin(), columns.cend(),
                    [](const Column &c) { return c.role == Role::Other; })) {
        result.errorLine = rows.first().line;
        result.error = u"the header row names no column of a contacts file (such as "
                       u"\"First Name\", \"Last Name\", \"E-mail Address\")"_s;
        return result;
    }
    const bool ownExport = isOwnExport(rows.first());
    for (qsizetype r = 1; r < rows.size(); ++r) {
        Row row = rows.at(r);
        if (ownExport)
            takeOffFormulaQuotes(row);
        for (qsizetype i = columns.size(); i < row.cells.size(); ++i) {
            if (!row.cells.at(i).isEmpty()) {
                result.errorLine = row.line;
                result.error =
                    u"the row has %1 fields; the header row names %2"_s.arg(row.cells.size())
                        .arg(columns.size());
                return result;
            }
        }
        if (take)
            take(buildContact(cardOf(columns, row)));
    }
    return result;
}

} // namespace cardomine::interchange
