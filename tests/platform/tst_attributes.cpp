// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/attributestore.h"
#include "platform/fileattributes.h"
#include "platform/fileerror.h"
#include "platform/files.h"
#include "tests/support/tempdrive.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <limits>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

using namespace cardomine::platform;
using namespace cardomine::platform::attributestore;
using namespace Qt::StringLiterals;
using cardomine::testing::TempDrive;

namespace {

// The digest of the whole content, taken in one go.
Digest digestOf(QByteArrayView content)
{
    Digest digest;
    digest.addChunks(0, content);
    return digest;
}

const QString File = u"c:\\Cardomine.Dat"_s;

enum class Store
{
    Xattr,
    Sidecar
};

// Adds a "store" column and runs every row once with extended attributes and once
// with the sidecar file.
template <typename AddRows> void forBothStores(AddRows addRows)
{
    for (const Store store : {Store::Xattr, Store::Sidecar})
        addRows(store, store == Store::Xattr ? "xattr" : "sidecar");
}

// The value of an extended attribute, or a null array when it is absent.
QByteArray xattr(const QString &native, const char *name)
{
    QByteArray value(1024, '\0');
    const ssize_t size =
        ::getxattr(QFile::encodeName(native).constData(), name, value.data(), size_t(value.size()));
    if (size < 0)
        return {};
    value.resize(size);
    return value.isEmpty() ? QByteArray("") : value;
}

int setMode(const QString &native, const char *mode)
{
    return ::chmod(QFile::encodeName(native).constData(), mode_t(std::strtol(mode, nullptr, 8)));
}

mode_t modeOf(const QString &native)
{
    struct stat info
    {};
    ::stat(QFile::encodeName(native).constData(), &info);
    return info.st_mode & 07777;
}

} // namespace

Q_DECLARE_METATYPE(Store)

class TestAttributes : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void setThenRead_data();
    void setThenRead();
    void sealBreaksOnChange_data();
    void sealBreaksOnChange();
    void foreignDosAttrib_data();
    void foreignDosAttrib();
    void sealedByWindows_data();
    void sealedByWindows();
    void parsesDosAttrib_data();
    void parsesDosAttrib();
    void parsesSeal_data();
    void parsesSeal();
    void sealRoundTrip();
    void sidecarNames();
    void sidecarTolerance();
    void moveAndDeleteKeepStoreTidy_data();
    void moveAndDeleteKeepStoreTidy();
    void worksForAnOwnerWhoIsNotRoot_data();
    void worksForAnOwnerWhoIsNotRoot();
    void missingFile();
    void digestFollowsTheProgramsWrites_data();
    void digestFollowsTheProgramsWrites();

private:
    void useStore(Store store);

    std::unique_ptr<TempDrive> m_drive;
};

void TestAttributes::init()
{
    m_drive = std::make_unique<TempDrive>();
    QVERIFY2(m_drive->isValid(), qPrintable(m_drive->errorString()));
    m_drive->writeFile(File, QByteArray(249, 'x'));
}

void TestAttributes::cleanup()
{
    forceSidecar(false);
    m_drive.reset();
}

void TestAttributes::useStore(Store store)
{
    forceSidecar(store == Store::Sidecar);
}

void TestAttributes::setThenRead_data()
{
    QTest::addColumn<Store>("store");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QByteArray>("dosText"); // null: no hidden or system bits stored

    forBothStores([](Store store, const char *name) {
        QTest::addRow("%s, normal", name) << store << 0 << 0 << QByteArray();
        QTest::addRow("%s, read-only", name) << store << 1 << 1 << QByteArray();
        QTest::addRow("%s, hidden", name) << store << 2 << 2 << QByteArray("0x2");
        QTest::addRow("%s, system", name) << store << 4 << 4 << QByteArray("0x4");
        QTest::addRow("%s, index seal 5", name) << store << 5 << 5 << QByteArray("0x4");
        QTest::addRow("%s, hidden system", name) << store << 6 << 6 << QByteArray("0x6");
        QTest::addRow("%s, data seal 7", name) << store << 7 << 7 << QByteArray("0x6");
        QTest::addRow("%s, archive", name) << store << 32 << 32 << QByteArray();
        QTest::addRow("%s, all", name) << store << 39 << 39 << QByteArray("0x6");
        QTest::addRow("%s, bits it cannot set", name)
            << store << (16 | 64 | 128) << 0 << QByteArray();
    });
}

