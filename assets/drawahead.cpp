// SPDX-License-Identifier: GPL-3.0-or-later
// Draws a picture at build time, so that the program shows it without drawing it:
//
//   cardomine_draw_ahead DRAWING.svg WIDTH HEIGHT OUTPUT
//
// OUTPUT gets the picture at ratio 1 as rows of premultiplied ARGB32 pixels, as QImage
// keeps them in memory, with nothing before or between them.

#include "assets/svgdrawing.h"

#include <QFile>
#include <QString>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: cardomine_draw_ahead DRAWING.svg WIDTH HEIGHT OUTPUT\n");
        return 2;
    }
    const QSize size(QByteArray(argv[2]).toInt(), QByteArray(argv[3]).toInt());
    const QImage image = cardomine::assets::drawSvg(QFile::decodeName(argv[1]), size, 1.0);
    if (image.isNull() || image.size() != size) {
        std::fprintf(stderr, "cardomine_draw_ahead: cannot draw %s\n", argv[1]);
        return 1;
    }
    QFile out(QFile::decodeName(argv[4]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cardomine_draw_ahead: cannot write %s\n", argv[4]);
        return 1;
    }
    const qsizetype rowBytes = qsizetype(image.width()) * 4;
    for (int y = 0; y < image.height(); ++y) {
        if (out.write(reinterpret_cast<const char *>(image.constScanLine(y)), rowBytes) != rowBytes)
            return 1;
    }
    return out.flush() ? 0 : 1;
}
