// SPDX-License-Identifier: GPL-3.0-or-later
// cardomine-tool: exports the card file to vCard or CSV and checks the data folder,
// reading only, beside a running program (the one file export may write there is the
// card file's identifier, Cardomine.id, which a vCard export creates when it is
// missing); adopt brings an old card file in, import adds vCard and CSV files to it and
// sync keeps a folder of vCards in step with it, all holding the data folder's lock so
// that they never run beside the program.

#include "datastore/cardfilereader.h"
#include "datastore/paths.h"
#include "interchange/cardfileid.h"
#include "interchange/exportformats.h"
#include "platform/drive.h"
#include "platform/files.h"
#include "platform/filesizesignal.h"
#include "platform/largeheap.h"
#include "tool/adopt.h"
#include "tool/check.h"
#include "tool/command.h"
#include "tool/commandhelp.h"
#include "tool/contactsearch.h"
#include "tool/folderlock.h"
#include "tool/import.h"
#include "tool/lookup.h"
#include "tool/sync.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

using namespace cardomine;
namespace files = cardomine::platform::files;

namespace {

using tool::CommandResult;

QString dataFolderText()
{
    return platform::nativePath(paths::DataFolder);
}

CommandResult noDataFolder()
{
    return CommandResult::failure(
        QStringLiteral("there is no data folder at %1").arg(dataFolderText()));
}

CommandResult runExport(const QString &format, const QString &output)
{
    if (!files::folderExists(paths::DataFolder))
        return noDataFolder();
    const cardfile::CardFile card = cardfile::read({.notesFileFacts = false});
    CommandResult result;
    result.messages = card.warnings;
    const QByteArray bytes = format == QLatin1String("vcard")
                                 ? interchange::toVCard(card.contacts, interchange::cardFileId(),
                                                        interchange::CardUid::Foreign)
                                 : interchange::toCsv(card.contacts);
    if (output.isEmpty() || output == QLatin1String("-"))
        result.out = bytes;
    else
        files::replaceNativeFile(output, bytes);
    return result;
}

CommandResult runCheck()
{
    const tool::CheckReport report = tool::checkDataFolder();
    CommandResult result;
    QByteArray &text = result.out;
    text = QStringLiteral("Data folder %1\n").arg(dataFolderText()).toUtf8();
    for (const QString &finding : report.findings)
        text += finding.toUtf8() + '\n';
    if (report.startActions.isEmpty()) {
        text += "The next start would change nothing.\n";
    } else {
        text += "The next start would:\n";
        for (const QString &action : report.startActions)
            text += "  " + action.toUtf8() + '\n';
    }
    result.exitStatus = report.startWouldChange ? tool::Failure : tool::Success;
    return result;
}

CommandResult runAdopt(const QString &folder, bool dryRun)
{
    const tool::AdoptResult adopted = tool::adopt({folder, dryRun});
    if (!adopted.ok())
        return CommandResult::failure(adopted.fault + QStringLiteral(". Nothing was changed."));
    CommandResult result;
    QByteArray &text = result.out;
    text =
        (folder.isEmpty() ? QStringLiteral("Adopting the card file in %1\n").arg(dataFolderText())
                          : QStringLiteral("Adopting %1 into %2\n").arg(folder, dataFolderText()))
            .toUtf8();
    for (const QString &line : adopted.found)
        text += "  " + line.toUtf8() + '\n';
    text += dryRun ? "Dry run, nothing changed:\n" : "Done:\n";
    for (const QString &line : adopted.done)
        text += "  " + line.toUtf8() + '\n';
    if (adopted.changed)
        text += "The next start of Cardomine shows the adopted contacts.\n";
    return result;
}

CommandResult runImport(const QStringList &fileArguments, const QString &format, bool dryRun)
{
    tool::ImportRequest request;
    request.files = fileArguments;
    request.dryRun = dryRun;
    if (format == QLatin1String("vcard"))
        request.format = tool::ImportFormat::VCard;
    else if (format == QLatin1String("csv"))
        request.format = tool::ImportFormat::Csv;
    const tool::ImportOutcome outcome = tool::importFiles(request);
    return {outcome.errors.isEmpty() ? tool::Success : tool::Failure, outcome.report,
            outcome.errors};
}

CommandResult runSync(const QString &folder)
{
    if (!files::folderExists(paths::DataFolder))
        return noDataFolder();
    tool::SyncReport report;
    try {
        report = tool::syncVdir(folder);
    } catch (const tool::FolderBusy &busy) {
        // Cardomine is open: not a failure of the sync, which the next run does.
        return {tool::Busy, {}, {busy.message()}};
    }
    CommandResult result;
    for (const QString &line : report.lines)
        result.out += line.toUtf8() + '\n';
    return result;
}

// Standard output first, then each message on standard error after the program's name.
int finish(const CommandResult &result)
{
    std::fwrite(result.out.constData(), 1, size_t(result.out.size()), stdout);
    std::fflush(stdout);
    for (const QString &message : result.messages) {
        const QByteArray bytes = QStringLiteral("cardomine-tool: %1\n").arg(message).toLocal8Bit();
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    }
    return result.exitStatus;
}

// find, show and query: read-only look-ups. Exit status 1 when nothing matched.
CommandResult runLookup(const QString &command, const QStringList &words, const QString &format)
{
    if (!format.isEmpty() && format != QLatin1String("text") && format != QLatin1String("json"))
        return CommandResult::usage(
            QStringLiteral("%1 takes --format text or --format json").arg(command));
    const tool::LookupFormat lookupFormat =
        format == QLatin1String("json") ? tool::LookupFormat::Json : tool::LookupFormat::Text;
    if (words.isEmpty() || !tool::ContactMatcher(words).hasWords())
        return CommandResult::usage(
            command == QLatin1String("show")
                ? QStringLiteral("show needs the number of a contact")
                : QStringLiteral("%1 needs the text to look for").arg(command));
    tool::LookupOutput output;
    if (command == QLatin1String("find")) {
        output = tool::findContacts(words, lookupFormat);
    } else if (command == QLatin1String("query")) {
        if (words.size() > 1)
            return CommandResult::usage(QStringLiteral("query takes one TEXT (quote it)"));
        output = tool::queryAddresses(words.first());
    } else {
        const std::optional<int> number = ContactRecord::parseNumber(words.first());
        if (words.size() > 1 || !number || *number < 1)
            return CommandResult::usage(QStringLiteral("show takes one contact number"));
        output = tool::showContact(*number, lookupFormat);
    }
    CommandResult result;
    result.out = output.out;
    result.exitStatus = output.found ? tool::Success : tool::Failure;
    if (!output.found && command == QLatin1String("show"))
        result.messages.append(
            QStringLiteral("the card file has no contact %1").arg(words.first().trimmed()));
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    platform::ignoreFileSizeSignal();
    // Export, import and sync hold every contact of a card file of up to 32,767 at once.
    platform::prepareLargeHeap(std::size_t(256) << 20);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cardomine-tool"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CARDOMINE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Works on Cardomine's card file.\n\n") + tool::commandOverview() +
        QStringLiteral("\nexport, check, find, show and query only read, and may run while "
                       "Cardomine runs.\n\n"
                       "The data folder is \"Program Files/Pelvarin\" under $CARDOMINE_DRIVE_C, "
                       "or under\n$XDG_DATA_HOME/cardomine/drive_c when that is not set."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption formatOption(
        QStringLiteral("format"),
        QStringLiteral("export, import: vcard or csv; find, show: text or json."),
        QStringLiteral("format"));
    const QCommandLineOption outputOption(
        QStringLiteral("output"), QStringLiteral("Write the export to <file> instead of stdout."),
        QStringLiteral("file"));
    const QCommandLineOption dryRunOption(
        QStringLiteral("dry-run"),
        QStringLiteral("adopt, import: report what would be done, change nothing."));
    parser.addOption(formatOption);
    parser.addOption(outputOption);
    const QCommandLineOption vdirOption(QStringLiteral("vdir"),
                                        QStringLiteral("Sync: the folder of vCard files."),
                                        QStringLiteral("folder"));
    parser.addOption(dryRunOption);
    parser.addOption(vdirOption);
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("export, check, adopt, import, sync, find, show or query"));

