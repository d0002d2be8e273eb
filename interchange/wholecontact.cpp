// SPDX-License-Identifier: GPL-3.0-or-later
#include "interchange/wholecontact.h"

#include "interchange/fieldtext.h"
#include "interchange/importcard.h"

namespace cardomine::interchange {

using importing::boxLabel;

namespace {

QString withoutTrailingSpaces(QString text)
{
    while (text.endsWith(u' '))
        text.chop(1);
    return text;
}

int widthOf(FieldBox box)
{
    static const std::array<int, FieldBoxCount> widths = [] {
        std::array<int, FieldBoxCount> all{};
        const ContactRecord blank;
        for (int i = 0; i < FieldBoxCount; ++i)
            all[size_t(i)] = int(blank.fieldText(FieldBox(i)).size());
        return all;
    }();
    return widths[size_t(box)];
}

} // namespace

WholeContact wholeContact(const ContactRecord &record, const QString &notes)
{
    WholeContact whole;
    NotesParts parts = splitNotes(withoutControls(notes));
    whole.own = parts.own;

    // Import writes the whole values of cut boxes first in the section, one per box.
    qsizetype leading = 0;
    const auto isBoxLabel = [](const QString &label) {
        for (int i = 0; i < FieldBoxCount; ++i)
            if (label == boxLabel(FieldBox(i)))
                return true;
        return false;
    };
    while (leading < parts.values.size() && isBoxLabel(parts.values.at(leading).label))
        ++leading;

    QSet<qsizetype> consumed;
    for (int i = 0; i < FieldBoxCount; ++i) {
        const FieldBox box = FieldBox(i);
        const QString text = fieldValue(record.fieldText(box));
        whole.boxes[size_t(i)] = text;
        const int width = widthOf(box);
        for (qsizetype j = 0; j < parts.values.size(); ++j) {
            const ImportedValue &v = parts.values.at(j);
            if (consumed.contains(j) || v.label != boxLabel(box))
                continue;
            const QString value =
                withoutTrailingSpaces(v.value.trimmed().isEmpty() ? QString() : v.value);
            // A box that still holds the beginning of the value goes out as the value.
            if (!text.isEmpty() && value.size() > width &&
                withoutTrailingSpaces(value.left(width)) == text) {
                whole.boxes[size_t(i)] = value;
                whole.restored[size_t(i)] = true;
                consumed.insert(j);
                break;
            }
        }
    }
    for (qsizetype j = 0; j < parts.values.size(); ++j) {
        if (consumed.contains(j))
            continue;
        const ImportedValue &v = parts.values.at(j);
        // The whole value of a box changed since: "Company" and "Address" also name a
        // second company or address further down, which are values of their own.
        const bool shared =
            v.label == boxLabel(FieldBox::Company) || v.label == boxLabel(FieldBox::Address);
        const int width =
            widthOf(v.label == boxLabel(FieldBox::Company) ? FieldBox::Company : FieldBox::Address);
        // An address of several parts is one of its own: a box holds only the street.
        QStringList others = addressParts(v.value);
        others.removeAt(2);
        const bool ownAddress =
            v.label == boxLabel(FieldBox::Address) && !others.join(QString()).trimmed().isEmpty();
        const bool cutValue = isBoxLabel(v.label) && !ownAddress &&
                              (!shared || (j < leading && v.value.size() > width));
        if (cutValue)
            whole.stale.insert(whole.values.size());
        whole.values.append(v);
    }
    return whole;
}

} // namespace cardomine::interchange