void TestAttributes::setThenRead()
{
    QFETCH(Store, store);
    QFETCH(int, value);
    QFETCH(int, expected);
    QFETCH(QByteArray, dosText);
    useStore(store);
    const QString native = m_drive->native(File);

    // From a sealed file, so that clearing bits is tested as well as setting them.
    files::setAttributes(File, 7);
    files::setAttributes(File, value);
    QCOMPARE(files::attributes(File), expected);
    QCOMPARE((modeOf(native) & 0222) == 0, (value & ReadOnly) != 0);
    if (!(value & ReadOnly))
        QVERIFY((modeOf(native) & 0600) == 0600);

    if (store == Store::Xattr) {
        QCOMPARE(xattr(native, DosAttribName), dosText);
        QVERIFY(!xattr(native, SealName).isNull());
        QVERIFY(!QFile::exists(m_drive->native(u"c:\\.dosattrib"_s)));
    } else {
        QVERIFY(xattr(native, DosAttribName).isNull());
        QVERIFY(xattr(native, SealName).isNull());
        const QList<QByteArray> lines = m_drive->readFile(u"c:\\.dosattrib"_s).split('\n');
        QCOMPARE(lines.size(), 3); // comment, the file's line, the empty rest
        const QList<QByteArray> fields = lines[1].split(' ');
        QCOMPARE(fields.size(), 3);
        QCOMPARE(fields[0], QByteArray("Cardomine.Dat"));
        QCOMPARE(fields[1], dosText.isNull() ? QByteArray("-") : dosText);
    }
    // Reading again changes nothing.
    QCOMPARE(files::attributes(File), expected);
}

void TestAttributes::sealBreaksOnChange_data()
{
    QTest::addColumn<Store>("store");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("expected");

    forBothStores([](Store store, const char *name) {
        QTest::addRow("%s, 7 untouched", name) << store << 7 << u"none"_s << 7;
        QTest::addRow("%s, 7 written by another program", name)
            << store << 7 << u"append"_s << 7 + 32;
        QTest::addRow("%s, 7 made writable by chmod", name) << store << 7 << u"chmod u+w"_s << 6;
        // Only the time changes: the content, and so the seal, is the same.
        QTest::addRow("%s, 7 touched", name) << store << 7 << u"touch"_s << 7;
        QTest::addRow("%s, 7 rewritten, same size, other bytes", name)
            << store << 7 << u"same size"_s << 7 + 32;
        QTest::addRow("%s, 0 untouched", name) << store << 0 << u"none"_s << 0;
        QTest::addRow("%s, 0 written by another program", name) << store << 0 << u"append"_s << 32;
        QTest::addRow("%s, 0 written in place", name) << store << 0 << u"record"_s << 32;
        QTest::addRow("%s, 4 replaced by the program", name) << store << 4 << u"replace"_s << 32;
        QTest::addRow("%s, 6 replaced by rename", name) << store << 6 << u"rename"_s << 32;
        QTest::addRow("%s, 32 untouched", name) << store << 32 << u"none"_s << 32;
    });
}

