#include "tool/importreader.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <optional>

namespace cardomine::tool {

namespace {

struct Property
{
    QString name;      // upper case, group dropped
    QStringList types; // TYPE parameter values, lower case
    QString value;     // raw value, still escaped
    int line = 0;
};

QString unescape(const QString &value)
{
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar next = value.at(++i);
            if (next == QLatin1Char('n') || next == QLatin1Char('N'))
                out += QLatin1String("\r\n");
            else
                out += next;
        } else {
            out += c;
        }
    }
    return out;
}

// Splits a structured value at unescaped semicolons.
QStringList components(const QString &value)
{
    QStringList parts{QString()};
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            parts.last() += c;
            parts.last() += value.at(++i);
        } else if (c == QLatin1Char(';')) {
            parts.append(QString());
        } else {
            parts.last() += c;
        }
    }
    for (QString &part : parts)
        part = unescape(part);
    return parts;
}

QString part(const QStringList &parts, int i)
{
    return i < parts.size() ? parts.at(i) : QString();
}

std::optional<Property> parseProperty(const QString &line, int lineNumber)
{
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon <= 0)
        return std::nullopt;
    Property p;
    p.line = lineNumber;
    QStringList head = line.left(colon).split(QLatin1Char(';'));
    QString name = head.takeFirst().toUpper();
    if (const qsizetype dot = name.indexOf(QLatin1Char('.')); dot >= 0)
        name = name.mid(dot + 1);
    p.name = name.trimmed();
    for (const QString &parameter : std::as_const(head)) {
        const qsizetype eq = parameter.indexOf(QLatin1Char('='));
        const QString key = eq < 0 ? QStringLiteral("TYPE") : parameter.left(eq).toUpper();
        const QString value = eq < 0 ? parameter : parameter.mid(eq + 1);
        if (key == QLatin1String("TYPE"))
            for (QString type : value.split(QLatin1Char(',')))
                p.types.append(type.remove(QLatin1Char('"')).toLower());
    }
    p.value = line.mid(colon + 1);
    return p;
}

class CardBuilder
{
public:
    explicit CardBuilder(int line) { m_contact.line = line; }

    void add(const Property &p)
    {
        const QString text = unescape(p.value);
        if (p.name == QLatin1String("FN")) {
            m_formatted = text;
        } else if (p.name == QLatin1String("N")) {
            const QStringList n = components(p.value);
            setField(m_contact.record.LastName, QStringLiteral("Last name"), part(n, 0));
            setField(m_contact.record.FirstName, QStringLiteral("First name"), part(n, 1));
        } else if (p.name == QLatin1String("ORG")) {
            fillOrKeep(m_contact.record.Company, QStringLiteral("Company"),
                       part(components(p.value), 0));
        } else if (p.name == QLatin1String("ADR") && !m_hasAddress) {
            m_hasAddress = true;
            const QStringList a = components(p.value);
            setField(m_contact.record.Address, QStringLiteral("Address"), part(a, 2));
            setField(m_contact.record.City, QStringLiteral("City"), part(a, 3));
            setField(m_contact.record.State, QStringLiteral("State"), part(a, 4));
            setField(m_contact.record.Zip, QStringLiteral("Zip"), part(a, 5));
        } else if (p.name == QLatin1String("TEL")) {
            addPhone(p.types, text);
        } else if (p.name == QLatin1String("EMAIL")) {
            if (!m_faxOrEmailSet) {
                m_faxOrEmailSet = true;
                setField(m_contact.record.FaxOrEmail, QStringLiteral("E-mail"), text);
            } else {
                keep(QStringLiteral("E-mail"), text);
            }
        } else if (p.name == QLatin1String("NOTE")) {
            m_notes.append(text);
        } else if (p.name == QLatin1String("UID")) {
            m_contact.uid = text;
        } else if (p.name != QLatin1String("VERSION") && p.name != QLatin1String("PRODID") &&
                   p.name != QLatin1String("REV") && !text.isEmpty()) {
            keep(p.name, text);
        }
    }

