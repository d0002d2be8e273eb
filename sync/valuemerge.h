// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sync/cardmerge.h"

#include <QByteArray>
#include <QByteArrayView>

#include <array>
#include <cstdint>
#include <optional>

// A contact changed on both sides since the last pass is merged value by value: each
// side's changes are applied, and only a value changed on both sides, to different
// text, is a conflict. The last pass's values are remembered as digests, one per value.
namespace cardomine::sync {

// The values compared: the boxes, then the own notes without their conflict blocks.
inline constexpr int ValueCount = FieldBoxCount + 1;
inline constexpr int NotesValue = FieldBoxCount;

struct BaseValues
{
    std::array<std::uint32_t, ValueCount> digest{};
    bool operator==(const BaseValues &) const = default;
};

// The digests of the values both sides hold after a pass.
BaseValues baseOf(const Boxes &boxes);

// As the state file keeps them: eight lower-case hex digits a value, without separators,
// BaseTextSize characters.
inline constexpr qsizetype BaseTextSize = ValueCount * 8;
QByteArray baseText(const BaseValues &base);
std::optional<BaseValues> parseBase(QByteArrayView text);

enum class Side
{
    Record,
    Phone
};

struct ValueMerge
{
    std::array<Side, ValueCount> take{}; // whose value each value takes
    std::array<bool, ValueCount> conflict{};
    bool anyConflict() const;
    bool anyFromPhone() const;
};

// Per value: changed on the phone's side only -> the phone's; changed on both to
// different text -> the record's, marked as a conflict; else the record's.
ValueMerge mergeValues(const BaseValues &base, const Boxes &record, const Boxes &phone);
// The same with the phone's whole values (wholeBoxesOf) now and at the last pass: a
// value the phone changed beyond what its box shows changed on the phone's side too.
ValueMerge mergeValues(const BaseValues &base, const Boxes &record, const Boxes &phone,
                       const BaseValues &wholeBase, const BaseValues &wholeNow);
// The same for a vCard whose values never matched the record's one for one (a second
// vCard of the contact, found by the duplicate rule): each side's change is judged
// against what that side held at the last pass.
ValueMerge mergeValues(const BaseValues &recordBase, const BaseValues &phoneBase,
                       const Boxes &record, const Boxes &phone);

// What to write into a vCard that showed `seen`: the values of `now` that changed since
// `base` (the record's values when that vCard was last in step), and `seen`'s others.
Boxes changedSince(const BaseValues &base, const Boxes &seen, const Boxes &now);

} // namespace cardomine::sync