    if (!parser.parse(QCoreApplication::arguments()))
        return finish(CommandResult::usage(parser.errorText()));
    if (parser.isSet(helpOption)) {
        // "cardomine-tool COMMAND --help" shows that command's own page.
        const QString name = parser.positionalArguments().value(0);
        if (name.isEmpty())
            parser.showHelp(tool::Success);
        const tool::CommandHelp *help = tool::commandHelp(name);
        if (!help)
            return finish(CommandResult::usage(QStringLiteral("unknown command \"%1\"").arg(name)));
        CommandResult page;
        page.out = tool::commandHelpText(*help).toUtf8();
        return finish(page);
    }
    if (parser.isSet(versionOption))
        parser.showVersion();

    const QStringList arguments = parser.positionalArguments();
    if (arguments.isEmpty())
        return finish(CommandResult::usage(QStringLiteral(
            "give one command: export, check, adopt, import, sync, find, show or query")));
    const QString command = arguments.first();
    if (command != QLatin1String("sync") && parser.isSet(vdirOption))
        return finish(CommandResult::usage(QStringLiteral("only sync takes --vdir")));
    if (command == QLatin1String("import")) {
        const QString format = parser.value(formatOption);
        if (parser.isSet(formatOption) && format != QLatin1String("vcard") &&
            format != QLatin1String("csv"))
            return finish(CommandResult::usage(
                QStringLiteral("import takes --format vcard or --format csv")));
        if (parser.isSet(outputOption))
            return finish(CommandResult::usage(QStringLiteral("import takes no --output")));
        if (arguments.size() < 2)
            return finish(CommandResult::usage(QStringLiteral("import needs the files to import")));
        return finish(tool::runCommand(
            [&] { return runImport(arguments.mid(1), format, parser.isSet(dryRunOption)); }));
    }
    if (command == QLatin1String("find") || command == QLatin1String("show") ||
        command == QLatin1String("query")) {
        if (parser.isSet(outputOption) || parser.isSet(dryRunOption) ||
            (command == QLatin1String("query") && parser.isSet(formatOption)))
            return finish(
                CommandResult::usage(QStringLiteral("%1 takes no such option").arg(command)));
        return finish(tool::runCommand(
            [&] { return runLookup(command, arguments.mid(1), parser.value(formatOption)); }));
    }
    if (arguments.size() > (command == QLatin1String("adopt") ? 2 : 1))
        return finish(
            CommandResult::usage(QStringLiteral("too many arguments for %1").arg(command)));
    if (parser.isSet(dryRunOption) && command != QLatin1String("adopt"))
        return finish(CommandResult::usage(QStringLiteral("--dry-run is for adopt and import")));

