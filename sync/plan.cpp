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
    // Without the last pass's state nobody can tell which side changed a value: the pass
    // keeps both, the vCard only added to, so nothing is lost or narrowed.
    if (facts.known && facts.recordChanged && facts.baseKnown)
        return Action::Merge;
    if (!facts.known || facts.recordChanged)
        return Action::Conflict;
    return Action::TakeIn;
}

} // namespace cardomine::sync