void TestAttributes::sealBreaksOnChange()
{
    QFETCH(Store, store);
    QFETCH(int, value);
    QFETCH(QString, change);
    QFETCH(int, expected);
    useStore(store);
    const QString native = m_drive->native(File);
    const QByteArray nativeBytes = QFile::encodeName(native);

    files::setAttributes(File, value);
    if (change == u"append"_s) {
        // Another program, run by the owner: it has to make the file writable first.
        QCOMPARE(setMode(native, "600"), 0);
        {
            std::ofstream stream(nativeBytes.constData(), std::ios::app | std::ios::binary);
            stream << "appended";
        }
        if (value & ReadOnly)
            QCOMPARE(setMode(native, "400"), 0);
    } else if (change == u"chmod u+w"_s) {
        QCOMPARE(::chmod(nativeBytes.constData(), modeOf(native) | S_IWUSR), 0);
    } else if (change == u"touch"_s) {
        const timespec times[2] = {{1000000000, 0}, {1000000000, 123}};
        QCOMPARE(::utimensat(AT_FDCWD, nativeBytes.constData(), times, 0), 0);
    } else if (change == u"same size"_s) {
        QCOMPARE(setMode(native, "600"), 0);
        m_drive->writeFile(File, QByteArray(249, 'z'));
        QCOMPARE(setMode(native, "400"), 0);
        const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        QCOMPARE(::utimensat(AT_FDCWD, nativeBytes.constData(), times, 0), 0);
        // What a new process sees: it has not watched the change.
        forgetKnownFiles();
    } else if (change == u"record"_s) {
        // The same size, so only the modification time tells.
        files::writeRecord(File, 1, QByteArray(249, 'y'));
    } else if (change == u"replace"_s) {
        files::replaceBytes(File, "new content");
    } else if (change == u"rename"_s) {
        m_drive->writeFile(u"c:\\other"_s, "other");
        QCOMPARE(::rename(QFile::encodeName(m_drive->native(u"c:\\other"_s)).constData(),
                          nativeBytes.constData()),
                 0);
    }
    QCOMPARE(files::attributes(File), expected);
}

void TestAttributes::foreignDosAttrib_data()
{
    QTest::addColumn<Store>("store");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<int>("expected"); // no seal, so the archive bit is always there

    const QByteArray sambaBlob = QByteArray("0x26\0\3\0\3\0\0\0\x11\0\0\0", 16);
    const std::pair<const char *, QByteArray> values[] = {
        {"wine hidden system", "0x6"},
        {"system", "0x4"},
        {"upper-case prefix", "0X6"},
        {"leading zeros", "0x00000006"},
        {"samba hidden archive", "0x22"},
        {"samba hidden system archive", "0x26"},
        {"read-only bit is not taken", "0x1"},
        {"archive bit alone", "0x20"},
        {"garbage", "hello"},
        {"empty", ""},
        {"prefix only", "0x"},
        {"trailing junk", "0x6z"},
        {"no prefix", "6"},
        {"beyond 32 bits", "0x100000006"},
        {"trailing NUL", QByteArray("0x6\0", 4)},
        {"samba blob", sambaBlob},
        {"NUL first", QByteArray("\0"
                                 "0x6",
                                 4)},
        {"space inside", "0x 6"},
    };
    const int expected[] = {38, 36, 38, 38, 34, 38, 32, 32, 32, 32, 32, 32, 32, 32, 38, 38, 32, 32};
    static_assert(std::size(values) == std::size(expected));

    forBothStores([&](Store store, const char *name) {
        for (size_t i = 0; i < std::size(values); ++i) {
            const QByteArray &value = values[i].second;
            // A sidecar field holds no spaces, line ends or NULs.
            if (store == Store::Sidecar &&
                (value.contains(' ') || value.contains('\0') || value.contains('\n')))
                continue;
            QTest::addRow("%s, %s", name, values[i].first) << store << value << expected[i];
        }
    });
}

// Values written by Wine, Samba or anyone else, read without a seal of ours.
void TestAttributes::foreignDosAttrib()
{
    QFETCH(Store, store);
    QFETCH(QByteArray, stored);
    QFETCH(int, expected);
    useStore(store);
    const QString native = m_drive->native(File);
    if (store == Store::Xattr) {
        QCOMPARE(::setxattr(QFile::encodeName(native).constData(), DosAttribName,
                            stored.constData(), size_t(stored.size()), 0),
                 0);
    } else {
        m_drive->writeFile(u"c:\\.dosattrib"_s, "Cardomine.Dat " + stored + " -\n");
    }
    QCOMPARE(files::attributes(File), expected);
    QCOMPARE(parseDosAttrib(stored), expected & ~Archive);
}