    if (command == QLatin1String("export")) {
        const QString format = parser.value(formatOption);
        if (format != QLatin1String("vcard") && format != QLatin1String("csv"))
            return finish(CommandResult::usage(
                QStringLiteral("export needs --format vcard or --format csv")));
        return finish(
            tool::runCommand([&] { return runExport(format, parser.value(outputOption)); }));
    }
    if (command == QLatin1String("check")) {
        if (parser.isSet(formatOption) || parser.isSet(outputOption))
            return finish(CommandResult::usage(QStringLiteral("check takes no options")));
        return finish(tool::runCommand(runCheck));
    }
    if (command == QLatin1String("adopt")) {
        if (parser.isSet(formatOption) || parser.isSet(outputOption))
            return finish(CommandResult::usage(QStringLiteral("adopt takes only --dry-run")));
        return finish(tool::runCommand(
            [&] { return runAdopt(arguments.value(1), parser.isSet(dryRunOption)); }));
    }
    if (command == QLatin1String("sync")) {
        if (parser.isSet(formatOption) || parser.isSet(outputOption))
            return finish(CommandResult::usage(QStringLiteral("sync takes only --vdir")));
        if (parser.value(vdirOption).isEmpty())
            return finish(CommandResult::usage(QStringLiteral("sync needs --vdir <folder>")));
        return finish(tool::runCommand([&] { return runSync(parser.value(vdirOption)); }));
    }
    return finish(CommandResult::usage(QStringLiteral("unknown command \"%1\"").arg(command)));
}
