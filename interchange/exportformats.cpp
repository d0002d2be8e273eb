// SPDX-License-Identifier: GPL-3.0-or-later
#include "interchange/exportformats.h"

#include "interchange/cardfileid.h"
#include "interchange/formulaquote.h"

#include <QSet>
#include <QStringList>

#include <optional>

namespace cardomine::interchange {

namespace {

constexpr qsizetype MaxLineOctets = 75;

const QByteArray CrLf = QByteArrayLiteral("\r\n");

bool isContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

bool isAtomCharacter(QChar c)
{
    return c.isLetterOrNumber() || QStringView(u"!#$%&'*+/=?^_`{|}~-").contains(c);
}

QString uuidUrn(const QUuid &uuid)
{
    return QStringLiteral("urn:uuid:") + uuid.toString(QUuid::WithoutBraces);
}

// The name an address book lists the card under: the person's, else the company's,
// else the first thing the record holds that tells the contact apart.
QString formattedName(const QString &first, const QString &last, const QString &company,
                      const QStringList &others, const QString &number)
{
    const auto shows = [](const QString &text) { return !text.trimmed().isEmpty(); };
    QStringList nameParts;
    if (shows(first))
        nameParts.append(first);
    if (shows(last))
        nameParts.append(last);
    if (!nameParts.isEmpty())
        return nameParts.join(QLatin1Char(' '));
    if (shows(company))
        return company;
    for (const QString &other : others) {
        if (shows(other))
            return other;
    }
    return QStringLiteral("Contact ") + number;
}

} // namespace

QString escapeText(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\') || c == QLatin1Char(',') || c == QLatin1Char(';')) {
            out += QLatin1Char('\\');
            out += c;
        } else if (c == QLatin1Char('\r')) {
            out += QLatin1String("\\n");
            if (i + 1 < value.size() && value.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
        } else {
            out += c;
        }
    }
    return out;
}

QByteArray foldLine(const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    QByteArray out;
    qsizetype pos = 0;
    bool first = true;
    while (true) {
        // A continuation line's leading space counts against its 75 octets.
        const qsizetype room = first ? MaxLineOctets : MaxLineOctets - 1;
        qsizetype end = pos + room;
        if (end >= bytes.size()) {
            end = bytes.size();
        } else {
            while (end > pos && isContinuationByte(bytes.at(end)))
                --end;
        }
        if (!first)
            out += ' ';
        out += bytes.mid(pos, end - pos);
        out += CrLf;
        pos = end;
        first = false;
        if (pos >= bytes.size())
            break;
    }
    return out;
}

bool isEmailAddress(const QString &value)
{
    const qsizetype at = value.indexOf(u'@');
    if (at <= 0 || at != value.lastIndexOf(u'@'))
        return false;
    const QStringView local = QStringView(value).left(at);
    if (local.startsWith(u'.') || local.endsWith(u'.') || local.contains(u".."))
        return false;
    for (const QChar c : local) {
        if (c != u'.' && !isAtomCharacter(c))
            return false;
    }
    const QList<QStringView> labels = QStringView(value).mid(at + 1).split(u'.');
    if (labels.size() < 2)
        return false;
    for (const QStringView label : labels) {
        if (label.isEmpty() || label.startsWith(u'-') || label.endsWith(u'-'))
            return false;
        for (const QChar c : label) {
            if (c != u'-' && !c.isLetterOrNumber())
                return false;
        }
    }
    return true;
}

QString csvCell(const QString &value)
{
    QString cell = value;
    if (needsFormulaQuote(cell))
        cell.prepend(u'\'');
    if (!cell.contains(u',') && !cell.contains(u'"') && !cell.contains(u'\r') &&
        !cell.contains(u'\n'))
        return cell;
    cell.replace(u'"', QLatin1String("\"\""));
    return u'"' + cell + u'"';
}