void TestAttributes::sealedByWindows_data()
{
    QTest::addColumn<QByteArray>("stored"); // user.DOSATTRIB, none when null
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<int>("expected");

    const QByteArray blob("\0\4\0\4\0\0\0\x11\0\0\0", 11);
    QTest::newRow("wine data file") << QByteArray("0x6") << QByteArray("444") << 7;
    QTest::newRow("wine index file") << QByteArray("0x4") << QByteArray("400") << 5;
    QTest::newRow("samba, read-only in the number") << "0x7" + blob << QByteArray("444") << 7;
    QTest::newRow("samba, archive set") << "0x27" + blob << QByteArray("444") << 39;
    QTest::newRow("wine, write bits given back") << QByteArray("0x6") << QByteArray("644") << 38;
    QTest::newRow("wine, group may write") << QByteArray("0x6") << QByteArray("464") << 38;
    QTest::newRow("not a number") << QByteArray("hello") << QByteArray("444") << 33;
    QTest::newRow("no DOSATTRIB") << QByteArray() << QByteArray("444") << 33;
}

// Attributes a Windows program set through Wine or Samba, no seal of ours: only a file
// without write bits and whose number has no archive bit reads as it was left.
void TestAttributes::sealedByWindows()
{
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, mode);
    QFETCH(int, expected);
    const QString native = m_drive->native(File);
    if (!stored.isNull())
        QCOMPARE(::setxattr(QFile::encodeName(native).constData(), DosAttribName,
                            stored.constData(), size_t(stored.size()), 0),
                 0);
    QCOMPARE(setMode(native, mode.constData()), 0);
    QCOMPARE(files::attributes(File), expected);

    // Once the program seals it, its own record decides: a write since shows.
    QCOMPARE(setMode(native, "644"), 0);
    files::setAttributes(File, 7);
    QCOMPARE(files::attributes(File), 7);
    QCOMPARE(setMode(native, "644"), 0);
    m_drive->writeFile(File, QByteArray(249, 'y'));
    QCOMPARE(setMode(native, "444"), 0);
    QCOMPARE(files::attributes(File), 39);
}

void TestAttributes::parsesDosAttrib_data()
{
    QTest::addColumn<int>("attributes");
    QTest::addColumn<QByteArray>("text");
    for (int value = 0; value < 64; ++value) {
        const int bits = value & 6;
        QTest::addRow("%d", value)
            << value << (bits ? "0x" + QByteArray::number(bits) : QByteArray());
    }
}

void TestAttributes::parsesDosAttrib()
{
    QFETCH(int, attributes);
    QFETCH(QByteArray, text);
    QCOMPARE(formatDosAttrib(attributes), text);
    QCOMPARE(parseDosAttrib(formatDosAttrib(attributes)), attributes & 6);
}

void TestAttributes::parsesSeal_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");

    QTest::newRow("plain") << QByteArray("1:1234:249:1700000000123456789:0") << true;
    QTest::newRow("archive asked") << QByteArray("1:1:0:0:1") << true;
    QTest::newRow("time before 1970") << QByteArray("1:1:0:-5:0") << true;
    QTest::newRow("largest inode") << QByteArray("1:18446744073709551615:0:0:0") << true;
    QTest::newRow("inode overflows") << QByteArray("1:18446744073709551616:0:0:0") << false;
    QTest::newRow("time overflows") << QByteArray("1:1:0:9223372036854775808:0") << false;
    QTest::newRow("negative size") << QByteArray("1:1:-1:0:0") << false;
    QTest::newRow("other version") << QByteArray("2:1:0:0:0") << false;
    const QByteArray digest(64, 'a');
    QTest::newRow("with digest") << QByteArray("2:1:249:5:0:0:" + digest) << true;
    QTest::newRow("read-only kept, no digest") << QByteArray("2:1:249:5:1:1:") << true;
    QTest::newRow("digest too short") << QByteArray("2:1:249:5:0:0:" + digest.left(63)) << false;
    QTest::newRow("digest upper case") << QByteArray("2:1:249:5:0:0:" + digest.toUpper()) << false;
    QTest::newRow("read-only not a flag") << QByteArray("2:1:249:5:0:2:") << false;
    QTest::newRow("old version with digest") << QByteArray("1:1:249:5:0:0:" + digest) << false;
    QTest::newRow("archive not a flag") << QByteArray("1:1:0:0:2") << false;
    QTest::newRow("too few fields") << QByteArray("1:1:0:0") << false;
    QTest::newRow("too many fields") << QByteArray("1:1:0:0:0:0") << false;
    QTest::newRow("empty field") << QByteArray("1::0:0:0") << false;
    QTest::newRow("plus sign") << QByteArray("1:+1:0:0:0") << false;
    QTest::newRow("space") << QByteArray("1: 1:0:0:0") << false;
    QTest::newRow("minus alone") << QByteArray("1:1:0:-:0") << false;
    QTest::newRow("trailing NUL") << QByteArray("1:1:0:0:0\0", 10) << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("garbage") << QByteArray("\xff\xfe:::") << false;
}

