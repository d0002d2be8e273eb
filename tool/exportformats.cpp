#include "tool/exportformats.h"

#include <QStringList>

namespace cardomine::tool {

namespace {

constexpr qsizetype MaxLineOctets = 75;

const QByteArray CrLf = QByteArrayLiteral("\r\n");

bool isContinuationByte(char byte)
{
    return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// The FaxOrEmail field holds an e-mail address when it has an "@".
bool isEmail(const QString &value)
{
    return value.contains(QLatin1Char('@'));
}

QString csvField(const QString &value)
{
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\r')) && !value.contains(QLatin1Char('\n')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
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

QByteArray toVCard(const QList<Contact> &contacts)
{
    QByteArray out;
    for (const Contact &contact : contacts) {
        const ContactRecord &r = contact.record;
        const QString first = trimmed(r.FirstName.text());
        const QString last = trimmed(r.LastName.text());
        const QString company = trimmed(r.Company.text());
        const QString address = trimmed(r.Address.text());
        const QString city = trimmed(r.City.text());
        const QString state = trimmed(r.State.text());
        const QString zip = trimmed(r.Zip.text());
        const QString faxOrEmail = trimmed(r.FaxOrEmail.text());
        const QString id = r.ContactID.text().trimmed();

        QStringList lines{QStringLiteral("BEGIN:VCARD"), QStringLiteral("VERSION:4.0")};
        // A card must have a formatted name: the person's, else the company's.
        QStringList nameParts;
        if (!first.isEmpty())
            nameParts.append(first);
        if (!last.isEmpty())
            nameParts.append(last);
        const QString fullName = nameParts.isEmpty() ? company : nameParts.join(QLatin1Char(' '));
        lines.append(QStringLiteral("FN:") + escapeText(fullName));
        if (!first.isEmpty() || !last.isEmpty())
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
        phone("home", trimmed(r.HomePhone.text()));
        phone("work", trimmed(r.WorkPhone.text()));
        phone("cell", trimmed(r.PagerMobile.text()));
        if (isEmail(faxOrEmail))
            lines.append(QStringLiteral("EMAIL:") + escapeText(faxOrEmail));
        else
            phone("fax", faxOrEmail);
        if (!contact.notes.isEmpty())
            lines.append(QStringLiteral("NOTE:") + escapeText(contact.notes));
        if (!id.isEmpty())
            lines.append(QStringLiteral("UID;VALUE=text:") + escapeText(id));
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
    for (const Contact &contact : contacts) {
        const ContactRecord &r = contact.record;
        const QStringList fields{trimmed(r.FirstName.text()),   trimmed(r.LastName.text()),
                                 trimmed(r.Company.text()),     trimmed(r.Address.text()),
                                 trimmed(r.City.text()),        trimmed(r.State.text()),
                                 trimmed(r.Zip.text()),         trimmed(r.ContactID.text()),
                                 trimmed(r.HomePhone.text()),   trimmed(r.WorkPhone.text()),
                                 trimmed(r.PagerMobile.text()), trimmed(r.FaxOrEmail.text()),
                                 trimmed(r.DataType.text()),    contact.notes};
        QStringList cells;
        for (const QString &field : fields)
            cells.append(csvField(field));
        out += cells.join(QLatin1Char(',')).toUtf8() + CrLf;
    }
    return out;
}

} // namespace cardomine::tool
