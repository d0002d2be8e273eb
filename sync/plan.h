// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the pass does with one contact, decided from how its record and its vCard stand
// against what the last pass left; the pass only carries the decision out.
namespace cardomine::sync {

enum class FileState
{
    None,       // no vCard file for the contact
    Unchanged,  // the file the last pass left, untouched since
    Changed,    // changed since the last pass, or not known to it
    Unreadable, // the file does not parse as one vCard
};

struct ContactFacts
{
    bool known = false;         // the last pass left this contact and its vCard
    bool recordChanged = false; // the record or its notes changed since the last pass
    FileState file = FileState::None;
    bool sameValues = false; // the vCard's values, as the card file holds them, are the record's
    bool baseKnown = false;  // the last pass's values are remembered one by one
};

enum class Action
{
    Nothing,    // in step
    Create,     // a contact with no vCard yet: write one
    Restore,    // its vCard was deleted from the folder: nothing is deleted, write it again
    WriteOut,   // the record changed: merge the changed boxes into the vCard
    TakeIn,     // the vCard changed: its values go into the record
    Merge,      // both changed: each side's changed values go to the other; a value
                // changed on both stays the record's, the vCard's goes into the notes
    Conflict,   // both changed, the last pass's values unknown: the record's values stay,
                // the vCard's differing values go into the notes, the vCard gets the
                // record's. With no last pass to tell, the vCard's values go into the
                // record, the record's into the notes, and the vCard only gets the boxes
                // it lacks
    LeaveAlone, // the vCard cannot be read: reported, the record and the file left as they are
};

Action planContact(const ContactFacts &facts);

} // namespace cardomine::sync