void TestAttributes::parsesSeal()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    const std::optional<Seal> seal = parseSeal(text);
    QCOMPARE(seal.has_value(), valid);
    if (valid)
        QCOMPARE(formatSeal(*seal), text);
}

void TestAttributes::sealRoundTrip()
{
    const Seal seals[] = {
        {{0, 0, 0}, false},
        {{std::numeric_limits<std::uint64_t>::max(), std::numeric_limits<std::int64_t>::max(),
          std::numeric_limits<std::int64_t>::min()},
         true},
        {{42, 249 * 3, 1700000000123456789}, false},
    };
    for (const Seal &seal : seals) {
        const std::optional<Seal> parsed = parseSeal(formatSeal(seal));
        QVERIFY(parsed.has_value());
        QVERIFY(*parsed == seal);
    }
    // An unsealed file, a sealed one, one asked for archive, one changed since.
    const FileIdentity now{7, 249, 1000};
    QCOMPARE(combine(true, 6, std::nullopt, now), 39);
    QCOMPARE(combine(true, 6, Seal{now, false}, now), 7);
    QCOMPARE(combine(false, 4, Seal{now, true}, now), 36);
    QCOMPARE(combine(false, 0, Seal{{7, 249, 1001}, false}, now), 32);
    QCOMPARE(combine(false, 0, Seal{{8, 249, 1000}, false}, now), 32);
    // A copy (new inode) or a touch (new time) of the same content keeps the seal; the
    // digest is asked for only then, and only when the size is the same.
    const QByteArray digest = digestOf("content").hex();
    const auto current = [&] { return digest; };
    int asked = 0;
    const auto counted = [&] {
        ++asked;
        return digest;
    };
    QCOMPARE(combine(true, 6, Seal{{8, 249, 999}, false, digest}, now, current), 7);
    QCOMPARE(combine(true, 6, Seal{now, false, digest}, now, counted), 7);
    QCOMPARE(combine(true, 6, Seal{{8, 250, 1000}, false, digest}, now, counted), 39);
    QCOMPARE(asked, 0);
    QCOMPARE(combine(true, 6, Seal{{8, 249, 999}, false, digestOf("other").hex()}, now, current),
             39);
    QCOMPARE(combine(true, 6, Seal{{8, 249, 999}, false}, now, current), 39); // no digest
    // Read-only kept in the record where the file system has no write bits.
    QCOMPARE(combine(false, 6, Seal{now, false, digest, true}, now), 7);

    // The sum brought up to date chunk by chunk is the sum of the whole.
    QByteArray content(3 * DigestChunk + 17, 'x');
    Digest updated = digestOf(content);
    const QByteArray chunk = content.mid(DigestChunk, DigestChunk);
    content.replace(DigestChunk + 5, 3, "new");
    updated.remove(1, chunk);
    updated.add(1, QByteArrayView(content).sliced(DigestChunk, DigestChunk));
    QVERIFY(updated == digestOf(content));
    QVERIFY(Digest::fromHex(updated.hex()) == updated);
    QVERIFY(digestOf("ab") != digestOf("ba"));
}