QByteArray toVCard(const QList<Contact> &contacts, const QUuid &cardFile)
{
    QByteArray out;
    out.reserve(contacts.size() * 512);
    QSet<int> numbersUsed;
    for (const Contact &contact : contacts) {
        const ContactRecord &r = contact.record;
        const QString first = fieldValue(r.FirstName.text());
        const QString last = fieldValue(r.LastName.text());
        const QString company = fieldValue(r.Company.text());
        const QString address = fieldValue(r.Address.text());
        const QString city = fieldValue(r.City.text());
        const QString state = fieldValue(r.State.text());
        const QString zip = fieldValue(r.Zip.text());
        const QString home = fieldValue(r.HomePhone.text());
        const QString work = fieldValue(r.WorkPhone.text());
        const QString mobile = fieldValue(r.PagerMobile.text());
        const QString faxOrEmail = fieldValue(r.FaxOrEmail.text());
        const QString id = fieldValue(r.ContactID.text()).trimmed();
        const QString notes = withoutControls(contact.notes);

        QStringList lines{QStringLiteral("BEGIN:VCARD"), QStringLiteral("VERSION:4.0")};
        const QString fullName = formattedName(
            first, last, company, {faxOrEmail, home, work, mobile, address, city, state, zip},
            id.isEmpty() ? QString::number(contact.position) : id);
        lines.append(QStringLiteral("FN:") + escapeText(fullName));
        // N even when empty: readers that miss it make names out of FN.
        lines.append(QStringLiteral("N:") + escapeText(last) + u';' + escapeText(first) +
                     QStringLiteral(";;;"));
        if (!company.isEmpty())
            lines.append(QStringLiteral("ORG:") + escapeText(company));
        if (!address.isEmpty() || !city.isEmpty() || !state.isEmpty() || !zip.isEmpty())
            lines.append(QStringLiteral("ADR:;;") + escapeText(address) + u';' + escapeText(city) +
                         u';' + escapeText(state) + u';' + escapeText(zip) + u';');
        const auto phone = [&lines](const char *type, const QString &value) {
            if (!value.isEmpty())
                lines.append(QStringLiteral("TEL;TYPE=") + QLatin1String(type) + u':' +
                             escapeText(value));
        };
        phone("home", home);
        phone("work", work);
        phone("cell", mobile);
        if (isEmailAddress(faxOrEmail.trimmed()))
            lines.append(QStringLiteral("EMAIL:") + escapeText(faxOrEmail.trimmed()));
        else
            phone("fax", faxOrEmail);
        if (!notes.isEmpty())
            lines.append(QStringLiteral("NOTE:") + escapeText(notes));
        // The contact's number names it in this card file; a record stored under a
        // number another record already took, or under none, is named by its position.
        const std::optional<int> number = ContactRecord::parseNumber(id);
        if (number && *number >= 1 && !numbersUsed.contains(*number)) {
            numbersUsed.insert(*number);
            lines.append(QStringLiteral("UID:") + contactUid(cardFile, *number));
        } else {
            lines.append(QStringLiteral("UID:") +
                         uuidUrn(QUuid::createUuidV5(
                             cardFile, QStringLiteral("record %1").arg(contact.position))));
        }
        lines.append(QStringLiteral("END:VCARD"));

        for (const QString &line : std::as_const(lines))
            out += foldLine(line);
    }
    return out;
}

QByteArray toCsv(const QList<Contact> &contacts)
{
    QByteArray out = QByteArrayLiteral("FirstName,LastName,Company,Address,City,State,Zip,"
                                       "ContactID,HomePhone,WorkPhone,PagerMobile,FaxOrEmail,"
                                       "DataType,Notes") +
                     CrLf;
    out.reserve(out.size() + contacts.size() * 256);
    for (const Contact &contact : contacts) {
        const ContactRecord &r = contact.record;
        const QStringList fields{fieldValue(r.FirstName.text()),   fieldValue(r.LastName.text()),
                                 fieldValue(r.Company.text()),     fieldValue(r.Address.text()),
                                 fieldValue(r.City.text()),        fieldValue(r.State.text()),
                                 fieldValue(r.Zip.text()),         fieldValue(r.ContactID.text()),
                                 fieldValue(r.HomePhone.text()),   fieldValue(r.WorkPhone.text()),
                                 fieldValue(r.PagerMobile.text()), fieldValue(r.FaxOrEmail.text()),
                                 fieldValue(r.DataType.text()),    withoutControls(contact.notes)};
        QStringList cells;
        for (const QString &field : fields)
            cells.append(csvCell(field));
        out += cells.join(QLatin1Char(',')).toUtf8() + CrLf;
    }
    return out;
}

} // namespace cardomine::interchange
