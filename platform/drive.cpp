#include "platform/drive.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace cardomine::platform {

namespace {

// The drive folder as the environment names it, not yet cleaned up.
QString namedDriveRoot()
{
    QString root = qEnvironmentVariable("CARDOMINE_DRIVE_C");
    if (root.isEmpty()) {
        QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
        // The XDG rules say a relative value is invalid and must be ignored.
        if (dataHome.isEmpty() || QDir::isRelativePath(dataHome))
            dataHome = QDir::homePath() + QStringLiteral("/.local/share");
        root = dataHome + QStringLiteral("/cardomine/drive_c");
    }
    return root;
}

} // namespace

QString driveRoot()
{
#ifdef Q_OS_WIN
    return QStringLiteral("C:/");
#else
    // The environment is read on every call, since tests point each case at a drive of
    // its own. Cleaning the path up is kept for the name last seen, as every file
    // operation asks for it; a relative name depends on the working folder and is
    // worked out afresh.
    thread_local QString lastNamed;
    thread_local QString lastRoot;
    const QString named = namedDriveRoot();
    if (!lastRoot.isEmpty() && named == lastNamed)
        return lastRoot;
    const QString root = QDir::cleanPath(QFileInfo(named).absoluteFilePath());
    if (!QDir::isRelativePath(named)) {
        lastNamed = named;
        lastRoot = root;
    }
    return root;
#endif
}

QString nativePath(const QString &programPath)
{
    QString rest = programPath;
    if (rest.size() >= 2 && rest.at(1) == QLatin1Char(':') && rest.at(0).isLetter() &&
        rest.at(0).unicode() < 0x80)
        rest = rest.mid(2);
    rest.replace(QLatin1Char('\\'), QLatin1Char('/'));

    // Resolve "." and ".." here, the way Windows does for a drive path: ".." at the
    // root stays at the root, so no program path can reach outside the drive.
    QStringList parts;
    const QStringList components = rest.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString &component : components) {
        if (component == QLatin1String("."))
            continue;
        if (component == QLatin1String("..")) {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(component);
    }

    QString root = driveRoot();
    if (parts.isEmpty())
        return root;
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return root + parts.join(QLatin1Char('/'));
}

} // namespace cardomine::platform