void TestAttributes::sidecarNames()
{
    forceSidecar(true);
    const QString names[] = {
        u"plain.txt"_s, u"with space.txt"_s, u"per%cent"_s,
        u"#hash"_s,     u"line\nbreak"_s,    u"caf\u00e9"_s,
        u"-"_s,         u"tab\there"_s,      u"back\\slash-free"_s,
    };
    int value = 1;
    for (const QString &name : names) {
        if (name.contains(u'\\'))
            continue; // a backslash separates folders in program paths
        m_drive->writeFile(u"c:\\"_s + name, "x");
        files::setAttributes(u"c:\\"_s + name, value % 8);
        ++value;
    }
    value = 1;
    for (const QString &name : names) {
        if (name.contains(u'\\'))
            continue;
        QCOMPARE(files::attributes(u"c:\\"_s + name), value % 8);
        ++value;
    }
    const QByteArray sidecar = m_drive->readFile(u"c:\\.dosattrib"_s);
    QVERIFY(sidecar.contains("with%20space.txt "));
    QVERIFY(sidecar.contains("line%0Abreak "));
    QVERIFY(sidecar.contains("%23hash "));
    QVERIFY(sidecar.contains("per%25cent "));

    for (const QByteArray &name : {QByteArray("a b"), QByteArray("\x01\xff%#"), QByteArray("-")})
        QCOMPARE(unescapeName(escapeName(name)), std::optional<QByteArray>(name));
}

void TestAttributes::sidecarTolerance()
{
    const QByteArray text = "# comment\n"
                            "good 0x6 1:1:2:3:0\n"
                            "garbage\n"
                            "two fields\n"
                            "four fields here now\n"
                            "%zzbad 0x2 -\n"
                            "slash%2Fname 0x2 -\n"
                            "%2E%2E 0x2 -\n"
                            "badseal 0x4 1:2\n"
                            "crlf 0x2 -\r\n"
                            "twice 0x2 -\n"
                            "twice 0x4 -\n"
                            "\n";
    const Sidecar sidecar = parseSidecar(text);
    QCOMPARE(sidecar.size(), size_t(4));
    QVERIFY((sidecar.at("good") == SidecarEntry{6, Seal{{1, 2, 3}, false}}));
    QVERIFY((sidecar.at("badseal") == SidecarEntry{4, std::nullopt}));
    QCOMPARE(sidecar.at("crlf").hiddenSystem, 2);
    QCOMPARE(sidecar.at("twice").hiddenSystem, 4);
    QVERIFY(parseSidecar(formatSidecar(sidecar)) == sidecar);
}

void TestAttributes::moveAndDeleteKeepStoreTidy_data()
{
    QTest::addColumn<Store>("store");
    forBothStores([](Store store, const char *name) { QTest::addRow("%s", name) << store; });
}

void TestAttributes::moveAndDeleteKeepStoreTidy()
{
    QFETCH(Store, store);
    useStore(store);
    files::createFolder(u"c:\\Recovered"_s);
    files::setAttributes(File, 7);
    files::moveFile(File, u"c:\\Recovered\\Cardomine.Dat.1"_s);
    QCOMPARE(files::attributes(u"c:\\Recovered\\Cardomine.Dat.1"_s), 7);

    m_drive->writeFile(File, "new");
    QCOMPARE(files::attributes(File), 32);
    files::setAttributes(File, 5);
    files::setAttributes(File, 0);
    files::deleteFile(File);
    m_drive->writeFile(File, "again");
    QCOMPARE(files::attributes(File), 32);
    if (store == Store::Sidecar) {
        QVERIFY(!QFile::exists(m_drive->native(u"c:\\.dosattrib"_s)));
        QVERIFY(m_drive->readFile(u"c:\\Recovered\\.dosattrib"_s).contains("Cardomine.Dat.1 0x6 "));
    }
}

