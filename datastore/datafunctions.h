// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/recordboxes.h"

#include <QString>

#include <optional>

// The four record routines. They work on CurrentRecord and IndexLines and reach the
// main window's boxes through the RecordBoxes registered with setBoxes().
// Failures are thrown (platform::FileError, DataError), never shown here.
namespace Data_Functions {

void setBoxes(cardomine::RecordBoxes *boxes);
cardomine::RecordBoxes *boxes();

// Writes CurrentRecord at recordNumber ("R") or at the end ("S"), runs the count
// update unless rewriteFlag is "NoRewrite" (random form only), and saves the notes
// box as the contact's notes file (unless the box shows them cut).
// A recordNumber outside 1 to 32767 or a ContactID that is not a number is a
// DataError before anything is written.
void SaveRecord(const QString &path, int recordNumber, const QString &fileType,
                const QString &rewriteFlag);
// The same with the record number as text (ContactID's digits, spaces allowed).
void SaveRecord(const QString &path, const QString &recordNumber, const QString &fileType,
                const QString &rewriteFlag);

// Reads record recordNumber into CurrentRecord ("R"; other types leave it) and puts
// the contact's notes into the notes box.
// A position past the end of the file reads as a record of spaces, whose notes are
// empty.
void LoadRecord(const QString &path, int recordNumber, const QString &fileType);
void LoadRecord(const QString &path, const QString &recordNumber, const QString &fileType);

// Puts the contact's notes into the notes box (none without a contact), cut when its
// notes file is too large for the box.
void ShowNotes(cardomine::RecordBoxes &boxes, std::optional<int> contactId);

// Copies the eleven boxes into CurrentRecord; with showFirst the boxes first get the
// record's full-width texts.
void CollectFields(bool showFirst);

// Sets each of the eleven boxes' lock to locked, then its text to text.
void SetAllFields(bool locked, const QString &text);

} // namespace Data_Functions
