// SPDX-License-Identifier: GPL-3.0-or-later
#include "tool/commandhelp.h"

#include <QStringList>

namespace cardomine::tool {

using namespace Qt::StringLiterals;

const QList<CommandHelp> &commandHelps()
{
    static const QList<CommandHelp> helps{
        {u"export"_s,
         u"--format vcard|csv [--output FILE]"_s,
         u"writes every contact, with its notes, as vCard 4.0 or CSV; the vCard UIDs come\n"
         "from the card file's identifier, which the first vCard export writes to\n"
         "Cardomine.id in the data folder: the only file export ever writes there"_s,
         u"Blank records are left out with a warning on standard error. Reads the card\n"
         "file without changing it, so it may run while Cardomine runs."_s,
         {{u"--format vcard|csv"_s, u"vCard 4.0 or CSV (RFC 4180), both UTF-8; required"_s},
          {u"--output FILE"_s, u"write to FILE instead of standard output"_s}}},
        {u"check"_s,
         QString(),
         u"reports what the next start of Cardomine would find and do; exit status 0 when\n"
         "it would change nothing, 1 otherwise"_s,
         u"Only reads, so it may run while Cardomine runs."_s,
         {}},
        {u"adopt"_s,
         u"[--dry-run] [FOLDER]"_s,
         u"brings an old card file in: FOLDER is a copy of an old data folder\n"
         "(Cardomine.Dat, Index.tbl, Contact Notes/, in any letter case); with no FOLDER,\n"
         "the card file in the data folder whose seal a copy broke"_s,
         u"The card file in place is kept in Recovered/ first. Changes the data: run it\n"
         "with Cardomine closed (it refuses while Cardomine runs). Exit status 1 when the\n"
         "card file was refused or a file operation failed."_s,
         {{u"--dry-run"_s, u"check and report what would be done, change nothing"_s}}},
        {u"import"_s,
         u"[--format vcard|csv] [--dry-run] FILE..."_s,
         u"adds the contacts of vCard or CSV files as new records, leaving out those the\n"
         "card file holds already; never while Cardomine runs"_s,
         u"The format is taken from the content unless given. Where there is no card file\n"
         "yet, it is first made as Cardomine's first run makes it. Exit status 1 when a\n"
         "file could not be read or did not parse (nothing from it is added)."_s,
         {{u"--format vcard|csv"_s, u"read every FILE in this format"_s},
          {u"--dry-run"_s, u"report what would be added, cut and skipped; change nothing"_s}}},
        {u"sync"_s,
         u"--vdir FOLDER"_s,
         u"one pass keeping a folder of vCards (as vdirsyncer syncs it with a CardDAV\n"
         "address book) in step with the card file, both ways; never while Cardomine runs"_s,
         QString(),
         {{u"--vdir FOLDER"_s, u"the folder of vCard files; required"_s}}},
        {u"find"_s,
         u"[--format text|json] TEXT..."_s,
         u"lists the contacts whose boxes or notes hold every word of TEXT, in any letter\n"
         "case and with or without accents: number, name, company, first phone, e-mail,\n"
         "one contact a line, separated by tabs; exit status 1 when none"_s,
         u"Only reads (no lock, no file written), so it may run while Cardomine runs."_s,
         {{u"--format text|json"_s, u"lines for people (the default) or JSON for scripts"_s}}},
        {u"show"_s,
         u"[--format text|json] N"_s,
         u"shows contact N whole: every box with its caption as the window shows it, then\n"
         "the notes; exit status 1 when the card file has no contact N"_s,
         u"Only reads, so it may run while Cardomine runs."_s,
         {{u"--format text|json"_s, u"lines for people (the default) or JSON for scripts"_s}}},
        {u"query"_s,
         u"TEXT"_s,
         u"answers a mail program's address query: a first line of information, then\n"
         "\"address<TAB>name<TAB>company\" for each whole e-mail address of each contact\n"
         "whose boxes or notes hold every word of TEXT; exit status 1 when none"_s,
         u"The format of abook --mutt-query and khard email --parsable, for mutt's and\n"
         "neomutt's query_command and aerc's address-book-cmd. Only reads."_s,
         {}},
    };
    return helps;
}

const CommandHelp *commandHelp(QStringView name)
{
    for (const CommandHelp &help : commandHelps()) {
        if (help.name == name)
            return &help;
    }
    return nullptr;
}

namespace {

QString indented(const QString &text, const QString &indent)
{
    QStringList lines = text.split(u'\n');
    for (QString &line : lines)
        line.prepend(indent);
    return lines.join(u'\n');
}

} // namespace

QString commandOverview()
{
    QString text = u"Commands (cardomine-tool COMMAND --help tells more):\n"_s;
    for (const CommandHelp &help : commandHelps()) {
        text += u"  "_s + help.name;
        if (!help.usage.isEmpty())
            text += u' ' + help.usage;
        text += u'\n' + indented(help.summary, u"      "_s) + u'\n';
    }
    return text;
}

QString commandHelpText(const CommandHelp &help)
{
    QString text = u"Usage: cardomine-tool "_s + help.name;
    if (!help.usage.isEmpty())
        text += u' ' + help.usage;
    text += u"\n\n"_s + help.summary.at(0).toUpper() + help.summary.mid(1) + u".\n"_s;
    if (!help.details.isEmpty())
        text += u'\n' + help.details + u'\n';
    if (!help.options.isEmpty()) {
        text += u"\nOptions:\n"_s;
        for (const CommandOption &option : help.options)
            text += u"  "_s + option.flags.leftJustified(22) + u' ' + option.description + u'\n';
    }
    text += u"\nThe data folder is \"Program Files/Pelvarin\" under $CARDOMINE_DRIVE_C, or under\n"
            "$XDG_DATA_HOME/cardomine/drive_c when that is not set.\n"_s;
    return text;
}

} // namespace cardomine::tool