void TestAttributes::worksForAnOwnerWhoIsNotRoot_data()
{
    QTest::addColumn<Store>("store");
    forBothStores([](Store store, const char *name) { QTest::addRow("%s", name) << store; });
}

// The program's own cycle, run by an ordinary user: seal, unseal, write, seal. A
// user may not change extended attributes of a file without write permission, so
// this fails if the attributes are stored after write permission is taken away.
void TestAttributes::worksForAnOwnerWhoIsNotRoot()
{
    QFETCH(Store, store);
    useStore(store);
    const bool root = ::geteuid() == 0;
    const uid_t nobody = 65534;
    if (root)
        QCOMPARE(::chown(QFile::encodeName(m_drive->root()).constData(), nobody, nobody), 0);

    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        int step = 1;
        try {
            if (root && (::setgid(nobody) != 0 || ::setuid(nobody) != 0))
                ::_exit(100);
            const QString path = u"c:\\Index.tbl"_s;
            files::replaceBytes(path, "Num_Of_Records=1\r\n");
            files::setAttributes(path, 5);
            step = 2;
            if (files::attributes(path) != 5)
                ::_exit(step);
            step = 3;
            files::setAttributes(path, 0);
            files::replaceBytes(path, "Num_Of_Records=2\r\n");
            step = 4;
            if (files::attributes(path) != 32)
                ::_exit(step);
            step = 5;
            files::setAttributes(path, 5);
            step = 6;
            if (files::attributes(path) != 5)
                ::_exit(step);
            ::_exit(0);
        } catch (...) {
            ::_exit(50 + step);
        }
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void TestAttributes::missingFile()
{
    try {
        files::attributes(u"c:\\nothing"_s);
        QFAIL("read the attributes of a missing file");
    } catch (const FileError &error) {
        QCOMPARE(error.errorCode(), ENOENT);
        QCOMPARE(error.operation(), u"read the attributes of"_s);
    }
    QVERIFY_THROWS_EXCEPTION(FileError, files::setAttributes(u"c:\\nothing"_s, 7));
}

void TestAttributes::digestFollowsTheProgramsWrites_data()
{
    QTest::addColumn<Store>("store");
    QTest::addColumn<QList<qint64>>("records"); // record numbers written, 0 for an append

    forBothStores([](Store store, const char *name) {
        QTest::addRow("%s, record in place", name) << store << QList<qint64>{1};
        QTest::addRow("%s, next record", name) << store << QList<qint64>{2};
        QTest::addRow("%s, across a chunk end", name) << store << QList<qint64>{17, 16};
        QTest::addRow("%s, far past the end", name) << store << QList<qint64>{40};
        QTest::addRow("%s, appends", name) << store << QList<qint64>{0, 0, 3};
    });
}

// Each write brings the digest this process keeps up to date; the seal it writes
// afterwards must hold the digest of the file as it is on disk, which a copy of the
// file (a new identity) is then checked against.
void TestAttributes::digestFollowsTheProgramsWrites()
{
    QFETCH(Store, store);
    QFETCH(QList<qint64>, records);
    useStore(store);
    files::setAttributes(File, 7);
    for (const qint64 record : records) {
        files::setAttributes(File, 0);
        const QByteArray bytes(249, char('a' + record % 26));
        if (record == 0)
            files::appendBytes(File, bytes.left(100));
        else
            files::writeRecord(File, record, bytes);
        files::setAttributes(File, 7);
    }
    const QByteArray content = m_drive->readFile(File);
    const std::optional<Seal> seal =
        store == Store::Xattr
            ? parseSeal(xattr(m_drive->native(File), SealName))
            : parseSidecar(m_drive->readFile(u"c:\\.dosattrib"_s))["Cardomine.Dat"].seal;
    QVERIFY(seal.has_value());
    QCOMPARE(seal->digest, digestOf(content).hex());

    // A touch, seen by a new process: the content decides.
    const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(m_drive->native(File)).constData(), times, 0),
             0);
    forgetKnownFiles();
    QCOMPARE(files::attributes(File), 7);
}

QTEST_GUILESS_MAIN(TestAttributes)
#include "tst_attributes.moc"
