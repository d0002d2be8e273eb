// SPDX-License-Identifier: GPL-3.0-or-later
// Every value of a file from another program, imported and exported again in the same
// format, is in the export: the same property (or CSV column) with the same value.
// A value's kind goes with it: its vCard types, its Google label.
// Compared after what the card file itself does to text: characters Windows-1252 lacks
// become "?", values are trimmed, line ends are one kind, a tel: URI is the number it
// holds. Left out are only the values
// that describe the file (VERSION, PRODID, REV) and Outlook's and Google's values for
// "nothing".
#include "interchange/binaryvalues.h"
#include "interchange/importreader.h"
#include "platform/textcodec.h"
#include "tests/datastore/storefixture.h"
#include "tests/tool/toolfixture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace cardomine;
using namespace cardomine::interchange;
using namespace cardomine::testing;
using namespace Qt::StringLiterals;

namespace {

// Text as the card file holds it.
QString stored(const QString &text)
{
    QString out = platform::text::decode(platform::text::encode(text));
    out.replace(u"\r\n"_s, u"\n"_s).replace(u'\r', u'\n');
    return out.trimmed();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Import the file into a new card file and export it in the same format.
QByteArray importExport(const QString &file, const QString &format)
{
    resetStore();
    QTemporaryDir out;
    const QString exported = out.filePath(u"export"_s);
    TempDrive drive;
    const ToolRun in = runTool(drive, {u"import"_s, file});
    if (in.exitCode != 0)
        return {};
    const ToolRun run =
        runTool(drive, {u"export"_s, u"--format"_s, format, u"--output"_s, exported});
    return run.exitCode == 0 ? readAll(exported) : QByteArray();
}

// A structured value's parts without the empty ones at its end.
QStringList partsOf(const VCardValue &v)
{
    QStringList parts;
    for (const QString &part : v.parts)
        parts.append(stored(part));
    while (!parts.isEmpty() && parts.last().isEmpty())
        parts.removeLast();
    return parts;
}

QString nameOf(const VCardValue &v)
{
    if (v.name == "X-CARDOMINE-VALUE")
        return v.ownLabel;
    return v.label.isEmpty() ? QString::fromLatin1(v.name) : v.label;
}

// Apple writes its own labels as "_$!<Mobile>!$_", the same label as "Mobile".
QString labelText(const QString &text)
{
    if (text.startsWith(u"_$!<"_s) && text.endsWith(u">!$_"_s))
        return text.mid(4, text.size() - 8);
    return text;
}

bool holds(const QList<VCardValue> &card, const VCardValue &in)
{
    const std::optional<BinaryValue> binary = decodeBinary(in.encoding, in.raw, QString());
    return std::any_of(card.cbegin(), card.cend(), [&](const VCardValue &out) {
        if (nameOf(out) != nameOf(in))
            return false;
        if (binary) {
            const std::optional<BinaryValue> bytes = decodeBinary(out.encoding, out.raw, {});
            return bytes && bytes->bytes == binary->bytes;
        }
        if (in.name == "N" || in.name == "ADR" || in.name == "ORG")
            return partsOf(out) == partsOf(in);
        if (in.name == "NOTE")
            return stored(out.text).contains(stored(in.text));
        // Every type that says the value's kind goes out with it (voice, internet and
        // x400 are every number's or address's by default).
        for (const QString &type : in.types)
            if (type != u"voice" && type != u"internet" && type != u"x400" &&
                !out.types.contains(type))
                return false;
        if (in.name == "X-ABLABEL")
            return out.text == labelText(stored(in.text));
        // A number written as a tel: URI goes out as the same number in text form.
        if (in.name == "TEL" && in.text.startsWith(u"tel:"_s, Qt::CaseInsensitive))
            return stored(out.text) == stored(in.text.mid(4));
        return stored(out.text) == stored(in.text);
    });
}

// A value of a CSV row is held when a cell of the exported row holds it whole or as one
// of its lines joined with ", " (Outlook's Street and Street 2), or the Notes cell holds
// it as a value of its own ("Label: value" lines).
bool holds(const QStringList &row, const QString &value)
{
    for (const QString &cell : row) {
        const QString text = stored(cell);
        if (text == value || text.startsWith(value + u", "_s) || text.endsWith(u", "_s + value) ||
            text.contains(u", "_s + value + u", "_s))
            return true;
        for (qsizetype at = text.indexOf(value); at >= 0; at = text.indexOf(value, at + 1)) {
            const qsizetype end = at + value.size();
            const bool starts = at == 0 || text.at(at - 1) == u'\n' ||
                                QStringView(text).first(at).endsWith(u": "_s);
            if (starts && (end == text.size() || text.at(end) == u'\n'))
                return true;
        }
    }
    return false;
}

const QRegularExpression NameAndAddress(u"^(.+) \\((.+@.+)\\)$"_s);

// The columns of our export that are boxes: how the notes name each, and the kind its
// column says.
struct BoxColumn
{
    QString column, notesName, says;
};
const QList<BoxColumn> BoxColumns{{u"HomePhone"_s, u"Home phone"_s, u"Home"_s},
                                  {u"WorkPhone"_s, u"Work phone"_s, u"Work"_s},
                                  {u"PagerMobile"_s, u"Mobile or pager"_s, u"Mobile"_s},
                                  {u"FaxOrEmail"_s, u"Fax or e-mail"_s, u"Fax"_s},
                                  {u"Address"_s, u"Address"_s, QString()}};

// A Google label of a value ("Work Fax") is held when the value's box says it, when the
// notes keep it as that box's kind ("Fax or e-mail type: Work Fax"), or when the value
// has no box and its own line names it ("Phone (Work Fax): ..."). Google's star marks
// the value that comes first, which its box or its place shows.
bool holdsLabel(const QStringList &header, const QStringList &row, QString label,
                const QString &value)
{
    if (label.startsWith(u"* "_s))
        label = label.mid(2).trimmed();
    const QStringList notes = stored(row.value(header.indexOf(u"Notes"_s))).split(u'\n');
    for (const BoxColumn &box : BoxColumns)
        if (stored(row.value(header.indexOf(box.column))) == value)
            return label.compare(box.says, Qt::CaseInsensitive) == 0 ||
                   notes.contains(box.notesName + u" type: "_s + label);
    return std::any_of(notes.cbegin(), notes.cend(), [&](const QString &line) {
        return line.contains(u" ("_s + label + u"): "_s) && line.contains(value);
    });
}

// Values Outlook and Google write for "nothing", which import leaves out.
const QStringList Nothing{u"Unspecified"_s, u"Normal"_s, u"False"_s,
                          u"SMTP"_s,        u"0/0/00"_s, u"* myContacts"_s};

} // namespace

class TestExportHolds : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { resetStore(); }

