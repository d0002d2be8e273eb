#include "platform/fonts.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QStringList>

namespace cardomine::platform::fonts {

namespace {
const char WineFontFolder[] = "/usr/share/wine/fonts/";
// How many fonts the running application has registered; -1 before it registers any.
int loaded = -1;
} // namespace

int loadBundledFonts()
{
    if (loaded >= 0)
        return loaded;
    loaded = 0;
    qAddPostRoutine([] { loaded = -1; });
    const QStringList files{QStringLiteral("tahoma.ttf"), QStringLiteral("tahomabd.ttf"),
                            QStringLiteral("ms_sans_serif.ttf")};
    for (const QString &name : files) {
        const QString path = QLatin1String(WineFontFolder) + name;
        if (QFile::exists(path) && QFontDatabase::addApplicationFont(path) >= 0)
            ++loaded;
    }
    return loaded;
}

QFont font(const QString &family, double points, bool bold)
{
    QFont result(family);
    result.setPointSizeF(points);
    result.setWeight(bold ? QFont::Bold : QFont::Normal);
    // Latin text is drawn glyph by glyph without kerning, as the classic Windows
    // controls drew it. Skipping the shaping step also halves the cost of filling a
    // text box, which browsing does a dozen times for every record.
    // The classic platform drew this text unsmoothed: crisp and visibly bold. Drawn
    // smoothed, the same font comes out thin with a gap after every slash. (Hinted
    // advances, on top, would make captions wider than their labels.)
    result.setStyleStrategy(QFont::StyleStrategy(QFont::PreferNoShaping | QFont::NoAntialias));
    return result;
}

QFont tahoma(double points, bool bold)
{
    return font(QStringLiteral("Tahoma"), points, bold);
}

QFont windowFont()
{
    return tahoma(8.25, true);
}

} // namespace cardomine::platform::fonts
