// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fonts.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

namespace cardomine::platform::fonts {

namespace {
const char WineFontFolder[] = "/usr/share/wine/fonts/";
// How many fonts the running application has registered; -1 before it registers any.
int loaded = -1;

// Whether the screen draws each logical pixel with more than one (QT_SCALE_FACTOR=2, a
// high-density screen). Wine's Tahoma has bitmaps for the window's sizes at 1x only.
bool drawnScaled()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen != nullptr && screen->devicePixelRatio() > 1.0;
}
} // namespace

int loadBundledFonts()
{
    if (loaded >= 0)
        return loaded;
    loaded = 0;
    qAddPostRoutine([] { loaded = -1; });
    QStringList files{QStringLiteral("tahoma.ttf"), QStringLiteral("ms_sans_serif.ttf")};
    // Wine's bold Tahoma has bold bitmaps for the 1x sizes, but its outlines are as thin
    // as the regular face's: scaled, its bold would not be bold. There the bold is made
    // from the regular face instead.
    if (!drawnScaled())
        files.append(QStringLiteral("tahomabd.ttf"));
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
    // Scaled, the glyphs come from hinted outlines, and their advances must be hinted too,
    // or the gaps between letters vary. (A made-up bold is only made for hinted glyphs.)
    if (drawnScaled())
        result.setHintingPreference(QFont::PreferFullHinting);
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
