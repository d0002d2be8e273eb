// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/fonts.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QStringList>

#include <algorithm>

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
    // smoothed, the same font comes out thin with a gap after every slash.
    result.setStyleStrategy(QFont::StyleStrategy(QFont::PreferNoShaping | QFont::NoAntialias));
    // Each glyph is drawn from a bitmap (Tahoma's own at 1x) or a hinted outline, whose
    // width is whole pixels; the advances must be those whole pixels too, as the classic
    // platform's were, or letters drift apart inside words ("Nam e": the outline's
    // advance of "m" is a pixel and a half wider than its bitmap). A made-up bold is
    // only made for hinted glyphs as well.
    result.setHintingPreference(QFont::PreferFullHinting);
    return result;
}

QFont fitting(const QFont &font, const QString &text, int width)
{
    if (QFontMetrics(font).tightBoundingRect(text).right() < width)
        return font;
    QFont narrower(font);
    narrower.setHintingPreference(QFont::PreferNoHinting);
    return narrower;
}

bool madeUpBold(const QFont &font)
{
    if (!font.bold())
        return false;
    const QString family = QFontInfo(font).family();
    const QStringList styles = QFontDatabase::styles(family);
    return std::none_of(styles.cbegin(), styles.cend(), [&family](const QString &style) {
        return QFontDatabase::weight(family, style) >= QFont::DemiBold;
    });
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
