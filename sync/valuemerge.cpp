// SPDX-License-Identifier: GPL-3.0-or-later
#include "sync/valuemerge.h"

#include "sync/conflictnotes.h"

#include <algorithm>

namespace cardomine::sync {

namespace {

// FNV-1a over the UTF-8 bytes: stable across Qt versions and machines, unlike qHash.
std::uint32_t valueDigest(const QString &value)
{
    std::uint32_t hash = 2166136261U;
    for (const char c : value.toUtf8()) {
        hash ^= std::uint8_t(c);
        hash *= 16777619U;
    }
    return hash;
}

QString valueAt(const Boxes &boxes, int i)
{
    return i == NotesValue ? notesValue(boxes.ownNotes) : boxes.box[size_t(i)];
}

} // namespace

BaseValues baseOf(const Boxes &boxes)
{
    BaseValues base;
    for (int i = 0; i < ValueCount; ++i)
        base.digest[size_t(i)] = valueDigest(valueAt(boxes, i));
    return base;
}

QByteArray baseText(const BaseValues &base)
{
    static constexpr char Hex[] = "0123456789abcdef";
    QByteArray out(BaseTextSize, Qt::Uninitialized);
    char *at = out.data();
    for (const std::uint32_t d : base.digest)
        for (int shift = 28; shift >= 0; shift -= 4)
            *at++ = Hex[(d >> shift) & 0xf];
    return out;
}

std::optional<BaseValues> parseBase(QByteArrayView text)
{
    const bool hex = std::all_of(text.cbegin(), text.cend(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
    if (text.size() != BaseTextSize || !hex)
        return std::nullopt;
    BaseValues base;
    for (int i = 0; i < ValueCount; ++i)
        base.digest[size_t(i)] = text.sliced(i * 8, 8).toUInt(nullptr, 16);
    return base;
}

bool ValueMerge::anyConflict() const
{
    return std::find(conflict.cbegin(), conflict.cend(), true) != conflict.cend();
}

bool ValueMerge::anyFromPhone() const
{
    return std::find(take.cbegin(), take.cend(), Side::Phone) != take.cend();
}

ValueMerge mergeValues(const BaseValues &base, const Boxes &record, const Boxes &phone)
{
    return mergeValues(base, base, record, phone);
}

ValueMerge mergeValues(const BaseValues &base, const Boxes &record, const Boxes &phone,
                       const BaseValues &wholeBase, const BaseValues &wholeNow)
{
    ValueMerge merge = mergeValues(base, record, phone);
    for (int i = 0; i < ValueCount; ++i) {
        const size_t at = size_t(i);
        // A change the box shows was judged above.
        if (wholeNow.digest[at] == wholeBase.digest[at] ||
            valueDigest(valueAt(phone, i)) != base.digest[at])
            continue;
        const bool recordChanged = valueDigest(valueAt(record, i)) != base.digest[at];
        merge.take[at] = recordChanged ? Side::Record : Side::Phone;
        merge.conflict[at] = recordChanged;
    }
    return merge;
}

ValueMerge mergeValues(const BaseValues &recordBase, const BaseValues &phoneBase,
                       const Boxes &record, const Boxes &phone)
{
    ValueMerge merge;
    for (int i = 0; i < ValueCount; ++i) {
        const QString ours = valueAt(record, i);
        const QString theirs = valueAt(phone, i);
        const bool recordChanged = valueDigest(ours) != recordBase.digest[size_t(i)];
        const bool phoneChanged = valueDigest(theirs) != phoneBase.digest[size_t(i)];
        merge.take[size_t(i)] = phoneChanged && !recordChanged ? Side::Phone : Side::Record;
        merge.conflict[size_t(i)] = phoneChanged && recordChanged && ours != theirs;
    }
    return merge;
}

Boxes changedSince(const BaseValues &base, const Boxes &seen, const Boxes &now)
{
    Boxes out = seen;
    for (int i = 0; i < FieldBoxCount; ++i)
        if (valueDigest(now.box[size_t(i)]) != base.digest[size_t(i)])
            out.box[size_t(i)] = now.box[size_t(i)];
    if (valueDigest(notesValue(now.ownNotes)) != base.digest[NotesValue])
        out.ownNotes = now.ownNotes;
    return out;
}

} // namespace cardomine::sync
