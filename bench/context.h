// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "bench/pairs.h"
#include "bench/programs.h"
#include "bench/report.h"

#include <QString>
#include <QStringList>

// What every part of the benchmark works with.
namespace cardomine::bench {

struct Context
{
    Report &report;
    Programs programs;
    QString scratch;
    QString source;         // the drive root of the largest data folder, which nothing changes
    int count = 0;          // contacts in it
    int pairs = 0;          // rounds for commands of a second or more
    int firstSyncPairs = 0; // rounds for the first sync pass, the slowest command
};

// cardomine-tool with ARGUMENTS over the drive root ROOT.
Command toolCommand(const Context &c, const QString &root, const QStringList &arguments);

// export --format vcard --output FILE over the largest data folder.
Command exportCommand(const Context &c, const QString &file);

// Runs that export once (a file every peer and import reads); false, with the error
// printed, when it fails.
bool exportOnce(const Context &c, const QString &file);

// A table row for two series of one set of rounds: their medians (time and peak
// memory), the per-round ratio of ours to the floor, and the verdict cell.
QStringList pairRow(const QString &what, const QString &floor, const Rounds &rounds, int floorIndex,
                    int oursIndex, const QString &target, const QString &verdict);

// The rows' column headers; `floor` names the first program of each pair.
QStringList pairHeaders(const QString &floor = QStringLiteral("floor"));

// A vCard folder the sync has filled from the largest data folder (made once).
QString syncedVdir(const Context &c, QString &problem);

} // namespace cardomine::bench
