// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/scriptedmessages.h"
#include "tests/support/tempdrive.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Real-world situations a user's card file meets (copies, touches, odd file systems,
// full disks, mouse clicks), each set up for real and played through the program.
// After every situation the catalogue checks that each contact saved before it is
// still reachable, byte for byte: in the card file, or set aside in Recovered/.
namespace cardomine::testing {

class Situation
{
public:
    Situation();
    ~Situation();
    Situation(const Situation &) = delete;
    Situation &operator=(const Situation &) = delete;

    TempDrive drive;
    platform::ScriptedMessageService messages;

    // Remembers contact `id` as it is stored now (its record in the data file and its
    // notes file, if any), to be found again after the situation.
    void keep(int id);
    // Remembers contact `id` with the given record bytes and notes bytes.
    void keep(int id, const QByteArray &record, const std::optional<QByteArray> &notes);

    // Every kept contact that cannot be found any more; empty when none is lost.
    QStringList lostContacts() const;

    // Set when the situation cannot be set up on this machine (a file system that
    // cannot be mounted, say); the catalogue then skips the row with this reason.
    QString skipReason;

private:
    struct Kept
    {
        int id;
        QByteArray record;
        std::optional<QByteArray> notes;
    };
    QList<Kept> m_kept;
};

struct RealWorldCase
{
    const char *name;
    std::function<void(Situation &)> play; // sets up, acts, and QVERIFYs what it sees
};

// Each group of situations lives in a source of its own.
QList<RealWorldCase> storeSituations();    // saves and the start-up repair
QList<RealWorldCase> platformSituations(); // locks, names, links and special files
QList<RealWorldCase> sealSituations();     // copies, touches, file systems
QList<RealWorldCase> windowSituations();   // real mouse and keyboard input

} // namespace cardomine::testing
