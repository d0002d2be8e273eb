// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "datastore/recordboxes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace cardomine {

// A text field of fixed width: storing a text left-aligns it, padding with spaces or
// cutting to the width; reading yields the full width, trailing spaces included.
template <int Width> class FixedText
{
public:
    static constexpr int width = Width;

    FixedText()
        : m_text(blank())
    {}
    FixedText &operator=(const QString &text)
    {
        assign(text);
        return *this;
    }
    void assign(const QString &text)
    {
        m_text = text.left(Width);
        if (m_text.size() < Width)
            m_text.append(QString(Width - m_text.size(), QLatin1Char(' ')));
    }
    const QString &text() const { return m_text; }
    bool operator==(const FixedText &) const = default;

    // The field of spaces only. Every empty field shares this one string, so a record
    // read or made costs no allocation for the fields nothing was written to.
    static const QString &blank()
    {
        static const QString spaces(Width, QLatin1Char(' '));
        return spaces;
    }

private:
    QString m_text;
};

// One contact: thirteen fixed-length text fields, 249 characters in all, in the
// order they have on disk.
struct ContactRecord
{
    static constexpr int Length = 249;
    static constexpr int SequentialLineCount = 12;
    // The highest contact number: ContactID is read as a 16-bit signed number.
    static constexpr int MaxNumber = 32767;

    FixedText<10> FirstName;
    FixedText<20> LastName;
    FixedText<40> Company;
    FixedText<50> Address;
    FixedText<30> City;
    FixedText<2> State;
    FixedText<5> Zip;
    FixedText<6> ContactID;
    FixedText<12> HomePhone;
    FixedText<12> WorkPhone;
    FixedText<12> PagerMobile;
    FixedText<30> FaxOrEmail;
    FixedText<20> DataType;

    bool operator==(const ContactRecord &) const = default;

    // The field shown in one of the eleven field boxes.
    QString fieldText(FieldBox box) const;
    void setField(FieldBox box, const QString &text);

    // ContactID read as a 16-bit signed number: the trimmed digits. Empty when the
    // field does not hold a number in the range 0 to 32767.
    std::optional<int> contactNumber() const;
    // The same rule for any text: spaces trimmed, then plain decimal digits whose
    // value is at most MaxNumber.
    static std::optional<int> parseNumber(const QString &digits);

    // Random form: the 249 bytes of the record in Windows-1252.
    QByteArray toRandomBytes() const;
    // Takes the 249 bytes of a random-form record (shorter input is space-padded).
    void setFromRandomBytes(QByteArrayView bytes);
    // contactNumber() of the random-form record at byte offset `at` of bytes, read
    // without decoding the other fields (a record cut short is space-padded).
    static std::optional<int> numberInRandomBytes(QByteArrayView bytes, qsizetype at);

    // Sequential form: twelve lines, each a field at full width, in the order
    // FirstName, LastName, Company, Address, City, State, ContactID, HomePhone,
    // WorkPhone, PagerMobile, FaxOrEmail, Zip. DataType is not stored.
    QStringList toSequentialLines() const;
    // Takes the first twelve lines (each stored with the padding rule); DataType is
    // left as it was. Fewer than twelve lines is a DataError.
    void setFromSequentialLines(const QStringList &lines);
};

// A field's text without the spaces that pad it to its width.
QString withoutPadding(const QString &text);

// The width of one of the record's fields: widthOf(&ContactRecord::City) is 30.
template <int Width> constexpr int widthOf(FixedText<Width> ContactRecord::*)
{
    return Width;
}

// The one record the program holds in memory.
extern ContactRecord CurrentRecord;

// The sample contact of a new data file, "Tobin Marrack" with ContactID 1.
ContactRecord sampleContact();

} // namespace cardomine
