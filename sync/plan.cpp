// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/plan.h"

namespace cardomine::sync {

Action planContact(const ContactFacts &facts)
{
    switch (facts.file) {
    case FileState::Unreadable:
        return Action::LeaveAlone;
    case FileState::None:
        return facts.known ? Action::Restore : Action::Create;
    case FileState::Unchanged:
        return facts.recordChanged ? Action::WriteOut : Action::Nothing;
    case FileState::Changed:
        break;
    }
    if (facts.sameValues)
        return Action::Nothing;
    // Without the last pass's state nobody can tell which side changed a value: the
    // record's stays and the vCard's is kept in the notes, so nothing is lost.
    if (!facts.known || facts.recordChanged)
        return Action::Conflict;
    return Action::TakeIn;
}

} // namespace cardomine::sync
