// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <array>

namespace cardomine {

// The eleven field boxes that Data_Functions moves texts between, in the order the
// record routines usually visit them.
enum class FieldBox
{
    FirstName,   // fname
    LastName,    // lname
    Company,     // company
    Address,     // address
    City,        // city
    State,       // statetext
    Zip,         // zip
    HomePhone,   // homephone
    WorkPhone,   // workphone
    PagerMobile, // pagermobile
    FaxOrEmail,  // fax
};
inline constexpr int FieldBoxCount = 11;

// The boxes in the window's order, as listed above: how SetAllFields and the window's
// locking visit them.
inline constexpr std::array<FieldBox, FieldBoxCount> WindowOrder = {
    FieldBox::FirstName, FieldBox::LastName,    FieldBox::Company,    FieldBox::Address,
    FieldBox::City,      FieldBox::State,       FieldBox::Zip,        FieldBox::HomePhone,
    FieldBox::WorkPhone, FieldBox::PagerMobile, FieldBox::FaxOrEmail,
};

// The order in which CollectFields visits them: address before company.
inline constexpr std::array<FieldBox, FieldBoxCount> CollectOrder = {
    FieldBox::FirstName, FieldBox::LastName,    FieldBox::Address,    FieldBox::Company,
    FieldBox::City,      FieldBox::State,       FieldBox::Zip,        FieldBox::HomePhone,
    FieldBox::WorkPhone, FieldBox::PagerMobile, FieldBox::FaxOrEmail,
};

// The narrow view of the main window that the record routines need: the eleven
// field boxes and the notes box. The main window implements it; tests use a plain
// in-memory version.
class RecordBoxes
{
public:
    virtual ~RecordBoxes() = default;
    virtual QString boxText(FieldBox box) const = 0;
    virtual void setBoxText(FieldBox box, const QString &text) = 0;
    virtual bool isBoxLocked(FieldBox box) const = 0;
    virtual void setBoxLocked(FieldBox box, bool locked) = 0;
    virtual QString notesText() const = 0;
    virtual void setNotesText(const QString &text) = 0;
    // Notes too large for the box: it shows their beginning, locked, and a save leaves
    // the contact's notes file as it is.
    virtual bool notesCut() const = 0;
    virtual void setNotesCut(bool cut) = 0;
};

} // namespace cardomine