    ImportedContact finish()
    {
        m_contact.record.DataType = QStringLiteral("Contacts");
        m_contact.record.ContactID = QString();
        QString notes = m_notes.join(QLatin1String("\r\n"));
        if (!m_kept.isEmpty()) {
            if (!notes.isEmpty())
                notes += QLatin1String("\r\n");
            notes += QStringLiteral("Imported values that have no box or did not fit:\r\n") +
                     m_kept.join(QLatin1String("\r\n"));
        }
        m_contact.notes = notes;
        const QString first = m_contact.record.FirstName.text().trimmed();
        const QString last = m_contact.record.LastName.text().trimmed();
        m_contact.name = !m_formatted.isEmpty()
                             ? m_formatted
                             : QStringList{first, last}.join(QLatin1Char(' ')).trimmed();
        return m_contact;
    }

private:
    template <int W> void setField(FixedText<W> &field, const QString &label, const QString &value)
    {
        const QString stored = storable(value);
        field = stored;
        if (stored.size() > W) {
            m_contact.cut.append(label);
            keep(label, value);
        }
    }
    template <int W>
    void fillOrKeep(FixedText<W> &field, const QString &label, const QString &value)
    {
        if (field.text().trimmed().isEmpty())
            setField(field, label, value);
        else
            keep(label, value);
    }
    void addPhone(const QStringList &types, const QString &value)
    {
        const auto has = [&types](const char *t) { return types.contains(QLatin1String(t)); };
        if (has("fax")) {
            if (!m_faxOrEmailSet) {
                m_faxOrEmailSet = true;
                setField(m_contact.record.FaxOrEmail, QStringLiteral("Fax"), value);
                return;
            }
        } else if (has("cell") || has("pager")) {
            if (m_contact.record.PagerMobile.text().trimmed().isEmpty()) {
                setField(m_contact.record.PagerMobile, QStringLiteral("Mobile"), value);
                return;
            }
        } else if (has("work")) {
            if (m_contact.record.WorkPhone.text().trimmed().isEmpty()) {
                setField(m_contact.record.WorkPhone, QStringLiteral("Work phone"), value);
                return;
            }
        } else if (m_contact.record.HomePhone.text().trimmed().isEmpty()) {
            setField(m_contact.record.HomePhone, QStringLiteral("Home phone"), value);
            return;
        }
        keep(QStringLiteral("Phone"), value);
    }
    void keep(const QString &label, const QString &value)
    {
        m_kept.append(label + QStringLiteral(": ") + value);
    }
    QString storable(const QString &value)
    {
        QString out;
        for (const QChar c : value) {
            QStringEncoder encoder("windows-1252");
            const QByteArray bytes = encoder.encode(QString(c));
            if (bytes.size() != 1 || bytes.at(0) == '\x1a') {
                out += QLatin1Char('?');
                m_contact.replacedCharacters = true;
            } else {
                out += c;
            }
        }
        return out;
    }

    ImportedContact m_contact;
    QString m_formatted;
    QStringList m_notes;
    QStringList m_kept;
    bool m_hasAddress = false;
    bool m_faxOrEmailSet = false;
};

} // namespace

ReadResult readVCards(const QByteArray &bytes)
{
    ReadResult result;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(bytes);
    // Unfold: a line starting with a space or tab continues the one before.
    QList<std::pair<int, QString>> lines;
    int lineNumber = 0;
    for (QString line : text.split(QLatin1Char('\n'))) {
        ++lineNumber;
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if ((line.startsWith(QLatin1Char(' ')) || line.startsWith(QLatin1Char('\t'))) &&
            !lines.isEmpty())
            lines.last().second += line.mid(1);
        else if (!line.isEmpty())
            lines.append({lineNumber, line});
    }
    std::optional<CardBuilder> card;
    const auto fail = [&result](int line, const QString &error) {
        result.contacts.clear();
        result.errorLine = line;
        result.error = error;
        return result;
    };
    for (const auto &[number, line] : std::as_const(lines)) {
        const std::optional<Property> p = parseProperty(line, number);
        if (!p)
            return fail(number, QStringLiteral("a line that is not a vCard property"));
        if (p->name == QLatin1String("BEGIN")) {
            if (card || p->value.trimmed().compare(QLatin1String("VCARD"), Qt::CaseInsensitive))
                return fail(number, QStringLiteral("BEGIN:VCARD inside a card"));
            card.emplace(number);
        } else if (p->name == QLatin1String("END")) {
            if (!card)
                return fail(number, QStringLiteral("END:VCARD without BEGIN:VCARD"));
            result.contacts.append(card->finish());
            card.reset();
        } else if (!card) {
            return fail(number, QStringLiteral("a property outside BEGIN:VCARD and END:VCARD"));
        } else {
            card->add(*p);
        }
    }
    if (card)
        return fail(lineNumber, QStringLiteral("the card has no END:VCARD"));
    return result;
}

} // namespace cardomine::tool
