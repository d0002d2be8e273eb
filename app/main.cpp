#include "platform/fonts.h"
#include "startup/programstart.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Cardomine"));
    QApplication::setApplicationVersion(QStringLiteral(CARDOMINE_VERSION));
    cardomine::platform::fonts::loadBundledFonts();

    cardomine::Program program;
    program.start();
    return QApplication::exec();
}
