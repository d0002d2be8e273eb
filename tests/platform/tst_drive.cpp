// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/drive.h"

#include <QDir>
#include <QTest>

using namespace cardomine::platform;
using namespace Qt::StringLiterals;

namespace {

// Sets or clears an environment variable for one scope.
class EnvironmentGuard
{
public:
    EnvironmentGuard(const char *name, const QString &value)
        : m_name(name)
        , m_previous(qgetenv(name))
        , m_wasSet(qEnvironmentVariableIsSet(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value.toUtf8());
    }
    ~EnvironmentGuard()
    {
        if (m_wasSet)
            qputenv(m_name, m_previous);
        else
            qunsetenv(m_name);
    }
    EnvironmentGuard(const EnvironmentGuard &) = delete;
    EnvironmentGuard &operator=(const EnvironmentGuard &) = delete;

private:
    const char *m_name;
    QByteArray m_previous;
    bool m_wasSet;
};

} // namespace

class TestDrive : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void root_data();
    void root();
    void mapping_data();
    void mapping();
};

void TestDrive::root_data()
{
    QTest::addColumn<QString>("driveVariable"); // null: unset
    QTest::addColumn<QString>("dataHome");      // null: unset
    QTest::addColumn<QString>("expected");      // relative to $HOME when it starts with "~"

    QTest::newRow("drive variable wins") << u"/srv/drive_c"_s << u"/data"_s << u"/srv/drive_c"_s;
    QTest::newRow("drive variable trailing slash")
        << u"/srv/drive_c/"_s << QString() << u"/srv/drive_c"_s;
    QTest::newRow("empty drive variable is unset")
        << u""_s << u"/data"_s << u"/data/cardomine/drive_c"_s;
    QTest::newRow("xdg data home") << QString() << u"/data"_s << u"/data/cardomine/drive_c"_s;
    QTest::newRow("default under home")
        << QString() << QString() << u"~/.local/share/cardomine/drive_c"_s;
    QTest::newRow("relative xdg data home is ignored")
        << QString() << u"data"_s << u"~/.local/share/cardomine/drive_c"_s;
}

void TestDrive::root()
{
    QFETCH(QString, driveVariable);
    QFETCH(QString, dataHome);
    QFETCH(QString, expected);
    const EnvironmentGuard drive("CARDOMINE_DRIVE_C", driveVariable);
    const EnvironmentGuard xdg("XDG_DATA_HOME", dataHome);
    if (expected.startsWith(QLatin1Char('~')))
        expected.replace(0, 1, QDir::homePath());
    QCOMPARE(driveRoot(), expected);
}

void TestDrive::mapping_data()
{
    QTest::addColumn<QString>("programPath");
    QTest::addColumn<QString>("expected"); // below the drive root

    QTest::newRow("index file") << u"c:\\Program Files\\Pelvarin\\Index.tbl"_s
                                << u"/Program Files/Pelvarin/Index.tbl"_s;
    QTest::newRow("upper-case drive") << u"C:\\Program Files\\Pelvarin\\Cardomine.Dat"_s
                                      << u"/Program Files/Pelvarin/Cardomine.Dat"_s;
    QTest::newRow("notes file") << u"c:\\Program Files\\Pelvarin\\Contact Notes\\12.txt"_s
                                << u"/Program Files/Pelvarin/Contact Notes/12.txt"_s;
    QTest::newRow("forward slashes")
        << u"c:/Program Files/Pelvarin"_s << u"/Program Files/Pelvarin"_s;
    QTest::newRow("no drive letter") << u"\\Program Files\\x"_s << u"/Program Files/x"_s;
    QTest::newRow("doubled separators") << u"c:\\\\a\\\\b\\"_s << u"/a/b"_s;
    QTest::newRow("drive alone") << u"c:\\"_s << QString();
    QTest::newRow("dot components") << u"c:\\a\\.\\b"_s << u"/a/b"_s;
    QTest::newRow("dot dot inside") << u"c:\\a\\b\\..\\c"_s << u"/a/c"_s;
    QTest::newRow("dot dot at the root stays at the root")
        << u"c:\\..\\..\\etc\\passwd"_s << u"/etc/passwd"_s;
    QTest::newRow("dot dot climbing out mid-path") << u"c:\\a\\..\\..\\..\\b"_s << u"/b"_s;
    QTest::newRow("dot dot with forward slashes") << u"../../x"_s << u"/x"_s;
    QTest::newRow("letter-like prefix is not a drive") << u"1:\\a"_s << u"/1:/a"_s;
}

void TestDrive::mapping()
{
    QFETCH(QString, programPath);
    QFETCH(QString, expected);
    const EnvironmentGuard drive("CARDOMINE_DRIVE_C", u"/tmp/cardomine-drive"_s);
    QCOMPARE(nativePath(programPath), u"/tmp/cardomine-drive"_s + expected);
}

QTEST_GUILESS_MAIN(TestDrive)
#include "tst_drive.moc"
