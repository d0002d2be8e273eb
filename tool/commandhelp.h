// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// What `cardomine-tool --help` and `cardomine-tool COMMAND --help` print: one entry per
// command, so the overview and each command's own page never disagree.
namespace cardomine::tool {

struct CommandOption
{
    QString flags;       // as typed: "--format vcard|csv"
    QString description; // one line
};

struct CommandHelp
{
    QString name;
    QString usage;   // the arguments after the command's name
    QString summary; // the overview's text, a few lines
    QString details; // more for the command's own page; may be empty
    QList<CommandOption> options;
};

// Every command, in the order the overview lists them.
const QList<CommandHelp> &commandHelps();

// Null when there is no such command.
const CommandHelp *commandHelp(QStringView name);

// The overview of every command, for `cardomine-tool --help`.
QString commandOverview();

// One command's page, for `cardomine-tool COMMAND --help`.
QString commandHelpText(const CommandHelp &help);

} // namespace cardomine::tool
