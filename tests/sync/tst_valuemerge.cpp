// SPDX-License-Identifier: GPL-3.0-or-later
// Two sides' changes to one contact merged value by value against the last pass's
// values, and the conflict blocks in the notes that are never read back as values.
#include "sync/conflictnotes.h"
#include "sync/valuemerge.h"

#include <QTest>

using namespace cardomine;
using namespace cardomine::sync;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(Side)

namespace {

const QString Block = u"--- Sync conflict 2026-01-02 10:00 UTC: the address book's: ---\r\n"
                      "Home phone: 555 1"_s;

Boxes lastPass()
{
    Boxes b;
    b.box[size_t(FieldBox::FirstName)] = u"Ada"_s;
    b.box[size_t(FieldBox::City)] = u"London"_s;
    b.box[size_t(FieldBox::HomePhone)] = u"020 555 0101"_s;
    b.ownNotes = u"Met at the conference"_s;
    return b;
}

} // namespace

class TestValueMerge : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // One value (the city box, or the notes at -1) as the record and the phone hold it,
    // the other values as the last pass left them.
    void merge_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("phone");
        QTest::addColumn<Side>("take");
        QTest::addColumn<bool>("conflict");
        const int city = int(FieldBox::City);
        QTest::newRow("neither") << city << u"London"_s << u"London"_s << Side::Record << false;
        QTest::newRow("record") << city << u"Paris"_s << u"London"_s << Side::Record << false;
        QTest::newRow("phone") << city << u"London"_s << u"Łódź"_s << Side::Phone << false;
        QTest::newRow("both alike") << city << u"Paris"_s << u"Paris"_s << Side::Record << false;
        QTest::newRow("both differently")
            << city << u"Paris"_s << u"Łódź"_s << Side::Record << true;
        QTest::newRow("phone emptied") << city << u"London"_s << QString() << Side::Phone << false;
        // Conflict blocks are note text, not the notes' value.
        QTest::newRow("notes: blocks sent out")
            << -1 << u"Met at the conference\r\n"_s + Block
            << u"Met at the conference\r\n"_s + Block << Side::Record << false;
        QTest::newRow("notes: phone edits beside a block")
            << -1 << u"Met at the conference\r\n"_s + Block << u"Met in Paris\r\n"_s + Block
            << Side::Phone << false;
        QTest::newRow("notes: both edit")
            << -1 << u"Met in Rome\r\n"_s + Block << u"Met in Paris"_s << Side::Record << true;
    }
    void merge()
    {
        QFETCH(int, value);
        QFETCH(QString, record);
        QFETCH(QString, phone);
        QFETCH(Side, take);
        QFETCH(bool, conflict);
        const Boxes base = lastPass();
        Boxes ours = base;
        Boxes theirs = base;
        const int i = value < 0 ? NotesValue : value;
        if (value < 0) {
            ours.ownNotes = record;
            theirs.ownNotes = phone;
        } else {
            ours.box[size_t(value)] = record;
            theirs.box[size_t(value)] = phone;
        }
        // A change of another value on each side merges along without a conflict.
        ours.box[size_t(FieldBox::FirstName)] = u"Augusta"_s;
        theirs.box[size_t(FieldBox::HomePhone)] = u"+84 90 123 4"_s;
        const std::optional<BaseValues> kept = parseBase(baseText(baseOf(base)));
        QVERIFY(kept);
        const ValueMerge merge = mergeValues(*kept, ours, theirs);
        QCOMPARE(merge.take[size_t(i)], take);
        QCOMPARE(merge.conflict[size_t(i)], conflict);
        QCOMPARE(merge.take[size_t(FieldBox::FirstName)], Side::Record);
        QCOMPARE(merge.take[size_t(FieldBox::HomePhone)], Side::Phone);
        QCOMPARE(merge.anyConflict(), conflict);
    }

    // A second vCard whose values never matched the record's: each side judged against
    // what it held, and only the values the record changed go out to it.
    void secondCardAgainstItsOwnValues()
    {
        const Boxes record = lastPass();
        Boxes card = record;
        card.box[size_t(FieldBox::HomePhone)] = u"020 555 0199"_s; // always its own
        Boxes cardNow = card;
        cardNow.box[size_t(FieldBox::City)] = u"Paris"_s;
        const ValueMerge merge = mergeValues(baseOf(record), baseOf(card), record, cardNow);
        QCOMPARE(merge.take[size_t(FieldBox::City)], Side::Phone);
        QCOMPARE(merge.take[size_t(FieldBox::HomePhone)], Side::Record);
        QVERIFY(!merge.anyConflict());

        Boxes recordNow = record;
        recordNow.box[size_t(FieldBox::FirstName)] = u"Augusta"_s;
        const Boxes out = changedSince(baseOf(record), card, recordNow);
        QCOMPARE(out.box[size_t(FieldBox::FirstName)], u"Augusta"_s);
        QCOMPARE(out.box[size_t(FieldBox::HomePhone)], u"020 555 0199"_s);
    }

    // The phone's whole value behind a cut box ("Featherstonehaugh-Ch" in the box): a
    // change beyond the box's width is a change on the phone's side.
    void wholeValueBeyondTheBox_data()
    {
        QTest::addColumn<QString>("record");
        QTest::addColumn<QString>("phoneBox");
        QTest::addColumn<QString>("phoneWhole");
        QTest::addColumn<Side>("take");
        QTest::addColumn<bool>("conflict");
        const QString box = u"Featherstonehaugh-Ch"_s;
        QTest::newRow("neither") << box << box << u"Featherstonehaugh-Cholmondeley9"_s
                                 << Side::Record << false;
        QTest::newRow("phone beyond the box")
            << box << box << u"Featherstonehaugh-Cholmondeley12"_s << Side::Phone << false;
        QTest::newRow("both: record's box, phone beyond it")
            << u"Lovelace"_s << box << u"Featherstonehaugh-Cholmondeley12"_s << Side::Record
            << true;
        QTest::newRow("both to the same box")
            << u"Lovelace"_s << u"Lovelace"_s << u"Lovelace"_s << Side::Record << false;
    }
    void wholeValueBeyondTheBox()
    {
        QFETCH(QString, record);
        QFETCH(QString, phoneBox);
        QFETCH(QString, phoneWhole);
        QFETCH(Side, take);
        QFETCH(bool, conflict);
        const size_t last = size_t(FieldBox::LastName);
        Boxes base = lastPass();
        base.box[last] = u"Featherstonehaugh-Ch"_s;
        Boxes wholeBase = base;
        wholeBase.box[last] = u"Featherstonehaugh-Cholmondeley9"_s;
        Boxes ours = base;
        ours.box[last] = record;
        Boxes theirs = base;
        theirs.box[last] = phoneBox;
        Boxes theirsWhole = base;
        theirsWhole.box[last] = phoneWhole;
        const ValueMerge merge =
            mergeValues(baseOf(base), ours, theirs, baseOf(wholeBase), baseOf(theirsWhole));
        QCOMPARE(merge.take[last], take);
        QCOMPARE(merge.conflict[last], conflict);
        QCOMPARE(merge.anyConflict(), conflict);
    }

    void badBaseText()
    {
        const QByteArray text = baseText(baseOf(lastPass()));
        QVERIFY(!parseBase(text.chopped(1)));
        QVERIFY(!parseBase(QByteArray(text).replace(0, 1, "x")));
    }

    // A conflict found again (a pass redone, the same value sent again) adds nothing.
    void conflictLinesNeverDouble()
    {
        const QString own = u"Met at the conference\r\n"_s + Block;
        QCOMPARE(notesValue(own), u"Met at the conference"_s);
        QCOMPARE(conflictBlocks(own), Block);
        QCOMPARE(newConflictLines(own, {u"Home phone: 555 1"_s, u"City: Łódź"_s}),
                 QStringList{u"City: Łódź"_s});
        QCOMPARE(newConflictLines(u"Home phone: 555 1"_s, {u"Home phone: 555 1"_s}),
                 QStringList{u"Home phone: 555 1"_s}); // the user's own text is no block
        QCOMPARE(newConflictLines(own, {u"Home phone: 555 12"_s}),
                 QStringList{u"Home phone: 555 12"_s});
    }
};

QTEST_GUILESS_MAIN(TestValueMerge)
#include "tst_valuemerge.moc"