    void everyValue_data()
    {
        QTest::addColumn<QString>("file");
        const QStringList names = QDir(QStringLiteral(CARDOMINE_IMPORT_SAMPLES))
                                      .entryList({u"*.vcf"_s, u"*.csv"_s}, QDir::Files);
        QVERIFY(names.size() >= 10);
        for (const QString &name : names)
            QTest::newRow(qPrintable(name)) << QStringLiteral(CARDOMINE_IMPORT_SAMPLES "/") + name;
    }
    void everyValue()
    {
        QFETCH(QString, file);
        const QByteArray input = readAll(file);
        const bool vcard = file.endsWith(u".vcf"_s);
        const QByteArray output = importExport(file, vcard ? u"vcard"_s : u"csv"_s);
        QVERIFY(!output.isEmpty());
        QStringList lost;
        if (vcard) {
            const QList<QList<VCardValue>> in = readVCardValues(input);
            const QList<QList<VCardValue>> out = readVCardValues(output);
            QVERIFY(!in.isEmpty());
            // The export begins with the sample contact of the new card file.
            QCOMPARE(out.size(), in.size() + 1);
            for (qsizetype c = 0; c < in.size(); ++c)
                for (const VCardValue &v : in.at(c)) {
                    if (v.name == "VERSION" || v.name == "PRODID" || v.name == "REV" ||
                        v.name == "AGENT" || stored(v.text).isEmpty() || partsOf(v).isEmpty())
                        continue;
                    if (!holds(out.at(c + 1), v))
                        lost.append(u"card %1: %2:%3"_s.arg(c + 1).arg(nameOf(v), v.text));
                }
        } else {
            const QList<QStringList> in = readCsvRows(input);
            const QList<QStringList> out = readCsvRows(output);
            QVERIFY(in.size() > 1);
            QCOMPARE(out.size(), in.size() + 1);
            for (qsizetype r = 1; r < in.size(); ++r)
                for (qsizetype i = 0; i < in.at(r).size(); ++i)
                    // Google joins several values of a cell with " ::: ".
                    for (const QString &part : in.at(r).at(i).split(u" ::: "_s)) {
                        const QString value = stored(part);
                        const QString column = in.first().value(i);
                        // A display name that is the first and last name, or Outlook's
                        // "Name (address)", is held by the values it repeats; a Google
                        // label gives the kind of the value beside it, which the value's
                        // box or its own label in the notes carries.
                        const QStringList &row = out.at(r + 1);
                        const QString name = row.value(out.first().indexOf(u"FirstName"_s)) + u' ' +
                                             row.value(out.first().indexOf(u"LastName"_s));
                        const QRegularExpressionMatch both = NameAndAddress.match(value);
                        // A Google label of a phone, an e-mail address or an address
                        // ("Phone 1 - Label", older files' "Phone 1 - Type").
                        static const QRegularExpression kindColumn(
                            u"^((?:Phone|E-mail|Address) \\d+) - (?:Label|Type)$"_s);
                        if (const QRegularExpressionMatch group = kindColumn.match(column);
                            group.hasMatch() && !value.isEmpty() && !Nothing.contains(value)) {
                            QString of;
                            for (const QString &suffix : {u" - Value"_s, u" - Street"_s})
                                if (of.isEmpty())
                                    of = in.at(r).value(
                                        in.first().indexOf(group.captured(1) + suffix));
                            for (const QString &each : of.split(u" ::: "_s))
                                if (!stored(each).isEmpty() &&
                                    !holdsLabel(out.first(), row, value, stored(each)))
                                    lost.append(
                                        u"row %1: %2: %3 (of %4)"_s.arg(r).arg(column, part, each));
                            continue;
                        }
                        if (value.isEmpty() || Nothing.contains(value) || holds(row, value) ||
                            stored(name) == value ||
                            (both.hasMatch() && stored(name) == both.captured(1) &&
                             holds(row, both.captured(2))))
                            continue;
                        lost.append(u"row %1: %2: %3"_s.arg(r).arg(column, part));
                    }
        }
        QVERIFY2(lost.isEmpty(),
                 qPrintable(lost.join(u'\n') + u"\n"_s + QString::fromUtf8(output)));
    }
};

QTEST_GUILESS_MAIN(TestExportHolds)
#include "tst_exportholds.moc"
