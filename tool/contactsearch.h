// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/contactrecord.h"

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <string>
#include <vector>

// Finding contacts by what they hold, for find and query: every word of the search
// must be somewhere in the contact's boxes or notes, in any letter case and with or
// without accents.
namespace cardomine::tool {

// The text as it is compared: letters in one case, accents and other marks dropped
// ("Zoë" and "ZOE" both give "zoe"), compatibility forms plain ("ﬁ" gives "fi").
QString searchFolded(QStringView text);

class ContactMatcher
{
public:
    // The words of every text, split at white space.
    explicit ContactMatcher(const QStringList &texts);

    // False when the texts held no word: such a search would match every contact.
    bool hasWords() const { return !m_words.isEmpty(); }

    bool matches(const ContactRecord &record, const QString &notes) const;

    // The same judgement made on the bytes as stored, without decoding them: a
    // random-form record (cut short: as if padded with spaces), then its notes file.
    // missing receives the indexes of the words no box holds; notesHold tells whether
    // a notes file's bytes hold all of those.
    void wordsNotInBoxes(QByteArrayView record, std::vector<int> &missing) const;
    bool notesHold(QByteArrayView notesBytes, const std::vector<int> &words) const;

private:
    bool holdsAll(const std::u16string &folded, const std::vector<int> &words) const;

    QStringList m_words;             // folded
    mutable std::u16string m_folded; // reused for each text searched
};

// The contact's name as one line: first and last name.
QString contactName(const ContactRecord &record);

// The first phone of the contact: home, else work, else pager or mobile.
QString firstPhone(const ContactRecord &record);

// Every whole e-mail address of the contact, the box's first: the fax or e-mail box
// when it holds one whole address, and the addresses kept in the notes under
// "Imported values that do not fit a box:". A box holding an address cut to its width
// gives way to the whole address in the notes; no address is given twice.
QStringList wholeEmailAddresses(const ContactRecord &record, const QString &notes);

// A value as one line for tab-separated output: no control characters, tabs and line
// ends as spaces, no padding.
QString oneLineValue(const QString &text);

} // namespace cardomine::tool
