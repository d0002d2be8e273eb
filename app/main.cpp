#include "platform/fonts.h"
#include "platform/instancelock.h"
#include "platform/look.h"
#include "platform/messages.h"
#include "startup/programstart.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // QApplication takes its own options out of argv: see first whether -style is one.
    const bool ownStyle = cardomine::platform::look::userChoseStyle(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Cardomine"));
    QApplication::setApplicationVersion(QStringLiteral(CARDOMINE_VERSION));
    cardomine::platform::look::applyClassicLook(ownStyle);
    cardomine::platform::fonts::loadBundledFonts();

    // One running copy per data folder, so two copies never hand out the same record
    // number. The lock sits beside the data folder and works before that folder exists.
    cardomine::platform::InstanceLock lock(QStringLiteral("c:\\Program Files\\Pelvarin.lock"));
    if (!lock.tryLock()) {
        cardomine::platform::notice(QStringLiteral("Cardomine Is Already Running"),
                                    lock.errorString() +
                                        QStringLiteral("\rOnly one copy can use the data folder "
                                                       "at a time. This copy will now close."),
                                    cardomine::platform::MessageIcon::Information);
        return 1;
    }

    cardomine::Program program;
    if (!program.start())
        return 1;
    return QApplication::exec();
}
