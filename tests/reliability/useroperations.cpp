// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/reliability/useroperations.h"

#include "datastore/contactrecord.h"
#include "datastore/indexfile.h"
#include "datastore/notesfile.h"
#include "datastore/paths.h"
#include "platform/faults.h"
#include "platform/files.h"
#include "platform/textcodec.h"
#include "startup/mainwindowload.h"
#include "tests/support/loadedwindow.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

namespace cardomine::testing {

using namespace Qt::StringLiterals;

namespace {

constexpr int Length = ContactRecord::Length;

const QString FileProblemTitle = QStringLiteral("File Problem!");
const QString CannotStartTitle = QStringLiteral("Cardomine Cannot Start");
const QString ViewStatus = QStringLiteral("Ready.  Option Selected: View");

QByteArray recordAt(const QByteArray &data, int number)
{
    return data.mid((number - 1) * Length, Length);
}

bool isRepairBox(const platform::MessageBox &box)
{
    return box.title == u"File Corruption Notice!" ||
           box.title == u"File Update Will Occur Now. . .";
}

// The files in Recovered/ whose names start with prefix and a dot.
QList<QByteArray> recoveredCopies(const TempDrive &drive, const QString &prefix)
{
    QList<QByteArray> copies;
    const QDir dir(drive.native(paths::RecoveredFolder));
    for (const QString &name : dir.entryList({prefix + u".*"}, QDir::Files | QDir::Hidden)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            copies.append(f.readAll());
    }
    return copies;
}

// The notes an edit types, if it changes them: a line, or lines up to nearly the
// notes limit.
QString editedNotes(UserOperation op)
{
    if (op == UserOperation::EditNotesSave)
        return QStringLiteral("Changed notes of 1");
    if (op != UserOperation::EditLargeNotesSave)
        return {};
    const QString line =
        QStringLiteral("A long line of notes, typed to fill the box. ") + QString(20, u'x') + u'\n';
    return line.repeated(qsizetype(notes::FileLimit / (line.size() + 1)) - 1);
}

// The temporary notes files in the notes folder, by name.
QMap<QString, QByteArray> notesLeftovers(const TempDrive &drive)
{
    QMap<QString, QByteArray> found;
    const QDir dir(drive.native(paths::NotesFolder));
    for (const QString &name :
         dir.entryList({QStringLiteral(".*.tmp-*")}, QDir::Files | QDir::Hidden)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            found.insert(name, f.readAll());
    }
    return found;
}

// The sequential form's twelve lines of a record.
QByteArray sequentialBytes(const QByteArray &record)
{
    ContactRecord r;
    r.setFromRandomBytes(record);
    return platform::text::joinLines(r.toSequentialLines());
}

} // namespace

QList<UserOperation> allUserOperations()
{
    return {UserOperation::FirstRun,           UserOperation::NormalStart,
            UserOperation::Navigation,         UserOperation::CreateSave,
            UserOperation::EditSave,           UserOperation::SequentialCreateSave,
            UserOperation::SequentialEditSave, UserOperation::CreateDiscard,
            UserOperation::EditNotesSave};
}

UserOperation workflowOf(UserOperation op)
{
    if (op == UserOperation::SequentialCreateSave)
        return UserOperation::CreateSave;
    if (op == UserOperation::SequentialEditSave || op == UserOperation::EditNotesSave ||
        op == UserOperation::EditLargeNotesSave)
        return UserOperation::EditSave;
    return op;
}

bool isSequential(UserOperation op)
{
    return op == UserOperation::SequentialCreateSave || op == UserOperation::SequentialEditSave;
}

const char *operationName(UserOperation op)
{
    switch (op) {
    case UserOperation::FirstRun:
        return "first run";
    case UserOperation::NormalStart:
        return "normal start";
    case UserOperation::Navigation:
        return "navigation";
    case UserOperation::CreateSave:
        return "create-save";
    case UserOperation::EditSave:
        return "edit-save";
    case UserOperation::SequentialCreateSave:
        return "create-save, sequential form";
    case UserOperation::SequentialEditSave:
        return "edit-save, sequential form";
    case UserOperation::CreateDiscard:
        return "create-discard";
    case UserOperation::EditNotesSave:
        return "edit-save with notes";
    case UserOperation::EditLargeNotesSave:
        return "edit-save with large notes";
    }
    return "?";
}

QByteArray OperationRun::recordBytes(int id)
{
    return LoadedWindow::recordBytes(id);
}

QByteArray OperationRun::indexBytes(int count)
{
    return LoadedWindow::indexBytes(count);
}

OperationRun::OperationRun(UserOperation operation)
    : op(operation)
{
    platform::setMessageService(&messages);
}

OperationRun::~OperationRun()
{
    window.reset();
    platform::setMessageService(nullptr);
}

bool OperationRun::prepare()
{
    platform::faults::reset();
    CurrentRecord = ContactRecord();
    IndexLines.clear();
    if (!drive.isValid()) {
        m_problem = drive.errorString();
        return false;
    }
    if (op != UserOperation::FirstRun) {
        for (int i = 1; i <= RecordsBefore; ++i) {
            dataBefore += isSequential(op) ? sequentialBytes(recordBytes(i)) : recordBytes(i);
            if (i % 2 == 1)
                drive.writeFile(notes::pathFor(i), "Notes of " + QByteArray::number(i) + "\r\n");
        }
        indexBefore = indexBytes(RecordsBefore);
        if (isSequential(op))
            indexBefore.replace("File_Type=R", "File_Type=S");
        drive.writeFile(paths::IndexFile, indexBefore);
        drive.writeFile(paths::DataFile, dataBefore);
        platform::files::setAttributes(paths::IndexFile, 5);
        platform::files::setAttributes(paths::DataFile, 7);
    }
    if (op == UserOperation::FirstRun || op == UserOperation::NormalStart)
        return true;

    window = std::make_unique<FrmWork>();
    if (startup::loadMainWindow(*window) != startup::LoadResult::Ready) {
        m_problem = QStringLiteral("the window did not load");
        return false;
    }
    FrmWork &w = *window;
    switch (workflowOf(op)) {
    case UserOperation::CreateDiscard:
        w.createButton->click();
        w.fname->setText(QStringLiteral("Dropped"));
        messages.queueAnswer(platform::MessageAnswer::No);
        break;
    case UserOperation::CreateSave:
        w.createButton->click();
        w.fname->setText(QStringLiteral("Newname"));
        w.lname->setText(QStringLiteral("Newlast"));
        w.company->setText(QStringLiteral("Newco"));
        w.homephone->setText(QStringLiteral("555.111.2222"));
        w.notes->setPlainText(QStringLiteral("New notes"));
        savedNumber = RecordsBefore + 1;
        break;
    case UserOperation::EditSave:
        w.editButton->click();
        w.lname->setText(QStringLiteral("Changed"));
        if (const QString text = editedNotes(op); !text.isEmpty()) {
            w.notes->setPlainText(text);
            savedNotes = notes::bytesFor(w.notesText());
        }
        messages.queueAnswer(platform::MessageAnswer::Yes);
        savedNumber = 1;
        break;
    default:
        break;
    }
    m_boxesBeforeAct = int(messages.shown().size());
    if (!messages.unexpected().isEmpty()) {
        m_problem = messages.unexpected().join(u'\n');
        return false;
    }
    return true;
}

void OperationRun::act()
{
    switch (workflowOf(op)) {
    case UserOperation::FirstRun:
    case UserOperation::NormalStart:
        window = std::make_unique<FrmWork>();
        m_startResult = int(startup::loadMainWindow(*window));
        break;
    case UserOperation::Navigation:
        window->ScrollBar->setValue(2);
        break;
    case UserOperation::CreateSave:
    case UserOperation::CreateDiscard:
        window->exitButton->click();
        break;
    case UserOperation::EditSave:
        window->editButton->click();
        break;
    default:
        break;
    }
}

bool OperationRun::completed() const
{
    const FrmWork &w = *window;
    switch (workflowOf(op)) {
    case UserOperation::FirstRun:
    case UserOperation::NormalStart:
        return m_startResult == int(startup::LoadResult::Ready);
    case UserOperation::Navigation:
        return w.ScrollBar->value() == 2;
    case UserOperation::CreateSave:
        return w.createButton->isEnabled();
    case UserOperation::EditSave:
        return w.editTag().isEmpty();
    case UserOperation::CreateDiscard:
        return w.createButton->isEnabled() && w.ScrollBar->value() == 1 &&
               CurrentRecord.contactNumber() == 1;
    default:
        break;
    }
    return false;
}

int OperationRun::errorBoxes() const
{
    int count = 0;
    const QList<platform::MessageBox> &shown = messages.shown();
    for (qsizetype i = m_boxesBeforeAct; i < shown.size(); ++i) {
        const platform::MessageBox &box = shown.at(i);
        if ((box.title == FileProblemTitle || box.title == CannotStartTitle) &&
            box.icon == platform::MessageIcon::Critical && box.text.contains(u'\r'))
            ++count;
    }
    return count;
}

QString OperationRun::windowProblem() const
{
    if (!messages.unexpected().isEmpty())
        return u"unexpected box: "_s + messages.unexpected().join(u'\n');
    const FrmWork &w = *window;
    const bool done = completed();
    const auto shownNumber = CurrentRecord.contactNumber();
    const auto check = [](bool ok, const char *what) {
        return ok ? QString() : QString::fromLatin1(what);
    };

    if (op == UserOperation::FirstRun || op == UserOperation::NormalStart) {
        if (!done)
            return {}; // the program closes after its message
        const QString first =
            op == UserOperation::FirstRun ? QStringLiteral("Tobin") : QStringLiteral("First1");
        if (!w.fname->text().startsWith(first))
            return u"record 1 is not on display: "_s + w.fname->text();
        return check(w.ScrollBar->value() == 1 && w.statusText() == ViewStatus,
                     "the window is not browsing record 1");
    }

    // Whatever happened, the boxes show CurrentRecord's fields or the user's typing.
    switch (workflowOf(op)) {
    case UserOperation::CreateDiscard: {
        // Back to browsing whatever happened, on the record held, with its notes (or
        // none, after a box saying they cannot be shown).
        if (!shownNumber || *shownNumber != w.ScrollBar->value() ||
            w.ScrollBar->maximum() != RecordsBefore)
            return QStringLiteral("the scroll bar does not match the record held");
        if (w.fname->text() != CurrentRecord.FirstName.text() ||
            w.ID->text().trimmed() != CurrentRecord.ContactID.text().trimmed())
            return u"the boxes do not show the record held: "_s + w.ID->text() + u" " +
                   w.fname->text() + u" for record "_s + CurrentRecord.ContactID.text();
        const QString notesOfShown =
            *shownNumber % 2 == 1 ? u"Notes of %1"_s.arg(*shownNumber) : QString();
        if (w.notes->toPlainText() != notesOfShown && !w.notes->toPlainText().isEmpty())
            return u"the notes box does not show the notes of record %1"_s.arg(*shownNumber);
        return check(w.fname->isReadOnly() && w.ScrollBar->isEnabled() &&
                         w.createButton->isEnabled() &&
                         w.exitButton->text() == u"E&xit Cardomine" && w.statusText() == ViewStatus,
                     "after the discard the window is not browsing");
    }
    case UserOperation::Navigation:
        if (!shownNumber || *shownNumber != w.ScrollBar->value())
            return QStringLiteral("the scroll bar does not match the record held");
        if (w.fname->text() != CurrentRecord.FirstName.text())
            return QStringLiteral("the boxes do not show the record held");
        return check(w.fname->isReadOnly() && w.ScrollBar->isEnabled() &&
                         w.statusText().startsWith(u"Ready."),
                     "the window is not browsing");
    case UserOperation::CreateSave:
        if (done) {
            if (!shownNumber || *shownNumber != w.ScrollBar->value() ||
                w.fname->text() != CurrentRecord.FirstName.text())
                return QStringLiteral("after the save the display does not match the record");
            return check(w.exitButton->text() == u"E&xit Cardomine" && w.fname->isReadOnly() &&
                             w.ScrollBar->isEnabled() && w.statusText() == ViewStatus,
                         "after the save the window is not browsing");
        }
        return check(w.exitButton->text() == u"Save &New Record" && !w.ScrollBar->isEnabled() &&
                         w.fname->text() == u"Newname" && !w.fname->isReadOnly() &&
                         w.notes->toPlainText() == u"New notes" && shownNumber == 4,
                     "a failed create did not keep create mode with the typing");
    case UserOperation::EditSave:
        if (done)
            return check(w.fname->isReadOnly() && w.lname->text().startsWith(u"Changed") &&
                             w.ScrollBar->isEnabled() && w.statusText() == ViewStatus,
                         "after the save the window is not browsing the changed record");
        return check(w.editTag() == u"Save" && !w.lname->isReadOnly() &&
                         w.lname->text() == u"Changed" && !w.ScrollBar->isEnabled() &&
                         shownNumber == 1,
                     "a failed edit did not keep edit mode with the changes");
    default:
        break;
    }
    return {};
}

void OperationRun::acceptOutcomeOf(const CleanRun &clean)
{
    indexAfter = clean.indexAfter;
    savedRecord = clean.savedRecord;
    savedNotes = clean.savedNotes;
}

QString OperationRun::checkFreshStart(bool *repaired)
{
    platform::faults::reset();
    window.reset();
    CurrentRecord = ContactRecord();
    IndexLines.clear();
    const QMap<QString, QByteArray> leftoversBefore = notesLeftovers(drive);
    platform::ScriptedMessageService fresh;
    platform::setMessageService(&fresh);
    FrmWork again;
    const auto result = startup::loadMainWindow(again);
    platform::setMessageService(&messages);

    *repaired = false;
    for (const platform::MessageBox &box : fresh.shown())
        *repaired = *repaired || isRepairBox(box);
    if (result != startup::LoadResult::Ready) {
        QStringList titles;
        for (const platform::MessageBox &box : fresh.shown())
            titles << box.title + u": " + box.text;
        return u"the fresh start did not load: "_s + titles.join(u" | ");
    }
    if (!fresh.unexpected().isEmpty())
        return u"unexpected box at the fresh start"_s;
    const QStringList leftovers =
        QDir(drive.native(paths::DataFolder))
            .entryList({QStringLiteral(".Cardomine.pending.tmp-*")}, QDir::Files | QDir::Hidden);
    if (!leftovers.isEmpty())
        return u"a cut-short marker was left: "_s + leftovers.join(u' ');
    // Temporary notes files of a save may hold typed notes: the start keeps each, in
    // Recovered/ or put in place as the notes it saved. (A first run cut short while
    // writing the sample notes leaves only the program's own sample text.)
    const bool save =
        workflowOf(op) == UserOperation::CreateSave || workflowOf(op) == UserOperation::EditSave;
    if (const QMap<QString, QByteArray> left = notesLeftovers(drive); save && !left.isEmpty())
        return u"temporary notes files were left: "_s + left.keys().join(u' ');
    for (auto it = leftoversBefore.cbegin(); save && it != leftoversBefore.cend(); ++it) {
        const QString kept = it.key().mid(1).section(u".tmp-"_s, 0, 0);
        if (!recoveredCopies(drive, it.key().mid(1)).contains(it.value()) &&
            drive.readFile(paths::NotesFolder + u'\\' + kept) != it.value())
            return u"the temporary notes file %1 was not kept"_s.arg(it.key());
    }
    if (op == UserOperation::FirstRun)
        return again.fname->text().startsWith(u"Tobin") ? QString()
                                                        : u"the sample contact is not shown"_s;

    // A save of notes cut short stores its record and its notes, or neither. (A failure
    // putting the notes in place after the record is told in its box instead.)
    const QByteArray dataNow = drive.readFile(paths::DataFile);
    if (!savedNotes.isEmpty() && !*repaired && errorBoxes() == 0) {
        const bool recordSaved = isSequential(op) ? dataNow.size() > dataBefore.size()
                                                  : recordAt(dataNow, savedNumber) == savedRecord;
        const QByteArray notesNow = drive.readFile(notes::pathFor(savedNumber));
        const QByteArray notesBefore = "Notes of " + QByteArray::number(savedNumber) + "\r\n";
        if (notesNow != (recordSaved ? savedNotes : notesBefore))
            return recordSaved ? u"the record was saved without its notes"_s
                               : u"the notes were saved without their record"_s;
    }

    // Earlier notes stay, or (contact 1's, which a rebuild gives the sample notes)
    // are kept in Recovered/.
    for (int i = 1; i <= RecordsBefore; i += 2) {
        const QByteArray notes = "Notes of " + QByteArray::number(i) + "\r\n";
        if (drive.readFile(notes::pathFor(i)) == notes)
            continue;
        if (i == savedNumber && !savedNotes.isEmpty() &&
            (drive.readFile(notes::pathFor(i)) == savedNotes ||
             recoveredCopies(drive, QString::number(i) + u".txt").contains(savedNotes)))
            continue;
        if (!*repaired || !recoveredCopies(drive, QString::number(i) + u".txt").contains(notes))
            return u"the notes of contact %1 changed"_s.arg(i);
    }

    const auto dataProblem = [&](const QByteArray &data) -> QString {
        if (isSequential(op)) {
            // The records before stay; after them comes nothing or the saved one, once.
            if (!data.startsWith(dataBefore))
                return u"the records before do not read back"_s;
            const QByteArray added = data.mid(dataBefore.size());
            if (!added.isEmpty() && added != savedRecord)
                return u"the appended record is neither absent nor complete, once"_s;
            return {};
        }
        for (int i = 1; i <= RecordsBefore; ++i) {
            const QByteArray now = recordAt(data, i);
            if (now == recordAt(dataBefore, i))
                continue;
            if (i == savedNumber && now == savedRecord)
                continue;
            return u"record %1 does not read back"_s.arg(i);
        }
        if (savedNumber > RecordsBefore) {
            const QByteArray now = recordAt(data, savedNumber);
            if (!now.isEmpty() && now != savedRecord)
                return u"the new record is neither absent nor complete"_s;
        }
        return {};
    };
    const auto indexProblem = [&](const QByteArray &index) -> QString {
        if (index == indexBefore || (!indexAfter.isEmpty() && index == indexAfter))
            return {};
        return u"the index is neither its old nor its new version: "_s + QString::fromLatin1(index);
    };

    if (!*repaired) {
        if (const QString p = dataProblem(drive.readFile(paths::DataFile)); !p.isEmpty())
            return p;
        return indexProblem(drive.readFile(paths::IndexFile));
    }
    // The repair moved the old files aside: they must be there, complete.
    const QList<QByteArray> data = recoveredCopies(drive, QStringLiteral("Cardomine.Dat"));
    const QList<QByteArray> index = recoveredCopies(drive, QStringLiteral("Index.tbl"));
    if (data.isEmpty())
        return u"the repair ran, but no data file was kept in Recovered"_s;
    for (const QByteArray &copy : data) {
        if (const QString p = dataProblem(copy); !p.isEmpty())
            return u"in Recovered: "_s + p;
    }
    // A repair that ran twice also sets aside the index it had just created.
    const QByteArray created = indexfile::createdLines().join(u"\r\n").toLatin1() + "\r\n";
    bool oldIndexKept = index.isEmpty();
    for (const QByteArray &copy : index) {
        if (copy == created)
            continue;
        if (const QString p = indexProblem(copy); !p.isEmpty())
            return u"in Recovered: "_s + p;
        oldIndexKept = true;
    }
    if (!oldIndexKept)
        return u"the repair did not keep the old index in Recovered"_s;
    return {};
}

CleanRun cleanRun(UserOperation op)
{
    CleanRun clean;
    OperationRun run(op);
    clean.prepared = run.prepare();
    if (!clean.prepared)
        return clean;
    platform::faults::reset();
    run.act();
    clean.fileOperations = platform::faults::operationCount();
    for (const std::int64_t k : platform::faults::writeOperations())
        clean.writeOperations.append(k);
    platform::faults::reset();
    clean.completed = run.completed();
    clean.errorBoxes = run.errorBoxes();
    clean.windowProblem = run.windowProblem();
    clean.indexAfter = run.drive.readFile(paths::IndexFile);
    clean.savedNotes = run.savedNotes;
    if (run.savedNumber > 0)
        clean.savedRecord = isSequential(op)
                                ? run.drive.readFile(paths::DataFile).mid(run.dataBefore.size())
                                : recordAt(run.drive.readFile(paths::DataFile), run.savedNumber);
    return clean;
}

} // namespace cardomine::testing
