// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/recordboxes.h"

#include <array>

namespace cardomine::testing {

// The eleven field boxes and the notes box without a window, for the store's tests.
class MemoryBoxes : public RecordBoxes
{
public:
    QString boxText(FieldBox box) const override { return m_text[index(box)]; }
    void setBoxText(FieldBox box, const QString &text) override { m_text[index(box)] = text; }
    bool isBoxLocked(FieldBox box) const override { return m_locked[index(box)]; }
    void setBoxLocked(FieldBox box, bool locked) override { m_locked[index(box)] = locked; }
    QString notesText() const override { return m_notes; }
    void setNotesText(const QString &text) override { m_notes = text; }
    bool notesCut() const override { return m_notesCut; }
    void setNotesCut(bool cut) override { m_notesCut = cut; }

private:
    static int index(FieldBox box) { return static_cast<int>(box); }
    std::array<QString, FieldBoxCount> m_text;
    std::array<bool, FieldBoxCount> m_locked{};
    QString m_notes;
    bool m_notesCut = false;
};

} // namespace cardomine::testing
